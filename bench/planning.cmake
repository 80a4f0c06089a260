add_executable(bench_planner planner_bench.cpp)
target_link_libraries(bench_planner PRIVATE rozuzed_planning)
target_compile_definitions(bench_planner PRIVATE OMBRIX_BUILD_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(bench_planner ombrix_resources)

add_executable(bench_planner planner_bench.cpp)
target_link_libraries(bench_planner PRIVATE rozuzed_planning)
target_compile_definitions(bench_planner PRIVATE OMBRIX_BUILD_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(bench_planner ombrix_resources)
# The end-to-end cases run the driver, which exists only where the
# application model is built.
if(TARGET ombrix-driver)
  add_dependencies(bench_planner ombrix-driver)
  add_executable(bench_memory memory_bench.cpp)
  target_compile_definitions(bench_memory PRIVATE OMBRIX_BUILD_DIR="${CMAKE_BINARY_DIR}")
  add_dependencies(bench_memory ombrix-driver ombrix_resources)
endif()

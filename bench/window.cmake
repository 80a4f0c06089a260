# The review screen, where the window is built; its plan comes from the
# engine over the in-memory file system of the tests.
if(TARGET ombrix_app AND TARGET rozuzed_testing)
add_executable(bench_review review_bench.cpp)
target_link_libraries(bench_review PRIVATE ombrix_app rozuzed_testing)
add_dependencies(bench_review ombrix_resources)
endif()

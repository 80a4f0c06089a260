# The review screen, where the window is built; its plan comes from the
# engine over the in-memory file system of the tests.
if(TARGET ombrix_app AND TARGET rozuzed_testing)
add_executable(bench_review review_bench.cpp)
target_link_libraries(bench_review PRIVATE ombrix_app rozuzed_testing)
add_dependencies(bench_review ombrix_resources)
endif()

# The whole window with 100,000 real files: stalls of the main thread and the
# peak memory from Choose to review, Sort to result and Undo to review.
if(TARGET ombrix_app)
add_executable(bench_window window_bench.cpp)
target_link_libraries(bench_window PRIVATE ombrix_app)
add_dependencies(bench_window ombrix_resources)
endif()

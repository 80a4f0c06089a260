# Runs the driver, which exists only where the application model is built.
if(TARGET ombrix-driver)
add_executable(bench_apply apply_bench.cpp)
target_link_libraries(bench_apply PRIVATE rozuzed_execution SQLite::SQLite3 OpenSSL::Crypto)
target_compile_definitions(bench_apply PRIVATE OMBRIX_BUILD_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(bench_apply ombrix-driver ombrix_resources)
endif()

add_executable(bench_hashing hashing_bench.cpp)
target_link_libraries(bench_hashing PRIVATE rozuzed_core OpenSSL::Crypto)

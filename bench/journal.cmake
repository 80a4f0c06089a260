add_executable(bench_journal journal_bench.cpp)
target_link_libraries(bench_journal PRIVATE rozuzed_journal SQLite::SQLite3)

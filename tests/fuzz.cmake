# libFuzzer targets, built only in the clang fuzz build. Each fuzz_NAME runs
# with the seeds in tests/fuzz/seeds/NAME.
if(OMBRIX_FUZZ)
  add_executable(fuzz_rules fuzz/rules_fuzz.cpp)
  target_link_libraries(fuzz_rules PRIVATE rozuzed_rules)
  target_link_options(fuzz_rules PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzz_rules ombrix_resources)
endif()

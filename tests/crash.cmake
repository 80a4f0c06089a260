# The engine from the command line, through the application's engine facade,
# and the crash tests that kill it. The facade belongs to the application
# model, so none of this is part of a build without it.
if(OMBRIX_BUILD_APP AND NOT OMBRIX_FUZZ)
# Built into bin/ for crash tests and benchmarks; never installed.
add_executable(ombrix-driver driver/ombrix_driver.cpp)
target_link_libraries(ombrix-driver PRIVATE sortappkit)
add_dependencies(ombrix-driver ombrix_resources)

rozuzed_tests(ombrix_driver_tests
  SOURCES driver/ombrix_driver_test.cpp
  LABELS execution)
add_dependencies(ombrix_driver_tests ombrix-driver)

rozuzed_tests(crash_tests
  SOURCES crash/crash_sweep_test.cpp
  DEPS rozuzed_execution SQLite::SQLite3
  LABELS crash
  COST 1000)
add_dependencies(crash_tests ombrix-driver)
endif()

if(NOT OMBRIX_FUZZ)
# Doubles and scratch folders shared by the engine's tests.
add_library(rozuzed_testing STATIC
  rozuzed/testing/in_memory_file_system.cpp
  rozuzed/testing/recording_journal_store.cpp
  rozuzed/testing/subprocess.cpp
  rozuzed/testing/temporary_folder.cpp)
target_include_directories(rozuzed_testing PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(rozuzed_testing PUBLIC rozuzed_journal rozuzed_core)

rozuzed_tests(rozuzed_execution_tests
  SOURCES
    rozuzed/execution/fault_injection_test.cpp
    rozuzed/execution/execution_records_test.cpp
    rozuzed/execution/executor_test.cpp
    rozuzed/execution/executor_live_test.cpp
    rozuzed/execution/cross_volume_move_test.cpp
    rozuzed/execution/undo_runner_test.cpp
    rozuzed/recovery/recovery_decision_test.cpp
    rozuzed/recovery/recovery_runner_test.cpp
  DEPS rozuzed_execution rozuzed_testing
  LABELS execution)
endif()

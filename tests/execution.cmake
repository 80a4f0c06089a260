if(NOT OMBRIX_FUZZ)
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
  DEPS rozuzed_execution
  LABELS execution)
endif()

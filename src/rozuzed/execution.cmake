rozuzed_library(rozuzed_execution
  SOURCES
    execution/fault_injection.cpp
    execution/execution_records.cpp
    execution/cross_volume_move.cpp
    execution/destination_folders.cpp
    execution/executor.cpp
    execution/undo_runner.cpp
    recovery/recovery_decision.cpp
    recovery/recovery_runner.cpp
  DEPS
    rozuzed_journal rozuzed_planning rozuzed_rules rozuzed_core Threads::Threads)

if(NOT OMBRIX_FUZZ)
# Take the run lock, and use the journal, in processes of their own, for the
# cross-process tests.
add_executable(run_lock_holder rozuzed/journal/run_lock_holder.cpp)
target_link_libraries(run_lock_holder PRIVATE rozuzed_journal)
add_executable(journal_client rozuzed/journal/journal_client.cpp)
target_link_libraries(journal_client PRIVATE rozuzed_journal)

rozuzed_tests(rozuzed_journal_tests
  SOURCES
    rozuzed/journal/helper_process.cpp
    rozuzed/model/journal_entry_test.cpp
    rozuzed/model/run_record_test.cpp
    rozuzed/model/batch_summary_test.cpp
    rozuzed/model/applied_plan_test.cpp
    rozuzed/journal/process_identity_test.cpp
    rozuzed/journal/journal_store_contract_test.cpp
    rozuzed/journal/sqlite_database_test.cpp
    rozuzed/journal/sqlite_journal_store_test.cpp
    rozuzed/journal/run_lock_test.cpp
  DEPS rozuzed_journal
  LABELS journal)
add_dependencies(rozuzed_journal_tests run_lock_holder journal_client)
endif()

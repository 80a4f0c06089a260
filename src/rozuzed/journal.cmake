rozuzed_library(rozuzed_journal
  SOURCES
    model/journal_entry.cpp
    model/run_record.cpp
    model/batch_summary.cpp
    model/applied_plan.cpp
    journal/process_identity.cpp
    journal/sqlite_database.cpp
    journal/in_memory_journal_store.cpp
    journal/sqlite_journal_store.cpp
    journal/run_lock.cpp
  DEPS
    rozuzed_plan rozuzed_core SQLite::SQLite3)

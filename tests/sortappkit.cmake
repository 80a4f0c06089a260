if(OMBRIX_BUILD_APP AND NOT OMBRIX_FUZZ)
rozuzed_tests(sortappkit_tests
  SOURCES
    sortappkit/app_error_test.cpp
    sortappkit/serial_queue_test.cpp
    sortappkit/folder_access/granted_folder_test.cpp
    sortappkit/folder_access/bookmark_store_test.cpp
    sortappkit/view_models/plan_view_model_test.cpp
    sortappkit/view_models/run_rows_test.cpp
    sortappkit/sort_engine_test.cpp
    sortappkit/app_model_test.cpp
  DEPS sortappkit
  LABELS app)
# The lock held by another process is the journal's helper program.
add_dependencies(sortappkit_tests run_lock_holder ombrix-driver)
endif()

if(NOT OMBRIX_FUZZ)
rozuzed_tests(rozuzed_core_tests
  SOURCES
    rozuzed/support/file_url_test.cpp
    rozuzed/support/unicode_test.cpp
    rozuzed/model/sort_error_test.cpp
    rozuzed/model/file_metadata_test.cpp
  DEPS rozuzed_core
  LABELS core)
endif()

if(NOT OMBRIX_FUZZ)
rozuzed_tests(rozuzed_core_tests
  SOURCES
    rozuzed/support/file_url_test.cpp
    rozuzed/support/unicode_test.cpp
    rozuzed/filesystem/content_hashing_test.cpp
    rozuzed/support/bundled_resource_test.cpp
    rozuzed/support/parallel_test.cpp
    rozuzed/model/sort_error_test.cpp
    rozuzed/model/file_metadata_test.cpp
    rozuzed/filesystem/bundle_extensions_test.cpp
    rozuzed/filesystem/content_type_registry_test.cpp
    rozuzed/filesystem/download_source_test.cpp
    rozuzed/filesystem/live_file_system_test.cpp
    rozuzed/filesystem/mount_table_test.cpp
    rozuzed/filesystem/trash_test.cpp
    rozuzed/filesystem/permission_failures_test.cpp
  DEPS rozuzed_core
  LABELS core)
endif()
if(TARGET rozuzed_core_tests)
  add_executable(volume_probe rozuzed/filesystem/volume_probe.cpp)
  target_link_libraries(volume_probe PRIVATE rozuzed_core)
  add_dependencies(rozuzed_core_tests volume_probe)
endif()

if(NOT OMBRIX_FUZZ)
rozuzed_tests(rozuzed_planning_tests
  SOURCES
    rozuzed/model/skip_reason_test.cpp
    rozuzed/model/sort_plan_test.cpp
    rozuzed/planning/safety_gate_test.cpp
    rozuzed/planning/collision_resolver_test.cpp
    rozuzed/planning/directory_roots_test.cpp
    rozuzed/planning/planner_test.cpp
    rozuzed/planning/planner_live_test.cpp
    rozuzed/testing/in_memory_file_system.cpp
    rozuzed/testing/temporary_folder.cpp
  DEPS rozuzed_planning
  LABELS planning)
endif()
if(TARGET rozuzed_planning_tests)
  # The shared test doubles include each other as "testing/...".
  target_include_directories(rozuzed_planning_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/rozuzed)
endif()

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
  DEPS rozuzed_planning
  LABELS planning)
endif()

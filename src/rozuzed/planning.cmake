rozuzed_library(rozuzed_planning
  SOURCES
    model/skip_reason.cpp
    model/plan_coding.cpp
    model/sort_plan.cpp
    planning/safety_gate.cpp
    planning/collision_resolver.cpp
    planning/directory_roots.cpp
    planning/planner.cpp
  DEPS
    rozuzed_rules rozuzed_core)

# The plan itself, apart from the planner that makes it, so the journal that
# stores plans needs no planner.
rozuzed_library(rozuzed_plan
  SOURCES
    model/skip_reason.cpp
    model/plan_coding.cpp
    model/sort_plan.cpp
  DEPS
    rozuzed_core)
rozuzed_library(rozuzed_planning
  SOURCES
    planning/safety_gate.cpp
    planning/collision_resolver.cpp
    planning/directory_roots.cpp
    planning/planner.cpp
  DEPS
    rozuzed_plan rozuzed_rules rozuzed_core)

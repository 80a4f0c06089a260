if(NOT OMBRIX_FUZZ)
rozuzed_tests(rozuzed_rules_tests
  SOURCES
    rozuzed/model/destination_test.cpp
    rozuzed/model/match_criteria_test.cpp
    rozuzed/model/sort_rule_test.cpp
    rozuzed/rules/url_host_test.cpp
    rozuzed/rules/rule_validator_test.cpp
    rozuzed/rules/rule_engine_test.cpp
    rozuzed/rules/rule_set_loader_test.cpp
    rozuzed/rules/default_rule_set_test.cpp
    rozuzed/support/json_test.cpp
  DEPS rozuzed_rules
  LABELS rules)
endif()

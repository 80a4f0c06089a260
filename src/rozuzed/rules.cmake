rozuzed_library(rozuzed_rules
  SOURCES
    model/destination.cpp
    model/match_criteria.cpp
    model/sort_rule.cpp
    rules/url_host.cpp
    rules/rule_validator.cpp
    rules/rule_engine.cpp
    rules/rule_set_loader.cpp
  DEPS
    rozuzed_core ICU::i18n ICU::uc)

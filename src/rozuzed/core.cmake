rozuzed_library(rozuzed_core
  SOURCES
    support/file_url.cpp
    support/unicode.cpp
    support/uuid.cpp
    support/json.cpp
    support/text.cpp
    support/dates.cpp
    model/sort_error.cpp
    model/file_metadata.cpp
  DEPS
    ICU::uc ICU::i18n OpenSSL::Crypto nlohmann_json::nlohmann_json Threads::Threads)

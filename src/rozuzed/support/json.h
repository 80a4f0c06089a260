// JSON reading and writing over nlohmann-json: ordered keys, compact output,
// and one reader per kind of value so every payload checks values alike.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "rozuzed/support/dates.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/uuid.h"

namespace rozuzed {

using Json = nlohmann::ordered_json;

// A document that is not JSON, or a value of the wrong form under a key.
class JsonDecodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Nesting deeper than this is refused, so a hostile document cannot exhaust
// the stack of any recursive reader that walks it afterwards.
inline constexpr int kMaxJsonDepth = 256;

// Parses a whole document; throws JsonDecodingError.
Json parseJson(std::string_view text, int maxDepth = kMaxJsonDepth);

// Compact text. Every string in `value` must be valid UTF-8.
std::string dumpJson(const Json& value);

// Readers of one key of an object. A missing key or a value of another form
// throws JsonDecodingError naming the key. The optional forms give nullopt
// for a missing key or null.
const Json& requireObject(const Json& value, std::string_view what);
const Json& requireKey(const Json& object, const char* key);
bool hasValue(const Json& object, const char* key);
const Json& readArray(const Json& object, const char* key);
const Json& readObject(const Json& object, const char* key);

int64_t readInt64(const Json& object, const char* key);
double readDouble(const Json& object, const char* key);
bool readBool(const Json& object, const char* key);
std::string readString(const Json& object, const char* key);
Uuid readUuid(const Json& object, const char* key);
FileURL readUrl(const Json& object, const char* key);
Date readDate(const Json& object, const char* key);

std::optional<int64_t> readOptionalInt64(const Json& object, const char* key);
std::optional<double> readOptionalDouble(const Json& object, const char* key);
std::optional<bool> readOptionalBool(const Json& object, const char* key);
std::optional<std::string> readOptionalString(const Json& object, const char* key);
std::optional<Uuid> readOptionalUuid(const Json& object, const char* key);
std::optional<FileURL> readOptionalUrl(const Json& object, const char* key);

// Conversions of a single value (an array element, say).
int64_t asInt64(const Json& value, std::string_view what);
double asDouble(const Json& value, std::string_view what);
std::string asString(const Json& value, std::string_view what);
Uuid asUuid(const Json& value, std::string_view what);
FileURL asUrl(const Json& value, std::string_view what);

// Runs `read`; a JsonDecodingError "key: problem" thrown inside becomes
// "context.key: problem", so nested readers report where in the document
// the fault lies. Other exceptions pass unchanged.
template <typename Read>
auto withinJson(const std::string& context, Read&& read) -> decltype(read()) {
  try {
    return read();
  } catch (const JsonDecodingError& error) {
    throw JsonDecodingError(context + "." + error.what());
  }
}

}  // namespace rozuzed

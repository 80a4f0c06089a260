#include "rozuzed/support/json.h"

#include <limits>

namespace rozuzed {
namespace {

[[noreturn]] void fail(std::string_view what, std::string_view problem) {
  throw JsonDecodingError(std::string(what) + ": " + std::string(problem));
}

}  // namespace

Json parseJson(std::string_view text, int maxDepth) {
  Json::parser_callback_t limitDepth = [maxDepth](int depth, Json::parse_event_t event, Json&) {
    if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
        depth >= maxDepth) {
      throw JsonDecodingError("the document nests deeper than " + std::to_string(maxDepth) +
                              " levels");
    }
    return true;
  };
  try {
    return Json::parse(text.begin(), text.end(), limitDepth);
  } catch (const Json::exception& error) {
    throw JsonDecodingError(error.what());
  }
}

std::string dumpJson(const Json& value) { return value.dump(); }

const Json& requireObject(const Json& value, std::string_view what) {
  if (!value.is_object()) fail(what, "expected an object");
  return value;
}

const Json& requireKey(const Json& object, const char* key) {
  if (!object.is_object()) fail(key, "expected an object holding this key");
  auto it = object.find(key);
  if (it == object.end()) fail(key, "missing key");
  return *it;
}

bool hasValue(const Json& object, const char* key) {
  if (!object.is_object()) return false;
  auto it = object.find(key);
  return it != object.end() && !it->is_null();
}

const Json& readArray(const Json& object, const char* key) {
  const Json& value = requireKey(object, key);
  if (!value.is_array()) fail(key, "expected an array");
  return value;
}

const Json& readObject(const Json& object, const char* key) {
  const Json& value = requireKey(object, key);
  if (!value.is_object()) fail(key, "expected an object");
  return value;
}

int64_t asInt64(const Json& value, std::string_view what) {
  if (value.is_number_unsigned()) {
    auto v = value.get<uint64_t>();
    if (v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
      fail(what, "integer out of range");
    }
    return static_cast<int64_t>(v);
  }
  if (value.is_number_integer()) return value.get<int64_t>();
  fail(what, "expected an integer");
}

double asDouble(const Json& value, std::string_view what) {
  if (!value.is_number()) fail(what, "expected a number");
  return value.get<double>();
}

std::string asString(const Json& value, std::string_view what) {
  if (!value.is_string()) fail(what, "expected a string");
  return value.get<std::string>();
}

Uuid asUuid(const Json& value, std::string_view what) {
  auto id = Uuid::parse(asString(value, what));
  if (!id) fail(what, "expected a UUID");
  return *id;
}

FileURL asUrl(const Json& value, std::string_view what) {
  auto url = FileURL::fromAbsoluteString(asString(value, what));
  if (!url) fail(what, "expected a file URL");
  return *url;
}

int64_t readInt64(const Json& object, const char* key) { return asInt64(requireKey(object, key), key); }
double readDouble(const Json& object, const char* key) { return asDouble(requireKey(object, key), key); }
Date readDate(const Json& object, const char* key) { return readDouble(object, key); }

bool readBool(const Json& object, const char* key) {
  const Json& value = requireKey(object, key);
  if (!value.is_boolean()) fail(key, "expected true or false");
  return value.get<bool>();
}

std::string readString(const Json& object, const char* key) {
  return asString(requireKey(object, key), key);
}
Uuid readUuid(const Json& object, const char* key) { return asUuid(requireKey(object, key), key); }
FileURL readUrl(const Json& object, const char* key) { return asUrl(requireKey(object, key), key); }

std::optional<int64_t> readOptionalInt64(const Json& object, const char* key) {
  if (!hasValue(object, key)) return std::nullopt;
  return readInt64(object, key);
}
std::optional<double> readOptionalDouble(const Json& object, const char* key) {
  if (!hasValue(object, key)) return std::nullopt;
  return readDouble(object, key);
}
std::optional<bool> readOptionalBool(const Json& object, const char* key) {
  if (!hasValue(object, key)) return std::nullopt;
  return readBool(object, key);
}
std::optional<std::string> readOptionalString(const Json& object, const char* key) {
  if (!hasValue(object, key)) return std::nullopt;
  return readString(object, key);
}
std::optional<Uuid> readOptionalUuid(const Json& object, const char* key) {
  if (!hasValue(object, key)) return std::nullopt;
  return readUuid(object, key);
}
std::optional<FileURL> readOptionalUrl(const Json& object, const char* key) {
  if (!hasValue(object, key)) return std::nullopt;
  return readUrl(object, key);
}

}  // namespace rozuzed

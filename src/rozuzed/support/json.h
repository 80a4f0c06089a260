// JSON reading and writing over nlohmann-json: ordered keys, compact output,
// one reader per kind of value so every payload checks values alike, and a
// writer and a reader that take a document a piece at a time, so that a
// plan of many thousand moves never sits in memory as a tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "rozuzed/support/dates.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/uuid.h"

namespace rozuzed {

using Json = nlohmann::ordered_json;

// A document that is not JSON, or a value of the wrong form under a key.
// The text names where the fault lies ("rules[0].match.type") before the
// problem ("missing key"), or is the problem alone when no place is known;
// a syntax error reads "syntax error at line 1, column 1: unexpected end of
// input". Nothing of the JSON library's own wording of errors shows.
class JsonDecodingError : public std::runtime_error {
 public:
  explicit JsonDecodingError(const std::string& problem);
  JsonDecodingError(std::string location, std::string problem);

  // Empty when the problem lies in the value itself, not under a key.
  const std::string& location() const { return location_; }
  const std::string& problem() const { return problem_; }

 private:
  std::string location_;
  std::string problem_;
};

// A value JSON cannot hold (a number that is not finite, text that is not
// UTF-8).
class JsonEncodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Nesting deeper than this is refused, so a hostile document cannot exhaust
// the stack of any recursive reader that walks it afterwards.
inline constexpr int kMaxJsonDepth = 256;

// Where a document is read from: text held in memory, or a source that
// fills a buffer with the next bytes and answers how many (0 at the end),
// throwing when it cannot read. A source is read once, front to back.
class JsonInput {
 public:
  using Source = std::function<std::size_t(char* buffer, std::size_t capacity)>;

  JsonInput(std::string_view text) : text_(text) {}
  JsonInput(const std::string& text) : text_(text) {}
  JsonInput(const char* text) : text_(text) {}
  explicit JsonInput(Source source) : source_(std::move(source)) {}

  const std::string_view& text() const { return text_; }
  const Source& source() const { return source_; }

 private:
  std::string_view text_;
  Source source_;
};

// Parses a whole document; throws JsonDecodingError.
Json parseJson(const JsonInput& input, int maxDepth = kMaxJsonDepth);

// What parseJsonStreaming hands on: `begin` as an array under one of the
// streamed keys starts (again, for a key given twice: the later value is
// the one that counts), then `element` with each of its elements.
struct JsonArrayHandler {
  std::function<void(const std::string& key)> begin;
  std::function<void(const std::string& key, Json&& element)> element;
};

// Parses a document without ever holding all of it: each element of an
// array that lies directly under one of `streamedKeys` in the top-level
// object goes to `handler` as soon as it is complete, and is dropped after.
// Returns the rest of the document, those keys holding empty arrays; a
// document whose top level is not an object, or such a key whose value is
// not an array, comes back whole. Throws JsonDecodingError; what `handler`
// throws passes unchanged and ends the reading.
Json parseJsonStreaming(const JsonInput& input, const std::vector<std::string>& streamedKeys,
                        const JsonArrayHandler& handler, int maxDepth = kMaxJsonDepth);

// Compact text. Every string in `value` must be valid UTF-8; throws
// JsonEncodingError otherwise.
std::string dumpJson(const Json& value);

// Writes one document as compact text, a value at a time, byte for byte as
// dumpJson writes the same document: keys in the order they are written,
// no white space, the library's own spelling of numbers and escapes. The
// text reaches `sink` in pieces of at most a few tens of kilobytes, but for
// text handed to `coded`, which passes as it came; the last with
// `finish()`. Values must come in an order that makes one
// document (a key before each member's value); the writer does not check.
class JsonWriter {
 public:
  using Sink = std::function<void(std::string_view piece)>;

  explicit JsonWriter(Sink sink);
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;

  JsonWriter& beginObject();
  JsonWriter& endObject();
  JsonWriter& beginArray();
  JsonWriter& endArray();
  JsonWriter& key(std::string_view name);

  // Throws JsonEncodingError for text that is not UTF-8.
  JsonWriter& string(std::string_view text);
  JsonWriter& integer(int64_t value);
  // Throws JsonEncodingError for a number that is not finite: the library
  // would write null, which reads back as nothing.
  JsonWriter& number(double value);
  // The URL's absolute text, as a string.
  JsonWriter& fileURL(const FileURL& url);
  JsonWriter& boolean(bool value);
  JsonWriter& null();
  // A small tree, written member by member.
  JsonWriter& value(const Json& value);
  // Text another writer made: one value, or several separated by commas
  // (elements of the open array), written as the next value or values.
  JsonWriter& coded(std::string_view values);

  // Hands what is left to the sink.
  void finish();

 private:
  void separate();
  // A whole number, signed or not, in its decimal digits.
  template <class Integer>
  JsonWriter& whole(Integer value);
  void put(char c);
  void put(std::string_view text);
  // `text` as a JSON string, escaped.
  void quoted(std::string_view text);
  void flush();
  void flushIfFull();

  Sink sink_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  // Per open container: whether a member has been written into it yet.
  std::vector<char> started_;
  bool afterKey_ = false;
  std::string scratch_;
};

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

// `context` placed before the location of `error`: "rules[0]" and
// "match.type" give "rules[0].match.type", "of" and "[1]" give "of[1]", and
// an error without a location takes `context` as its own.
JsonDecodingError locatedWithin(const std::string& context, const JsonDecodingError& error);

// Runs `read`; a JsonDecodingError thrown inside is thrown again located
// within `context`, so nested readers report where in the document the
// fault lies. Other exceptions pass unchanged.
template <typename Read>
auto withinJson(const std::string& context, Read&& read) -> decltype(read()) {
  try {
    return read();
  } catch (const JsonDecodingError& error) {
    throw locatedWithin(context, error);
  }
}

}  // namespace rozuzed

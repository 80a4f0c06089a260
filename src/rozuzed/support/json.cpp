#include "rozuzed/support/json.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <istream>
#include <limits>
#include <streambuf>
#include <utility>

namespace rozuzed {
namespace {

[[noreturn]] void fail(std::string_view what, std::string_view problem) {
  throw JsonDecodingError(std::string(what), std::string(problem));
}

std::string cutAtFirst(std::string_view text, std::initializer_list<std::string_view> markers) {
  std::size_t end = text.size();
  for (std::string_view marker : markers) end = std::min(end, text.find(marker));
  return std::string(text.substr(0, end));
}

// The library words its errors for its own developers: "[json.exception.
// parse_error.101] parse error at line 1, column 1: syntax error while
// parsing value - unexpected end of input; expected '[', '{', or a
// literal". A reader of ours is told the place and the problem only, and
// never the bytes last read, which may not even be text.
std::string plainMessage(const std::string& what) {
  std::string_view text = what;
  if (text.starts_with("[json.exception.")) {
    std::size_t close = text.find("] ");
    if (close != std::string_view::npos) text.remove_prefix(close + 2);
  }
  constexpr std::string_view kParseError = "parse error";
  if (!text.starts_with(kParseError)) return cutAtFirst(text, {"; last read: "});
  text.remove_prefix(kParseError.size());
  std::string location;
  if (std::size_t colon = text.find(": "); colon != std::string_view::npos) {
    location = std::string(text.substr(0, colon));
    text.remove_prefix(colon + 2);
  }
  if (std::size_t dash = text.find(" - ");
      text.starts_with("syntax error") && dash != std::string_view::npos) {
    text.remove_prefix(dash + 3);
  }
  return "syntax error" + location + ": " + cutAtFirst(text, {"; last read: ", "; expected "});
}

// Builds trees from the parser's events. With streamed keys, the elements
// of those arrays of the top-level object are built one at a time apart
// from the tree and handed on when complete.
class TreeBuilder final : public nlohmann::json_sax<Json> {
 public:
  TreeBuilder(int maxDepth, const std::vector<std::string>* streamedKeys,
              const JsonArrayHandler* handler)
      : maxDepth_(maxDepth), streamedKeys_(streamedKeys), handler_(handler) {}

  Json takeRoot() { return std::move(root_); }

  bool null() override { return put(Json(nullptr)); }
  bool boolean(bool value) override { return put(Json(value)); }
  bool number_integer(number_integer_t value) override { return put(Json(value)); }
  bool number_unsigned(number_unsigned_t value) override { return put(Json(value)); }
  bool number_float(number_float_t value, const string_t&) override { return put(Json(value)); }
  bool string(string_t& value) override { return put(Json(std::move(value))); }
  bool binary(binary_t& value) override { return put(Json::binary(std::move(value))); }

  bool start_object(std::size_t) override { return open(Json::object()); }
  bool start_array(std::size_t) override { return open(Json::array()); }
  bool key(string_t& name) override {
    key_ = std::move(name);
    return true;
  }
  bool end_object() override { return close(); }
  bool end_array() override { return close(); }

  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& error) override {
    throw JsonDecodingError(plainMessage(error.what()));
  }

 private:
  // Whether the container on top of the stack is a streamed array.
  bool inStreamedArray() const { return streamedDepth_ != 0 && stack_.size() == streamedDepth_; }

  // Places `value` where the document has it and answers where it lies.
  Json* place(Json&& value) {
    if (stack_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    if (inStreamedArray()) {
      piece_ = std::move(value);
      return &piece_;
    }
    Json& parent = *stack_.back();
    if (parent.is_array()) {
      parent.push_back(std::move(value));
      return &parent.back();
    }
    Json& slot = parent[key_];
    slot = std::move(value);
    return &slot;
  }

  bool put(Json&& value) {
    bool streamed = inStreamedArray();
    place(std::move(value));
    if (streamed) deliver();
    return true;
  }

  bool open(Json&& container) {
    if (stack_.size() >= static_cast<std::size_t>(maxDepth_)) {
      throw JsonDecodingError("the document nests deeper than " + std::to_string(maxDepth_) +
                              " levels");
    }
    bool streams =
        container.is_array() && stack_.size() == 1 && root_.is_object() &&
        streamedKeys_ != nullptr &&
        std::find(streamedKeys_->begin(), streamedKeys_->end(), key_) != streamedKeys_->end();
    stack_.push_back(place(std::move(container)));
    if (streams) {
      streamedKey_ = key_;
      streamedDepth_ = stack_.size();
      handler_->begin(streamedKey_);
    }
    return true;
  }

  bool close() {
    if (inStreamedArray()) streamedDepth_ = 0;
    stack_.pop_back();
    if (inStreamedArray()) deliver();
    return true;
  }

  void deliver() {
    handler_->element(streamedKey_, std::move(piece_));
    piece_ = Json();
  }

  int maxDepth_;
  const std::vector<std::string>* streamedKeys_;
  const JsonArrayHandler* handler_;
  Json root_;
  std::vector<Json*> stack_;
  std::string key_;
  // The open streamed array's depth (0 when none is open), its key, and the
  // element being built in it.
  std::size_t streamedDepth_ = 0;
  std::string streamedKey_;
  Json piece_;
};

// Hands the bytes of a source to the parser, a buffer at a time.
class SourceBuffer final : public std::streambuf {
 public:
  explicit SourceBuffer(const JsonInput::Source& source) : source_(source) {}

 protected:
  int_type underflow() override {
    std::size_t count = source_(buffer_.data(), buffer_.size());
    if (count == 0) return traits_type::eof();
    setg(buffer_.data(), buffer_.data(), buffer_.data() + count);
    return traits_type::to_int_type(buffer_[0]);
  }

 private:
  const JsonInput::Source& source_;
  std::array<char, 64 * 1024> buffer_;
};

void parse(const JsonInput& input, TreeBuilder& builder) {
  if (input.source()) {
    SourceBuffer buffer(input.source());
    std::istream stream(&buffer);
    Json::sax_parse(stream, &builder);
  } else {
    Json::sax_parse(input.text().begin(), input.text().end(), &builder);
  }
}

}  // namespace

JsonDecodingError::JsonDecodingError(const std::string& problem)
    : std::runtime_error(problem), problem_(problem) {}

JsonDecodingError::JsonDecodingError(std::string location, std::string problem)
    : std::runtime_error(location.empty() ? problem : location + ": " + problem),
      location_(std::move(location)),
      problem_(std::move(problem)) {}

JsonDecodingError locatedWithin(const std::string& context, const JsonDecodingError& error) {
  std::string location = context;
  if (!error.location().empty()) {
    if (error.location().front() != '[') location += '.';
    location += error.location();
  }
  return JsonDecodingError(std::move(location), error.problem());
}

Json parseJson(const JsonInput& input, int maxDepth) {
  TreeBuilder builder(maxDepth, nullptr, nullptr);
  parse(input, builder);
  return builder.takeRoot();
}

Json parseJsonStreaming(const JsonInput& input, const std::vector<std::string>& streamedKeys,
                        const JsonArrayHandler& handler, int maxDepth) {
  TreeBuilder builder(maxDepth, &streamedKeys, &handler);
  parse(input, builder);
  return builder.takeRoot();
}

std::string dumpJson(const Json& value) {
  std::string text;
  JsonWriter writer([&text](std::string_view piece) { text += piece; });
  writer.value(value);
  writer.finish();
  return text;
}

namespace {

// The text reaches the sink in pieces of at least this size (but the last);
// the buffer holds twice as much, so a value rarely has to be split.
constexpr std::size_t kPieceSize = 32 * 1024;
constexpr std::size_t kBufferSize = 2 * kPieceSize;

// Bytes that go into a JSON string as they are: printable ASCII but for the
// quote and the backslash. The rest is escaped, or, from 0x80 up, checked
// to be UTF-8.
constexpr std::array<bool, 256> kPlain = [] {
  std::array<bool, 256> plain{};
  for (int c = 0x20; c < 0x80; ++c) plain[c] = c != '"' && c != '\\';
  return plain;
}();

// How many bytes from the start of `bytes` go into a JSON string as they
// are. Eight at a time while none of them needs a look of its own.
std::size_t plainRun(const uint8_t* bytes, std::size_t length) {
  constexpr uint64_t ones = 0x0101010101010101ULL;
  constexpr uint64_t highs = 0x8080808080808080ULL;
  // Non-zero exactly when some byte of `word` is below `bound` (at most 0x80).
  auto anyBelow = [](uint64_t word, uint64_t bound) {
    return (word - bound * ones) & ~word & highs;
  };
  std::size_t at = 0;
  for (; at + sizeof(uint64_t) <= length; at += sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, bytes + at, sizeof word);
    if ((word & highs) != 0 || anyBelow(word, 0x20) != 0 || anyBelow(word ^ ('"' * ones), 1) != 0 ||
        anyBelow(word ^ ('\\' * ones), 1) != 0) {
      break;
    }
  }
  while (at < length && kPlain[bytes[at]]) ++at;
  return at;
}

}  // namespace

JsonWriter::JsonWriter(Sink sink) : sink_(std::move(sink)), buffer_(new char[kBufferSize]) {}

void JsonWriter::flush() {
  if (used_ > 0) sink_(std::string_view(buffer_.get(), used_));
  used_ = 0;
}

void JsonWriter::put(char c) {
  if (used_ == kBufferSize) flush();
  buffer_[used_++] = c;
}

void JsonWriter::put(std::string_view text) {
  while (!text.empty()) {
    if (used_ == kBufferSize) flush();
    std::size_t count = std::min(text.size(), kBufferSize - used_);
    std::memcpy(buffer_.get() + used_, text.data(), count);
    used_ += count;
    text.remove_prefix(count);
  }
}

void JsonWriter::separate() {
  if (afterKey_) {
    afterKey_ = false;
  } else if (!started_.empty()) {
    if (started_.back()) put(',');
    started_.back() = true;
  }
}

void JsonWriter::flushIfFull() {
  if (used_ >= kPieceSize) flush();
}

void JsonWriter::finish() {
  flush();
}

JsonWriter& JsonWriter::beginObject() {
  separate();
  put('{');
  started_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::endObject() {
  put('}');
  started_.pop_back();
  flushIfFull();
  return *this;
}

JsonWriter& JsonWriter::beginArray() {
  separate();
  put('[');
  started_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::endArray() {
  put(']');
  started_.pop_back();
  flushIfFull();
  return *this;
}

void JsonWriter::quoted(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
    throw JsonEncodingError("a text too long to write");
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  put('"');
  int32_t i = 0;
  while (i < length) {
    const auto run =
        i + static_cast<int32_t>(plainRun(bytes + i, static_cast<std::size_t>(length - i)));
    put(text.substr(static_cast<std::size_t>(i), static_cast<std::size_t>(run - i)));
    i = run;
    if (i == length) break;
    uint8_t byte = bytes[i];
    if (byte >= 0x80) {
      int32_t start = i;
      UChar32 c;
      U8_NEXT(bytes, i, length, c);
      if (c < 0) throw JsonEncodingError("text that is not UTF-8");
      put(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
      continue;
    }
    ++i;
    switch (byte) {
      case '"':
        put("\\\"");
        break;
      case '\\':
        put("\\\\");
        break;
      case '\b':
        put("\\b");
        break;
      case '\f':
        put("\\f");
        break;
      case '\n':
        put("\\n");
        break;
      case '\r':
        put("\\r");
        break;
      case '\t':
        put("\\t");
        break;
      default: {
        const char escape[6] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
        put(std::string_view(escape, 6));
      }
    }
  }
  put('"');
}

JsonWriter& JsonWriter::key(std::string_view name) {
  separate();
  quoted(name);
  put(':');
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::coded(std::string_view values) {
  separate();
  // Long text goes on as it is rather than through the buffer.
  if (values.size() >= kPieceSize) {
    flush();
    sink_(values);
  } else {
    put(values);
    flushIfFull();
  }
  return *this;
}

JsonWriter& JsonWriter::string(std::string_view text) {
  separate();
  quoted(text);
  flushIfFull();
  return *this;
}

template <class Integer>
JsonWriter& JsonWriter::whole(Integer value) {
  separate();
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  put(std::string_view(digits, static_cast<std::size_t>(end - digits)));
  flushIfFull();
  return *this;
}

JsonWriter& JsonWriter::integer(int64_t value) {
  return whole(value);
}

JsonWriter& JsonWriter::number(double value) {
  if (!std::isfinite(value)) throw JsonEncodingError("a number that is not finite");
  separate();
  // The library's own number writer, so the digits are the ones dump()
  // gives: the shortest that read back to the same double, with ".0" on a
  // whole number.
  char digits[64];
  char* end = nlohmann::detail::to_chars(digits, digits + sizeof digits, value);
  put(std::string_view(digits, static_cast<std::size_t>(end - digits)));
  flushIfFull();
  return *this;
}

JsonWriter& JsonWriter::fileURL(const FileURL& url) {
  separate();
  // The text needs no escapes: it is percent-encoded ASCII.
  scratch_.clear();
  url.appendAbsoluteString(scratch_);
  put('"');
  put(scratch_);
  put('"');
  flushIfFull();
  return *this;
}

JsonWriter& JsonWriter::boolean(bool value) {
  separate();
  put(value ? "true" : "false");
  flushIfFull();
  return *this;
}

JsonWriter& JsonWriter::null() {
  separate();
  put("null");
  flushIfFull();
  return *this;
}

JsonWriter& JsonWriter::value(const Json& value) {
  switch (value.type()) {
    case Json::value_t::object:
      beginObject();
      for (const auto& [name, member] : value.items()) {
        key(name);
        this->value(member);
      }
      return endObject();
    case Json::value_t::array:
      beginArray();
      for (const Json& member : value) this->value(member);
      return endArray();
    case Json::value_t::string:
      return string(value.get_ref<const std::string&>());
    case Json::value_t::boolean:
      return boolean(value.get<bool>());
    case Json::value_t::number_integer:
      return integer(value.get<int64_t>());
    case Json::value_t::number_unsigned:
      return whole(value.get<uint64_t>());
    case Json::value_t::number_float: {
      // As the library writes it: a number JSON cannot hold becomes null.
      double number = value.get<double>();
      return std::isfinite(number) ? this->number(number) : null();
    }
    case Json::value_t::null:
      return null();
    case Json::value_t::binary:
    case Json::value_t::discarded:
      break;
  }
  throw JsonEncodingError("a value JSON text cannot hold");
}

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

int64_t readInt64(const Json& object, const char* key) {
  return asInt64(requireKey(object, key), key);
}
double readDouble(const Json& object, const char* key) {
  return asDouble(requireKey(object, key), key);
}
Date readDate(const Json& object, const char* key) {
  return readDouble(object, key);
}

bool readBool(const Json& object, const char* key) {
  const Json& value = requireKey(object, key);
  if (!value.is_boolean()) fail(key, "expected true or false");
  return value.get<bool>();
}

std::string readString(const Json& object, const char* key) {
  return asString(requireKey(object, key), key);
}
Uuid readUuid(const Json& object, const char* key) {
  return asUuid(requireKey(object, key), key);
}
FileURL readUrl(const Json& object, const char* key) {
  return asUrl(requireKey(object, key), key);
}

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

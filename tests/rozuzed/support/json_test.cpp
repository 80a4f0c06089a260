#include "rozuzed/support/json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace rozuzed {
namespace {

std::string written(const Json& value) {
  std::string text;
  JsonWriter writer([&text](std::string_view piece) { text += piece; });
  writer.value(value);
  writer.finish();
  return text;
}

// A source that hands out `step` bytes at a time, so every value of the
// document is cut somewhere.
JsonInput trickling(const std::string& text, std::size_t step) {
  auto at = std::make_shared<std::size_t>(0);
  return JsonInput(JsonInput::Source([text, step, at](char* buffer, std::size_t capacity) {
    std::size_t count = std::min({step, capacity, text.size() - *at});
    text.copy(buffer, count, *at);
    *at += count;
    return count;
  }));
}

TEST(JsonWriterTest, WritesWhatTheLibraryWritesByteForByte) {
  Json document = Json::parse(R"({"b":[],"a":{},"text":"q\"b\\s/\b\f\n\r\t\u0001\u001f\u007f",)"
                              R"("unicode":"é→𝄞","numbers":[0,-1,9223372036854775807,)"
                              R"(-9223372036854775808,18446744073709551615,0.0,-0.0,0.1,1.5,)"
                              R"(1e21,1e-7,123456789012345678,1.7976931348623157e308,5e-324,)"
                              R"(1700000000.123456],"flags":[true,false,null],)"
                              R"("nested":[[[{"k":[{}]}]]]})");
  EXPECT_EQ(written(document), document.dump());
  EXPECT_EQ(dumpJson(document), document.dump());

  // Dates are written as doubles; any of them must come out as the library
  // spells it.
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) continue;
    ASSERT_EQ(written(Json(value)), Json(value).dump()) << bits;
    double date = std::ldexp(static_cast<double>(random() >> 11), -22);
    ASSERT_EQ(written(Json(date)), Json(date).dump()) << date;
  }
}

// Plain text is scanned several bytes at a time: a byte that needs a look
// of its own must be found wherever it lies within such a stretch.
TEST(JsonWriterTest, FindsASpecialByteAtAnyPlaceInALongText) {
  for (const std::string special : {"\"", "\\", "\x01", "\x1f", " ", "\x7f", "\xC3\xA9"}) {
    for (std::size_t at = 0; at <= 20; ++at) {
      std::string text = std::string(at, 'a') + special + std::string(20 - at, 'z');
      ASSERT_EQ(written(Json(text)), Json(text).dump()) << at;
    }
  }
  for (std::size_t at = 0; at <= 20; ++at) {
    JsonWriter writer([](std::string_view) {});
    EXPECT_THROW(writer.string(std::string(at, 'a') + "\xFF" + std::string(20 - at, 'z')),
                 JsonEncodingError)
        << at;
  }
}

TEST(JsonWriterTest, RefusesWhatJsonCannotHold) {
  for (const std::string& text : {std::string("\xFF"), std::string("a\xC3"),
                                  std::string("\xED\xA0\x80"), std::string("\xC0\xAF")}) {
    JsonWriter writer([](std::string_view) {});
    EXPECT_THROW(writer.string(text), JsonEncodingError);
  }
  for (double value : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    JsonWriter writer([](std::string_view) {});
    EXPECT_THROW(writer.number(value), JsonEncodingError);
  }
  EXPECT_THROW(dumpJson(Json("\xFF")), JsonEncodingError);
}

TEST(JsonWriterTest, HandsOnALargeDocumentInBoundedPieces) {
  std::vector<std::size_t> pieces;
  std::string text;
  JsonWriter writer([&](std::string_view piece) {
    pieces.push_back(piece.size());
    text += piece;
  });
  writer.beginArray();
  for (int i = 0; i < 20000; ++i) writer.string("element " + std::to_string(i));
  writer.endArray();
  writer.finish();
  EXPECT_GT(pieces.size(), 4u);
  for (std::size_t size : pieces) EXPECT_LE(size, 64u * 1024);
  EXPECT_EQ(Json::parse(text).size(), 20000u);
}

TEST(JsonReadingTest, SyntaxErrorsNamePlaceAndProblemOnly) {
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"", "syntax error at line 1, column 1: unexpected end of input"},
      {"{", "syntax error at line 1, column 2: unexpected end of input"},
      {"[1,]", "syntax error at line 1, column 4: unexpected ']'"},
      {"{\"a\" 1}", "syntax error at line 1, column 6: unexpected number literal"},
      {"{\"a\":tru}", "syntax error at line 1, column 9: invalid literal"},
      {"{\n\"a\":\n}", "syntax error at line 3, column 1: unexpected '}'"},
      {"\"a\x01\"",
       "syntax error at line 1, column 3: invalid string: control character U+0001 "
       "(SOH) must be escaped to \\u0001"},
      {"\"\xFF\"", "syntax error at line 1, column 2: invalid string: ill-formed UTF-8 byte"},
      {"[1e400]", "number overflow parsing '1e400'"},
      {std::string(300, '['), "the document nests deeper than 256 levels"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      parseJson(c.text);
      FAIL() << "parsed";
    } catch (const JsonDecodingError& error) {
      EXPECT_EQ(std::string(error.what()), c.message);
      EXPECT_EQ(error.location(), "");
    }
  }
}

TEST(JsonReadingTest, NestedReadersPlaceTheirFaults) {
  struct Case {
    JsonDecodingError inner;
    const char* context;
    const char* message;
  };
  const Case cases[] = {
      {JsonDecodingError("expected a rule object"), "rules[0]", "rules[0]: expected a rule object"},
      {JsonDecodingError("type", "missing key"), "match", "match.type: missing key"},
      {JsonDecodingError("of[1]", "expected an object"), "match",
       "match.of[1]: expected an object"},
      {JsonDecodingError("[2].id", "missing key"), "moves", "moves[2].id: missing key"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(locatedWithin(c.context, c.inner).what(), c.message);
    EXPECT_EQ(locatedWithin(c.context, c.inner).problem(), c.inner.problem());
  }
}

TEST(JsonReadingTest, StreamsTheNamedTopLevelArraysAnElementAtATime) {
  const std::string text = R"({"version":1,"moves":[{"a":[1]},2,"x",[[]]],"deep":{"moves":[9]},)"
                           R"("skipped":[],"other":[5]})";
  for (std::size_t step : {std::size_t{1}, std::size_t{7}, text.size()}) {
    SCOPED_TRACE(step);
    std::vector<std::string> events;
    JsonArrayHandler handler{
        .begin = [&](const std::string& key) { events.push_back("begin " + key); },
        .element = [&](const std::string& key,
                       Json&& element) { events.push_back(key + " " + element.dump()); }};
    Json rest = parseJsonStreaming(trickling(text, step), {"moves", "skipped"}, handler);
    EXPECT_EQ(events, (std::vector<std::string>{"begin moves", R"(moves {"a":[1]})", "moves 2",
                                                R"(moves "x")", "moves [[]]", "begin skipped"}));
    EXPECT_EQ(rest.dump(),
              R"({"version":1,"moves":[],"deep":{"moves":[9]},"skipped":[],"other":[5]})");
  }
}

TEST(JsonReadingTest, StreamingKeepsWhatIsNotAStreamedArray) {
  std::vector<std::string> events;
  JsonArrayHandler handler{
      .begin = [&](const std::string& key) { events.push_back("begin " + key); },
      .element = [&](const std::string& key,
                     Json&& element) { events.push_back(key + " " + element.dump()); }};
  EXPECT_EQ(parseJsonStreaming(R"({"moves":{"a":1}})", {"moves"}, handler).dump(),
            R"({"moves":{"a":1}})");
  EXPECT_EQ(parseJsonStreaming(R"([{"moves":[1]}])", {"moves"}, handler).dump(),
            R"([{"moves":[1]}])");
  EXPECT_TRUE(events.empty());
  // A key given twice: the later value is the one that counts.
  Json rest = parseJsonStreaming(R"({"moves":[1],"moves":[]})", {"moves"}, handler);
  EXPECT_EQ(events, (std::vector<std::string>{"begin moves", "moves 1", "begin moves"}));
  EXPECT_EQ(rest.dump(), R"({"moves":[]})");
  EXPECT_THROW(parseJsonStreaming(R"({"moves":[1,)", {"moves"}, handler), JsonDecodingError);
  EXPECT_THROW(
      parseJsonStreaming("{\"moves\":[" + std::string(300, '[') + "]}", {"moves"}, handler),
      JsonDecodingError);
}

TEST(JsonReadingTest, ASourceReadsLikeTheSameText) {
  const std::string text = R"({"a":[1,2.5,"three",{"four":null}],"b":true})";
  EXPECT_EQ(parseJson(trickling(text, 3)), parseJson(text));
  EXPECT_THROW(parseJson(trickling(text.substr(0, 20), 3)), JsonDecodingError);
  JsonInput failing(JsonInput::Source(
      [](char*, std::size_t) -> std::size_t { throw std::runtime_error("the disk went away"); }));
  EXPECT_THROW(parseJson(failing), std::runtime_error);
}

}  // namespace
}  // namespace rozuzed

#include "rozuzed/support/unicode.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "rozuzed/support/json.h"
#include "rozuzed/support/uuid.h"

namespace rozuzed {
namespace {

TEST(UnicodeTest, CanonicalEquivalence) {
  std::string composed = "caf\u00e9";
  std::string decomposed = "cafe\u0301";
  EXPECT_TRUE(canonicallyEqual(composed, decomposed));
  EXPECT_EQ(canonicalHash(composed), canonicalHash(decomposed));
  EXPECT_FALSE(canonicallyEqual("cafe", composed));
  // Characters beyond ASCII can be equivalent to ASCII ones.
  EXPECT_TRUE(canonicallyEqual("K", "\u212A"));
  EXPECT_TRUE(canonicallyEqual("\u212A", "K"));
  EXPECT_EQ(nfc("1\u037E"), "1;");
  EXPECT_FALSE(canonicallyEqual("pdf", "PDF"));
  EXPECT_EQ(decomposedUtf16Length(composed), 5u);
  EXPECT_EQ(graphemeCount(decomposed), 4u);
}

TEST(UnicodeTest, LowercasingIgnoresTheProcessLocale) {
  EXPECT_EQ(lowercased("IMAGES"), "images");
  EXPECT_EQ(lowercased("İ"), "i\u0307");
  EXPECT_EQ(lowercased("ÄÖÜ"), "äöü");
  EXPECT_EQ(lowercased("A\xff"), "a\xff");
  EXPECT_EQ(trimmedWhitespace(" \t x y \n"), "x y");
  EXPECT_FALSE(isValidUtf8("\xc3"));
}

TEST(UnicodeTest, SortKeysInOneBufferAreTheKeysOneByOne) {
  LocalizedStandardOrder order;
  std::string keys = "prefix";
  std::string expected = keys;
  for (const char* text : {"file2", "", "File10", "\u00e9t\u00e9",
                           "a much longer name, with 12 digits 123456789012"}) {
    order.appendSortKey(text, keys);
    expected += order.sortKey(text);
  }
  EXPECT_EQ(keys, expected);
  EXPECT_LT(order.sortKey("file2"), order.sortKey("file10"));

  // Keys order as the collator compares, whichever way a text is read:
  // ASCII or not, short or long.
  const std::string longName(128, 'x');
  const std::vector<std::string> texts = {"file2",
                                          "file10",
                                          "File10",
                                          "file010",
                                          "resume",
                                          "R\u00e9sum\u00e9",
                                          "r\u00e9sum\u00e9",
                                          "e\u0301t\u00e9",
                                          "a b",
                                          "a-b",
                                          "a_b",
                                          longName + "1",
                                          longName + "2",
                                          longName + "\u00e9",
                                          longName,
                                          "\u65e5\u672c"};
  auto sign = [](int value) { return (value > 0) - (value < 0); };
  for (const std::string& a : texts) {
    for (const std::string& b : texts) {
      int byKeys = sign(order.sortKey(a).compare(order.sortKey(b)));
      if (byKeys == 0) byKeys = sign(a.compare(b));
      EXPECT_EQ(byKeys, sign(order.compare(a, b))) << a << " / " << b;
    }
  }
}

TEST(UuidTest, AForkedChildDrawsIdsOfItsOwn) {
  Uuid::random();  // the parent's pool is drawn
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Uuid id = Uuid::random();
    bool written =
        ::write(pipe[1], id.bytes.data(), id.bytes.size()) == static_cast<ssize_t>(id.bytes.size());
    ::_exit(written ? 0 : 1);
  }
  ::close(pipe[1]);
  Uuid fromChild;
  ssize_t got = ::read(pipe[0], fromChild.bytes.data(), fromChild.bytes.size());
  ::close(pipe[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_EQ(got, static_cast<ssize_t>(fromChild.bytes.size()));
  // The parent's next id is what the child would have drawn from a shared pool.
  EXPECT_NE(Uuid::random(), fromChild);
}

TEST(UuidTest, TextIsUpperCaseAndParsesEitherCase) {
  Uuid id = Uuid::random();
  std::string text = id.text();
  EXPECT_EQ(text.size(), 36u);
  EXPECT_EQ(text[14], '4');
  auto lower = text;
  for (auto& c : lower) c = static_cast<char>(std::tolower(c));
  EXPECT_EQ(Uuid::parse(lower), id);
  EXPECT_FALSE(Uuid::parse("not-a-uuid"));
  EXPECT_FALSE(Uuid::parse("0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4DX"));
  EXPECT_NE(Uuid::random(), id);
}

TEST(JsonTest, IntegersAreCheckedNeverTruncated) {
  auto doc = parseJson(R"({"i": 3, "f": 1.5, "big": 18446744073709551615, "s": "x", "n": null})");
  EXPECT_EQ(readInt64(doc, "i"), 3);
  EXPECT_THROW(readInt64(doc, "f"), JsonDecodingError);
  EXPECT_THROW(readInt64(doc, "big"), JsonDecodingError);
  EXPECT_THROW(readInt64(doc, "s"), JsonDecodingError);
  EXPECT_THROW(readInt64(doc, "absent"), JsonDecodingError);
  EXPECT_EQ(readDouble(doc, "i"), 3.0);
  EXPECT_FALSE(readOptionalString(doc, "n"));
  EXPECT_THROW(parseJson("{"), JsonDecodingError);
}

TEST(JsonTest, DeepNestingIsRefused) {
  std::string deep(300, '[');
  deep += std::string(300, ']');
  EXPECT_THROW(parseJson(deep), JsonDecodingError);
  std::string shallow(100, '[');
  shallow += std::string(100, ']');
  EXPECT_NO_THROW(parseJson(shallow));
}

TEST(UuidTest, TimeOrderedIdsSortInTheOrderTheyWereMadeAndReadBack) {
  // More than one millisecond's counter can hold on a fast machine, so the
  // step past a full counter is taken too.
  Uuid previous = Uuid::timeOrdered();
  for (int i = 0; i < 20'000; ++i) {
    Uuid next = Uuid::timeOrdered();
    ASSERT_LT(previous, next) << previous.text() << " then " << next.text();
    ASSERT_LT(previous.text(), next.text());
    previous = next;
  }
  const std::string text = previous.text();
  EXPECT_EQ(text[14], '7') << text;
  EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
  EXPECT_EQ(Uuid::parse(text), previous);
}

}  // namespace
}  // namespace rozuzed

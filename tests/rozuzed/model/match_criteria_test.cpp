#include "rozuzed/model/match_criteria.h"

#include <gtest/gtest.h>

#include <limits>

#include "rozuzed/model/sort_error.h"
#include "rozuzed/testing/equality_table.h"

namespace rozuzed {
namespace {

MatchCriteria read(const char* json) {
  return MatchCriteria::fromJson(parseJson(json));
}

TEST(RegexPatternTest, MatchesAnywhereIgnoringCaseByDefault) {
  RegexPattern screenshot("^screenshot");
  EXPECT_TRUE(screenshot.isCaseInsensitive());
  EXPECT_TRUE(screenshot.matches("Screenshot 2024-01-01.png"));
  EXPECT_FALSE(screenshot.matches("my screenshot.png"));
  EXPECT_TRUE(RegexPattern("invoice").matches("2024 INVOICE march.pdf"));
  EXPECT_FALSE(RegexPattern("invoice", false).matches("INVOICE.pdf"));
  EXPECT_TRUE(RegexPattern("invoice", false).matches("invoice.pdf"));
  // ICU folds case beyond ASCII and knows its property classes.
  EXPECT_TRUE(RegexPattern("\xC3\xA9t\xC3\xA9").matches("\xC3\x89T\xC3\x89.jpg"));
  EXPECT_TRUE(RegexPattern("^\\p{Lu}{3}\\d+").matches("IMG0001.jpg"));
  // A pattern that matches the empty text matches every name.
  EXPECT_TRUE(RegexPattern("").matches("anything"));
  EXPECT_TRUE(RegexPattern("x*").matches(""));
}

TEST(RegexPatternTest, RefusesWhatDoesNotCompileInPlainWords) {
  struct Case {
    const char* pattern;
    const char* reason;
  };
  // The offset counts characters, not bytes, from the start of its line.
  const Case cases[] = {
      {"[abc", "missing closing bracket at offset 4"},
      {"\xC3\xA9[", "missing closing bracket at offset 2"},
      {"a\n[b", "missing closing bracket at line 2, offset 2"},
      {"(abc", "unbalanced parentheses at offset 4"},
      {"a{2,1}", "repetition maximum smaller than its minimum at offset 6"},
      {"a{x}", "malformed repetition count at offset 3"},
      {"a{99999999999}", "number too large at offset 12"},
      {"*", "syntax error at offset 1"},
      {"ab\\", "unknown or unfinished escape sequence at offset 3"},
      {"\\p{Nope}", "unknown character property at offset 8"},
      {"[z-a]", "character range out of order at offset 4"},
      {"(?<=a*)b", "look-behind without a bounded length at offset 7"},
      {"\\9", "reference to a group that does not exist at offset 2"},
      {"(?i-z)", "unknown mode flag at offset 5"},
      {"(?<n>a)(?<n>b)", "invalid or repeated group name at offset 12"},
      {"\\N{NOPE}", "unknown character name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    try {
      RegexPattern pattern(c.pattern);
      FAIL() << "compiled";
    } catch (const SortError& error) {
      EXPECT_EQ(error.errorCase(), SortError::Case::invalidRegularExpression);
      EXPECT_EQ(error.text(), c.pattern);
      EXPECT_EQ(error.underlying(), c.reason);
    }
  }
}

TEST(RegexPatternTest, EqualityAndHashAreTextAndFlag) {
  testing::expectDistinctValuesAndHashes<RegexPattern>({
      {"a+", RegexPattern("a+")},
      {"case-sensitive", RegexPattern("a+", false)},
      {"b+", RegexPattern("b+")},
  });
  testing::expectEqualWithEqualHashes(RegexPattern("caf\u00e9"), RegexPattern("cafe\u0301"));
  auto read = RegexPattern::fromJson(parseJson(R"({"pattern":"x","caseInsensitive":null})"));
  EXPECT_EQ(read, RegexPattern("x"));
  EXPECT_EQ(dumpJson(RegexPattern("x").toJson()), R"({"pattern":"x","caseInsensitive":true})");
}

TEST(MatchCriteriaReadTest, NormalisesExtensionsOnReading) {
  EXPECT_EQ(read(R"({"type":"extension","values":[".PDF","Pdf","pdf"]})").extensions(),
            (std::vector<std::string>{"pdf", "pdf", "pdf"}));
  EXPECT_EQ(read(R"({"type":"extension","values":["..tar"," .x",".","","\u00C4BC.Gz","JPG"]})")
                .extensions(),
            (std::vector<std::string>{".tar", " .x", "", "",
                                      "\xC3\xA4"
                                      "bc.gz",
                                      "jpg"}));
  EXPECT_EQ(trimmingLeadingDot("..a"), ".a");
  EXPECT_EQ(trimmingLeadingDot("a."), "a.");
  EXPECT_EQ(trimmingLeadingDot(""), "");
}

TEST(MatchCriteriaReadTest, ReadsEveryKind) {
  struct Case {
    const char* json;
    MatchCriteria expected;
  };
  const Case cases[] = {
      {R"({"type":"conformsTo","uti":"public.image"})",
       MatchCriteria::conformsToType("public.image")},
      {R"({"type":"nameMatches","pattern":"^IMG_"})",
       MatchCriteria::nameMatches(RegexPattern("^IMG_"))},
      {R"({"type":"nameMatches","pattern":"^IMG_","caseInsensitive":null})",
       MatchCriteria::nameMatches(RegexPattern("^IMG_"))},
      {R"({"type":"nameMatches","pattern":"^IMG_","caseInsensitive":false})",
       MatchCriteria::nameMatches(RegexPattern("^IMG_", false))},
      {R"({"type":"olderThan","days":30})", MatchCriteria::olderThan(30)},
      {R"({"type":"newerThan","days":0.5})", MatchCriteria::newerThan(0.5)},
      {R"({"type":"largerThan","bytes":100,"megabytes":5})", MatchCriteria::largerThan(100)},
      {R"({"type":"largerThan","megabytes":1.5})", MatchCriteria::largerThan(1572864)},
      {R"({"type":"smallerThan","bytes":null,"kilobytes":2})", MatchCriteria::smallerThan(2048)},
      {R"({"type":"smallerThan","kilobytes":0.0001})", MatchCriteria::smallerThan(0)},
      {R"({"type":"smallerThan","kilobytes":-1.5})", MatchCriteria::smallerThan(-1536)},
      {R"({"type":"largerThan","gigabytes":8})", MatchCriteria::largerThan(8589934592)},
      {R"({"type":"largerThan","bytes":-9223372036854775808})",
       MatchCriteria::largerThan(std::numeric_limits<int64_t>::min())},
      {R"({"type":"largerThan","bytes":9223372036854775807})",
       MatchCriteria::largerThan(std::numeric_limits<int64_t>::max())},
      // -2^53 KiB is exactly -2^63 bytes, the lowest size there is.
      {R"({"type":"largerThan","kilobytes":-9007199254740992})",
       MatchCriteria::largerThan(std::numeric_limits<int64_t>::min())},
      {R"({"type":"downloadedFrom","hostSuffix":"Example.COM"})",
       MatchCriteria::downloadedFrom("Example.COM")},
      {R"({"type":"all","of":[]})", MatchCriteria::all({})},
      {R"({"type":"any","of":[]})", MatchCriteria::any({})},
      {R"({"type":"not","criteria":{"type":"extension","values":["tmp"]}})",
       MatchCriteria::not_(MatchCriteria::fileExtension({"tmp"}))},
      {R"({"type":"any","of":[{"type":"extension","values":["a"]},{"type":"all","of":[]}]})",
       MatchCriteria::any({MatchCriteria::fileExtension({"a"}), MatchCriteria::all({})})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    EXPECT_EQ(read(c.json), c.expected);
  }
}

TEST(MatchCriteriaReadTest, EngineErrorsComeOutAsThemselves) {
  struct Case {
    const char* json;
    SortError expected;
  };
  const Case cases[] = {
      {R"({"type":"Extension","values":["a"]})", SortError::unknownMatchCriteriaType("Extension")},
      {R"({"type":"","values":["a"]})", SortError::unknownMatchCriteriaType("")},
      {R"({"type":"largerThan"})",
       SortError::missingMatchCriteriaField("bytes/kilobytes/megabytes/gigabytes")},
      {R"({"type":"smallerThan","bytes":null,"Kilobytes":3})",
       SortError::missingMatchCriteriaField("bytes/kilobytes/megabytes/gigabytes")},
      {R"({"type":"not","criteria":{"type":"any","of":[{"type":"size"}]}})",
       SortError::unknownMatchCriteriaType("size")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    try {
      read(c.json);
      FAIL() << "read";
    } catch (const SortError& error) {
      EXPECT_EQ(error, c.expected);
    }
  }
  try {
    read(R"({"type":"all","of":[{"type":"nameMatches","pattern":"[a-"}]})");
    FAIL() << "read";
  } catch (const SortError& error) {
    EXPECT_EQ(error.errorCase(), SortError::Case::invalidRegularExpression);
    EXPECT_EQ(error.text(), "[a-");
  }
}

TEST(MatchCriteriaReadTest, MalformedValuesAreDecodingErrorsNamingTheirPlace) {
  struct Case {
    const char* json;
    const char* message;
  };
  const Case cases[] = {
      {R"({"values":["a"]})", "type: missing key"},
      {R"({"type":3})", "type: expected a string"},
      {R"({"type":"extension"})", "values: missing key"},
      {R"({"type":"extension","values":"pdf"})", "values: expected an array"},
      {R"({"type":"extension","values":["pdf",7]})", "values[1]: expected a string"},
      {R"({"type":"conformsTo","uti":null})", "uti: expected a string"},
      {R"({"type":"nameMatches"})", "pattern: missing key"},
      {R"({"type":"nameMatches","pattern":"[","caseInsensitive":"yes"})",
       "caseInsensitive: expected true or false"},
      {R"({"type":"olderThan","days":"3"})", "days: expected a number"},
      {R"({"type":"largerThan","bytes":1.5})", "bytes: expected an integer"},
      {R"({"type":"largerThan","bytes":1e30})", "bytes: expected an integer"},
      {R"({"type":"largerThan","bytes":9223372036854775808})", "bytes: integer out of range"},
      {R"({"type":"largerThan","bytes":-9223372036854775809})", "bytes: expected an integer"},
      {R"({"type":"largerThan","bytes":"1"})", "bytes: expected an integer"},
      {R"({"type":"largerThan","kilobytes":"2"})", "kilobytes: expected a number"},
      {R"({"type":"largerThan","gigabytes":1e10})", "gigabytes: the size in bytes is out of range"},
      // 2^33 GiB is 2^63 bytes, one past the largest size.
      {R"({"type":"largerThan","gigabytes":8589934592})",
       "gigabytes: the size in bytes is out of range"},
      {R"({"type":"smallerThan","megabytes":-1e300})",
       "megabytes: the size in bytes is out of range"},
      {R"({"type":"downloadedFrom"})", "hostSuffix: missing key"},
      {R"({"type":"all"})", "of: missing key"},
      {R"({"type":"any","of":[{"type":"extension","values":["a"]},5]})",
       "of[1]: expected an object"},
      {R"({"type":"any","of":[{"type":"all","of":[{"type":"olderThan"}]}]})",
       "of[0].of[0].days: missing key"},
      {R"({"type":"not"})", "criteria: missing key"},
      {R"({"type":"not","criteria":[]})", "criteria: expected an object"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    try {
      read(c.json);
      FAIL() << "read";
    } catch (const JsonDecodingError& error) {
      EXPECT_EQ(std::string(error.what()), c.message);
    }
  }
}

TEST(MatchCriteriaTest, WritesNormalisedValuesAndReadsThemBackEqual) {
  struct Case {
    const char* json;
    const char* written;
  };
  const Case cases[] = {
      {R"({"type":"extension","values":[".PDF","Pdf"]})",
       R"({"type":"extension","values":["pdf","pdf"]})"},
      {R"({"uti":"public.audio","type":"conformsTo"})",
       R"({"type":"conformsTo","uti":"public.audio"})"},
      {R"({"type":"nameMatches","pattern":"^a"})",
       R"({"type":"nameMatches","pattern":"^a","caseInsensitive":true})"},
      {R"({"type":"olderThan","days":1.5})", R"({"type":"olderThan","days":1.5})"},
      {R"({"type":"largerThan","megabytes":1.5})", R"({"type":"largerThan","bytes":1572864})"},
      {R"({"type":"downloadedFrom","hostSuffix":"x.org"})",
       R"({"type":"downloadedFrom","hostSuffix":"x.org"})"},
      {R"({"type":"not","criteria":{"type":"any","of":[{"type":"smallerThan","bytes":1}]}})",
       R"({"type":"not","criteria":{"type":"any","of":[{"type":"smallerThan","bytes":1}]}})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    MatchCriteria criteria = read(c.json);
    EXPECT_EQ(dumpJson(criteria.toJson()), c.written);
    EXPECT_EQ(MatchCriteria::fromJson(criteria.toJson()), criteria);
  }
}

TEST(MatchCriteriaTest, EqualityAndHashAreByCaseAndValuesInOrder) {
  using C = MatchCriteria;
  testing::expectDistinctValuesAndHashes<MatchCriteria>({
      {"extensions", C::fileExtension({"a", "b"})},
      {"extensions reordered", C::fileExtension({"b", "a"})},
      {"an extension fewer", C::fileExtension({"a"})},
      {"type", C::conformsToType("a")},
      {"same text, downloaded from", C::downloadedFrom("a")},
      {"other host", C::downloadedFrom("b")},
      {"name", C::nameMatches(RegexPattern("x"))},
      {"case-sensitive name", C::nameMatches(RegexPattern("x", false))},
      {"other name", C::nameMatches(RegexPattern("y"))},
      {"older", C::olderThan(1)},
      {"newer", C::newerThan(1)},
      {"older still", C::olderThan(1.5)},
      {"larger", C::largerThan(1)},
      {"smaller", C::smallerThan(1)},
      {"larger still", C::largerThan(2)},
      {"all of none", C::all({})},
      {"any of none", C::any({})},
      {"all of one", C::all({C::olderThan(1)})},
      {"all of two", C::all({C::olderThan(1), C::fileExtension({"a"})})},
      {"all of two reordered", C::all({C::fileExtension({"a"}), C::olderThan(1)})},
      {"not", C::not_(C::olderThan(1))},
      {"not of another", C::not_(C::olderThan(2))},
  });
  auto tree = [] {
    return MatchCriteria::all(
        {MatchCriteria::not_(MatchCriteria::olderThan(2)), MatchCriteria::fileExtension({"a"})});
  };
  testing::expectEqualWithEqualHashes(tree(), tree());
  testing::expectEqualWithEqualHashes(C::olderThan(0.0), C::olderThan(-0.0));
  testing::expectEqualWithEqualHashes(C::fileExtension({"caf\u00e9"}),
                                      C::fileExtension({"cafe\u0301"}));
}

TEST(MatchCriteriaTest, AccessorsOfAnotherKindFailCleanly) {
  EXPECT_THROW(MatchCriteria::olderThan(1).pattern(), std::logic_error);
  EXPECT_THROW(MatchCriteria::any({MatchCriteria::olderThan(1)}).inner(), std::logic_error);
  EXPECT_TRUE(MatchCriteria::olderThan(1).members().empty());
}

Json nestedNots(int levels) {
  Json json = {{"type", "extension"}, {"values", {"a"}}};
  for (int i = 1; i < levels; ++i) json = Json{{"type", "not"}, {"criteria", std::move(json)}};
  return json;
}

TEST(MatchCriteriaTest, NestingIsBoundedEverywhere) {
  MatchCriteria deepest = MatchCriteria::fromJson(nestedNots(MatchCriteria::maxDepth));
  EXPECT_EQ(deepest.depth(), MatchCriteria::maxDepth);
  EXPECT_EQ(MatchCriteria::fromJson(deepest.toJson()), deepest);
  EXPECT_THROW(MatchCriteria::not_(deepest), std::length_error);
  EXPECT_THROW(MatchCriteria::any({MatchCriteria::olderThan(1), deepest}), std::length_error);
  try {
    MatchCriteria::fromJson(nestedNots(MatchCriteria::maxDepth + 1));
    FAIL() << "read";
  } catch (const JsonDecodingError& error) {
    EXPECT_TRUE(std::string(error.what()).ends_with("match criteria nest deeper than 256 levels"));
  }
  EXPECT_THROW(MatchCriteria::fromJson(nestedNots(100000)), JsonDecodingError);
}

TEST(MatchCriteriaTest, TypeTextsAreTheRuleFileNames) {
  EXPECT_EQ(typeText(MatchCriteria::Kind::fileExtension), "extension");
  EXPECT_EQ(typeText(MatchCriteria::Kind::conformsToType), "conformsTo");
  EXPECT_EQ(typeText(MatchCriteria::Kind::not_), "not");
  EXPECT_EQ(matchCriteriaKindFromTypeText("not"), MatchCriteria::Kind::not_);
  EXPECT_EQ(matchCriteriaKindFromTypeText("fileExtension"), std::nullopt);
  EXPECT_EQ(matchCriteriaKindFromTypeText("NOT"), std::nullopt);
}

}  // namespace
}  // namespace rozuzed

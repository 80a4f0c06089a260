#include "rozuzed/model/skip_reason.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "rozuzed/model/plan_coding.h"
#include "rozuzed/testing/equality_table.h"

namespace rozuzed {
namespace {

struct ReasonCase {
  SkipReason reason;
  const char* label;
  const char* explanation;
  const char* json;
};

// Every case once, in declaration order.
std::vector<ReasonCase> everyCase() {
  return {
      {SkipReason::noMatchingRule(), "no matching rule", "no rule matched",
       R"({"noMatchingRule":{}})"},
      {SkipReason::isPackage("com.apple.application-bundle"), "bundle",
       "bundle (com.apple.application-bundle) \u2014 treated as one opaque item",
       R"({"isPackage":{"typeIdentifier":"com.apple.application-bundle"}})"},
      {SkipReason::isDirectory(), "folder", "folder \u2014 not descended into",
       R"({"isDirectory":{}})"},
      {SkipReason::possibleBundle("tmp"), "folder with an extension",
       ".tmp folder \u2014 may be a bundle type this computer has not registered, so it is left "
       "whole",
       R"({"possibleBundle":{"extension":"tmp"}})"},
      {SkipReason::notARegularFile(), "not a regular file",
       "not an ordinary file (pipe, socket or device) \u2014 never moved or read",
       R"({"notARegularFile":{}})"},
      {SkipReason::iCloudNotDownloaded(UbiquitousStatus::notDownloaded), "iCloud placeholder",
       "iCloud placeholder (notDownloaded) \u2014 not materialised locally",
       R"({"iCloudNotDownloaded":{"_0":"notDownloaded"}})"},
      {SkipReason::isSymbolicLink(), "symlink", "symbolic link \u2014 never resolved or moved",
       R"({"isSymbolicLink":{}})"},
      {SkipReason::isAliasFile(), "alias", "Finder alias \u2014 never resolved or moved",
       R"({"isAliasFile":{}})"},
      {SkipReason::recentlyModified(12.5), "recently modified",
       "modified 12s ago \u2014 may still be being written",
       R"({"recentlyModified":{"secondsAgo":12.5}})"},
      {SkipReason::inFlightExtension("crdownload"), "download in progress",
       ".crdownload \u2014 download in progress", R"({"inFlightExtension":{"_0":"crdownload"}})"},
      {SkipReason::isHidden(), "hidden", "hidden file", R"({"isHidden":{}})"},
      {SkipReason::managedDestinationFolder(), "managed folder",
       "a folder this rule set manages \u2014 not descended into",
       R"({"managedDestinationFolder":{}})"},
      {SkipReason::alreadyAtDestination(), "already in place", "already in its destination folder",
       R"({"alreadyAtDestination":{}})"},
      {SkipReason::metadataUnreadable("Permission denied"), "unreadable",
       "could not read metadata: Permission denied",
       R"({"metadataUnreadable":{"_0":"Permission denied"}})"},
      {SkipReason::contentsUnreadable("Permission denied"), "folder unreadable",
       "could not list this folder: Permission denied",
       R"({"contentsUnreadable":{"_0":"Permission denied"}})"},
      {SkipReason::vanishedSincePlanning(), "gone since planning",
       "no longer exists \u2014 the plan is out of date", R"({"vanishedSincePlanning":{}})"},
      {SkipReason::changedSincePlanning(), "changed since planning",
       "changed after the plan was made \u2014 refusing to move it",
       R"({"changedSincePlanning":{}})"},
  };
}

TEST(SkipReasonTest, EveryCaseHasItsLabelExplanationAndJson) {
  auto cases = everyCase();
  ASSERT_EQ(cases.size(), static_cast<std::size_t>(SkipReason::caseCount));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.json);
    EXPECT_EQ(static_cast<std::size_t>(c.reason.reasonCase()), i);
    EXPECT_EQ(c.reason.label(), c.label);
    EXPECT_EQ(c.reason.explanation(), c.explanation);
    EXPECT_EQ(PlanCoding::encode(c.reason), c.json);
    SkipReason back = PlanCoding::decode<SkipReason>(c.json);
    EXPECT_EQ(back, c.reason);
    EXPECT_EQ(back.hash(), c.reason.hash());
  }
}

TEST(SkipReasonTest, ExplanationsFromValues) {
  struct Case {
    SkipReason reason;
    std::string explanation;
  };
  std::vector<Case> cases = {
      {SkipReason::isPackage(std::nullopt), "bundle \u2014 treated as one opaque item"},
      {SkipReason::isPackage("public.folder"), "bundle \u2014 treated as one opaque item"},
      {SkipReason::isPackage("public.Folder"),
       "bundle (public.Folder) \u2014 treated as one opaque item"},
      {SkipReason::recentlyModified(0), "modified 0s ago \u2014 may still be being written"},
      {SkipReason::recentlyModified(59.7), "modified 60s ago \u2014 may still be being written"},
      {SkipReason::recentlyModified(0.5), "modified 0s ago \u2014 may still be being written"},
      {SkipReason::recentlyModified(1234567.0),
       "modified 1234567s ago \u2014 may still be being written"},
      {SkipReason::metadataUnreadable(""), "could not read metadata: "},
      {SkipReason::contentsUnreadable("a \"b\""), "could not list this folder: a \"b\""},
      {SkipReason::inFlightExtension("!ut"), ".!ut \u2014 download in progress"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.reason.explanation(), c.explanation);
  EXPECT_EQ(SkipReason::isPackage(std::nullopt).label(), "bundle");
}

TEST(SkipReasonTest, EqualityAndHashTakeTheCaseAndItsValue) {
  std::vector<testing::Labelled<SkipReason>> table;
  for (const auto& c : everyCase()) table.push_back({c.label, c.reason});
  ASSERT_EQ(table.size(), static_cast<std::size_t>(SkipReason::caseCount));
  table.insert(
      table.end(),
      {
          {"bundle without a type", SkipReason::isPackage(std::nullopt)},
          {"bundle of another type", SkipReason::isPackage("public.folder")},
          {"other bundle extension", SkipReason::possibleBundle("zip")},
          {"other cloud status", SkipReason::iCloudNotDownloaded(UbiquitousStatus::current)},
          {"other age", SkipReason::recentlyModified(12.5000001)},
          {"in flight, same text as the bundle", SkipReason::inFlightExtension("tmp")},
          {"other metadata message", SkipReason::metadataUnreadable("x")},
          {"other listing message", SkipReason::contentsUnreadable("x")},
      });
  testing::expectDistinctValuesAndHashes(table);

  testing::expectEqualWithEqualHashes(SkipReason::recentlyModified(0.0),
                                      SkipReason::recentlyModified(-0.0));
  // Canonically equivalent texts: precomposed and decomposed e with acute.
  testing::expectEqualWithEqualHashes(SkipReason::metadataUnreadable("caf\u00e9"),
                                      SkipReason::metadataUnreadable("cafe\u0301"));
  testing::expectEqualWithEqualHashes(SkipReason::isPackage("caf\u00e9"),
                                      SkipReason::isPackage("cafe\u0301"));
  double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_NE(SkipReason::recentlyModified(nan), SkipReason::recentlyModified(nan));
}

TEST(SkipReasonTest, ReadingTheJsonForm) {
  EXPECT_EQ(PlanCoding::decode<SkipReason>(R"({"isPackage":{}})"),
            SkipReason::isPackage(std::nullopt));
  EXPECT_EQ(PlanCoding::decode<SkipReason>(R"({"isPackage":{"typeIdentifier":null}})"),
            SkipReason::isPackage(std::nullopt));
  EXPECT_EQ(PlanCoding::encode(SkipReason::isPackage(std::nullopt)), R"({"isPackage":{}})");
  EXPECT_EQ(PlanCoding::decode<SkipReason>(R"({"isHidden":{},"note":"x"})"),
            SkipReason::isHidden());
  EXPECT_EQ(PlanCoding::decode<SkipReason>(R"({"noMatchingRule":{"x":1}})"),
            SkipReason::noMatchingRule());
  EXPECT_EQ(PlanCoding::decode<SkipReason>(R"({"recentlyModified":{"secondsAgo":3}})"),
            SkipReason::recentlyModified(3));
  EXPECT_EQ(PlanCoding::decode<SkipReason>(R"({"iCloudNotDownloaded":{"_0":"current"}})"),
            SkipReason::iCloudNotDownloaded(UbiquitousStatus::current));

  for (const char* text : {"{}", R"({"noMatchingRule":{},"isHidden":{}})", R"({"IsHidden":{}})"}) {
    SCOPED_TRACE(text);
    try {
      PlanCoding::decode<SkipReason>(text);
      ADD_FAILURE() << "read";
    } catch (const JsonDecodingError& error) {
      EXPECT_STREQ(error.what(), "Invalid number of keys found, expected one.");
    }
  }
  for (const char* text : {
           R"([])",
           R"("isHidden")",
           R"({"possibleBundle":{}})",
           R"({"isHidden":null})",
           R"({"isHidden":[]})",
           R"({"possibleBundle":{"extension":3}})",
           R"({"isPackage":{"typeIdentifier":1}})",
           R"({"inFlightExtension":{"x":"part"}})",
           R"({"metadataUnreadable":{"_0":null}})",
           R"({"recentlyModified":{"secondsAgo":"1"}})",
           R"({"recentlyModified":{}})",
           R"({"iCloudNotDownloaded":{"_0":"NotDownloaded"}})",
       }) {
    SCOPED_TRACE(text);
    EXPECT_THROW(PlanCoding::decode<SkipReason>(text), JsonDecodingError);
  }
}

TEST(SkipReasonTest, SecondsAgoReadsBackExactly) {
  for (double seconds : {12.5, 0.1, 59.999999999999993, 1e-300, 1.0000001, 31536000.123456789}) {
    auto reason = SkipReason::recentlyModified(seconds);
    EXPECT_EQ(PlanCoding::decode<SkipReason>(PlanCoding::encode(reason)).secondsAgo(), seconds);
  }
  EXPECT_THROW(PlanCoding::encode(SkipReason::recentlyModified(std::nan(""))), JsonEncodingError);
  EXPECT_THROW(PlanCoding::encode(SkipReason::recentlyModified(INFINITY)), JsonEncodingError);
}

}  // namespace
}  // namespace rozuzed

#include "rozuzed/planning/safety_gate.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "rozuzed/testing/equality_table.h"

namespace rozuzed {
namespace {

constexpr Date kNow = 1'700'000'000;

// Without a date the snapshot holds the distant past, far outside any window.
FileMetadata entry(const std::string& name, FileMetadataFields fields = {}) {
  return FileMetadata(FileURL::fromPath("/src/" + name), std::move(fields));
}

struct GateCase {
  const char* label;
  FileMetadata metadata;
  std::optional<SkipReason> expected;
};

TEST(SafetyGateTest, DefaultPolicyTestsInOrder) {
  std::vector<GateCase> cases = {
      {"visible file an hour old", entry("README", {.modificationDate = kNow - 3600}),
       std::nullopt},
      {"exactly the window old", entry("a.txt", {.modificationDate = kNow - 60}), std::nullopt},
      {"just inside the window", entry("a.txt", {.modificationDate = kNow - 59.5}),
       SkipReason::recentlyModified(59.5)},
      {"dated in the future", entry("a.txt", {.modificationDate = kNow + 600}),
       SkipReason::recentlyModified(0)},
      {"no date reported", entry("a.txt", {.modificationDate = kDistantPast}), std::nullopt},
      {"in-flight extension, capitals on disk",
       entry("x.CRDOWNLOAD", {.modificationDate = kNow - 1}),
       SkipReason::inFlightExtension("crdownload")},
      {"in-flight download", entry("x.download"), SkipReason::inFlightExtension("download")},
      {"!ut", entry("x.!ut"), SkipReason::inFlightExtension("!ut")},
      {"folder with an in-flight extension is a package",
       entry("x.download", {.isDirectory = true, .isPackage = true}),
       SkipReason::isPackage(std::nullopt)},
      {"plain folder", entry("Photos", {.isDirectory = true}), SkipReason::isDirectory()},
      {"folder with a dotted version", entry("tool-1.2", {.isDirectory = true}),
       SkipReason::possibleBundle("2")},
      {"hidden folder", entry(".cache", {.isDirectory = true, .isHidden = true}),
       SkipReason::isDirectory()},
      {"hidden file", entry(".notes.txt", {.isHidden = true}), SkipReason::isHidden()},
      {"hidden, recent and in flight",
       entry(".x.part", {.modificationDate = kNow, .isHidden = true}), SkipReason::isHidden()},
      {"link over everything",
       entry("l",
             {.isDirectory = true, .isSymbolicLink = true, .isAliasFile = true, .isHidden = true}),
       SkipReason::isSymbolicLink()},
      {"alias", entry("a", {.isAliasFile = true}), SkipReason::isAliasFile()},
      {"package with a type",
       entry("Pages.app", {.contentTypeIdentifier = "com.apple.application-bundle",
                           .isDirectory = true,
                           .isPackage = true}),
       SkipReason::isPackage("com.apple.application-bundle")},
      {"hidden package",
       entry(".x.app", {.isDirectory = true, .isPackage = true, .isHidden = true}),
       SkipReason::isPackage(std::nullopt)},
      {"fifo", entry("pipe", {.isRegularFile = false}), SkipReason::notARegularFile()},
      {"placeholder though hidden and recent",
       entry(".x.part", {.modificationDate = kNow,
                         .isHidden = true,
                         .ubiquitousDownloadingStatus = UbiquitousStatus::notDownloaded}),
       SkipReason::iCloudNotDownloaded(UbiquitousStatus::notDownloaded)},
      {"downloaded and hidden",
       entry(".x", {.isHidden = true, .ubiquitousDownloadingStatus = UbiquitousStatus::downloaded}),
       SkipReason::isHidden()},
      {"current", entry("x", {.ubiquitousDownloadingStatus = UbiquitousStatus::current}),
       std::nullopt},
  };
  SafetyGate gate(SafetyPolicy(), kNow);
  for (const auto& c : cases) EXPECT_EQ(gate.skipReason(c.metadata), c.expected) << c.label;
}

TEST(SafetyGateTest, PolicySettings) {
  SafetyPolicy policy;
  policy.skipHiddenFiles = false;
  SafetyGate shown(policy, kNow);
  EXPECT_EQ(shown.skipReason(entry(".x", {.isHidden = true})), std::nullopt);
  EXPECT_EQ(shown.skipReason(entry(".x.tmp", {.isHidden = true})),
            SkipReason::inFlightExtension("tmp"));
  EXPECT_EQ(shown.skipReason(entry(".x", {.modificationDate = kNow - 1, .isHidden = true})),
            SkipReason::recentlyModified(1));

  // Members are matched without folding case: only lower-case ones can match.
  policy.inFlightExtensions = {"PART", ""};
  SafetyGate odd(policy, kNow);
  EXPECT_EQ(odd.skipReason(entry("x.part")), std::nullopt);
  EXPECT_EQ(odd.skipReason(entry("README")), SkipReason::inFlightExtension(""));

  // Canonically equivalent spellings of one extension are the same extension.
  policy.inFlightExtensions = {"caf\u00e9"};
  SafetyGate composed(policy, kNow);
  EXPECT_EQ(composed.skipReason(entry("x.cafe\u0301")),
            SkipReason::inFlightExtension("cafe\u0301"));

  policy = SafetyPolicy();
  policy.inFlightWindow = 0;
  EXPECT_EQ(SafetyGate(policy, kNow).skipReason(entry("a", {.modificationDate = kNow})),
            std::nullopt);
}

TEST(SafetyPolicyTest, DefaultsEqualityAndHashing) {
  SafetyPolicy policy;
  EXPECT_EQ(policy.inFlightWindow, 60);
  EXPECT_EQ(policy.inFlightExtensions,
            (std::set<std::string>{"download", "crdownload", "part", "partial", "opdownload", "tmp",
                                   "!ut"}));
  EXPECT_TRUE(policy.skipHiddenFiles);

  auto with = [&](auto change) { return testing::changed(policy, change); };
  testing::expectDistinctValuesAndHashes<SafetyPolicy>({
      {"defaults", policy},
      {"inFlightWindow", with([](SafetyPolicy& p) { p.inFlightWindow = 60.000001; })},
      {"an extension fewer", with([](SafetyPolicy& p) { p.inFlightExtensions.erase("tmp"); })},
      {"an extension more", with([](SafetyPolicy& p) { p.inFlightExtensions.insert("tmp2"); })},
      {"skipHiddenFiles", with([](SafetyPolicy& p) { p.skipHiddenFiles = false; })},
  });
  testing::expectEqualWithEqualHashes(with([](SafetyPolicy& p) { p.inFlightWindow = 0.0; }),
                                      with([](SafetyPolicy& p) { p.inFlightWindow = -0.0; }));
}

}  // namespace
}  // namespace rozuzed

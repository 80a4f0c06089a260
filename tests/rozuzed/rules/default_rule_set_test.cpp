// The rule file that ships with the application: found in the build tree,
// clean, and sending everyday files where a user would look for them.
#include <gtest/gtest.h>

#include "rozuzed/filesystem/content_type_registry.h"
#include "rozuzed/rules/rule_engine.h"
#include "rozuzed/rules/rule_set_loader.h"
#include "rozuzed/rules/rule_validator.h"
#include "rozuzed/support/unicode.h"
#include "rozuzed/testing/fixed_date_provider.h"

namespace rozuzed {
namespace {

// A snapshot as the live file system gives it: the type from the extension.
FileMetadata snapshot(const std::string& name) {
  FileURL url = FileURL::fromPath("/home/user/Downloads/" + name);
  std::string extension = lowercased(url.pathExtension());
  return FileMetadata(url, {.size = 2048,
                            .modificationDate = 1'600'000'000,
                            .contentTypeIdentifier =
                                ContentTypeRegistry::shared().identifierForExtension(extension)});
}

TEST(DefaultRuleSetTest, LoadsFromTheBuildTreeWithoutAnyDiagnostic) {
  LoadedRuleSet loaded = RuleSetLoader::bundledDefault();
  ASSERT_TRUE(loaded.sourceURL.has_value());
  EXPECT_EQ(loaded.sourceURL->lastPathComponent(), "rules.default.json");
  EXPECT_EQ(loaded.sourceHash.size(), 64u);
  EXPECT_FALSE(loaded.ruleSet.rules.empty());
  EXPECT_EQ(RuleValidator::validate(loaded.ruleSet), std::vector<RuleDiagnostic>{});
  // Read afresh at every call, never cached.
  EXPECT_EQ(RuleSetLoader::bundledDefault(), loaded);
}

TEST(DefaultRuleSetTest, SendsEverydayFilesWhereAUserExpectsThem) {
  RuleEngine engine(RuleSetLoader::bundledDefault(),
                    std::make_shared<testing::FixedDateProvider>(1'700'000'000));
  struct Case {
    const char* name;
    std::optional<std::string> folder;
  };
  const Case cases[] = {
      {"photo.JPG", "sourceFolder/Images"},
      {"report.pdf", "sourceFolder/Documents"},
      {"song.mp3", "sourceFolder/Audio"},
      {"setup.deb", "sourceFolder/Installers"},
      {"notes.txt", "sourceFolder/Documents"},
      {"archive.tar.gz", "sourceFolder/Archives"},
      {"unknown.xyz", std::nullopt},
      // Families that overlap elsewhere stay apart here.
      {"budget.xlsx", "sourceFolder/Spreadsheets"},
      {"budget.ods", "sourceFolder/Spreadsheets"},
      {"export.csv", "sourceFolder/Spreadsheets"},
      {"slides.pptx", "sourceFolder/Presentations"},
      {"letter.docx", "sourceFolder/Documents"},
      {"letter.odt", "sourceFolder/Documents"},
      {"README.md", "sourceFolder/Documents"},
      {"novel.epub", "sourceFolder/E-books"},
      {"comic.cbz", "sourceFolder/E-books"},
      {"debian.iso", "sourceFolder/Disk Images"},
      {"Firefox.dmg", "sourceFolder/Installers"},
      {"tool.rpm", "sourceFolder/Installers"},
      {"Krita.AppImage", "sourceFolder/Installers"},
      {"org.gimp.GIMP.flatpakref", "sourceFolder/Installers"},
      {"driver.pkg", "sourceFolder/Installers"},
      {"setup.msi", "sourceFolder/Installers"},
      {"setup.exe", "sourceFolder/Installers"},
      {"backup.zip", "sourceFolder/Archives"},
      {"backup.7z", "sourceFolder/Archives"},
      {"drawing.svg", "sourceFolder/Images"},
      {"clip.mkv", "sourceFolder/Videos"},
      {"film.mp4", "sourceFolder/Videos"},
      {"take.flac", "sourceFolder/Audio"},
      {"Inter.ttf", "sourceFolder/Fonts"},
      {"Inter.woff2", "sourceFolder/Fonts"},
      // Code and data are left alone.
      {"script.py", std::nullopt},
      {"data.json", std::nullopt},
      {"Makefile", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto match = engine.match(snapshot(c.name));
    std::optional<std::string> folder;
    if (match) folder = match->destination.description();
    EXPECT_EQ(folder, c.folder);
  }
}

}  // namespace
}  // namespace rozuzed

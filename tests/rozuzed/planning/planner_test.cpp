// The planner's own decisions, against a file system held in memory.
#include "rozuzed/planning/planner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "rozuzed/model/sort_error.h"
#include "rozuzed/testing/equality_table.h"
#include "rozuzed/testing/fixed_date_provider.h"
#include "rozuzed/testing/in_memory_file_system.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

using testing::FixedDateProvider;
using testing::InMemoryFileSystem;
using testing::ScopedEnvironment;
using Operation = InMemoryFileSystem::Operation;

constexpr Date kNow = 1'700'000'000;
constexpr Date kOld = kNow - 86400;
const std::string kHash(64, 'f');

SortRule rule(const std::string& id, std::vector<std::string> extensions, Destination destination) {
  return SortRule{.id = id,
                  .name = "Rule " + id,
                  .match = MatchCriteria::fileExtension(std::move(extensions)),
                  .destination = std::move(destination)};
}

class PlannerTest : public ::testing::Test {
 protected:
  PlannerTest() {
    ruleSet.rules = {
        rule("images", {"jpg", "png"},
             Destination::relative(DestinationRoot::sourceFolder, "Images")),
        rule("pdfs", {"pdf"}, Destination::relative(DestinationRoot::documents, "PDFs")),
        rule("movies", {"mov"}, Destination::absolute("/mnt/usb/Movies")),
        rule("texts", {"txt"}, Destination::relative(DestinationRoot::sourceFolder, "Texts")),
        rule("keep", {"keep"}, Destination::absolute("/SRC/")),
    };
    fs.addFolder("/home/u/Documents");
  }

  void file(const std::string& path, Date modified = kOld, std::string contents = "x") {
    fs.addFile(path, {.contents = std::move(contents), .modificationDate = modified});
  }

  SortPlan plan(const std::string& source = "/src/") {
    RuleEngine engine(ruleSet, kHash, clock);
    return Planner(fs, engine, *clock, configuration).plan(FileURL::fromPath(source, true));
  }

  std::vector<std::string> movedNames(const SortPlan& p) {
    std::vector<std::string> names;
    for (const auto& m : p.moves) names.push_back(m.source.lastPathComponent());
    return names;
  }

  InMemoryFileSystem fs{{"/mnt/usb"}};
  std::shared_ptr<FixedDateProvider> clock = std::make_shared<FixedDateProvider>(kNow);
  RuleSet ruleSet;
  Planner::Configuration configuration{.maxDepth = 1,
                                       .safety = SafetyPolicy(),
                                       .roots = DirectoryRoots(FileURL::fromPath("/home/u", true))};
};

TEST_F(PlannerTest, OneLevel) {
  file("/src/b.jpg");
  file("/src/a.pdf", kOld, "1234");
  file("/src/file10.txt");
  file("/src/file2.txt");
  file("/src/.hidden.txt");
  file("/src/clip.mov");
  file("/src/notes.unknown");
  file("/src/fresh.jpg", kNow - 5);
  file("/src/a.keep");
  file("/src/Images/inside.jpg");
  fs.addFolder("/src/sub");
  file("/src/sub/deep.jpg");
  fs.addSymbolicLink("/src/link.jpg", "/src/b.jpg");

  SortPlan p = plan("/src/./sub/..");
  EXPECT_EQ(p.version, 1);
  EXPECT_EQ(p.sourceDirectory.absoluteString(), "file:///src/");
  EXPECT_EQ(p.createdAt, kNow);
  EXPECT_EQ(p.ruleSetHash, kHash);

  EXPECT_EQ(movedNames(p),
            (std::vector<std::string>{"a.pdf", "b.jpg", "clip.mov", "file2.txt", "file10.txt"}));
  for (std::size_t i = 0; i < p.moves.size(); ++i) EXPECT_EQ(p.moves[i].planSequence, int64_t(i));

  const PlannedMove& pdf = p.moves[0];
  EXPECT_EQ(pdf.source.path(), "/src/a.pdf");
  EXPECT_EQ(pdf.destinationDirectory.absoluteString(), "file:///home/u/Documents/PDFs/");
  EXPECT_EQ(pdf.destinationURL.path(), "/home/u/Documents/PDFs/a.pdf");
  EXPECT_FALSE(pdf.collisionSuffix);
  EXPECT_EQ(pdf.matchedRuleID, "pdfs");
  EXPECT_EQ(pdf.matchedRuleName, "Rule pdfs");
  EXPECT_EQ(pdf.fingerprint, (FileFingerprint{4, kOld}));
  EXPECT_EQ(pdf.strategy, MoveStrategy::sameVolumeMove);
  EXPECT_EQ(p.moves[1].destinationURL.path(), "/src/Images/b.jpg");
  EXPECT_EQ(p.moves[2].strategy, MoveStrategy::crossVolumeCopyVerifyTrash)
      << "a destination not yet made is judged by its nearest existing folder";
  EXPECT_EQ(p.moves[3].destinationURL.path(), "/src/Texts/file2.txt");

  struct Skip {
    std::string name;
    SkipReason reason;
  };
  std::vector<Skip> expected = {
      {".hidden.txt", SkipReason::isHidden()},
      {"a.keep", SkipReason::alreadyAtDestination()},
      {"fresh.jpg", SkipReason::recentlyModified(5)},
      {"Images", SkipReason::managedDestinationFolder()},
      {"link.jpg", SkipReason::isSymbolicLink()},
      {"notes.unknown", SkipReason::noMatchingRule()},
      {"sub", SkipReason::isDirectory()},
  };
  ASSERT_EQ(p.skipped.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(p.skipped[i].url.lastPathComponent(), expected[i].name);
    EXPECT_EQ(p.skipped[i].reason, expected[i].reason) << expected[i].name;
  }

  // Only looked: one listing, one snapshot per entry, nothing created or moved.
  EXPECT_EQ(fs.calls(Operation::contentsOfDirectory).size(), 1u);
  EXPECT_EQ(fs.calls(Operation::metadata).size(), 1u + 12u);
  for (auto op : {Operation::createDirectory, Operation::moveItem, Operation::copyItem,
                  Operation::trashItem}) {
    EXPECT_TRUE(fs.calls(op).empty());
  }
  EXPECT_FALSE(fs.exists("/mnt/usb/Movies"));
}

TEST_F(PlannerTest, TwoLevelsBreadthFirstWithASharedResolver) {
  configuration.maxDepth = 2;
  file("/src/z/photo.jpg");
  file("/src/a/photo.jpg");
  file("/src/.config/photo.jpg");
  file("/src/.config/x.txt");
  file("/src/a/deeper/photo.jpg");
  file("/src/top.jpg");
  file("/src/Images/photo.jpg");
  file("/src/a/.hidden.jpg");

  SortPlan p = plan();
  std::vector<std::string> sources;
  for (const auto& m : p.moves)
    sources.push_back(m.source.path() + " -> " + m.destinationURL.path());
  EXPECT_EQ(sources, (std::vector<std::string>{
                         "/src/top.jpg -> /src/Images/top.jpg",
                         "/src/.config/photo.jpg -> /src/Images/photo 2.jpg",
                         "/src/.config/x.txt -> /src/Texts/x.txt",
                         "/src/a/photo.jpg -> /src/Images/photo 3.jpg",
                         "/src/z/photo.jpg -> /src/Images/photo 4.jpg",
                     }));
  EXPECT_EQ(p.moves[1].collisionSuffix, 2);
  std::vector<std::string> skipped;
  for (const auto& s : p.skipped) skipped.push_back(s.url.path() + " " + s.reason.label());
  EXPECT_EQ(skipped,
            (std::vector<std::string>{"/src/Images managed folder", "/src/a/.hidden.jpg hidden",
                                      "/src/a/deeper folder"}));
}

TEST_F(PlannerTest, EachFileIsLookedAtOnceForWhatItNeeds) {
  file("/src/a.jpg");
  file("/src/b.pdf");
  file("/src/c.jpg");
  fs.addFile("/src/setup.deb", {.contents = "x",
                                .modificationDate = kOld,
                                .whereFroms = {"https://dl.example.com/setup.deb"}});
  file("/src/other.deb");
  fs.clearCalls();
  SortPlan p = plan();
  EXPECT_EQ(movedNames(p), (std::vector<std::string>{"a.jpg", "b.pdf", "c.jpg"}));
  auto looks = [&](Operation operation, const std::string& path) {
    auto calls = fs.calls(operation);
    return std::count_if(calls.begin(), calls.end(),
                         [&](const auto& call) { return call.url.path() == path; });
  };
  for (const char* path : {"/src/a.jpg", "/src/b.pdf", "/src/setup.deb", "/src/other.deb"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(looks(Operation::metadata, path), 1);
    EXPECT_EQ(looks(Operation::volumeID, path), 0);
  }
  // The destinations do not exist: each folder is looked for once, the
  // names in it never.
  EXPECT_EQ(looks(Operation::fileExists, "/src/Images"), 1);
  EXPECT_EQ(looks(Operation::fileExists, "/src/Images/a.jpg"), 0);
  EXPECT_EQ(looks(Operation::fileExists, "/home/u/Documents/PDFs/b.pdf"), 0);

  // A rule that asks for download sources has them read for the files that
  // reach it, and only for those.
  ruleSet.rules.push_back(
      SortRule{.id = "trusted",
               .name = "Trusted",
               .match = MatchCriteria::all({MatchCriteria::fileExtension({"deb"}),
                                            MatchCriteria::downloadedFrom("example.com")}),
               .destination = Destination::relative(DestinationRoot::sourceFolder, "Installers")});
  fs.clearCalls();
  p = plan();
  EXPECT_EQ(movedNames(p), (std::vector<std::string>{"a.jpg", "b.pdf", "c.jpg", "setup.deb"}));
  EXPECT_EQ(looks(Operation::metadata, "/src/a.jpg"), 1);
  EXPECT_EQ(looks(Operation::metadata, "/src/setup.deb"), 2);
  EXPECT_EQ(looks(Operation::metadata, "/src/other.deb"), 2);
}

TEST_F(PlannerTest, EntriesInTheLocalizedStandardOrder) {
  ScopedEnvironment noLocale("LC_ALL", "C.UTF-8");
  for (const char* name : {"file10", "file2", "File1", "b", "C", "f", "\u00e9", "e", "a-1", "a 1",
                           "report", "Report", "10", "9"}) {
    file(std::string("/src/") + name);
  }
  std::vector<std::string> names;
  for (const auto& s : plan().skipped) names.push_back(s.url.lastPathComponent());
  EXPECT_EQ(names, (std::vector<std::string>{"9", "10", "a 1", "a-1", "b", "C", "e", "\u00e9", "f",
                                             "File1", "file2", "file10", "Report", "report"}));
}

TEST_F(PlannerTest, NamesThatDifferLateAreOrderedAlike) {
  ScopedEnvironment noLocale("LC_ALL", "C.UTF-8");
  for (const char* name : {"holiday photos 2023 - part 10", "holiday photos 2023 - part 9b",
                           "holiday photos 2023 - part 9", "Holiday Photos 2023 - Part 9",
                           "holiday photos 2023", "holiday photos 2023 - part 1"}) {
    file(std::string("/src/") + name);
  }
  std::vector<std::string> names;
  for (const auto& s : plan().skipped) names.push_back(s.url.lastPathComponent());
  EXPECT_EQ(names, (std::vector<std::string>{
                       "holiday photos 2023", "holiday photos 2023 - part 1",
                       "Holiday Photos 2023 - Part 9", "holiday photos 2023 - part 9",
                       "holiday photos 2023 - part 9b", "holiday photos 2023 - part 10"}));
}

TEST_F(PlannerTest, DepthZeroActsAsOne) {
  configuration.maxDepth = 0;
  file("/src/sub/a.jpg");
  SortPlan p = plan();
  ASSERT_EQ(p.skipped.size(), 1u);
  EXPECT_EQ(p.skipped[0].reason, SkipReason::isDirectory());
}

TEST_F(PlannerTest, EmptyFolder) {
  fs.addFolder("/src");
  SortPlan p = plan();
  EXPECT_TRUE(p.moves.empty());
  EXPECT_TRUE(p.skipped.empty());
  EXPECT_EQ(p.createdAt, kNow);
  EXPECT_EQ(p.ruleSetHash, kHash);
}

TEST_F(PlannerTest, SourceThatIsNotAFolder) {
  file("/src/a.jpg");
  fs.addFolder("/real");
  fs.addSymbolicLink("/linked", "/real");
  clock = std::make_shared<FixedDateProvider>(kNow, 1);
  for (const char* source : {"/src/a.jpg", "/linked", "/src/x/../a.jpg"}) {
    try {
      plan(source);
      ADD_FAILURE() << source;
    } catch (const SortError& error) {
      EXPECT_EQ(error.errorCase(), SortError::Case::sourceNotADirectory) << source;
      EXPECT_EQ(error.location(), FileURL::fromPath(source, true).standardized());
    }
  }
  EXPECT_EQ(clock->now(), kNow) << "the clock is read only for a folder";

  try {
    plan("/missing");
    ADD_FAILURE();
  } catch (const SortError& error) {
    EXPECT_EQ(error.errorCase(), SortError::Case::sourceUnreadable);
  }
}

TEST_F(PlannerTest, ATrashFolderIsNeverPlanned) {
  file("/.Trash/files/a.jpg");
  file("/mnt/usb/.Trash/files/album/b.jpg");
  clock = std::make_shared<FixedDateProvider>(kNow, 1);
  for (const char* source : {"/.Trash", "/.Trash/files", "/mnt/usb/.Trash/files/album"}) {
    try {
      plan(source);
      ADD_FAILURE() << source;
    } catch (const SortError& error) {
      EXPECT_EQ(error, SortError::sourceInTrash(FileURL::fromPath(source, true)));
    }
  }
  EXPECT_EQ(clock->now(), kNow) << "nothing was planned";
  EXPECT_TRUE(fs.exists("/.Trash/files/a.jpg"));
}

TEST_F(PlannerTest, UnreadableEntriesAreSkippedButTheSourceMustList) {
  configuration.maxDepth = 2;
  file("/src/a.jpg");
  file("/src/b.jpg");
  file("/src/locked/c.jpg");
  file("/src/open/d.jpg");
  fs.beforeCall = [](const InMemoryFileSystem::Call& call) {
    if (call.operation == Operation::metadata && call.url.path() == "/src/a.jpg") {
      throw SortError::sourceUnreadable(call.url, "Permission denied");
    }
    if (call.operation == Operation::contentsOfDirectory && call.url.path() == "/src/locked") {
      throw SortError::sourceUnreadable(call.url, "Permission denied");
    }
  };
  SortPlan p = plan();
  EXPECT_EQ(movedNames(p), (std::vector<std::string>{"b.jpg", "d.jpg"}));
  ASSERT_EQ(p.skipped.size(), 2u);
  EXPECT_EQ(p.skipped[0].url.path(), "/src/a.jpg");
  EXPECT_EQ(p.skipped[0].reason,
            SkipReason::metadataUnreadable("Could not read /src/a.jpg: Permission denied"));
  EXPECT_EQ(p.skipped[1].url.absoluteString(), "file:///src/locked/");
  EXPECT_EQ(p.skipped[1].reason,
            SkipReason::contentsUnreadable("Could not read /src/locked: Permission denied"));

  fs.beforeCall = [](const InMemoryFileSystem::Call& call) {
    if (call.operation == Operation::contentsOfDirectory) {
      throw SortError::sourceUnreadable(call.url, "Permission denied");
    }
  };
  EXPECT_THROW(plan(), SortError);
}

TEST_F(PlannerTest, FailuresThatEndTheScan) {
  file("/src/a.jpg");
  fs.beforeCall = [](const InMemoryFileSystem::Call& call) {
    if (call.operation == Operation::volumeID) throw SortError::sourceUnreadable(call.url, "gone");
  };
  EXPECT_THROW(plan(), SortError);

  fs.beforeCall = nullptr;
  file("/src/Images/a.jpg");
  for (int n = 2; n <= 1000; ++n) file("/src/Images/a " + std::to_string(n) + ".jpg");
  try {
    plan();
    ADD_FAILURE();
  } catch (const SortError& error) {
    EXPECT_EQ(error.errorCase(), SortError::Case::collisionUnresolvable);
  }
}

TEST_F(PlannerTest, UnreadableMessagesAreKeptValidUtf8) {
  file("/src/a.jpg");
  fs.beforeCall = [](const InMemoryFileSystem::Call& call) {
    if (call.operation == Operation::metadata && call.url.path() == "/src/a.jpg") {
      throw SortError::sourceUnreadable(FileURL::fromPath("/src/\xff"), "bad");
    }
  };
  SortPlan p = plan();
  ASSERT_EQ(p.skipped.size(), 1u);
  EXPECT_EQ(p.skipped[0].reason.text(), "Could not read /src/\uFFFD: bad");
}

TEST(PlannerConfigurationTest, DefaultsAndEquality) {
  Planner::Configuration configuration;
  EXPECT_EQ(configuration.maxDepth, 1);
  EXPECT_EQ(configuration.safety, SafetyPolicy());
  EXPECT_EQ(configuration.roots, DirectoryRoots::current());

  auto with = [&](auto change) { return testing::changed(configuration, change); };
  testing::expectDistinctValuesAndHashes<Planner::Configuration>({
      {"defaults", configuration},
      {"maxDepth", with([](auto& c) { c.maxDepth = 2; })},
      {"safety", with([](auto& c) { c.safety.skipHiddenFiles = false; })},
      {"roots",
       with([](auto& c) { c.roots = DirectoryRoots(FileURL::fromPath("/elsewhere", true)); })},
  });
}

}  // namespace
}  // namespace rozuzed

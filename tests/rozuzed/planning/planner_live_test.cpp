// The planner against a real folder: what the disk reports about links,
// pipes, packages, odd names and letter case decides these cases.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "rozuzed/filesystem/live_file_system.h"
#include "rozuzed/filesystem/mount_table.h"
#include "rozuzed/model/plan_coding.h"
#include "rozuzed/planning/planner.h"
#include "rozuzed/support/unicode.h"
#include "rozuzed/testing/fixed_date_provider.h"
#include "rozuzed/testing/intercepting_file_system.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

using testing::FixedDateProvider;
using testing::TemporaryFolder;
using testing::writeFile;

SortRule rule(const std::string& id, std::vector<std::string> extensions, Destination destination) {
  return SortRule{.id = id,
                  .name = id,
                  .match = MatchCriteria::fileExtension(std::move(extensions)),
                  .destination = std::move(destination)};
}

void makeFolder(const std::string& path) {
  ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path;
}

// The home Trash, a volume's own Trash and what lies inside them are
// refused; a folder that only looks like a Trash is sorted like any other.
TEST(PlannerLiveTest, TrashFoldersAreRefused) {
  TemporaryFolder root;
  testing::ScopedEnvironment dataHome("XDG_DATA_HOME", root / "share");
  const std::string uid = std::to_string(::getuid());
  std::vector<std::string> trashes = {root / "share/Trash", root / "share/Trash/files",
                                      root / "share/Trash/files/album"};
  if (MountTable::shared().mountPoint("/dev/shm") == "/dev/shm" &&
      ::access("/dev/shm", W_OK) == 0) {
    trashes.push_back("/dev/shm/.Trash-" + uid + "/files");
  }
  for (const auto& folder : trashes) {
    std::filesystem::create_directories(folder);
  }
  const std::string lookAlike = root / (".Trash-" + uid + "/files");
  std::filesystem::create_directories(lookAlike);
  writeFile(lookAlike + "/photo.jpg", "p", std::floor(currentDate()) - 3600);

  RuleSet rules;
  rules.rules = {
      rule("images", {"jpg"}, Destination::relative(DestinationRoot::sourceFolder, "Images"))};
  auto clock = std::make_shared<FixedDateProvider>(std::floor(currentDate()));
  RuleEngine engine(rules, std::string(64, 'f'), clock);
  LiveFileSystem fileSystem;
  Planner::Configuration configuration;
  configuration.roots = DirectoryRoots(FileURL::fromPath(root / "home", true));
  Planner planner(fileSystem, engine, *clock, configuration);
  for (const auto& folder : trashes) {
    try {
      planner.plan(FileURL::fromPath(folder, true));
      ADD_FAILURE() << folder << " was planned";
    } catch (const SortError& error) {
      EXPECT_EQ(error.errorCase(), SortError::Case::sourceInTrash) << folder;
    }
  }
  EXPECT_EQ(planner.plan(FileURL::fromPath(lookAlike, true)).moves.size(), 1u);
}

// Files sent into a Trash's folder without its record are lost to the user
// and to undo: a destination that leads there by its path, through a link
// or through a bind mount is refused before anything is planned.
TEST(PlannerLiveTest, DestinationsInATrashAreRefused) {
  TemporaryFolder root;
  testing::ScopedEnvironment dataHome("XDG_DATA_HOME", root / "share");
  const std::string trashFiles = root / "share/Trash/files";
  std::filesystem::create_directories(trashFiles);
  std::filesystem::create_directories(root / "home");
  std::filesystem::create_directories(root / "src");
  std::filesystem::create_directories(root / "mounted");
  writeFile(root / "src/notes.pdf", "n", std::floor(currentDate()) - 3600);
  ASSERT_EQ(::symlink(trashFiles.c_str(), (root / "home/Documents").c_str()), 0);

  struct Case {
    const char* what;
    Destination destination;
  };
  std::vector<Case> cases = {
      {"inside the Trash's files", Destination::absolute(trashFiles + "/PDFs")},
      {"through a link to it", Destination::relative(DestinationRoot::documents, "PDFs")},
  };
  // Nothing in its path says Trash: only its device and inode tell.
  const bool bound =
      ::system(
          ("mount --bind '" + trashFiles + "' '" + root / "mounted" + "' 2>/dev/null").c_str()) ==
      0;
  if (bound)
    cases.push_back({"through a bind mount", Destination::absolute(root / "mounted/PDFs")});

  auto clock = std::make_shared<FixedDateProvider>(std::floor(currentDate()));
  LiveFileSystem fileSystem;
  Planner::Configuration configuration;
  configuration.roots = DirectoryRoots(FileURL::fromPath(root / "home", true));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RuleSet rules;
    rules.rules = {rule("pdfs", {"pdf"}, c.destination)};
    RuleEngine engine(rules, std::string(64, 'f'), clock);
    Planner planner(fileSystem, engine, *clock, configuration);
    try {
      planner.plan(FileURL::fromPath(root / "src", true));
      ADD_FAILURE() << "planned";
    } catch (const SortError& error) {
      EXPECT_EQ(error.errorCase(), SortError::Case::destinationInTrash);
    }
  }
  if (bound) ::umount2((root / "mounted").c_str(), MNT_DETACH);
  if (!bound) GTEST_SKIP() << "bind mounts cannot be made here; the other cases ran";
}

// A scan finds the Trash's folders once and asks of each destination in
// turn: one met after a folder outside any Trash is still refused.
TEST(PlannerLiveTest, ADestinationInATrashIsRefusedAfterOthersWereAskedOf) {
  TemporaryFolder root;
  testing::ScopedEnvironment dataHome("XDG_DATA_HOME", root / "share");
  const std::string trashFiles = root / "share/Trash/files";
  std::filesystem::create_directories(trashFiles);
  std::filesystem::create_directories(root / "src");
  const Date now = std::floor(currentDate());
  writeFile(root / "src/a.jpg", "a", now - 3600);
  writeFile(root / "src/b.pdf", "b", now - 3600);

  RuleSet rules;
  rules.rules = {rule("images", {"jpg"}, Destination::absolute(root / "Images")),
                 rule("pdfs", {"pdf"}, Destination::absolute(trashFiles + "/PDFs"))};
  auto clock = std::make_shared<FixedDateProvider>(now);
  RuleEngine engine(rules, std::string(64, 'f'), clock);
  LiveFileSystem fileSystem;
  Planner planner(fileSystem, engine, *clock);
  try {
    planner.plan(FileURL::fromPath(root / "src", true));
    ADD_FAILURE() << "planned";
  } catch (const SortError& error) {
    EXPECT_EQ(error, SortError::destinationInTrash(FileURL::fromPath(trashFiles + "/PDFs", true)));
  }
}

TEST(PlannerLiveTest, FixtureFolder) {
  TemporaryFolder root;
  const Date now = std::floor(currentDate());
  const Date old = now - 3600;
  const std::string home = root / "home";
  const std::string src = root / "src";
  makeFolder(home);
  makeFolder(home + "/Documents");
  makeFolder(src);
  makeFolder(src + "/Images");
  makeFolder(src + "/images");
  makeFolder(src + "/Tool.app");
  makeFolder(src + "/data.v2");
  makeFolder(src + "/sub");
  writeFile(src + "/Images/photo.jpg", "taken", old);
  writeFile(src + "/images/keep-me.jpg", "mine", old);
  writeFile(src + "/photo.jpg", "p", old);
  writeFile(src + "/Report.PDF", "r1", old);
  writeFile(src + "/report.pdf", "r2", old);
  writeFile(src + "/file10.txt", "10", old);
  writeFile(src + "/file2.txt", "2", old);
  writeFile(src + "/.hidden.txt", "h", old);
  writeFile(src + "/movie.crdownload", "m", old);
  writeFile(src + "/fresh.jpg", "f", now - 2);
  writeFile(src + "/notes.xyz", "n", old);
  writeFile(src + "/a.keep", "k", old);
  writeFile(src + "/bad\xff.jpg", "b", old);
  ASSERT_EQ(::symlink("photo.jpg", (src + "/link.jpg").c_str()), 0);
  ASSERT_EQ(::mkfifo((src + "/pipe").c_str(), 0600), 0);

  RuleSet ruleSet;
  ruleSet.rules = {
      rule("images", {"jpg"}, Destination::relative(DestinationRoot::sourceFolder, "Images")),
      rule("pdfs", {"pdf"}, Destination::relative(DestinationRoot::documents, "Docs")),
      rule("texts", {"txt"}, Destination::relative(DestinationRoot::sourceFolder, "Texts")),
      rule("keep", {"keep"}, Destination::absolute(src)),
  };
  auto clock = std::make_shared<FixedDateProvider>(now);
  RuleEngine engine(ruleSet, std::string(64, '0'), clock);
  LiveFileSystem fs;
  Planner::Configuration configuration;
  configuration.roots = DirectoryRoots(FileURL::fromPath(home, true));
  SortPlan plan = Planner(fs, engine, *clock, configuration).plan(FileURL::fromPath(src, true));

  std::vector<std::string> moves;
  for (const auto& m : plan.moves) {
    moves.push_back(m.source.lastPathComponent() + " -> " +
                    m.destinationURL.path().substr(root.path().size()));
    EXPECT_EQ(m.strategy, MoveStrategy::sameVolumeMove);
  }
  EXPECT_EQ(moves, (std::vector<std::string>{
                       "file2.txt -> /src/Texts/file2.txt",
                       "file10.txt -> /src/Texts/file10.txt",
                       "photo.jpg -> /src/Images/photo 2.jpg",
                       "Report.PDF -> /home/Documents/Docs/Report.PDF",
                       "report.pdf -> /home/Documents/Docs/report 2.pdf",
                   }));

  struct Skip {
    std::string name;
    SkipReason::Case reason;
  };
  std::vector<Skip> expected = {
      {".hidden.txt", SkipReason::Case::isHidden},
      {"a.keep", SkipReason::Case::alreadyAtDestination},
      {"bad\xff.jpg", SkipReason::Case::metadataUnreadable},
      {"data.v2", SkipReason::Case::possibleBundle},
      {"fresh.jpg", SkipReason::Case::recentlyModified},
      // The rule names "Images"; "images" has the same key, so it counts as
      // that folder too and nothing in it is touched.
      {"Images", SkipReason::Case::managedDestinationFolder},
      {"images", SkipReason::Case::managedDestinationFolder},
      {"link.jpg", SkipReason::Case::isSymbolicLink},
      {"movie.crdownload", SkipReason::Case::inFlightExtension},
      {"notes.xyz", SkipReason::Case::noMatchingRule},
      {"pipe", SkipReason::Case::notARegularFile},
      {"sub", SkipReason::Case::isDirectory},
      {"Tool.app", SkipReason::Case::isPackage},
  };
  std::vector<std::string> seen;
  for (const auto& s : plan.skipped)
    seen.push_back(s.url.lastPathComponent() + ": " + s.reason.explanation());
  ASSERT_EQ(plan.skipped.size(), expected.size()) << ::testing::PrintToString(seen);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(plan.skipped[i].url.lastPathComponent(), expected[i].name) << i;
    EXPECT_EQ(plan.skipped[i].reason.reasonCase(), expected[i].reason) << expected[i].name;
  }
  auto reasonOf = [&](const std::string& name) {
    for (const auto& s : plan.skipped) {
      if (s.url.lastPathComponent() == name) return s.reason;
    }
    return SkipReason::noMatchingRule();
  };
  EXPECT_EQ(reasonOf("fresh.jpg"), SkipReason::recentlyModified(2));
  EXPECT_EQ(reasonOf("data.v2"), SkipReason::possibleBundle("v2"));
  EXPECT_EQ(reasonOf("movie.crdownload"), SkipReason::inFlightExtension("crdownload"));
  SkipReason unreadable = reasonOf("bad\xff.jpg");
  EXPECT_EQ(unreadable.text().rfind("Could not read ", 0), 0u) << unreadable.text();
  EXPECT_TRUE(isValidUtf8(unreadable.text()));

  // The payload is valid JSON and reads back to the same plan, the name that
  // is not UTF-8 included.
  std::string payload = PlanCoding::encode(plan);
  EXPECT_TRUE(isValidUtf8(payload));
  EXPECT_NE(payload.find("bad%FF.jpg"), std::string::npos);
  EXPECT_EQ(PlanCoding::decode<SortPlan>(payload), plan);

  // Planning looked and touched nothing.
  EXPECT_FALSE(testing::pathExists(src + "/Texts"));
  EXPECT_FALSE(testing::pathExists(home + "/Documents/Docs"));
  EXPECT_TRUE(testing::pathExists(src + "/images/keep-me.jpg"));
}

// The planner reads a file's facts without its download sources; a rule
// that asks for them still has them, from the file's own attributes.
TEST(PlannerLiveTest, DownloadSourcesComeFromTheFilesAttributes) {
  TemporaryFolder root;
  const Date now = std::floor(currentDate());
  const std::string src = root / "src";
  makeFolder(src);
  writeFile(src + "/setup.deb", "s", now - 3600);
  writeFile(src + "/other.deb", "o", now - 3600);
  const std::string origin = "https://dl.example.com/setup.deb";
  if (::setxattr((src + "/setup.deb").c_str(), "user.xdg.origin.url", origin.data(), origin.size(),
                 0) != 0) {
    GTEST_SKIP() << "this file system keeps no user attributes";
  }
  RuleSet ruleSet;
  ruleSet.rules = {
      SortRule{.id = "trusted",
               .name = "Trusted",
               .match = MatchCriteria::downloadedFrom("example.com"),
               .destination = Destination::relative(DestinationRoot::sourceFolder, "Installers")}};
  auto clock = std::make_shared<FixedDateProvider>(now);
  RuleEngine engine(ruleSet, std::string(64, '0'), clock);
  LiveFileSystem fs;
  EXPECT_TRUE(fs.facts(FileURL::fromPath(src + "/setup.deb")).whereFroms.empty());
  EXPECT_EQ(fs.downloadSources(FileURL::fromPath(src + "/setup.deb")),
            std::vector<std::string>{origin});
  EXPECT_EQ(fs.metadata(FileURL::fromPath(src + "/setup.deb")).whereFroms,
            std::vector<std::string>{origin});

  SortPlan plan = Planner(fs, engine, *clock).plan(FileURL::fromPath(src, true));
  ASSERT_EQ(plan.moves.size(), 1u);
  EXPECT_EQ(plan.moves[0].source.lastPathComponent(), "setup.deb");
  ASSERT_EQ(plan.skipped.size(), 1u);
  EXPECT_EQ(plan.skipped[0].reason, SkipReason::noMatchingRule());
}

// The plan of `src` as of `now`, its ids cleared: they are drawn afresh by
// every plan.
SortPlan planWithoutIDs(FileSystem& fileSystem, const RuleSet& ruleSet, Date now,
                        const std::string& src) {
  auto clock = std::make_shared<FixedDateProvider>(now);
  RuleEngine engine(ruleSet, std::string(64, '0'), clock);
  SortPlan plan = Planner(fileSystem, engine, *clock).plan(FileURL::fromPath(src, true));
  plan.id = Uuid();
  for (PlannedMove& move : plan.moves) move.id = Uuid();
  return plan;
}

// A long listing is described on several threads and judged in order:
// its plan is the one a file system that takes facts on one thread gives,
// move for move, collision suffixes and skip reasons included.
TEST(PlannerLiveTest, ALongListingPlansAsOneThreadWould) {
  TemporaryFolder root;
  const Date now = std::floor(currentDate());
  const Date old = now - 3600;
  const std::string src = root / "src";
  makeFolder(src);
  makeFolder(src + "/Images");
  const std::string origin = "https://dl.example.com/setup.deb";
  bool attributes = true;
  for (int i = 0; i < 3000; ++i) {
    const std::string number = std::to_string(i);
    switch (i % 10) {
      case 0:
        makeFolder(src + "/folder " + number);
        break;
      case 1:
        writeFile(src + "/.hidden " + number + ".jpg", "h", old);
        break;
      case 2:
        writeFile(src + "/fresh " + number + ".jpg", "f", now - 2);
        break;
      case 3:
        writeFile(src + "/setup " + number + ".deb", "s", old);
        attributes =
            attributes && ::setxattr((src + "/setup " + number + ".deb").c_str(),
                                     "user.xdg.origin.url", origin.data(), origin.size(), 0) == 0;
        break;
      case 4:
        // Taken at the destination: the move gets a suffix.
        writeFile(src + "/Images/photo " + number + ".jpg", "there", old);
        [[fallthrough]];
      default:
        writeFile(src + "/photo " + number + (i % 3 == 0 ? ".jpg" : ".txt"), number, old);
    }
  }
  writeFile(src + "/bad\xff.jpg", "b", old);

  RuleSet ruleSet;
  ruleSet.rules = {
      SortRule{.id = "trusted",
               .name = "Trusted",
               .match = MatchCriteria::downloadedFrom("example.com"),
               .destination = Destination::relative(DestinationRoot::sourceFolder, "Installers")},
      rule("images", {"jpg"}, Destination::relative(DestinationRoot::sourceFolder, "Images")),
      rule("texts", {"txt"}, Destination::relative(DestinationRoot::sourceFolder, "Texts")),
  };
  auto planWith = [&](FileSystem& fileSystem) {
    return planWithoutIDs(fileSystem, ruleSet, now, src);
  };
  LiveFileSystem live;
  testing::InterceptingFileSystem oneThread;
  ASSERT_TRUE(live.takesFactsConcurrently());
  ASSERT_FALSE(oneThread.takesFactsConcurrently());
  const SortPlan plan = planWith(live);
  EXPECT_EQ(plan, planWith(oneThread));

  std::size_t suffixed = 0;
  std::size_t trusted = 0;
  for (const PlannedMove& move : plan.moves) {
    suffixed += move.collisionSuffix.has_value();
    trusted += move.matchedRuleID == "trusted";
  }
  EXPECT_EQ(suffixed, 100u);
  EXPECT_EQ(trusted, attributes ? 300u : 0u);
  EXPECT_EQ(plan.moves.size() + plan.skipped.size(), 3002u);
}

// A pattern that runs out of time on one name is given up for the names
// after it, in the order of the names, however many threads describe them;
// the plan says which rule, and the next scan tries the pattern again.
TEST(PlannerLiveTest, ARunawayPatternIsGivenUpFromTheNameItRanOutOn) {
  TemporaryFolder root;
  const Date now = std::floor(currentDate());
  const std::string src = root / "src";
  makeFolder(src);
  char name[16];
  for (int i = 0; i < 2000; ++i) {
    std::snprintf(name, sizeof name, "f-%04d", i);
    writeFile(src + "/" + name, "x", now - 3600);
  }
  // Digits and dashes that end in a letter backtrack without end.
  const std::string runaway = "-" + std::string(32, '1') + "x";
  writeFile(src + "/f-0700" + runaway, "x", now - 3600);
  writeFile(src + "/f-1500" + runaway, "x", now - 3600);

  RuleSet ruleSet;
  ruleSet.rules = {
      SortRule{.id = "numbered",
               .name = "Numbered",
               .match = MatchCriteria::nameMatches(RegexPattern("^f-([\\d-]+)+$")),
               .destination = Destination::relative(DestinationRoot::sourceFolder, "Numbered")}};
  auto planWith = [&](FileSystem& fileSystem) {
    return planWithoutIDs(fileSystem, ruleSet, now, src);
  };
  LiveFileSystem live;
  testing::InterceptingFileSystem oneThread;
  const SortPlan plan = planWith(live);

  ASSERT_EQ(plan.moves.size(), 701u);
  EXPECT_EQ(plan.moves.back().source.lastPathComponent(), "f-0700");
  EXPECT_EQ(plan.skipped.size(), 1301u);
  EXPECT_EQ(plan.skipped.front().url.lastPathComponent(), "f-0700" + runaway);
  EXPECT_EQ(plan.warnings,
            std::vector<PlanWarning>{PlanWarning::patternTimedOut("numbered", "Numbered")});
  EXPECT_EQ(plan, planWith(oneThread));
  EXPECT_EQ(plan, planWith(live));
}

}  // namespace
}  // namespace rozuzed

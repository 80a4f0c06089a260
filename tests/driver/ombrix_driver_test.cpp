// The driver as crash tests use it: a separate process on real folders, the
// journal under XDG_DATA_HOME, killed by the fault variables.
#include <signal.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "rozuzed/filesystem/live_file_system.h"
#include "rozuzed/journal/run_lock.h"
#include "rozuzed/journal/sqlite_database.h"
#include "rozuzed/model/sort_plan.h"
#include "rozuzed/support/json.h"
#include "rozuzed/testing/subprocess.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

using testing::ProcessResult;
using testing::TemporaryFolder;
using Environment = std::map<std::string, std::optional<std::string>>;

constexpr double kLongAgo = 1'500'000'000;

class OmbrixDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder / "inbox");
    for (const char* name : {"report.pdf", "photo.jpg", "notes.unknownext"}) {
      testing::writeFile(inbox(name), std::string("bytes of ") + name, kLongAgo);
    }
  }

  std::string inbox(const std::string& name = "") const {
    return name.empty() ? folder / "inbox" : folder / ("inbox/" + name);
  }

  ProcessResult driver(const std::vector<std::string>& arguments, Environment environment = {},
                       const std::string& workingDirectory = "") const {
    std::vector<std::string> command = {testing::builtProgram("ombrix-driver")};
    command.insert(command.end(), arguments.begin(), arguments.end());
    environment.emplace("XDG_DATA_HOME", folder / "data");
    environment.emplace("HOME", folder / "home");
    for (const char* name : {"ROZUZED_FAULT", "ROZUZED_FAULT_NTH", "ROZUZED_FAULT_SIGNAL",
                             "ROZUZED_FAULT_RANDOM_SEED", "ROZUZED_FAULT_DELAY_MS"}) {
      environment.emplace(name, std::nullopt);
    }
    return testing::runProcess(command, environment, workingDirectory);
  }

  // Runs a command that must succeed and gives its output as JSON.
  Json driverJson(const std::vector<std::string>& arguments) const {
    auto result = driver(arguments);
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    return parseJson(result.standardOutput);
  }

  std::vector<Json> history() const {
    auto result = driver({"history"});
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    std::vector<Json> out;
    std::istringstream lines(result.standardOutput);
    for (std::string line; std::getline(lines, line);) out.push_back(parseJson(line));
    return out;
  }

  std::set<std::string> filesBelow(const std::string& root) const {
    std::set<std::string> out;
    for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
      if (item.is_regular_file()) {
        out.insert(std::filesystem::relative(item.path(), root).string());
      }
    }
    return out;
  }

  TemporaryFolder folder{testing::buildTreeFolder()};
};

TEST_F(OmbrixDriverTest, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"sort"},
      {"plan"},
      {"apply", "a", "b"},
      {"--rules"},
      {"--rules", "rules.json"},
      {"--rules", "rules.json", "history"},
      {"undo"},
      {"undo", "not-a-uuid"},
      {"history", "extra"},
      {"reconcile", "extra"},
  };
  for (const auto& arguments : cases) {
    auto result = driver(arguments);
    std::string shown;
    for (const auto& a : arguments) shown += a + " ";
    EXPECT_EQ(result.exitCode, 2) << shown;
    EXPECT_NE(result.standardError.find("usage: ombrix-driver"), std::string::npos) << shown;
    EXPECT_TRUE(result.standardOutput.empty()) << shown;
  }
}

TEST_F(OmbrixDriverTest, AnEmptyOrRelativeFolderIsAUsageErrorAndNothingMoves) {
  const std::vector<std::vector<std::string>> cases = {
      {"apply", ""}, {"apply", "."},        {"apply", "./"},
      {"plan", ""},  {"apply", "../inbox"}, {"--rules", "", "apply", inbox()},
  };
  for (const auto& arguments : cases) {
    std::string shown;
    for (const auto& a : arguments) shown += "\"" + a + "\" ";
    // Run inside the folder: a relative folder taken as given would sort it.
    auto result = driver(arguments, {}, inbox());
    EXPECT_EQ(result.exitCode, 2) << shown << result.standardError;
    EXPECT_NE(result.standardError.find("usage: ombrix-driver"), std::string::npos) << shown;
    EXPECT_TRUE(result.standardOutput.empty()) << shown;
  }
  EXPECT_EQ(filesBelow(inbox()),
            (std::set<std::string>{"report.pdf", "photo.jpg", "notes.unknownext"}));
  EXPECT_TRUE(history().empty());
}

TEST_F(OmbrixDriverTest, PlanPrintsThePayloadAndMovesNothing) {
  auto plan = SortPlan::fromJson(driverJson({"plan", inbox()}));
  EXPECT_EQ(plan.sourceDirectory.path(), inbox());
  ASSERT_EQ(plan.moves.size(), 2u);
  ASSERT_EQ(plan.skipped.size(), 1u);
  EXPECT_EQ(plan.skipped[0].url.path(), inbox("notes.unknownext"));
  EXPECT_EQ(filesBelow(inbox()),
            (std::set<std::string>{"report.pdf", "photo.jpg", "notes.unknownext"}));
  EXPECT_TRUE(history().empty());
}

// What the plan command prints is what the journal keeps, byte for byte,
// names that need escapes included.
TEST_F(OmbrixDriverTest, PlanPrintsTheStoredPayloadItself) {
  testing::writeFile(inbox("a \"quoted\" caf\xC3\xA9 100%.pdf"), "bytes", kLongAgo);
  auto result = driver({"plan", inbox()});
  ASSERT_EQ(result.exitCode, 0) << result.standardError;
  const std::string& printed = result.standardOutput;
  ASSERT_FALSE(printed.empty());
  EXPECT_EQ(printed.back(), '\n');
  auto plan = SortPlan::fromJson(parseJson(printed));
  ASSERT_EQ(plan.moves.size(), 3u);

  auto db = SqliteDatabase::open(folder / "data/RozuZed/rozuzed.sqlite");
  std::string stored = db->write([&](SqliteConnection& c) {
    auto value = c.fetchValue("SELECT payload FROM plan WHERE id = ?",
                              std::vector<SqlValue>{plan.id.text()});
    auto* blob = value ? std::get_if<SqlBlob>(&*value) : nullptr;
    return blob ? blob->bytes : std::string("(no blob)");
  });
  EXPECT_EQ(printed, stored + "\n");
}

TEST_F(OmbrixDriverTest, ApplyUndoAndHistoryRoundTrip) {
  auto report = driverJson({"apply", inbox()});
  EXPECT_TRUE(report["completeSuccess"].get<bool>());
  ASSERT_EQ(report["moved"].size(), 2u);
  std::set<std::pair<std::string, std::string>> moved;
  for (const auto& item : report["moved"]) {
    moved.insert({item["source"].get<std::string>(), item["destination"].get<std::string>()});
  }
  EXPECT_EQ(moved, (std::set<std::pair<std::string, std::string>>{
                       {inbox("report.pdf"), inbox("Documents/report.pdf")},
                       {inbox("photo.jpg"), inbox("Images/photo.jpg")}}));
  ASSERT_EQ(report["planSkipped"].size(), 1u);
  EXPECT_EQ(report["planSkipped"][0]["path"], inbox("notes.unknownext"));
  EXPECT_EQ(report["planSkipped"][0]["reason"], "no matching rule");
  EXPECT_EQ(filesBelow(inbox()), (std::set<std::string>{"Documents/report.pdf", "Images/photo.jpg",
                                                        "notes.unknownext"}));

  std::string runID = report["runID"];
  auto batches = history();
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0]["id"], runID);
  EXPECT_EQ(batches[0]["state"], "finished");
  EXPECT_EQ(batches[0]["moveCount"], 2);

  auto undone = driverJson({"undo", runID});
  EXPECT_EQ(undone["reversedRunID"], runID);
  EXPECT_EQ(undone["restored"].size(), 2u);
  EXPECT_EQ(filesBelow(inbox()),
            (std::set<std::string>{"report.pdf", "photo.jpg", "notes.unknownext"}));
  EXPECT_EQ(history()[0]["undoneCount"], 2);

  auto again = driver({"undo", runID});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_EQ(again.standardError, "Batch " + runID + " has already been undone\n");
  EXPECT_EQ(driverJson({"reconcile"})["outcome"], "nothingToRecover");
}

// Undo takes away the folders the sort made once they are empty again, so
// the folder is as it was before the sort; a folder that was there before,
// and one the user has put a file in since, stay.
TEST_F(OmbrixDriverTest, UndoRemovesTheFoldersTheSortMadeOnceEmpty) {
  std::filesystem::create_directories(inbox("Images"));
  testing::writeFile(inbox("song.mp3"), "bytes of song.mp3", kLongAgo);
  std::string runID = driverJson({"apply", inbox()})["runID"];
  ASSERT_TRUE(testing::pathExists(inbox("Documents/report.pdf")));
  testing::writeFile(inbox("Audio/mine.mp3"), "the user's own");

  auto undone = driverJson({"undo", runID});

  EXPECT_TRUE(undone["completeSuccess"].get<bool>()) << dumpJson(undone);
  EXPECT_FALSE(testing::pathExists(inbox("Documents")));
  EXPECT_TRUE(std::filesystem::is_directory(inbox("Images")));
  EXPECT_EQ(filesBelow(inbox()), (std::set<std::string>{"report.pdf", "photo.jpg", "song.mp3",
                                                        "notes.unknownext", "Audio/mine.mp3"}));
}

// An undo killed after its first file went back and reconciled, then the
// undo of that undo (what the alert's "Undo Them" does), then the sort undone
// from the history: every file comes back, and no count or report claims a
// file is back that is not.
TEST_F(OmbrixDriverTest, AfterAnInterruptedUndoIsUndoneTheSortsUndoReturnsEveryFile) {
  testing::writeFile(inbox("letter.pdf"), "bytes of letter.pdf", kLongAgo);
  const std::set<std::string> before = filesBelow(inbox());
  auto applied = driverJson({"apply", inbox()});
  ASSERT_EQ(applied["moved"].size(), 3u);
  std::string runID = applied["runID"];
  const std::set<std::string> sorted = filesBelow(inbox());

  auto killed = driver({"undo", runID}, {{"ROZUZED_FAULT", "afterUndoOperationBeforeCommit"},
                                         {"ROZUZED_FAULT_NTH", "1"}});
  ASSERT_EQ(killed.signal, SIGKILL) << killed.standardError;
  auto reconciled = driverJson({"reconcile"});
  ASSERT_EQ(reconciled["outcome"], "recovered") << dumpJson(reconciled);
  const Json& settled = reconciled["reports"][0];
  ASSERT_EQ(settled["runKind"], "undo");
  ASSERT_EQ(settled["committed"].size(), 1u);
  EXPECT_EQ(history()[0]["undoneCount"], 1);

  auto undoneUndo = driverJson({"undo", settled["runID"].get<std::string>()});
  EXPECT_TRUE(undoneUndo["completeSuccess"].get<bool>()) << dumpJson(undoneUndo);
  EXPECT_EQ(undoneUndo["restored"].size(), 1u);
  EXPECT_EQ(filesBelow(inbox()), sorted);
  EXPECT_EQ(history()[0]["undoneCount"], 0);

  auto undone = driverJson({"undo", runID});
  EXPECT_TRUE(undone["completeSuccess"].get<bool>()) << dumpJson(undone);
  EXPECT_EQ(undone["restored"].size(), 3u);
  EXPECT_EQ(filesBelow(inbox()), before);
  EXPECT_EQ(history()[0]["undoneCount"], 3);
}

TEST_F(OmbrixDriverTest, ARuleFileReplacesTheDefaultRules) {
  testing::writeFile(folder / "rules.json", R"({"version": 1, "rules": [{
      "id": "all-pdf", "name": "PDF", "enabled": true, "priority": 1,
      "match": {"type": "extension", "values": ["pdf"]},
      "destination": {"root": "sourceFolder", "path": "Papers"}}]})");
  // A relative rule file is read from the working directory.
  auto applied = driver({"--rules", "rules.json", "apply", inbox()}, {}, folder.path());
  ASSERT_EQ(applied.exitCode, 0) << applied.standardError;
  auto report = parseJson(applied.standardOutput);
  ASSERT_EQ(report["moved"].size(), 1u);
  EXPECT_EQ(report["moved"][0]["destination"], inbox("Papers/report.pdf"));
  EXPECT_EQ(report["planSkipped"].size(), 2u);
}

TEST_F(OmbrixDriverTest, AFailedOperationExitsWithOneAndItsMessage) {
  auto missing = driver({"apply", folder / "nowhere"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(missing.standardOutput.empty());
  EXPECT_TRUE(missing.standardError.starts_with("Could not read " + (folder / "nowhere")))
      << missing.standardError;

  std::string unknown = "00000000-0000-4000-8000-000000000000";
  auto undo = driver({"undo", unknown});
  EXPECT_EQ(undo.exitCode, 1);
  EXPECT_EQ(undo.standardError, "No journal batch with id " + unknown + "\n");

  auto rules = driver({"--rules", folder / "absent.json", "plan", inbox()});
  EXPECT_EQ(rules.exitCode, 1);
  EXPECT_FALSE(rules.standardError.empty());
}

TEST_F(OmbrixDriverTest, ABusyRunLockRefusesTheWork) {
  auto lock = RunLock::acquire(FileURL::fromPath(folder / "data/RozuZed/run.lock"));
  ASSERT_TRUE(lock);
  auto result = driver({"apply", inbox()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.standardError, "Another copy of Ombrix is working on these files.\n");
  EXPECT_EQ(filesBelow(inbox()),
            (std::set<std::string>{"report.pdf", "photo.jpg", "notes.unknownext"}));
}

TEST_F(OmbrixDriverTest, AKilledApplyIsReconciledFromWhatIsOnDisk) {
  struct Case {
    const char* point;
    const char* nth;
    // Entries settled as committed and abandoned by the reconciliation.
    size_t committed;
    size_t abandoned;
  };
  const std::vector<Case> cases = {
      {"beforeIntent", "1", 0, 0},
      {"afterIntentBeforeOperation", "1", 0, 2},
      {"afterOperationBeforeCommit", "1", 1, 1},
      {"afterOperationBeforeCommit", "2", 2, 0},
      {"beforeFinishRun", "1", 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.point) + " " + c.nth);
    std::filesystem::remove_all(folder / "data");
    std::filesystem::remove_all(inbox());
    SetUp();

    auto killed =
        driver({"apply", inbox()}, {{"ROZUZED_FAULT", c.point}, {"ROZUZED_FAULT_NTH", c.nth}});
    EXPECT_EQ(killed.signal, SIGKILL);
    EXPECT_EQ(killed.standardError,
              std::string("ROZUZED_FAULT fired at ") + c.point + " arrival " + c.nth + "\n");
    EXPECT_TRUE(killed.standardOutput.empty());

    auto outcome = driverJson({"reconcile"});
    bool begun = std::string(c.point) != "beforeIntent";
    if (!begun) {
      EXPECT_EQ(outcome["outcome"], "nothingToRecover");
      EXPECT_TRUE(history().empty());
      continue;
    }
    ASSERT_EQ(outcome["outcome"], "recovered");
    const auto& report = outcome["reports"][0];
    EXPECT_EQ(report["committed"].size(), c.committed);
    EXPECT_EQ(report["abandoned"].size(), c.abandoned);
    EXPECT_TRUE(report["needsAttention"].empty());
    EXPECT_EQ(history()[0]["state"], "recovered");
    // Every file is exactly once in the folder, wherever the kill left it.
    auto files = filesBelow(inbox());
    EXPECT_EQ(files.size(), 3u);
    EXPECT_EQ(files.count("report.pdf") + files.count("Documents/report.pdf"), 1u);
    EXPECT_EQ(files.count("photo.jpg") + files.count("Images/photo.jpg"), 1u);
  }
}

TEST_F(OmbrixDriverTest, ApplyAndUndoFirstSettleWhatAKilledRunLeftAndSayWhat) {
  const Environment killAfterFirstMove = {{"ROZUZED_FAULT", "afterOperationBeforeCommit"},
                                          {"ROZUZED_FAULT_NTH", "1"}};
  ASSERT_EQ(driver({"apply", inbox()}, killAfterFirstMove).signal, SIGKILL);

  auto applied = driverJson({"apply", inbox()});
  const Json& settled = applied["reconciled"];
  ASSERT_EQ(settled["outcome"], "recovered") << dumpJson(applied);
  ASSERT_EQ(settled["reports"].size(), 1u);
  EXPECT_EQ(settled["reports"][0]["committed"].size(), 1u);
  EXPECT_EQ(settled["reports"][0]["abandoned"].size(), 1u);
  EXPECT_EQ(applied["moved"].size(), 1u) << "only the file the killed run left";
  EXPECT_EQ(filesBelow(inbox()), (std::set<std::string>{"Documents/report.pdf", "Images/photo.jpg",
                                                        "notes.unknownext"}));
  const std::string runID = applied["runID"];

  testing::writeFile(inbox("late.pdf"), "late", kLongAgo);
  ASSERT_EQ(driver({"apply", inbox()}, killAfterFirstMove).signal, SIGKILL);
  auto undone = driverJson({"undo", runID});
  ASSERT_EQ(undone["reconciled"]["outcome"], "recovered") << dumpJson(undone);
  EXPECT_EQ(undone["reconciled"]["reports"][0]["committed"][0]["source"], inbox("late.pdf"));
  EXPECT_EQ(undone["restored"].size(), 1u);

  EXPECT_EQ(driverJson({"apply", inbox()})["reconciled"]["outcome"], "nothingToRecover");
  EXPECT_EQ(driverJson({"reconcile"})["outcome"], "nothingToRecover");
  std::vector<std::string> states;
  for (const auto& run : history()) states.push_back(run["state"]);
  EXPECT_EQ(states, (std::vector<std::string>{"finished", "recovered", "finished", "recovered"}));
}

TEST_F(OmbrixDriverTest, CrossVolumeMovesSurviveAKillMidCopy) {
  // The rules send files below HOME, which lies on another volume.
  if (!testing::secondVolumeBeside(folder.path())) {
    GTEST_SKIP() << "no /dev/shm on a volume of its own here";
  }
  TemporaryFolder home("/dev/shm");
  testing::writeFile(folder / "rules.json", R"({"version": 1, "rules": [{
      "id": "pdf", "name": "PDF", "enabled": true, "priority": 1,
      "match": {"type": "extension", "values": ["pdf"]},
      "destination": {"root": "home", "path": "Papers"}}]})");
  const std::vector<std::string> apply = {"--rules", folder / "rules.json", "apply", inbox()};

  auto moved = driver(apply, {{"HOME", home.path()}});
  ASSERT_EQ(moved.exitCode, 0) << moved.standardError;
  auto report = parseJson(moved.standardOutput);
  ASSERT_EQ(report["moved"].size(), 1u);
  EXPECT_EQ(report["moved"][0]["strategy"], "crossVolumeCopyVerifyTrash");
  EXPECT_EQ(testing::readFile(home / "Papers/report.pdf"), "bytes of report.pdf");
  EXPECT_FALSE(testing::pathExists(inbox("report.pdf")));

  // Killed once two of the copy's five pieces are written.
  const std::string big(4 * LiveFileSystem::copyPieceSize + 1, 'x');
  testing::writeFile(inbox("big.pdf"), big, kLongAgo);
  auto killed = driver(
      apply,
      {{"HOME", home.path()}, {"ROZUZED_FAULT", "midCopyPiece"}, {"ROZUZED_FAULT_NTH", "2"}});
  EXPECT_EQ(killed.signal, SIGKILL);
  EXPECT_EQ(killed.standardError, "ROZUZED_FAULT fired at midCopyPiece arrival 2\n");
  std::vector<std::uintmax_t> staged;
  for (const auto& item : std::filesystem::directory_iterator(home / "Papers")) {
    if (item.path().filename().string().starts_with(".ombrix-tmp-")) {
      staged.push_back(item.file_size());
    }
  }
  ASSERT_EQ(staged.size(), 1u) << "the kill did not land in the copy";
  EXPECT_LE(staged[0], 2 * LiveFileSystem::copyPieceSize);

  auto reconciled = driverJson({"reconcile"});
  ASSERT_EQ(reconciled["outcome"], "recovered") << dumpJson(reconciled);
  for (const auto& report : reconciled["reports"]) {
    EXPECT_TRUE(report["needsAttention"].empty()) << dumpJson(report);
  }
  // Wherever the kill came, each file is exactly once outside the Trash,
  // and nothing of the copy is left beside it.
  std::map<std::string, int> copies;
  for (const std::string& root : {inbox(), home.path()}) {
    for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
      EXPECT_FALSE(item.path().filename().string().starts_with(".ombrix-tmp-"))
          << "a staging file was left behind: " << item.path();
      if (item.is_regular_file()) ++copies[testing::readFile(item.path()).value_or("")];
    }
  }
  EXPECT_EQ(copies, (std::map<std::string, int>{{"bytes of report.pdf", 1},
                                                {"bytes of photo.jpg", 1},
                                                {"bytes of notes.unknownext", 1},
                                                {big, 1}}));
}

}  // namespace
}  // namespace rozuzed

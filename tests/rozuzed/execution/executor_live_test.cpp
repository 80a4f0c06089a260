// The executor and the cross-volume transfer on the real disk: where the
// behaviour under test is the file system's (renames that never replace,
// real copies, the freedesktop Trash, fsync) rather than the engine's.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

#include <gtest/gtest.h>

#include "rozuzed/execution/executor.h"
#include "rozuzed/execution/undo_runner.h"
#include "rozuzed/filesystem/content_hashing.h"
#include "rozuzed/filesystem/live_file_system.h"
#include "rozuzed/journal/sqlite_journal_store.h"
#include "rozuzed/testing/intercepting_file_system.h"
#include "rozuzed/testing/subprocess.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

using testing::InterceptingFileSystem;
using testing::TemporaryFolder;

constexpr double kLongAgo = 1'500'000'000.25;

class ExecutorLiveTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(scratch / "data"); }

  PlannedMove plannedMove(const std::string& source, const std::string& folder) {
    auto metadata = fileSystem.metadata(FileURL::fromPath(source));
    auto destination = FileURL::fromPath(folder, true);
    return PlannedMove{.planSequence = sequence++,
                       .source = FileURL::fromPath(source),
                       .destinationDirectory = destination,
                       .destinationURL = destination.appendingPathComponent(
                           FileURL::fromPath(source).lastPathComponent()),
                       .matchedRuleID = "rule",
                       .fingerprint = metadata.fingerprint(),
                       .strategy = MoveStrategy::sameVolumeMove};
  }

  SortPlan makePlan(std::vector<PlannedMove> moves, const std::string& folder) {
    return SortPlan{.createdAt = kLongAgo,
                    .sourceDirectory = FileURL::fromPath(folder, true),
                    .ruleSetHash = "hash",
                    .moves = std::move(moves)};
  }

  // Scratch space on the build tree's volume; the home Trash goes there too,
  // so nothing a test trashes lands in the user's own Trash.
  TemporaryFolder scratch{testing::buildTreeFolder()};
  testing::ScopedEnvironment data{"XDG_DATA_HOME", scratch / "data"};
  LiveFileSystem fileSystem;
  int64_t sequence = 0;
};

TEST_F(ExecutorLiveTest, SameVolumeMovesAreRenamesThatNeverReplace) {
  std::filesystem::create_directories(scratch / "in/Documents");
  testing::writeFile(scratch / "in/a.pdf", "A", kLongAgo);
  testing::writeFile(scratch / "in/b.pdf", "B", kLongAgo);
  testing::writeFile(scratch / "in/Documents/b.pdf", "already there", kLongAgo);
  SQLiteJournalStore journal(FileURL::fromPath(scratch / "data/journal.sqlite"));

  auto plan = makePlan({plannedMove(scratch / "in/a.pdf", scratch / "in/Documents"),
                        plannedMove(scratch / "in/b.pdf", scratch / "in/Documents")},
                       scratch / "in");
  auto report = Executor(fileSystem, journal).apply(plan);

  ASSERT_TRUE(report.isCompleteSuccess());
  EXPECT_EQ(testing::readFile(scratch / "in/Documents/a.pdf"), "A");
  EXPECT_EQ(testing::readFile(scratch / "in/Documents/b 2.pdf"), "B");
  EXPECT_EQ(testing::readFile(scratch / "in/Documents/b.pdf"), "already there");
  EXPECT_FALSE(testing::pathExists(scratch / "in/a.pdf"));

  auto stored = journal.entries(plan.id);
  ASSERT_EQ(stored.size(), 2u);
  for (const auto& entry : stored) {
    EXPECT_EQ(entry.state, EntryState::committed);
    EXPECT_EQ(entry.fingerprintAfter, entry.fingerprintBefore);
  }
  EXPECT_EQ(journal.run(plan.id)->state, RunState::finished);
}

// A folder laid out like a Trash that is not one: sorting its files/ folder
// leaves every file of its info/ folder alone.
TEST_F(ExecutorLiveTest, SortingAFolderNamedLikeATrashRemovesNothing) {
  const std::string trash = scratch / (".Trash-" + std::to_string(::getuid()));
  std::filesystem::create_directories(trash + "/files/Documents");
  std::filesystem::create_directories(trash + "/info");
  testing::writeFile(trash + "/files/a.pdf", "A", kLongAgo);
  testing::writeFile(trash + "/info/a.pdf.trashinfo", "the user's own notes");
  SQLiteJournalStore journal(FileURL::fromPath(scratch / "data/journal.sqlite"));

  auto plan =
      makePlan({plannedMove(trash + "/files/a.pdf", trash + "/files/Documents")}, trash + "/files");
  ASSERT_TRUE(Executor(fileSystem, journal).apply(plan).isCompleteSuccess());

  EXPECT_EQ(testing::readFile(trash + "/files/Documents/a.pdf"), "A");
  EXPECT_EQ(testing::readFile(trash + "/info/a.pdf.trashinfo"), "the user's own notes");
}

// A destination folder that leads into the Trash when the run comes to it
// takes nothing in: what went there would lie in the Trash with no record
// of where it came from.
TEST_F(ExecutorLiveTest, ADestinationThatLeadsIntoTheTrashTakesNothingIn) {
  const std::string trashFiles = scratch / "data/Trash/files";
  std::filesystem::create_directories(trashFiles);
  std::filesystem::create_directories(scratch / "in");
  std::filesystem::create_directories(scratch / "mounted");
  testing::writeFile(scratch / "in/a.pdf", "A", kLongAgo);
  std::filesystem::create_directory_symlink(trashFiles, scratch / "in/Documents");
  std::vector<std::string> folders = {trashFiles + "/PDFs", scratch / "in/Documents",
                                      scratch / "in/Documents/PDFs"};
  // Nothing in its path says Trash: only its device and inode tell.
  if (::system(("mount --bind '" + trashFiles + "' '" + scratch / "mounted" + "' 2>/dev/null")
                   .c_str()) == 0) {
    folders.push_back(scratch / "mounted");
  }
  for (const auto& folder : folders) {
    SCOPED_TRACE(folder);
    SQLiteJournalStore journal(FileURL::fromPath(scratch / "data/journal.sqlite"));
    auto plan = makePlan({plannedMove(scratch / "in/a.pdf", folder)}, scratch / "in");
    auto report = Executor(fileSystem, journal).apply(plan);

    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].error,
              SortError::destinationInTrash(FileURL::fromPath(folder, true)));
    EXPECT_EQ(testing::readFile(scratch / "in/a.pdf"), "A");
    EXPECT_TRUE(std::filesystem::is_empty(trashFiles));
    EXPECT_TRUE(journal.entries(plan.id).empty());
  }
  ::umount2((scratch / "mounted").c_str(), MNT_DETACH);
}

// The top of a mount may be open to every user (/tmp, /dev/shm). A link
// made there under a Trash's name is no Trash, since the Trash never goes
// through one: the folder it leads to takes the files like any other.
TEST_F(ExecutorLiveTest, ALinkNamedLikeATrashAtAMountsTopMakesNoFolderATrash) {
  const std::string top = scratch / "volume";
  std::filesystem::create_directories(top);
  if (::system(("mount -t tmpfs tmpfs '" + top + "' 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here";
  }
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{top};
  ASSERT_EQ(::chmod(top.c_str(), 01777), 0);
  std::filesystem::create_directories(scratch / "elsewhere");
  ASSERT_EQ(::chmod((scratch / "elsewhere").c_str(), 01777), 0);
  for (const std::string& name : {std::string(".Trash"), ".Trash-" + std::to_string(::getuid())}) {
    SCOPED_TRACE(name);
    std::filesystem::create_directory_symlink(scratch / "elsewhere", top + "/" + name);
    std::filesystem::create_directories(scratch / "in");
    testing::writeFile(scratch / "in/a.pdf", "A", kLongAgo);
    SQLiteJournalStore journal(FileURL::fromPath(scratch / "data/journal.sqlite"));
    auto plan = makePlan({plannedMove(scratch / "in/a.pdf", scratch / "elsewhere/Documents")},
                         scratch / "in");

    EXPECT_TRUE(Executor(fileSystem, journal).apply(plan).isCompleteSuccess());
    EXPECT_EQ(testing::readFile(scratch / "elsewhere/Documents/a.pdf"), "A");
    std::filesystem::remove(top + "/" + name);
    std::filesystem::remove_all(scratch / "elsewhere/Documents");
  }
}

// Another program (an inotify watcher is enough) swaps the destination
// folder for a link into the Trash once the run has checked it: the file
// stays where it was, rather than go where the link now leads.
TEST_F(ExecutorLiveTest, AFolderSwappedForALinkIntoTheTrashTakesNothingIn) {
  std::filesystem::create_directories(scratch / "in/Documents");
  std::filesystem::create_directories(scratch / "data/Trash/files");
  testing::writeFile(scratch / "in/a.pdf", "A", kLongAgo);
  SQLiteJournalStore journal(FileURL::fromPath(scratch / "data/journal.sqlite"));
  InterceptingFileSystem swapping;
  swapping.beforeMoveInto = [&](const FileURL&, const FileURL&) {
    std::filesystem::rename(scratch / "in/Documents", scratch / "in/Documents.old");
    std::filesystem::create_directory_symlink(scratch / "data/Trash/files",
                                              scratch / "in/Documents");
  };

  auto plan =
      makePlan({plannedMove(scratch / "in/a.pdf", scratch / "in/Documents")}, scratch / "in");
  auto report = Executor(swapping, journal).apply(plan);

  ASSERT_EQ(report.failures.size(), 1u);
  const auto source = FileURL::fromPath(scratch / "in/a.pdf");
  const std::string message =
      folderNoLongerNamed(source, FileURL::fromPath(scratch / "in/Documents/a.pdf"))
          .errorDescription();
  EXPECT_EQ(report.failures[0].error.errorDescription(), message);
  EXPECT_EQ(testing::readFile(source.path()), "A");
  EXPECT_TRUE(std::filesystem::is_empty(scratch / "data/Trash/files"));
  EXPECT_TRUE(std::filesystem::is_empty(scratch / "in/Documents.old"));
  auto entry = journal.entries(plan.id).at(0);
  EXPECT_EQ(entry.state, EntryState::abandoned);
  EXPECT_EQ(entry.attentionReason, message);
}

// Undo's rename back is no different: the folder the file goes back to is
// swapped for a link into the Trash once undo has checked it. The file
// stays where the run put it, and undo does not count it as back.
TEST_F(ExecutorLiveTest, AnUndoIntoAFolderSwappedForALinkIntoTheTrashPutsNothingThere) {
  std::filesystem::create_directories(scratch / "inbox");
  std::filesystem::create_directories(scratch / "data/Trash/files");
  testing::writeFile(scratch / "inbox/a.pdf", "A", kLongAgo);
  SQLiteJournalStore journal(FileURL::fromPath(scratch / "data/journal.sqlite"));
  auto plan =
      makePlan({plannedMove(scratch / "inbox/a.pdf", scratch / "sorted")}, scratch / "inbox");
  ASSERT_TRUE(Executor(fileSystem, journal).apply(plan).isCompleteSuccess());

  InterceptingFileSystem swapping;
  bool swapped = false;
  auto swap = [&](const FileURL&, const FileURL&) {
    if (std::exchange(swapped, true)) return;
    std::filesystem::rename(scratch / "inbox", scratch / "inbox.old");
    std::filesystem::create_directory_symlink(scratch / "data/Trash/files", scratch / "inbox");
  };
  // Whichever way the undo takes the file back, the swap comes just before.
  swapping.beforeMove = swap;
  swapping.beforeMoveInto = swap;
  auto undone = UndoRunner(swapping, journal).undo(plan.id);

  ASSERT_TRUE(swapped);
  EXPECT_TRUE(undone.restored.empty());
  ASSERT_EQ(undone.skipped.size(), 1u);
  EXPECT_EQ(undone.skipped[0].reason.reasonCase(), UndoSkipReason::Case::restoreFailed);
  EXPECT_EQ(testing::readFile(scratch / "sorted/a.pdf"), "A");
  EXPECT_TRUE(std::filesystem::is_empty(scratch / "data/Trash/files"));
  EXPECT_TRUE(std::filesystem::is_empty(scratch / "inbox.old"));
  EXPECT_FALSE(journal.entries(plan.id).at(0).undoneAt.has_value());
}

class CrossVolumeLiveTest : public ExecutorLiveTest {
 protected:
  void SetUp() override {
    ExecutorLiveTest::SetUp();
    if (!testing::secondVolumeBeside(scratch.path())) {
      GTEST_SKIP() << "no /dev/shm on a volume of its own here";
    }
    other = std::make_unique<TemporaryFolder>("/dev/shm");
  }

  std::unique_ptr<TemporaryFolder> other;
};

TEST_F(CrossVolumeLiveTest, CopiesVerifiesAndTrashesTheSource) {
  std::filesystem::create_directories(scratch / "in");
  const std::string bytes(3 * 1024 * 1024 + 17, 'q');
  testing::writeFile(scratch / "in/big.pdf", bytes, kLongAgo);
  chmod((scratch / "in/big.pdf").c_str(), 0640);
  SQLiteJournalStore journal(FileURL::fromPath(scratch / "data/journal.sqlite"));

  auto plan = makePlan({plannedMove(scratch / "in/big.pdf", *other / "Documents")}, scratch / "in");
  auto report = Executor(fileSystem, journal).apply(plan);

  ASSERT_TRUE(report.failures.empty()) << report.failures[0].error.errorDescription();
  ASSERT_TRUE(report.isCompleteSuccess());
  const auto& entry = report.completed[0];
  EXPECT_EQ(entry.strategy, MoveStrategy::crossVolumeCopyVerifyTrash);
  EXPECT_EQ(entry.sourceHash, ContentHashing::sha256(bytes));
  EXPECT_EQ(testing::readFile(*other / "Documents/big.pdf"), bytes);
  // The copy keeps what the fingerprint compares, so undo can recognise it.
  EXPECT_EQ(entry.fingerprintAfter, entry.fingerprintBefore);
  struct stat copied;
  ASSERT_EQ(stat((*other / "Documents/big.pdf").c_str(), &copied), 0);
  EXPECT_EQ(copied.st_mode & 0777, 0640u);

  ASSERT_TRUE(entry.trashedSourceURL);
  EXPECT_TRUE(entry.trashedSourceURL->path().starts_with(scratch / "data/Trash/files/"));
  EXPECT_EQ(testing::readFile(entry.trashedSourceURL->path()), bytes);
  EXPECT_FALSE(testing::pathExists(scratch / "in/big.pdf"));
  EXPECT_EQ(std::vector<std::string>{"big.pdf"}, [&] {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(*other / "Documents")) {
      names.push_back(item.path().filename());
    }
    return names;
  }());
  EXPECT_EQ(journal.entries(plan.id)[0].trashedSourceURL, entry.trashedSourceURL);
}

// A copy that comes out wrong is our own file: it is removed, not sent to
// the Trash, where it would hold on to the space of a whole copy.
TEST_F(CrossVolumeLiveTest, ADamagedCopyIsRemovedAndTheSourceStays) {
  struct Case {
    const char* what;
    std::function<void(const std::string& copy)> damage;
    VerificationFailure reason;
  };
  const std::string bytes = "original bytes";
  const std::vector<Case> cases = {
      {"cut short", [](const std::string& copy) { truncate(copy.c_str(), 3); },
       VerificationFailure::sizeMismatch(14, 3)},
      {"other bytes",
       [](const std::string& copy) {
         std::fstream(copy, std::ios::in | std::ios::out) << "ORIGINAL";
       },
       VerificationFailure::hashMismatch(ContentHashing::sha256(bytes).sha256,
                                         ContentHashing::sha256("ORIGINAL bytes").sha256)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(scratch / "data");
    std::filesystem::remove_all(scratch / "out");
    testing::writeFile(*other / "photo.pdf", bytes, kLongAgo);
    InterceptingFileSystem damaging;
    damaging.afterCopy = [&](const FileURL&, const FileURL& copy) { c.damage(copy.path()); };
    SQLiteJournalStore journal(FileURL::fromPath(scratch / "data/journal.sqlite"));

    auto plan = makePlan({plannedMove(*other / "photo.pdf", scratch / "out")}, other->path());
    auto report = Executor(damaging, journal).apply(plan);

    ASSERT_EQ(report.failures.size(), 1u);
    const auto& error = report.failures[0].error;
    EXPECT_EQ(error.errorCase(), SortError::Case::copyVerificationFailed);
    EXPECT_EQ(error.reason(), c.reason);
    EXPECT_EQ(testing::readFile(*other / "photo.pdf"), bytes);
    EXPECT_TRUE(std::filesystem::is_empty(scratch / "out"));
    EXPECT_FALSE(testing::pathExists(scratch / "data/Trash/files"));
    EXPECT_EQ(journal.entries(plan.id)[0].state, EntryState::abandoned);
  }
}

// The user's program appends a line once the copy is complete: the source
// keeps its newest bytes where it is, and the stale copy goes.
TEST_F(CrossVolumeLiveTest, ASourceEditedOnceCopiedStaysWhereItIs) {
  const std::string bytes(2 * 1024 * 1024 + 3, 'e');
  testing::writeFile(*other / "log.pdf", bytes, kLongAgo);
  InterceptingFileSystem editing;
  editing.afterCopy = [](const FileURL& source, const FileURL&) {
    std::ofstream(source.path(), std::ios::app) << "one more line\n";
  };
  SQLiteJournalStore journal(FileURL::fromPath(scratch / "data/journal.sqlite"));

  auto plan = makePlan({plannedMove(*other / "log.pdf", scratch / "out")}, other->path());
  auto report = Executor(editing, journal).apply(plan);

  ASSERT_EQ(report.failures.size(), 1u);
  const auto source = FileURL::fromPath(*other / "log.pdf");
  EXPECT_EQ(report.failures[0].error, SortError::sourceChangedDuringMove(source));
  EXPECT_EQ(testing::readFile(*other / "log.pdf"), bytes + "one more line\n");
  EXPECT_TRUE(std::filesystem::is_empty(scratch / "out"));
  EXPECT_EQ(testing::readFile(scratch / "data/Trash/files/log.pdf"), bytes);
  auto entry = journal.entries(plan.id).at(0);
  EXPECT_EQ(entry.state, EntryState::abandoned);
  EXPECT_EQ(entry.attentionReason,
            "log.pdf changed while it was being moved; it was left where it was");
}

// A full volume stops the copy part-way: the partial staging file is ours
// and goes away, not into the Trash, where it would keep the space taken.
TEST_F(CrossVolumeLiveTest, ACopyStoppedByAFullVolumeLeavesNoStagingFileAnywhere) {
  const std::string bytes(3 * 1024 * 1024, 'f');
  testing::writeFile(scratch / "in.pdf", bytes, kLongAgo);
  SQLiteJournalStore journal(FileURL::fromPath(scratch / "data/journal.sqlite"));
  auto plan = makePlan({plannedMove(scratch / "in.pdf", *other / "Documents")}, scratch.path());

  ExecutionReport report = [&] {
    testing::ScopedFileSizeLimit fullVolume(1024 * 1024);
    return Executor(fileSystem, journal).apply(plan);
  }();

  ASSERT_EQ(report.failures.size(), 1u);
  EXPECT_EQ(report.failures[0].error.errorCase(), SortError::Case::copyFailed);
  EXPECT_EQ(report.failures[0].error.underlying(), "File too large");
  EXPECT_EQ(testing::readFile(scratch / "in.pdf"), bytes);
  EXPECT_TRUE(std::filesystem::is_empty(*other / "Documents"));
  // Other tests share the Trash of /dev/shm: only this staging name counts.
  const std::string staging = journal.entries(plan.id).at(0).tempURL->lastPathComponent();
  const std::string uid = std::to_string(::getuid());
  for (const std::string& trash :
       {scratch / "data/Trash", "/dev/shm/.Trash-" + uid, "/dev/shm/.Trash/" + uid}) {
    EXPECT_FALSE(testing::pathExists(trash + "/files/" + staging)) << trash;
  }
  EXPECT_EQ(journal.entries(plan.id).at(0).state, EntryState::abandoned);
}

// The destination folder is renamed, or swapped for a link into the Trash,
// while the file is copied into it: the staging file, made in the folder
// that was checked, is found there and removed, and the source stays.
TEST_F(CrossVolumeLiveTest, AFolderMovedDuringTheCopyKeepsNoStagingFile) {
  struct Case {
    const char* what;
    bool linkIntoTrash;
  };
  for (const Case& c : {Case{"renamed", false}, Case{"swapped for a link into the Trash", true}}) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(scratch / "data");
    std::filesystem::remove_all(*other / "Documents");
    std::filesystem::remove_all(*other / "Renamed");
    std::filesystem::create_directories(scratch / "data/Trash/files");
    const std::string bytes(1024 * 1024 + 5, 'r');
    std::filesystem::remove(scratch / "f.pdf");
    testing::writeFile(scratch / "f.pdf", bytes, kLongAgo);
    SQLiteJournalStore journal(FileURL::fromPath(scratch / "data/journal.sqlite"));
    InterceptingFileSystem moving;
    moving.afterCopy = [&](const FileURL&, const FileURL&) {
      std::filesystem::rename(*other / "Documents", *other / "Renamed");
      if (c.linkIntoTrash) {
        std::filesystem::create_directory_symlink(scratch / "data/Trash/files",
                                                  *other / "Documents");
      }
    };

    auto plan = makePlan({plannedMove(scratch / "f.pdf", *other / "Documents")}, scratch.path());
    auto report = Executor(moving, journal).apply(plan);

    ASSERT_EQ(report.failures.size(), 1u);
    const auto source = FileURL::fromPath(scratch / "f.pdf");
    const std::string message =
        folderNoLongerNamed(source, FileURL::fromPath(*other / "Documents/f.pdf"))
            .errorDescription();
    EXPECT_EQ(report.failures[0].error.errorDescription(), message);
    EXPECT_EQ(testing::readFile(source.path()), bytes);
    EXPECT_TRUE(std::filesystem::is_empty(*other / "Renamed"));
    EXPECT_TRUE(std::filesystem::is_empty(scratch / "data/Trash/files"));
    auto entry = journal.entries(plan.id).at(0);
    EXPECT_EQ(entry.state, EntryState::abandoned);
    EXPECT_EQ(entry.attentionReason, message);
  }
}

// The source's volume is full, or its folder read-only, and the copy's
// volume has no Trash either: the original stays, and the copy the run made
// and verified goes, so no later sort finds the file twice. Undo's way back
// by a copy ends the same way.
TEST_F(CrossVolumeLiveTest, WhenNoTrashTakesTheOriginalItsCopyIsRemoved) {
  std::filesystem::create_directories(scratch / "in");
  const std::string bytes = "the only f1";
  testing::writeFile(scratch / "in/f1.pdf", bytes, kLongAgo);
  SQLiteJournalStore journal(FileURL::fromPath(scratch / "data/journal.sqlite"));
  InterceptingFileSystem noTrash;
  noTrash.beforeTrash = [](const FileURL& item) {
    throw SortError::trashFailed(item, "No space left on device");
  };
  const auto source = FileURL::fromPath(scratch / "in/f1.pdf");
  const std::string copy = *other / "Documents/f1.pdf";

  auto plan = makePlan({plannedMove(source.path(), *other / "Documents")}, scratch / "in");
  auto report = Executor(noTrash, journal).apply(plan);

  ASSERT_EQ(report.failures.size(), 1u);
  const SortError& error = report.failures[0].error;
  EXPECT_EQ(error.errorDescription(),
            "Could not move " + source.path() +
                " to the Trash: No space left on device \u2014 it was left where it was, and its "
                "copy at " +
                copy + " was removed");
  EXPECT_EQ(testing::readFile(source.path()), bytes);
  EXPECT_TRUE(std::filesystem::is_empty(*other / "Documents"));
  EXPECT_FALSE(testing::pathExists(scratch / "data/Trash/files"));
  auto entry = journal.entries(plan.id).at(0);
  EXPECT_EQ(entry.state, EntryState::abandoned);
  EXPECT_EQ(entry.attentionReason, error.errorDescription());

  // Moved for real, its original then emptied from the Trash: undo copies
  // the file back, and no Trash takes the run's copy.
  auto moved = makePlan({plannedMove(source.path(), *other / "Documents")}, scratch / "in");
  ASSERT_TRUE(Executor(fileSystem, journal).apply(moved).isCompleteSuccess());
  std::filesystem::remove(journal.entries(moved.id).at(0).trashedSourceURL->path());

  auto undone = UndoRunner(noTrash, journal).undo(moved.id);

  ASSERT_EQ(undone.skipped.size(), 1u);
  EXPECT_EQ(undone.skipped[0].reason.reasonCase(), UndoSkipReason::Case::restoreFailed);
  EXPECT_EQ(testing::readFile(copy), bytes);
  EXPECT_FALSE(testing::pathExists(source.path()));
  EXPECT_TRUE(std::filesystem::is_empty(scratch / "in"));
}

// Moved away by the user once it was copied, the original cannot go to the
// Trash from its place: the copy is then the one there is, and stays.
TEST_F(CrossVolumeLiveTest, AnOriginalGoneBeforeItsTrashingLeavesItsCopy) {
  std::filesystem::create_directories(scratch / "in");
  std::filesystem::create_directories(scratch / "elsewhere");
  const std::string bytes = "the only f1";
  testing::writeFile(scratch / "in/f1.pdf", bytes, kLongAgo);
  SQLiteJournalStore journal(FileURL::fromPath(scratch / "data/journal.sqlite"));
  InterceptingFileSystem userMovesIt;
  const auto source = FileURL::fromPath(scratch / "in/f1.pdf");
  userMovesIt.beforeTrash = [&](const FileURL& item) {
    if (item == source) std::filesystem::rename(source.path(), scratch / "elsewhere/f1.pdf");
  };
  const std::string copy = *other / "Documents/f1.pdf";

  auto plan = makePlan({plannedMove(source.path(), *other / "Documents")}, scratch / "in");
  auto report = Executor(userMovesIt, journal).apply(plan);

  ASSERT_EQ(report.failures.size(), 1u);
  const SortError& error = report.failures[0].error;
  EXPECT_EQ(error.errorDescription(),
            "Could not move " + source.path() +
                " to the Trash: No such file or directory \u2014 it is no longer at " +
                source.path() + ", and its copy at " + copy + " was kept");
  EXPECT_EQ(testing::readFile(copy), bytes);
  EXPECT_EQ(testing::readFile(scratch / "elsewhere/f1.pdf"), bytes);
  auto entry = journal.entries(plan.id).at(0);
  EXPECT_EQ(entry.state, EntryState::abandoned);
  EXPECT_EQ(entry.attentionReason, error.errorDescription());
}

TEST_F(ExecutorLiveTest, SynchronizeFlushesFilesAndFoldersAndNamesWhatFailed) {
  testing::writeFile(scratch / "f", "x");
  EXPECT_NO_THROW(fileSystem.synchronize(FileURL::fromPath(scratch / "f")));
  EXPECT_NO_THROW(fileSystem.synchronize(FileURL::fromPath(scratch.path(), true)));
  auto missing = FileURL::fromPath(scratch / "missing");
  try {
    fileSystem.synchronize(missing);
    FAIL() << "flushed a file that is not there";
  } catch (const SortError& error) {
    EXPECT_EQ(error, SortError::copyFailed(missing, missing, "No such file or directory"));
  }
}

}  // namespace
}  // namespace rozuzed

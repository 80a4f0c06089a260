#include "rozuzed/journal/sqlite_journal_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "helper_process.h"
#include "rozuzed/model/plan_coding.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/testing/subprocess.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

using Arguments = std::vector<SqlValue>;
using Row = std::map<std::string, SqlValue>;

const std::string kRunId = "AAAAAAAA-0000-4000-8000-000000000001";

// The description of the journalUnavailable that `body` throws, or what
// else happened.
std::string journalFailure(const std::function<void()>& body) {
  try {
    body();
    return "no failure";
  } catch (const SortError& error) {
    if (error.errorCase() != SortError::Case::journalUnavailable) return "another SortError";
    return error.errorDescription();
  } catch (const std::exception& error) {
    return std::string("foreign failure: ") + error.what();
  }
}

std::string shellOutput(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "popen failed";
  char buffer[4096];
  std::size_t read;
  while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, read);
  pclose(pipe);
  return output;
}

void insertRow(SqliteDatabase& db, const std::string& table, const Row& row) {
  std::string columns, marks;
  Arguments arguments;
  for (const auto& [column, value] : row) {
    columns += (columns.empty() ? "" : ", ") + column;
    marks += marks.empty() ? "?" : ", ?";
    arguments.push_back(value);
  }
  db.write([&](SqliteConnection& c) {
    c.execute("INSERT INTO " + table + " (" + columns + ") VALUES (" + marks + ")", arguments);
  });
}

// A plan row of the folder "/d" with `payload` as it is, whatever its form.
void insertPlanRow(SqliteDatabase& db, const Uuid& id, double createdAt, SqlValue payload) {
  insertRow(db, "plan",
            {{"id", id.text()},
             {"createdAt", createdAt},
             {"sourceDirectory", std::string("/d")},
             {"ruleSetHash", std::string("")},
             {"payload", std::move(payload)}});
}

int64_t countRows(SqliteDatabase& db, const std::string& table) {
  return db.write([&](SqliteConnection& c) {
    return std::get<int64_t>(*c.fetchValue("SELECT COUNT(*) FROM " + table));
  });
}

bool tableExists(SqliteDatabase& db, const std::string& name) {
  return db.write([&](SqliteConnection& c) {
    return c.fetchValue("SELECT 1 FROM sqlite_master WHERE name = ?", Arguments{name}).has_value();
  });
}

// The database file and its write-ahead log, where committed writes may
// still lie.
std::string storedBytes(const std::string& path) {
  return testing::readFile(path).value_or("(none)") + "|" +
         testing::readFile(path + "-wal").value_or("(none)");
}

// One of SQLite's own VFSs under another name, counting the syncs of the
// databases and write-ahead logs opened through it. Registered once, for
// the life of the test program.
class SyncCountingVfs {
 public:
  int databaseSyncs = 0;
  int logSyncs = 0;

  static SyncCountingVfs& over(const std::string& base) {
    for (SyncCountingVfs* made : all()) {
      if (made->baseName_ == base) return *made;
    }
    all().push_back(new SyncCountingVfs(base));
    return *all().back();
  }
  std::string name() const { return baseName_ + "-counting-syncs"; }

 private:
  explicit SyncCountingVfs(std::string base)
      : baseName_(std::move(base)), base_(sqlite3_vfs_find(baseName_.c_str())), name_(name()) {
    vfs_ = *base_;
    vfs_.zName = name_.c_str();
    vfs_.pAppData = this;
    vfs_.pNext = nullptr;
    vfs_.xOpen = &open;
    // The base's own operations may read its own data: each is handed the base.
    vfs_.xDelete = [](sqlite3_vfs* vfs, const char* path, int syncFolder) {
      sqlite3_vfs* base = self(vfs).base_;
      return base->xDelete(base, path, syncFolder);
    };
    vfs_.xAccess = [](sqlite3_vfs* vfs, const char* path, int flags, int* result) {
      sqlite3_vfs* base = self(vfs).base_;
      return base->xAccess(base, path, flags, result);
    };
    vfs_.xFullPathname = [](sqlite3_vfs* vfs, const char* path, int size, char* out) {
      sqlite3_vfs* base = self(vfs).base_;
      return base->xFullPathname(base, path, size, out);
    };
    sqlite3_vfs_register(&vfs_, 0);
  }

  static std::vector<SyncCountingVfs*>& all() {
    static std::vector<SyncCountingVfs*> made;
    return made;
  }
  static SyncCountingVfs& self(sqlite3_vfs* vfs) {
    return *static_cast<SyncCountingVfs*>(vfs->pAppData);
  }
  // The file as the base opened it, with the base's methods (which differ
  // by the kind of file) but for a sync that counts first.
  static int open(sqlite3_vfs* vfs, sqlite3_filename path, sqlite3_file* file, int flags,
                  int* outFlags) {
    SyncCountingVfs& counting = self(vfs);
    const int rc = counting.base_->xOpen(counting.base_, path, file, flags, outFlags);
    if (rc != SQLITE_OK || file->pMethods == nullptr) return rc;
    auto& methods = counting.counted_[file->pMethods];
    if (!methods) {
      methods = std::make_unique<sqlite3_io_methods>(*file->pMethods);
      methods->xSync = &sync;
      counting.baseSyncs_[methods.get()] = file->pMethods->xSync;
    }
    file->pMethods = methods.get();
    counting.kinds_[file] = flags;
    return rc;
  }
  static int sync(sqlite3_file* file, int flags) {
    for (SyncCountingVfs* counting : all()) {
      auto baseSync = counting->baseSyncs_.find(file->pMethods);
      if (baseSync == counting->baseSyncs_.end()) continue;
      const int kind = counting->kinds_[file];
      if (kind & SQLITE_OPEN_WAL) ++counting->logSyncs;
      if (kind & SQLITE_OPEN_MAIN_DB) ++counting->databaseSyncs;
      return baseSync->second(file, flags);
    }
    return SQLITE_IOERR_FSYNC;
  }

  std::string baseName_;
  sqlite3_vfs* base_;
  std::string name_;
  sqlite3_vfs vfs_{};
  std::map<const sqlite3_io_methods*, std::unique_ptr<sqlite3_io_methods>> counted_;
  std::map<const sqlite3_io_methods*, int (*)(sqlite3_file*, int)> baseSyncs_;
  std::map<sqlite3_file*, int> kinds_;
};

class SQLiteJournalStoreTest : public ::testing::Test {
 protected:
  testing::TemporaryFolder folder;
  std::string path = folder / "RozuZed/rozuzed.sqlite";
  FileURL url = FileURL::fromPath(path);
};

TEST_F(SQLiteJournalStoreTest, ANewFileGetsExactlyTheCurrentSchema) {
  SQLiteJournalStore store(url);
  EXPECT_EQ(shellOutput("sqlite3 -readonly '" + path + "' .schema 2>&1"),
            "CREATE TABLE schema_migration (identifier TEXT NOT NULL PRIMARY KEY);\n"
            "CREATE TABLE IF NOT EXISTS \"plan\" (\"id\" TEXT NOT NULL PRIMARY KEY, "
            "\"createdAt\" DOUBLE NOT NULL, \"sourceDirectory\" TEXT NOT NULL, "
            "\"ruleSetHash\" TEXT NOT NULL, \"payload\" BLOB NOT NULL);\n"
            "CREATE TABLE IF NOT EXISTS \"run\" (\"id\" TEXT NOT NULL PRIMARY KEY, "
            "\"kind\" TEXT NOT NULL, \"state\" TEXT NOT NULL, \"planId\" TEXT, "
            "\"reversesRunId\" TEXT, \"sourceDirectory\" TEXT, \"startedAt\" DOUBLE NOT NULL, "
            "\"finishedAt\" DOUBLE, \"ownerBootSession\" TEXT NOT NULL, "
            "\"ownerPid\" INTEGER NOT NULL, \"ownerStartedAt\" DOUBLE NOT NULL, "
            "\"appliedPlan\" BLOB);\n"
            "CREATE INDEX \"run_on_state\" ON \"run\"(\"state\");\n"
            "CREATE TABLE IF NOT EXISTS \"entry\" (\"id\" TEXT NOT NULL PRIMARY KEY, "
            "\"runId\" TEXT NOT NULL, \"planSequence\" INTEGER NOT NULL, \"state\" TEXT NOT NULL, "
            "\"strategy\" TEXT NOT NULL, \"sourcePath\" TEXT NOT NULL, "
            "\"destinationPath\" TEXT NOT NULL, \"tempPath\" TEXT, \"trashedSourcePath\" TEXT, "
            "\"sizeBefore\" INTEGER NOT NULL, \"modifiedBefore\" DOUBLE NOT NULL, "
            "\"sourceHash\" TEXT, \"sizeAfter\" INTEGER, \"modifiedAfter\" DOUBLE, "
            "\"matchedRuleId\" TEXT NOT NULL, \"reversesEntryId\" TEXT, \"undoneAt\" DOUBLE, "
            "\"intentAt\" DOUBLE NOT NULL, \"committedAt\" DOUBLE, \"completedBy\" TEXT, "
            "\"attentionReason\" TEXT, \"deviceAfter\" INTEGER, \"inodeAfter\" INTEGER);\n"
            "CREATE INDEX \"entry_on_runId\" ON \"entry\"(\"runId\");\n"
            "CREATE INDEX \"entry_on_state\" ON \"entry\"(\"state\");\n"
            "CREATE TABLE IF NOT EXISTS \"createdFolder\" (\"id\" TEXT NOT NULL PRIMARY KEY, "
            "\"runId\" TEXT NOT NULL, \"path\" TEXT NOT NULL);\n"
            "CREATE INDEX \"createdFolder_on_runId\" ON \"createdFolder\"(\"runId\");\n");

  auto db = SqliteDatabase::open(path);
  EXPECT_EQ(db->appliedMigrations(), (std::vector<std::string>{"v1", "v2", "v3"}));
}

TEST_F(SQLiteJournalStoreTest, CommitsGoThroughAWriteAheadLogSyncedAtEachCommit) {
  SQLiteJournalStore store(url);
  EXPECT_EQ(store.durabilitySettings(), (SQLiteJournalStore::DurabilitySettings{"wal", 2}));
  // The mode is the file's own: a second connection finds it.
  SQLiteJournalStore second(url);
  EXPECT_EQ(second.durabilitySettings(), (SQLiteJournalStore::DurabilitySettings{"wal", 2}));
}

TEST_F(SQLiteJournalStoreTest, WhereTheLogCannotBeUsedTheRollbackJournalSyncsMore) {
  // SQLite's dotfile-locking VFS, what a file system without POSIX locks
  // would need, maps no shared memory, so SQLite refuses it the log.
  SQLiteJournalStore store(url, {.vfs = "unix-dotfile"});
  EXPECT_EQ(store.durabilitySettings(), (SQLiteJournalStore::DurabilitySettings{"delete", 3}));
  RunRecord run{.startedAt = 1};
  JournalEntry intent{.runID = run.id};
  store.beginRun(run, {intent});
  EXPECT_EQ(store.run(run.id), run);
  EXPECT_EQ(store.entries(run.id), std::vector<JournalEntry>{intent});
  EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
}

TEST_F(SQLiteJournalStoreTest, ALegacyJournalBecomesLegacyRunsAndCommittedEntries) {
  {
    auto db = SqliteDatabase::open(folder / "legacy.sqlite");
    db->migrate({SQLiteJournalStore::migrator().front()});
    insertRow(*db, "plan",
              {{"id", kRunId},
               {"createdAt", 1.0},
               {"sourceDirectory", std::string("/home/u/Downloads")},
               {"ruleSetHash", std::string("h")},
               {"payload", SqlBlob{"{}"}}});
    auto legacy = [](const std::string& id, const std::string& batch, int64_t sequence,
                     double performedAt, SqlValue trashed, SqlValue hash, SqlValue undone) {
      return Row{{"id", id},
                 {"batchId", batch},
                 {"sequence", sequence},
                 {"performedAt", performedAt},
                 {"strategy", std::string("crossVolumeCopyVerifyTrash")},
                 {"originalPath", "/home/u/Downloads/f" + std::to_string(sequence)},
                 {"finalPath", "/Volumes/x/f" + std::to_string(sequence)},
                 {"trashedOriginalPath", trashed},
                 {"sizeBefore", sequence * 10},
                 {"modifiedBefore", 500.5},
                 {"sizeAfter", sequence * 10 + 1},
                 {"modifiedAfter", 600.25},
                 {"contentHash", hash},
                 {"matchedRuleId", std::string("rule")},
                 {"undoneAt", undone}};
    };
    const std::string orphan = "BBBBBBBB-0000-4000-8000-000000000002";
    insertRow(*db, "journalEntry",
              legacy("00000000-0000-4000-8000-00000000000A", kRunId, 1, 30.0,
                     std::string("/trash/f1"), std::string("ff"), 40.0));
    insertRow(*db, "journalEntry",
              legacy("00000000-0000-4000-8000-00000000000B", kRunId, 0, 10.0, SqlValue(),
                     SqlValue(), SqlValue()));
    insertRow(*db, "journalEntry",
              legacy("00000000-0000-4000-8000-00000000000C", orphan, 0, 20.0, SqlValue(),
                     SqlValue(), SqlValue()));
  }
  FileURL legacyURL = FileURL::fromPath(folder / "legacy.sqlite");
  SQLiteJournalStore store(legacyURL);

  auto withPlan = store.run(*Uuid::parse(kRunId));
  ASSERT_TRUE(withPlan);
  EXPECT_EQ(*withPlan, (RunRecord{.id = *Uuid::parse(kRunId),
                                  .kind = RunKind::apply,
                                  .state = RunState::legacy,
                                  .planID = Uuid::parse(kRunId),
                                  .sourceDirectory = FileURL::fromPath("/home/u/Downloads", true),
                                  .startedAt = 10.0,
                                  .finishedAt = 30.0,
                                  .owner = {"", 0, 0}}));
  auto withoutPlan = store.run(*Uuid::parse("BBBBBBBB-0000-4000-8000-000000000002"));
  ASSERT_TRUE(withoutPlan);
  EXPECT_EQ(withoutPlan->state, RunState::legacy);
  EXPECT_FALSE(withoutPlan->planID);
  EXPECT_FALSE(withoutPlan->sourceDirectory);
  EXPECT_EQ(withoutPlan->startedAt, 20.0);
  EXPECT_EQ(withoutPlan->finishedAt, 20.0);

  auto entries = store.entries(*Uuid::parse(kRunId));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], (JournalEntry{.id = *Uuid::parse("00000000-0000-4000-8000-00000000000B"),
                                      .runID = *Uuid::parse(kRunId),
                                      .planSequence = 0,
                                      .state = EntryState::committed,
                                      .strategy = MoveStrategy::crossVolumeCopyVerifyTrash,
                                      .sourceURL = FileURL::fromPath("/home/u/Downloads/f0"),
                                      .destinationURL = FileURL::fromPath("/Volumes/x/f0"),
                                      .fingerprintBefore = {0, 500.5},
                                      .fingerprintAfter = FileFingerprint{1, 600.25},
                                      .matchedRuleID = "rule",
                                      .intentAt = 10.0,
                                      .committedAt = 10.0,
                                      .completedBy = CompletionSource::run}));
  EXPECT_EQ(entries[1], (JournalEntry{.id = *Uuid::parse("00000000-0000-4000-8000-00000000000A"),
                                      .runID = *Uuid::parse(kRunId),
                                      .planSequence = 1,
                                      .state = EntryState::committed,
                                      .strategy = MoveStrategy::crossVolumeCopyVerifyTrash,
                                      .sourceURL = FileURL::fromPath("/home/u/Downloads/f1"),
                                      .destinationURL = FileURL::fromPath("/Volumes/x/f1"),
                                      .trashedSourceURL = FileURL::fromPath("/trash/f1"),
                                      .fingerprintBefore = {10, 500.5},
                                      .sourceHash = ContentHash{"ff"},
                                      .fingerprintAfter = FileFingerprint{11, 600.25},
                                      .matchedRuleID = "rule",
                                      .undoneAt = 40.0,
                                      .intentAt = 30.0,
                                      .committedAt = 30.0,
                                      .completedBy = CompletionSource::run}));

  auto batches = store.recentBatches(50);
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_EQ(batches[0].id, withoutPlan->id);
  EXPECT_EQ(batches[1], (BatchSummary{.id = withPlan->id,
                                      .kind = RunKind::apply,
                                      .state = RunState::legacy,
                                      .performedAt = 10.0,
                                      .sourceDirectory = withPlan->sourceDirectory,
                                      .moveCount = 2,
                                      .undoneCount = 1}));

  auto db = SqliteDatabase::open(folder / "legacy.sqlite");
  EXPECT_FALSE(tableExists(*db, "journalEntry"));
  EXPECT_FALSE(tableExists(*db, "journalEntry_on_batchId"));
  EXPECT_EQ(countRows(*db, "entry"), 3);
  EXPECT_EQ(db->appliedMigrations(), (std::vector<std::string>{"v1", "v2", "v3"}));
}

// A journal written before entries kept the inode of their file and runs
// their folders: its entries read back without an inode, which undo then
// does without, and its runs without folders.
TEST_F(SQLiteJournalStoreTest, AJournalOfTheSecondSchemaIsReadAndThenKeepsTheNewFacts) {
  const std::string entryID = "00000000-0000-4000-8000-00000000000E";
  std::filesystem::create_directories(folder / "RozuZed");
  {
    auto db = SqliteDatabase::open(path);
    const auto& steps = SQLiteJournalStore::migrator();
    db->migrate({steps.begin(), steps.begin() + 2});
    insertRow(*db, "entry",
              {{"id", entryID},
               {"runId", kRunId},
               {"planSequence", int64_t{0}},
               {"state", std::string("committed")},
               {"strategy", std::string("sameVolumeMove")},
               {"sourcePath", std::string("/d/a")},
               {"destinationPath", std::string("/d/Documents/a")},
               {"sizeBefore", int64_t{3}},
               {"modifiedBefore", 5.0},
               {"sizeAfter", int64_t{3}},
               {"modifiedAfter", 5.0},
               {"matchedRuleId", std::string("rule")},
               {"intentAt", 6.0},
               {"committedAt", 7.0},
               {"completedBy", std::string("run")}});
  }
  SQLiteJournalStore store(url);
  const Uuid runID = *Uuid::parse(kRunId);
  auto old = store.entries(runID);
  ASSERT_EQ(old.size(), 1u);
  EXPECT_EQ(old[0].fingerprintAfter, (FileFingerprint{3, 5.0}));
  EXPECT_FALSE(old[0].inodeAfter);
  EXPECT_TRUE(store.createdFolders(runID).empty());

  // Device and inode numbers use all 64 bits.
  JournalEntry fresh = old[0];
  fresh.inodeAfter = FileInode{0xFFFF'FFFF'FFFF'FFFEull, 1ull << 63};
  const FileURL documents = FileURL::fromPath("/d/Documents", true);
  const FileURL inner = FileURL::fromPath("/d/Documents/Old", true);
  store.commit({fresh}, {}, {runID, {documents, inner, documents}});
  EXPECT_EQ(store.entries(runID), std::vector<JournalEntry>{fresh});
  EXPECT_EQ(store.createdFolders(runID), (std::vector<FileURL>{documents, inner}));
}

TEST_F(SQLiteJournalStoreTest, ReopeningAndReadingChangeNothing) {
  RunRecord run{.startedAt = 1, .owner = ProcessIdentity::current()};
  SortPlan plan{.createdAt = 2, .sourceDirectory = FileURL::fromPath("/d", true)};
  run.appliedPlan = AppliedPlan::from(plan);
  {
    SQLiteJournalStore store(url);
    store.save(plan);
    store.beginRun(run, {JournalEntry{.runID = run.id, .state = EntryState::needsAttention}});
  }
  auto before = storedBytes(path);
  {
    SQLiteJournalStore store(url);
    EXPECT_EQ(store.run(run.id), run);
    EXPECT_EQ(store.runs(RunState::running).size(), 1u);
    EXPECT_EQ(store.entries(run.id).size(), 1u);
    EXPECT_EQ(store.recentBatches(5).size(), 1u);
    EXPECT_EQ(store.entriesNeedingAttention().size(), 1u);
    EXPECT_EQ(store.plan(plan.id), plan);
    EXPECT_EQ(store.recentPlans(5).size(), 1u);
    store.durabilitySettings();
  }
  EXPECT_EQ(storedBytes(path), before);
}

TEST_F(SQLiteJournalStoreTest, FilesThatCannotServeAsTheJournalAreRefusedUntouched) {
  std::string good;
  {
    testing::TemporaryFolder scratch;
    {
      SQLiteJournalStore store(FileURL::fromPath(scratch / "good.sqlite"));
      RunRecord run{.startedAt = 1};
      std::vector<JournalEntry> many;
      for (int i = 0; i < 200; ++i)
        many.push_back(JournalEntry{.runID = run.id, .planSequence = i});
      store.beginRun(run, many);
    }
    good = *testing::readFile(scratch / "good.sqlite");
  }
  struct Case {
    std::string name;
    std::string contents;
    std::string message;
  };
  const Case cases[] = {
      {"garbage", std::string(5000, 'x'), "Journal unavailable: file is not a database"},
      {"text", "hello", "Journal unavailable: file is not a database"},
      {"truncated header", good.substr(0, 100),
       "Journal unavailable: database disk image is malformed"},
      {"truncated schema", good.substr(0, 6000),
       "Journal unavailable: database disk image is malformed"},
      {"cut to a third", good.substr(0, good.size() / 3),
       "Journal unavailable: database disk image is malformed"},
      {"cut by its last page", good.substr(0, good.size() - 4096),
       "Journal unavailable: database disk image is malformed"},
  };
  for (const Case& c : cases) {
    std::string file = folder / (c.name + ".sqlite");
    testing::writeFile(file, c.contents);
    EXPECT_EQ(journalFailure([&] { SQLiteJournalStore store(FileURL::fromPath(file)); }), c.message)
        << c.name;
    EXPECT_EQ(testing::readFile(file), c.contents) << c.name;
  }
}

// The log a process left beside the file still answers for the first page,
// so the file cut short opens as if whole; every read of a lost page would
// fail, on every launch and every sort.
TEST_F(SQLiteJournalStoreTest, AFileCutShortBehindItsLogIsRefusedUntouched) {
  const std::string cut = folder / "cut/rozuzed.sqlite";
  std::filesystem::create_directories(folder / "cut");
  {
    SQLiteJournalStore store(url);
    RunRecord run{.startedAt = 1};
    std::vector<JournalEntry> many;
    for (int i = 0; i < 2000; ++i) {
      many.push_back(JournalEntry{.runID = run.id,
                                  .planSequence = i,
                                  .sourceURL = FileURL::fromPath("/d/" + std::to_string(i))});
    }
    store.beginRun(run, many);
    store.checkpoint();
    store.beginRun(RunRecord{.startedAt = 2}, {});
    const std::string whole = *testing::readFile(path);
    testing::writeFile(cut, whole.substr(0, whole.size() / 3));
    std::filesystem::copy_file(path + "-wal", cut + "-wal");
  }
  const std::string before = storedBytes(cut);
  EXPECT_EQ(journalFailure([&] { SQLiteJournalStore store(FileURL::fromPath(cut)); }),
            "Journal unavailable: database disk image is malformed");
  EXPECT_EQ(storedBytes(cut), before);
}

// In write-ahead mode SQLite would go on committing into a file nobody can
// reach any more, and the run would read as a success with no history.
TEST_F(SQLiteJournalStoreTest, AFileNoLongerAtItsPathFailsEveryLaterCall) {
  struct Case {
    std::string name;
    std::function<void()> change;
  };
  const Case cases[] = {
      {"removed", [&] { std::filesystem::remove(path); }},
      {"renamed away", [&] { std::filesystem::rename(path, path + ".old"); }},
      {"its folder replaced",
       [&] {
         std::filesystem::rename(folder / "RozuZed", folder / "Old");
         std::filesystem::create_directories(folder / "RozuZed");
         std::filesystem::copy_file(folder / "Old/rozuzed.sqlite", path);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(folder / "RozuZed");
    std::filesystem::remove_all(folder / "Old");
    SQLiteJournalStore store(url);
    RunRecord run{.startedAt = 1};
    store.beginRun(run, {});
    c.change();
    const std::string moved =
        "Journal unavailable: " + path + " was moved or deleted while it was in use";
    EXPECT_EQ(journalFailure([&] { store.commit({JournalEntry{.runID = run.id}}, {}); }), moved);
    EXPECT_EQ(journalFailure([&] { store.recentBatches(5); }), moved);
  }
}

TEST_F(SQLiteJournalStoreTest, AFolderThatCannotBeMadeIsRefused) {
  testing::writeFile(folder / "file", "");
  std::string message = journalFailure(
      [&] { SQLiteJournalStore store(FileURL::fromPath(folder / "file/RozuZed/rozuzed.sqlite")); });
  EXPECT_EQ(message, "Journal unavailable: could not create " + (folder / "file/RozuZed") +
                         ": Not a directory");
}

TEST_F(SQLiteJournalStoreTest, AFileThatCanOnlyBeReadIsRefused) {
  // One closed cleanly, one as a process that died left it: its last
  // commit still in the log beside it.
  std::string crashed = folder / "RozuZed/crashed.sqlite";
  {
    SQLiteJournalStore store(url);
    store.beginRun(RunRecord{.startedAt = 1}, {});
    for (const char* suffix : {"", "-wal", "-shm"}) {
      std::filesystem::copy_file(path + suffix, crashed + suffix);
    }
  }
  ASSERT_GT(std::filesystem::file_size(crashed + "-wal"), 0u);
  chmod(folder.path().c_str(), 0755);
  chmod((folder / "RozuZed").c_str(), 0755);
  for (const std::string& file : {path, crashed}) {
    chmod(file.c_str(), 0444);
    auto before = storedBytes(file);
    auto answer = testing::inUnprivilegedChild(
        [&] { return journalFailure([&] { SQLiteJournalStore store(FileURL::fromPath(file)); }); });
    if (!answer) GTEST_SKIP() << "cannot drop privileges";
    EXPECT_EQ(*answer, "Journal unavailable: attempt to write a readonly database") << file;
    EXPECT_EQ(storedBytes(file), before) << file;
  }
}

TEST_F(SQLiteJournalStoreTest, AFileMigratedByALaterBuildIsRefused) {
  {
    SQLiteJournalStore store(url);
    auto db = SqliteDatabase::open(path);
    insertRow(*db, SqliteDatabase::migrationsTable, {{"identifier", std::string("v4")}});
  }
  auto before = testing::readFile(path);
  EXPECT_EQ(journalFailure([&] { SQLiteJournalStore store(url); }),
            "Journal unavailable: the database was written by a later version (migration \"v4\" "
            "is unknown to this one)");
  EXPECT_EQ(testing::readFile(path), before);
}

TEST_F(SQLiteJournalStoreTest, AFailedWriteLeavesNothingBehind) {
  SQLiteJournalStore store(url);
  RunRecord run{.startedAt = 1};
  JournalEntry good{.runID = run.id, .planSequence = 0};
  JournalEntry bad{.runID = run.id, .planSequence = 1, .intentAt = std::nan("")};
  EXPECT_EQ(journalFailure([&] {
              store.beginRun(run, {good, bad});
            }),
            "Journal unavailable: NOT NULL constraint failed: entry.intentAt");
  EXPECT_FALSE(store.run(run.id));
  EXPECT_TRUE(store.entries(run.id).empty());

  // A snapshot that cannot be written as JSON fails before the transaction,
  // as the coder reports it.
  run.appliedPlan = AppliedPlan{.ruleSetHash = "\xff\xfe"};
  EXPECT_THROW(store.beginRun(run, {good}), JsonEncodingError);
  EXPECT_FALSE(store.run(run.id));
}

TEST_F(SQLiteJournalStoreTest, FailuresOfALiveFileAreReportedAndEmptyCallsStillSucceed) {
  SQLiteJournalStore store(url);
  RunRecord run{.startedAt = 1};
  store.beginRun(run, {});
  // Moves every page out of the log into the file first, so that the
  // damage below reaches the pages the connection reads.
  ASSERT_EQ(shellOutput("sqlite3 '" + path + "' 'PRAGMA wal_checkpoint(TRUNCATE)' 2>&1"),
            "0|0|0\n");
  {
    // Overwrites the file in place, under the open connection.
    int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    std::string garbage(4096, 'x');
    ASSERT_EQ(::write(fd, garbage.data(), garbage.size()), 4096);
    ::close(fd);
  }
  EXPECT_NO_THROW(store.commit({}, {}));
  EXPECT_NO_THROW(store.markUndone({}, 5));
  EXPECT_NO_THROW(store.clearAttention({}));
  EXPECT_EQ(journalFailure([&] { store.run(run.id); }),
            "Journal unavailable: file is not a database");
  EXPECT_EQ(journalFailure([&] { store.markUndone({Uuid::random()}, 5); }),
            "Journal unavailable: file is not a database");
}

// Rows written by hand, the way another build or a damaged file could hold
// them: each case changes one column of a good row.
TEST_F(SQLiteJournalStoreTest, RunRowsThatCannotBeReadAreLeftOut) {
  SQLiteJournalStore store(url);
  auto db = SqliteDatabase::open(path);
  SortPlan plan{.sourceDirectory = FileURL::fromPath("/d", true)};
  std::string snapshot = AppliedPlan::from(plan).encoded();
  std::string version2 = snapshot;
  version2.replace(version2.find("\"version\":1"), 11, "\"version\":2");
  std::string withoutRuleID =
      R"({"version":1,"planID":"AAAAAAAA-0000-4000-8000-000000000001","sourceDirectory":"file:///d/",)"
      R"("ruleSetHash":"","moves":[{"id":"AAAAAAAA-0000-4000-8000-000000000001","planSequence":0,)"
      R"("source":"file:///a","destination":"file:///b"}]})";

  struct Case {
    std::string column;
    SqlValue value;
    bool read;
    bool hasSnapshot = false;
  };
  const Case cases[] = {
      {"kind", std::string("Apply"), false},
      {"kind", std::string(""), false},
      {"state", std::string("Finished"), false},
      {"kind", int64_t{1}, false},
      {"ownerPid", int64_t{2147483648}, false},
      {"ownerPid", int64_t{-2147483649}, false},
      {"ownerPid", int64_t{2147483647}, true},
      {"ownerPid", int64_t{-2147483648}, true},
      {"ownerPid", 1.5, false},
      {"startedAt", std::string("yesterday"), false},
      {"finishedAt", std::string("later"), false},
      {"finishedAt", SqlValue(), true},
      {"planId", std::string("not a uuid"), true},
      {"sourceDirectory", SqlValue(), true},
      {"appliedPlan", SqlBlob{snapshot}, true, true},
      {"appliedPlan", std::string(snapshot), true, true},
      {"appliedPlan", SqlBlob{"\x01garbage"}, true},
      {"appliedPlan", SqlBlob{version2}, true},
      {"appliedPlan", SqlBlob{withoutRuleID}, true},
  };
  int readable = 0;
  for (const Case& c : cases) {
    Uuid id = Uuid::random();
    Row row{{"id", id.text()},
            {"kind", std::string("apply")},
            {"state", std::string("finished")},
            {"planId", id.text()},
            {"sourceDirectory", std::string("/d")},
            {"startedAt", 5.0},
            {"finishedAt", 6.0},
            {"ownerBootSession", std::string("boot")},
            {"ownerPid", int64_t{77}},
            {"ownerStartedAt", 3.5},
            {"appliedPlan", SqlValue()}};
    row[c.column] = c.value;
    insertRow(*db, "run", row);
    auto read = store.run(id);
    EXPECT_EQ(read.has_value(), c.read) << c.column;
    if (!read) continue;
    ++readable;
    EXPECT_EQ(read->appliedPlan.has_value(), c.hasSnapshot) << c.column;
    if (c.column == "ownerPid") {
      EXPECT_EQ(read->owner.processID, std::get<int64_t>(c.value));
    } else if (c.column == "planId") {
      EXPECT_FALSE(read->planID);
    } else if (c.column == "sourceDirectory") {
      EXPECT_FALSE(read->sourceDirectory);
    } else if (c.column == "finishedAt") {
      EXPECT_FALSE(read->finishedAt);
    }
  }
  auto before = storedBytes(path);
  EXPECT_EQ(store.runs(RunState::finished).size(), static_cast<std::size_t>(readable));
  EXPECT_EQ(storedBytes(path), before);
  EXPECT_EQ(countRows(*db, "run"), static_cast<int64_t>(std::size(cases)));
}

TEST_F(SQLiteJournalStoreTest, EntryRowsThatCannotBeReadAreLeftOut) {
  SQLiteJournalStore store(url);
  auto db = SqliteDatabase::open(path);
  struct Case {
    std::string column;
    SqlValue value;
    bool read;
    std::function<void(const JournalEntry&)> check = [](const JournalEntry&) {};
  };
  const Case cases[] = {
      {"strategy", std::string("rename"), false},
      {"state", std::string("Pending"), false},
      {"id", std::string("not a uuid"), false},
      {"planSequence", 1.5, false},
      {"sizeBefore", std::string("big"), false},
      {"intentAt", SqlBlob{"x"}, false},
      {"undoneAt", std::string("x"), false},
      // Stored as the text "5": a relative path names no place the journal
      // could have recorded.
      {"sourcePath", int64_t{5}, false},
      {"destinationPath", std::string("relative/b"), false},
      {"trashedSourcePath", std::string(""), false},
      {"modifiedAfter", SqlValue(), true,
       [](const JournalEntry& e) { EXPECT_FALSE(e.fingerprintAfter); }},
      {"sizeAfter", SqlValue(), true,
       [](const JournalEntry& e) { EXPECT_FALSE(e.fingerprintAfter); }},
      {"completedBy", std::string("Run"), true,
       [](const JournalEntry& e) { EXPECT_FALSE(e.completedBy); }},
      {"completedBy", std::string("recovery"), true,
       [](const JournalEntry& e) { EXPECT_EQ(e.completedBy, CompletionSource::recovery); }},
      {"reversesEntryId", std::string("nope"), true,
       [](const JournalEntry& e) { EXPECT_FALSE(e.reversesEntryID); }},
      {"tempPath", std::string("/t/.ombrix-tmp-X"), true,
       [](const JournalEntry& e) { EXPECT_EQ(e.tempURL, FileURL::fromPath("/t/.ombrix-tmp-X")); }},
  };
  std::vector<int64_t> expected;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    Row row{{"id", Uuid::random().text()},
            {"runId", kRunId},
            {"planSequence", static_cast<int64_t>(i)},
            {"state", std::string("committed")},
            {"strategy", std::string("sameVolumeMove")},
            {"sourcePath", std::string("/a")},
            {"destinationPath", std::string("/b")},
            {"sizeBefore", int64_t{1}},
            {"modifiedBefore", 2.0},
            {"sizeAfter", int64_t{1}},
            {"modifiedAfter", 3.0},
            {"matchedRuleId", std::string("r")},
            {"intentAt", 4.0},
            {"committedAt", 5.0},
            {"completedBy", std::string("run")}};
    row[c.column] = c.value;
    insertRow(*db, "entry", row);
    if (c.read) expected.push_back(static_cast<int64_t>(i));
  }
  auto before = storedBytes(path);
  auto entries = store.entries(*Uuid::parse(kRunId));
  std::vector<int64_t> read;
  for (const JournalEntry& entry : entries) {
    read.push_back(entry.planSequence);
    cases[entry.planSequence].check(entry);
  }
  EXPECT_EQ(read, expected);
  EXPECT_EQ(storedBytes(path), before);
  EXPECT_EQ(countRows(*db, "entry"), static_cast<int64_t>(std::size(cases)));
}

TEST_F(SQLiteJournalStoreTest, StoredPlansAreReadByThePlanReader) {
  SQLiteJournalStore store(url);
  SortPlan plan{.createdAt = 1, .sourceDirectory = FileURL::fromPath("/d", true)};
  store.save(plan);
  EXPECT_EQ(store.plan(plan.id), plan);
  EXPECT_FALSE(store.plan(Uuid::random()));

  auto db = SqliteDatabase::open(path);
  Json future = plan.toJson();
  future["version"] = 2;
  Uuid futureID = Uuid::random();
  insertPlanRow(*db, futureID, 2.0, SqlBlob{dumpJson(future)});
  EXPECT_EQ(journalFailure([&] { store.plan(futureID); }),
            "Journal unavailable: stored plan is version 2; this build understands 1");
  EXPECT_EQ(journalFailure([&] { store.recentPlans(10); }),
            "Journal unavailable: stored plan is version 2; this build understands 1");
}

// A plan whose payload spans many of the pieces it is written and read in.
SortPlan largePlan(int moves) {
  SortPlan plan{.createdAt = 1700000000.25,
                .sourceDirectory = FileURL::fromPath("/home/me/Downloads", true),
                .ruleSetHash = std::string(64, 'a')};
  for (int i = 0; i < moves; ++i) {
    std::string name = "file " + std::to_string(i) + " \xC3\xA9\"\\.pdf";
    plan.moves.push_back(PlannedMove{
        .planSequence = i,
        .source = plan.sourceDirectory.appendingPathComponent(name),
        .destinationDirectory = FileURL::fromPath("/home/me/Documents", true),
        .destinationURL = FileURL::fromPath("/home/me/Documents/" + name),
        .collisionSuffix = i % 3 == 0 ? std::optional<int64_t>(2) : std::nullopt,
        .matchedRuleID = "documents",
        .matchedRuleName = "Documents \"and\" more",
        .fingerprint = {i, 1600000000.0 + i / 7.0},
    });
    plan.skipped.push_back({plan.sourceDirectory.appendingPathComponent("." + name),
                            SkipReason::recentlyModified(i / 3.0)});
  }
  return plan;
}

std::string payloadOf(SqliteDatabase& db, const char* query, const Uuid& id) {
  return db.write([&](SqliteConnection& c) {
    auto value = c.fetchValue(query, Arguments{id.text()});
    if (auto* blob = value ? std::get_if<SqlBlob>(&*value) : nullptr) return blob->bytes;
    return std::string("(not a blob)");
  });
}

TEST_F(SQLiteJournalStoreTest, PlansAndSnapshotsAreStoredAsTheirCoderWritesThem) {
  SQLiteJournalStore store(url);
  SortPlan plan = largePlan(3000);
  const std::string given = store.save(plan);
  RunRecord run{
      .id = plan.id, .planID = plan.id, .startedAt = 2, .appliedPlan = AppliedPlan::from(plan)};
  store.beginRun(run, {});

  auto db = SqliteDatabase::open(path);
  EXPECT_EQ(payloadOf(*db, "SELECT payload FROM plan WHERE id = ?", plan.id),
            PlanCoding::encode(plan));
  // The save gives the text it stored, for callers that show it.
  EXPECT_EQ(given, PlanCoding::encode(plan));
  EXPECT_EQ(payloadOf(*db, "SELECT appliedPlan FROM run WHERE id = ?", plan.id),
            run.appliedPlan->encoded());
  EXPECT_EQ(store.plan(plan.id), plan);
  EXPECT_EQ(store.recentPlans(1), std::vector<SortPlan>{plan});
  EXPECT_EQ(store.run(plan.id), run);

  // A payload too large to hold is coded once to be measured and again as
  // it is written; what is stored is the same.
  SortPlan huge = largePlan(1200);
  for (PlannedMove& move : huge.moves) move.matchedRuleName = std::string(16 * 1024, 'n');
  // That text is not held, so the save gives none.
  EXPECT_EQ(store.save(huge), "");
  std::string stored = payloadOf(*db, "SELECT payload FROM plan WHERE id = ?", huge.id);
  EXPECT_GT(stored.size(), 16u * 1024 * 1024);
  EXPECT_EQ(stored, PlanCoding::encode(huge));
  EXPECT_EQ(store.plan(huge.id), huge);
}

TEST_F(SQLiteJournalStoreTest, ASavedPlanReachesTheFileItselfAtACheckpointNotBefore) {
  SQLiteJournalStore store(url);
  // Longer than the log SQLite would copy into the database at a commit.
  SortPlan plan = largePlan(300);
  for (PlannedMove& move : plan.moves) move.matchedRuleName = std::string(16 * 1024, 'n');
  store.save(plan);
  // The file alone, without its log, as a copy taken at that moment sees it.
  auto planInFileAlone = [&](const char* name) {
    const std::string copy = folder / name;
    std::filesystem::copy_file(path, copy);
    return SQLiteJournalStore(FileURL::fromPath(copy)).plan(plan.id);
  };
  EXPECT_EQ(planInFileAlone("before.sqlite"), std::nullopt);

  store.checkpoint();
  EXPECT_EQ(planInFileAlone("after.sqlite"), plan);
}

// Closed after saving a plan, the store leaves the plan's log for the next
// opener, who finds the plan; the next save copies the log first, so it
// never holds more than about one plan however often the program runs.
// Closed after anything else, the file alone holds everything.
TEST_F(SQLiteJournalStoreTest, AClosedStoreLeavesOnlyAPlansLogForTheNextOpener) {
  auto bigPlan = [] {
    SortPlan plan = largePlan(300);
    for (PlannedMove& move : plan.moves) move.matchedRuleName = std::string(16 * 1024, 'n');
    return plan;
  };
  auto inFileAlone = [&](const char* name, auto read) {
    const std::string copy = folder / name;
    std::filesystem::copy_file(path, copy);
    SQLiteJournalStore alone(FileURL::fromPath(copy));
    return read(alone);
  };
  const SortPlan first = bigPlan();
  { SQLiteJournalStore(url).save(first); }
  ASSERT_TRUE(std::filesystem::exists(path + "-wal"));
  const auto logOfOnePlan = std::filesystem::file_size(path + "-wal");
  EXPECT_EQ(inFileAlone("plan-only.sqlite", [&](auto& alone) { return alone.plan(first.id); }),
            std::nullopt);
  EXPECT_EQ(SQLiteJournalStore(url).plan(first.id), first);

  for (int i = 0; i < 4; ++i) {
    SQLiteJournalStore(url).save(bigPlan());
    EXPECT_LE(std::filesystem::file_size(path + "-wal"), logOfOnePlan + logOfOnePlan / 10);
  }
  EXPECT_EQ(inFileAlone("earlier-plan.sqlite", [&](auto& alone) { return alone.plan(first.id); }),
            first);

  const SortPlan last = bigPlan();
  RunRecord run{.planID = last.id, .startedAt = 1};
  {
    SQLiteJournalStore store(url);
    store.save(last);
    store.beginRun(run, {JournalEntry{.runID = run.id}});
  }
  EXPECT_EQ(inFileAlone("with-run.sqlite", [&](auto& alone) { return alone.run(run.id); }), run);
  EXPECT_EQ(inFileAlone("with-run-plan.sqlite", [&](auto& alone) { return alone.plan(last.id); }),
            last);
}

// Saving a plan waits for no sync of its commit: nothing needs the plan
// across a power cut before a run that carries it out begins, and the
// commit that begins the run syncs the log, the plan in it. A log begun
// anew has its header synced once, so that no earlier frame is taken for
// part of it. Without the log, every commit syncs the file.
TEST_F(SQLiteJournalStoreTest, APlanIsMadeDurableByTheRunThatCarriesItOutAtTheLatest) {
  for (const std::string vfs : {"unix", "unix-dotfile"}) {
    SyncCountingVfs& counted = SyncCountingVfs::over(vfs);
    std::filesystem::create_directories(folder / vfs);
    SQLiteJournalStore store(FileURL::fromPath(folder / (vfs + "/rozuzed.sqlite")),
                             {.vfs = counted.name()});
    const auto settings = store.durabilitySettings();
    const bool log = settings.journalMode == "wal";
    ASSERT_EQ(log, vfs == "unix");
    const SortPlan plan = largePlan(200);
    // The log copied, as the scan before a save leaves it.
    store.checkpoint();

    int logSyncs = counted.logSyncs;
    int databaseSyncs = counted.databaseSyncs;
    store.save(plan);
    if (log) {
      EXPECT_LE(counted.logSyncs - logSyncs, 1);
    } else {
      EXPECT_GT(counted.databaseSyncs - databaseSyncs, 0);
    }
    EXPECT_EQ(store.durabilitySettings(), settings) << vfs;

    logSyncs = counted.logSyncs;
    databaseSyncs = counted.databaseSyncs;
    RunRecord run{.planID = plan.id, .startedAt = 1};
    store.beginRun(run, {JournalEntry{.runID = run.id}});
    EXPECT_GT(log ? counted.logSyncs - logSyncs : counted.databaseSyncs - databaseSyncs, 0) << vfs;
    EXPECT_EQ(store.plan(plan.id), plan) << vfs;
  }
}

TEST_F(SQLiteJournalStoreTest, PayloadsOfAnyFormThatReadAreRead) {
  SQLiteJournalStore store(url);
  auto db = SqliteDatabase::open(path);
  SortPlan asText = largePlan(10);
  insertPlanRow(*db, asText.id, 1.0, PlanCoding::encode(asText));
  EXPECT_EQ(store.plan(asText.id), asText);

  // Not bytes at all, or bytes with a move that does not read: the plan
  // reader's own error, never journalUnavailable.
  Uuid number = Uuid::random();
  insertPlanRow(*db, number, 2.0, int64_t{7});
  EXPECT_EQ(journalFailure([&] { store.plan(number); }),
            "foreign failure: payload: expected the bytes of a plan");
  Json damaged = largePlan(2).toJson();
  damaged["moves"][1]["strategy"] = "teleport";
  Uuid damagedID = Uuid::random();
  insertPlanRow(*db, damagedID, 3.0, SqlBlob{dumpJson(damaged)});
  EXPECT_EQ(journalFailure([&] { store.plan(damagedID); }),
            "foreign failure: strategy: not a move strategy");
  EXPECT_EQ(journalFailure([&] { store.recentPlans(10); }),
            "foreign failure: strategy: not a move strategy");
  EXPECT_EQ(store.recentPlans(0), std::vector<SortPlan>{});
}

TEST_F(SQLiteJournalStoreTest, AnUnnamedDatabaseInMemoryServesTheSameOperations) {
  auto store = SQLiteJournalStore::inMemory();
  RunRecord run{.startedAt = 1};
  store->beginRun(run, {});
  EXPECT_EQ(store->run(run.id), run);
}

TEST_F(SQLiteJournalStoreTest, TheDefaultLocationIsInTheDataFolder) {
  testing::ScopedEnvironment data("XDG_DATA_HOME", folder / "data");
  EXPECT_EQ(SQLiteJournalStore::defaultURL().path(), folder / "data/RozuZed/rozuzed.sqlite");
  EXPECT_TRUE(std::filesystem::is_directory(folder / "data"));
  EXPECT_FALSE(std::filesystem::exists(folder / "data/RozuZed"));

  testing::ScopedEnvironment relative("XDG_DATA_HOME", "relative/data");
  testing::ScopedEnvironment home("HOME", folder / "home");
  EXPECT_EQ(SQLiteJournalStore::defaultURL().path(),
            folder / "home/.local/share/RozuZed/rozuzed.sqlite");

  testing::writeFile(folder / "blocked", "");
  testing::ScopedEnvironment blocked("XDG_DATA_HOME", folder / "blocked/data");
  EXPECT_THROW(SQLiteJournalStore::defaultURL(), std::filesystem::filesystem_error);
}

TEST_F(SQLiteJournalStoreTest, TwoProcessesKeepUsingOneJournal) {
  auto store = std::make_unique<SQLiteJournalStore>(url);
  testing::HelperProcess other("journal_client", {path});
  ASSERT_TRUE(other.started());
  EXPECT_EQ(other.ask("settings"), "wal 2");

  // Turn about, each sees at its next call what the other committed.
  std::vector<Uuid> ours, theirs;
  for (int round = 0; round < 3; ++round) {
    RunRecord run{.startedAt = 1};
    std::vector<JournalEntry> intents;
    for (int i = 0; i < 40; ++i) {
      intents.push_back(
          JournalEntry{.runID = run.id, .planSequence = i, .state = EntryState::committed});
    }
    store->beginRun(run, intents);
    ours.push_back(run.id);
    theirs.push_back(Uuid::random());
    EXPECT_EQ(other.ask("write " + theirs.back().text() + " 40"), "written");
    for (const Uuid& id : ours) EXPECT_EQ(other.ask("count " + id.text()), "40");
    for (const Uuid& id : theirs) EXPECT_EQ(store->entries(id).size(), 40u);
  }

  // The other process dies with its last commit only in the log, which
  // the next opener reads.
  store.reset();
  Uuid last = Uuid::random();
  EXPECT_EQ(other.ask("write " + last.text() + " 40"), "written");
  other.kill();
  ASSERT_GT(std::filesystem::file_size(path + "-wal"), 0u);
  SQLiteJournalStore after(url);
  EXPECT_EQ(after.entries(last).size(), 40u);
  EXPECT_EQ(after.run(last)->state, RunState::finished);
  EXPECT_EQ(after.entries(ours.front()).size(), 40u);
}

TEST_F(SQLiteJournalStoreTest, RescanningAllDayDoesNotGrowTheFile) {
  auto scan = [n = 0]() mutable {
    SortPlan plan{.createdAt = static_cast<double>(++n),
                  .sourceDirectory = FileURL::fromPath("/d", true)};
    for (int i = 0; i < 2000; ++i) {
      std::string name = "/d/file " + std::to_string(i) + ".pdf";
      plan.moves.push_back(PlannedMove{.planSequence = i,
                                       .source = FileURL::fromPath(name),
                                       .destinationDirectory = FileURL::fromPath("/d/Docs", true),
                                       .destinationURL = FileURL::fromPath("/d/Docs" + name),
                                       .matchedRuleID = "documents"});
    }
    return plan;
  };
  auto sizeAfter = [&](int scans) {
    {
      SQLiteJournalStore store(url);
      for (int i = 0; i < scans; ++i) store.save(scan());
    }
    return std::filesystem::file_size(path);
  };
  const auto settled = sizeAfter(PlanStore::kUnreferencedPlansKept + 2);
  const auto later = sizeAfter(30);
  EXPECT_LE(later, settled + settled / 20) << settled << " bytes grew to " << later;
}

}  // namespace
}  // namespace rozuzed

// Both store interfaces on the journal database, one SQLite file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rozuzed/journal/journal_store.h"
#include "rozuzed/journal/sqlite_database.h"
#include "rozuzed/support/file_url.h"

namespace rozuzed {

// Every operation, reads included, is one immediate write transaction on one
// serial connection, so it is all or nothing and sees every operation that
// returned before it. Failures inside a transaction that are not SortError
// values arrive as journalUnavailable with SQLite's message. Plans and
// snapshots are coded before their transaction and read a piece at a time
// inside it, never held whole as text (but for a short one while it is
// written); a failure to code or decode one is thrown as its coder throws
// it, unwrapped. Rows that cannot be read are left out of lists and read as
// absent by id; reading never changes a row. Nothing is cached between
// calls.
class SQLiteJournalStore final : public JournalStore, public PlanStore {
 public:
  // Opens (creating the folder, the file and the schema as needed) the
  // database at `url`, durable as SqliteDatabase::open says; `options` is
  // for tests that need another VFS. Throws journalUnavailable: the folder
  // cannot be made, the file is not a writable database, a migration fails,
  // or the file was migrated by a later build.
  explicit SQLiteJournalStore(const FileURL& url, const SqliteDatabase::OpenOptions& options = {});

  // A private, unnamed in-memory database. A failure to open it arrives as
  // SQLite reports it; a migration failure as journalUnavailable.
  static std::unique_ptr<SQLiteJournalStore> inMemory();

  // ${XDG_DATA_HOME:-~/.local/share}/RozuZed/rozuzed.sqlite. Creates the data
  // folder when it is missing (not "RozuZed"); its failure is thrown as the
  // platform reports it (std::filesystem::filesystem_error).
  static FileURL defaultURL();

  // "v1", "v2", then "v3" (the inode of an entry's file after its move, and
  // the folders each run made).
  static const std::vector<SqlMigration>& migrator();

  struct DurabilitySettings {
    std::string journalMode;
    int64_t synchronous = -1;
    bool operator==(const DurabilitySettings&) const = default;
  };
  // The connection's journal mode ("?" when unanswered) and synchronous
  // level (-1 when unanswered): {"wal", 2} (FULL) normally, {"delete", 3}
  // (EXTRA) where the write-ahead log cannot be used. Changes nothing.
  DurabilitySettings durabilitySettings();

  void beginRun(const RunRecord& run, const std::vector<JournalEntry>& intents,
                const std::vector<FileURL>& createdFolders = {}) override;
  void commit(const std::vector<JournalEntry>& completed,
              const std::vector<JournalEntry>& thenWriteIntents,
              const CreatedFolders& createdFolders = {}) override;
  void finishRun(const Uuid& runID, RunState state, Date at,
                 const std::vector<JournalEntry>& completed) override;
  void amendIntent(const JournalEntry& entry) override;
  void applyRecovery(const Uuid& runID, const std::vector<JournalEntry>& entries, Date at) override;
  void markUndone(const std::vector<Uuid>& entryIDs, Date at) override;
  void clearUndone(const std::vector<Uuid>& entryIDs) override;
  std::optional<RunRecord> run(const Uuid& id) override;
  std::optional<RunRecord> runWithoutSnapshot(const Uuid& id) override;
  std::vector<RunRecord> runs(RunState state) override;
  std::vector<JournalEntry> entries(const Uuid& runID) override;
  std::vector<FileURL> createdFolders(const Uuid& runID) override;
  // A run's source folder comes from the run alone, never from its plan.
  std::vector<BatchSummary> recentBatches(int64_t limit) override;
  std::vector<JournalEntry> entriesNeedingAttention() override;
  void clearAttention(const std::vector<Uuid>& entryIDs) override;

  // Also prunes saved plans, as PlanStore::save says, in the same
  // transaction. However long the plan, its commit does not copy the log
  // into the database: checkpoint() does, when nobody waits on it. Nor does
  // it wait for the log to reach the disk: beginRun, like any other write,
  // syncs it, so a plan is durable before any of its moves.
  std::string save(const SortPlan& plan) override;
  // A stored plan newer than this build arrives as the plan reader's
  // journalUnavailable; other decoding failures as JsonDecodingError.
  std::optional<SortPlan> plan(const Uuid& id) override;
  // One unreadable plan fails the whole call.
  std::vector<SortPlan> recentPlans(int64_t limit) override;
  void checkpoint() override;

 private:
  explicit SQLiteJournalStore(std::unique_ptr<SqliteDatabase> database);

  // Whether a commit copies a long log into the database there and then, or
  // leaves that to checkpoint().
  enum class Log { copiedWhenLong, leftForLater };

  template <class Body>
  auto perform(Body&& body, Log log = Log::copiedWhenLong)
      -> decltype(body(std::declval<SqliteConnection&>()));

  std::unique_ptr<SqliteDatabase> queue_;
};

}  // namespace rozuzed

// Journaling 10,000 moves the way the apply executor does (beginRun with the
// first batch of 32 intents, then one commit per batch holding the previous
// batch's outcomes and the next batch's intents, then finishRun with the
// last outcomes), measured beside the fastest durable floor: the same number
// of bare SQLite transactions in WAL mode with synchronous FULL, writing the
// same rows through the C API, in the same run. Both files are read back
// afterwards; a missing or different row fails the benchmark. Passes when
// the journal takes at most 1.3 times the bare transactions.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "rozuzed/journal/process_identity.h"
#include "rozuzed/journal/sqlite_journal_store.h"

namespace {

using namespace rozuzed;
using Clock = std::chrono::steady_clock;

constexpr int kMoves = 10'000;
constexpr std::size_t kBatchSize = 32;
constexpr double kTargetRatio = 1.3;
constexpr int kRounds = 3;

struct Workload {
  SortPlan plan;
  RunRecord run;
  std::vector<std::vector<JournalEntry>> intents;
  std::vector<std::vector<JournalEntry>> outcomes;
  Date finishedAt = 0;
};

Workload makeWorkload() {
  Workload work;
  work.plan.createdAt = 1'700'000'000;
  work.plan.sourceDirectory = FileURL::fromPath("/home/user/Downloads", true);
  work.plan.ruleSetHash = std::string(64, 'c');
  for (int i = 0; i < kMoves; ++i) {
    std::string name = "file_" + std::to_string(i) + ".pdf";
    work.plan.moves.push_back(PlannedMove{
        .planSequence = i,
        .source = FileURL::fromPath("/home/user/Downloads/" + name),
        .destinationDirectory = FileURL::fromPath("/home/user/Documents", true),
        .destinationURL = FileURL::fromPath("/home/user/Documents/" + name),
        .matchedRuleID = "documents",
        .matchedRuleName = "Documents",
        .fingerprint = {1024 + i, 1'690'000'000.25 + i},
    });
  }
  work.run = RunRecord{
      .id = work.plan.id,
      .kind = RunKind::apply,
      .state = RunState::running,
      .planID = work.plan.id,
      .sourceDirectory = work.plan.sourceDirectory,
      .startedAt = 1'700'000'100,
      .owner = ProcessIdentity::current(),
      .appliedPlan = AppliedPlan::from(work.plan),
  };
  Date now = work.run.startedAt;
  for (std::size_t start = 0; start < work.plan.moves.size(); start += kBatchSize) {
    std::vector<JournalEntry> intents, outcomes;
    for (std::size_t i = start; i < std::min(start + kBatchSize, work.plan.moves.size()); ++i) {
      const PlannedMove& move = work.plan.moves[i];
      JournalEntry intent{
          .runID = work.run.id,
          .planSequence = move.planSequence,
          .strategy = MoveStrategy::sameVolumeMove,
          .sourceURL = move.source,
          .destinationURL = move.destinationURL,
          .fingerprintBefore = move.fingerprint,
          .matchedRuleID = move.matchedRuleID,
          .intentAt = now += 0.001,
      };
      JournalEntry done = intent;
      done.state = EntryState::committed;
      done.committedAt = now += 0.001;
      done.completedBy = CompletionSource::run;
      done.fingerprintAfter = move.fingerprint;
      intents.push_back(std::move(intent));
      outcomes.push_back(std::move(done));
    }
    work.intents.push_back(std::move(intents));
    work.outcomes.push_back(std::move(outcomes));
  }
  work.finishedAt = now + 1;
  return work;
}

double seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The executor's calls on a store that is already open, as the engine's is.
double journalRun(const std::string& path, const Workload& work,
                  SQLiteJournalStore::DurabilitySettings& settings) {
  SQLiteJournalStore store(FileURL::fromPath(path));
  settings = store.durabilitySettings();
  auto start = Clock::now();
  const std::size_t batches = work.intents.size();
  store.beginRun(work.run, work.intents[0]);
  for (std::size_t b = 1; b < batches; ++b) store.commit(work.outcomes[b - 1], work.intents[b]);
  store.finishRun(work.run.id, RunState::finished, work.finishedAt, work.outcomes[batches - 1]);
  return seconds(start);
}

// How many of the rows the workload wrote are missing from the file at
// `path` or read back different.
std::size_t missingRows(const std::string& path, const Workload& work) {
  SQLiteJournalStore store(FileURL::fromPath(path));
  RunRecord expected = work.run;
  expected.state = RunState::finished;
  expected.finishedAt = work.finishedAt;
  std::size_t missing = store.run(work.run.id) == expected ? 0 : 1;
  std::vector<JournalEntry> entries = store.entries(work.run.id);
  std::size_t found = 0;
  for (const auto& batch : work.outcomes) {
    for (const JournalEntry& outcome : batch) {
      if (found < entries.size() && entries[found] == outcome) {
        ++found;
      } else {
        ++missing;
      }
    }
  }
  return missing + (entries.size() - found);
}

void check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(2);
  }
}

void exec(sqlite3* db, const char* sql) {
  check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db);
}

void bindText(sqlite3_stmt* s, int i, const std::string& text) {
  sqlite3_bind_text(s, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void writeEntry(sqlite3* db, sqlite3_stmt* s, const JournalEntry& e) {
  bindText(s, 1, e.id.text());
  bindText(s, 2, e.runID.text());
  sqlite3_bind_int64(s, 3, e.planSequence);
  bindText(s, 4, toText(e.state));
  bindText(s, 5, toText(e.strategy));
  bindText(s, 6, e.sourceURL.path());
  bindText(s, 7, e.destinationURL.path());
  sqlite3_bind_null(s, 8);
  sqlite3_bind_null(s, 9);
  sqlite3_bind_int64(s, 10, e.fingerprintBefore.size);
  sqlite3_bind_double(s, 11, e.fingerprintBefore.modificationDate);
  sqlite3_bind_null(s, 12);
  if (e.fingerprintAfter) {
    sqlite3_bind_int64(s, 13, e.fingerprintAfter->size);
    sqlite3_bind_double(s, 14, e.fingerprintAfter->modificationDate);
  } else {
    sqlite3_bind_null(s, 13);
    sqlite3_bind_null(s, 14);
  }
  bindText(s, 15, e.matchedRuleID);
  sqlite3_bind_null(s, 16);
  sqlite3_bind_null(s, 17);
  sqlite3_bind_double(s, 18, e.intentAt);
  if (e.committedAt) {
    sqlite3_bind_double(s, 19, *e.committedAt);
    bindText(s, 20, toText(*e.completedBy));
  } else {
    sqlite3_bind_null(s, 19);
    sqlite3_bind_null(s, 20);
  }
  sqlite3_bind_null(s, 21);
  check(sqlite3_step(s), db);
  sqlite3_reset(s);
}

// The floor: the same tables and rows, one durable transaction per journal
// call, prepared statements and nothing else. The snapshot is handed over
// already encoded.
double bareRun(const std::string& path, const Workload& work, const std::string& snapshot) {
  { SQLiteJournalStore schema(FileURL::fromPath(path)); }
  auto start = Clock::now();
  sqlite3* db = nullptr;
  check(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), db);
  exec(db, "PRAGMA journal_mode = WAL");
  exec(db, "PRAGMA synchronous = FULL");
  sqlite3_stmt* entry = nullptr;
  sqlite3_stmt* run = nullptr;
  sqlite3_stmt* finish = nullptr;
  check(sqlite3_prepare_v2(db,
                           "INSERT OR REPLACE INTO entry (id, runId, planSequence, state, "
                           "strategy, sourcePath, destinationPath, tempPath, trashedSourcePath, "
                           "sizeBefore, modifiedBefore, sourceHash, sizeAfter, modifiedAfter, "
                           "matchedRuleId, reversesEntryId, undoneAt, intentAt, committedAt, "
                           "completedBy, attentionReason) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                           "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                           -1, &entry, nullptr),
        db);
  check(sqlite3_prepare_v2(db,
                           "INSERT OR REPLACE INTO run (id, kind, state, planId, reversesRunId, "
                           "sourceDirectory, startedAt, finishedAt, ownerBootSession, ownerPid, "
                           "ownerStartedAt, appliedPlan) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                           "?, ?)",
                           -1, &run, nullptr),
        db);
  check(sqlite3_prepare_v2(db, "UPDATE run SET state = ?, finishedAt = ? WHERE id = ?", -1, &finish,
                           nullptr),
        db);

  const RunRecord& r = work.run;
  exec(db, "BEGIN IMMEDIATE");
  bindText(run, 1, r.id.text());
  bindText(run, 2, toText(r.kind));
  bindText(run, 3, toText(r.state));
  bindText(run, 4, r.planID->text());
  sqlite3_bind_null(run, 5);
  bindText(run, 6, r.sourceDirectory->path());
  sqlite3_bind_double(run, 7, r.startedAt);
  sqlite3_bind_null(run, 8);
  bindText(run, 9, r.owner.bootSessionID);
  sqlite3_bind_int64(run, 10, r.owner.processID);
  sqlite3_bind_double(run, 11, r.owner.processStartedAt);
  sqlite3_bind_blob(run, 12, snapshot.data(), static_cast<int>(snapshot.size()), SQLITE_STATIC);
  check(sqlite3_step(run), db);
  for (const JournalEntry& e : work.intents[0]) writeEntry(db, entry, e);
  exec(db, "COMMIT");
  const std::size_t batches = work.intents.size();
  for (std::size_t b = 1; b < batches; ++b) {
    exec(db, "BEGIN IMMEDIATE");
    for (const JournalEntry& e : work.outcomes[b - 1]) writeEntry(db, entry, e);
    for (const JournalEntry& e : work.intents[b]) writeEntry(db, entry, e);
    exec(db, "COMMIT");
  }
  exec(db, "BEGIN IMMEDIATE");
  for (const JournalEntry& e : work.outcomes[batches - 1]) writeEntry(db, entry, e);
  bindText(finish, 1, "finished");
  sqlite3_bind_double(finish, 2, work.finishedAt);
  bindText(finish, 3, r.id.text());
  check(sqlite3_step(finish), db);
  exec(db, "COMMIT");
  sqlite3_finalize(entry);
  sqlite3_finalize(run);
  sqlite3_finalize(finish);
  sqlite3_close(db);
  return seconds(start);
}

std::string scratchFolder() {
  std::filesystem::path base =
      std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "bench-tmp";
  std::filesystem::create_directories(base);
  std::string pattern = (base / "journal-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::exit(2);
  }
  return pattern;
}

}  // namespace

int main() {
  Workload work = makeWorkload();
  std::string snapshot = work.run.appliedPlan->encoded();
  std::string folder = scratchFolder();

  std::vector<double> journal, bare;
  SQLiteJournalStore::DurabilitySettings settings;
  std::size_t missing = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::string journalFile = folder + "/journal-" + std::to_string(round) + ".sqlite";
    std::string bareFile = folder + "/bare-" + std::to_string(round) + ".sqlite";
    // Alternating which goes first keeps the disk's warm-up out of the ratio.
    if (round % 2 == 0) bare.push_back(bareRun(bareFile, work, snapshot));
    journal.push_back(journalRun(journalFile, work, settings));
    if (round % 2 == 1) bare.push_back(bareRun(bareFile, work, snapshot));
    missing += missingRows(journalFile, work) + missingRows(bareFile, work);
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  std::filesystem::remove(std::filesystem::path(folder).parent_path(), ignored);

  std::sort(journal.begin(), journal.end());
  std::sort(bare.begin(), bare.end());
  double journalTime = journal[kRounds / 2];
  double bareTime = bare[kRounds / 2];
  double ratio = journalTime / bareTime;
  std::size_t transactions = work.intents.size() + 1;
  std::printf("journal: %d moves in %zu transactions (batches of %zu), median of %d rounds\n",
              kMoves, transactions, kBatchSize, kRounds);
  std::printf("  journal mode %s, synchronous %lld\n", settings.journalMode.c_str(),
              static_cast<long long>(settings.synchronous));
  std::printf("  journal store       %8.3f s  (%.2f ms per transaction)\n", journalTime,
              journalTime * 1000 / static_cast<double>(transactions));
  std::printf("  bare transactions   %8.3f s  (%.2f ms per transaction; WAL, synchronous FULL)\n",
              bareTime, bareTime * 1000 / static_cast<double>(transactions));
  std::printf("  rows read back: %zu missing or different\n", missing);
  bool pass = ratio <= kTargetRatio && missing == 0;
  std::printf("  ratio %.2f (target at most %.1f): %s\n", ratio, kTargetRatio,
              pass ? "PASS" : "FAIL");
  return pass ? 0 : 1;
}

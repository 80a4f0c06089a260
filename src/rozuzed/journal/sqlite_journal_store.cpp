#include "rozuzed/journal/sqlite_journal_store.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <limits>
#include <system_error>

#include "rozuzed/model/plan_coding.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/home_folder.h"

namespace rozuzed {
namespace {

using Column = SqlColumn;
constexpr auto TEXT = SqlColumnType::text;
constexpr auto INTEGER = SqlColumnType::integer;
constexpr auto DOUBLE = SqlColumnType::real;
constexpr auto BLOB = SqlColumnType::blob;

Column primaryKey(const char* name) {
  return {name, TEXT, true, true};
}
Column required(const char* name, SqlColumnType type) {
  return {name, type, true};
}
Column nullable(const char* name, SqlColumnType type) {
  return {name, type, false};
}
Column requiredIndexed(const char* name, SqlColumnType type) {
  return {name, type, true, false, true};
}

const SqlTable planTable{
    "plan",
    {primaryKey("id"), required("createdAt", DOUBLE), required("sourceDirectory", TEXT),
     required("ruleSetHash", TEXT), required("payload", BLOB)}};

const SqlTable legacyEntryTable{
    "journalEntry",
    {primaryKey("id"), requiredIndexed("batchId", TEXT), required("sequence", INTEGER),
     required("performedAt", DOUBLE), required("strategy", TEXT), required("originalPath", TEXT),
     required("finalPath", TEXT), nullable("trashedOriginalPath", TEXT),
     required("sizeBefore", INTEGER), required("modifiedBefore", DOUBLE),
     required("sizeAfter", INTEGER), required("modifiedAfter", DOUBLE),
     nullable("contentHash", TEXT), required("matchedRuleId", TEXT), nullable("undoneAt", DOUBLE)}};

const SqlTable runTable{
    "run",
    {primaryKey("id"), required("kind", TEXT), requiredIndexed("state", TEXT),
     nullable("planId", TEXT), nullable("reversesRunId", TEXT), nullable("sourceDirectory", TEXT),
     required("startedAt", DOUBLE), nullable("finishedAt", DOUBLE),
     required("ownerBootSession", TEXT), required("ownerPid", INTEGER),
     required("ownerStartedAt", DOUBLE), nullable("appliedPlan", BLOB)}};

const SqlTable entryTable{"entry",
                          {primaryKey("id"),
                           requiredIndexed("runId", TEXT),
                           required("planSequence", INTEGER),
                           requiredIndexed("state", TEXT),
                           required("strategy", TEXT),
                           required("sourcePath", TEXT),
                           required("destinationPath", TEXT),
                           nullable("tempPath", TEXT),
                           nullable("trashedSourcePath", TEXT),
                           required("sizeBefore", INTEGER),
                           required("modifiedBefore", DOUBLE),
                           nullable("sourceHash", TEXT),
                           nullable("sizeAfter", INTEGER),
                           nullable("modifiedAfter", DOUBLE),
                           required("matchedRuleId", TEXT),
                           nullable("reversesEntryId", TEXT),
                           nullable("undoneAt", DOUBLE),
                           required("intentAt", DOUBLE),
                           nullable("committedAt", DOUBLE),
                           nullable("completedBy", TEXT),
                           nullable("attentionReason", TEXT)}};

const SqlTable createdFolderTable{
    "createdFolder", {primaryKey("id"), requiredIndexed("runId", TEXT), required("path", TEXT)}};

constexpr const char* kCopyLegacyRuns =
    "INSERT INTO run (id, kind, state, planId, reversesRunId, sourceDirectory,\n"
    "                 startedAt, finishedAt,\n"
    "                 ownerBootSession, ownerPid, ownerStartedAt, appliedPlan)\n"
    "SELECT e.batchId, 'apply', 'legacy',\n"
    "       (SELECT p.id FROM plan p WHERE p.id = e.batchId),\n"
    "       NULL,\n"
    "       (SELECT p.sourceDirectory FROM plan p WHERE p.id = e.batchId),\n"
    "       MIN(e.performedAt), MAX(e.performedAt),\n"
    "       '', 0, 0, NULL\n"
    "FROM journalEntry e\n"
    "GROUP BY e.batchId";

constexpr const char* kCopyLegacyEntries =
    "INSERT INTO entry (id, runId, planSequence, state, strategy,\n"
    "                   sourcePath, destinationPath, tempPath, trashedSourcePath,\n"
    "                   sizeBefore, modifiedBefore, sourceHash,\n"
    "                   sizeAfter, modifiedAfter, matchedRuleId,\n"
    "                   reversesEntryId, undoneAt, intentAt, committedAt,\n"
    "                   completedBy, attentionReason)\n"
    "SELECT id, batchId, sequence, 'committed', strategy,\n"
    "       originalPath, finalPath, NULL, trashedOriginalPath,\n"
    "       sizeBefore, modifiedBefore, contentHash,\n"
    "       sizeAfter, modifiedAfter, matchedRuleId,\n"
    "       NULL, undoneAt, performedAt, performedAt,\n"
    "       'run', NULL\n"
    "FROM journalEntry";

constexpr const char* kRunStatement =
    "INSERT OR REPLACE INTO run\n"
    "  (id, kind, state, planId, reversesRunId, sourceDirectory, startedAt, finishedAt,\n"
    "   ownerBootSession, ownerPid, ownerStartedAt, appliedPlan)\n"
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

// As kRunStatement, with room of the given size made for a snapshot too
// long to hold, which is then written into it a piece at a time.
constexpr const char* kRunWithSnapshotRoomStatement =
    "INSERT OR REPLACE INTO run\n"
    "  (id, kind, state, planId, reversesRunId, sourceDirectory, startedAt, finishedAt,\n"
    "   ownerBootSession, ownerPid, ownerStartedAt, appliedPlan)\n"
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, zeroblob(?))";

// An entry already written (an intent that now has its outcome) is changed
// in its row: a replace would delete the row and add it anew, touching
// every index, the id's included, at pages all over the file.
constexpr const char* kEntryStatement =
    "INSERT INTO entry\n"
    "  (id, runId, planSequence, state, strategy, sourcePath, destinationPath,\n"
    "   tempPath, trashedSourcePath, sizeBefore, modifiedBefore, sourceHash,\n"
    "   sizeAfter, modifiedAfter, matchedRuleId, reversesEntryId, undoneAt,\n"
    "   intentAt, committedAt, completedBy, attentionReason, deviceAfter, inodeAfter)\n"
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)\n"
    "ON CONFLICT (id) DO UPDATE SET\n"
    "  runId = excluded.runId, planSequence = excluded.planSequence, state = excluded.state,\n"
    "  strategy = excluded.strategy, sourcePath = excluded.sourcePath,\n"
    "  destinationPath = excluded.destinationPath, tempPath = excluded.tempPath,\n"
    "  trashedSourcePath = excluded.trashedSourcePath, sizeBefore = excluded.sizeBefore,\n"
    "  modifiedBefore = excluded.modifiedBefore, sourceHash = excluded.sourceHash,\n"
    "  sizeAfter = excluded.sizeAfter, modifiedAfter = excluded.modifiedAfter,\n"
    "  matchedRuleId = excluded.matchedRuleId, reversesEntryId = excluded.reversesEntryId,\n"
    "  undoneAt = excluded.undoneAt, intentAt = excluded.intentAt,\n"
    "  committedAt = excluded.committedAt, completedBy = excluded.completedBy,\n"
    "  attentionReason = excluded.attentionReason, deviceAfter = excluded.deviceAfter,\n"
    "  inodeAfter = excluded.inodeAfter";

// A folder is recorded once per run, however often it is passed.
constexpr const char* kCreatedFolderStatement =
    "INSERT INTO createdFolder (id, runId, path)\n"
    "SELECT ?1, ?2, ?3 WHERE NOT EXISTS\n"
    "  (SELECT 1 FROM createdFolder WHERE runId = ?2 AND path = ?3)";

constexpr const char* kPlanStatement =
    "INSERT OR REPLACE INTO plan (id, createdAt, sourceDirectory, ruleSetHash, payload)\n"
    "VALUES (?, ?, ?, ?, ?)";

// A payload too long to hold is made as room of its size and written into
// it a piece at a time.
constexpr const char* kPlanRoomStatement =
    "INSERT OR REPLACE INTO plan (id, createdAt, sourceDirectory, ruleSetHash, payload)\n"
    "VALUES (?, ?, ?, ?, zeroblob(?))";

// Every other saved plan that no run names, beyond the newest
// kUnreferencedPlansKept of them; arguments: the plan just saved, the count.
constexpr const char* kPrunePlans =
    "DELETE FROM plan\n"
    "WHERE id <> ?1\n"
    "  AND id NOT IN (SELECT planId FROM run WHERE planId IS NOT NULL)\n"
    "  AND id NOT IN (SELECT id FROM plan\n"
    "                 WHERE id NOT IN (SELECT planId FROM run WHERE planId IS NOT NULL)\n"
    "                 ORDER BY createdAt DESC, id DESC LIMIT ?2)";

constexpr const char* kFinishStatement = "UPDATE run SET state = ?, finishedAt = ? WHERE id = ?";

constexpr const char* kRecoveryStatement =
    "UPDATE run SET state = ?, finishedAt = COALESCE(finishedAt, ?) WHERE id = ?";

constexpr const char* kBatchQuery =
    "SELECT r.id AS id, r.kind AS kind, r.state AS state,\n"
    "       r.startedAt AS performedAt, r.sourceDirectory AS sourceDirectory,\n"
    "       SUM(CASE WHEN e.state = 'committed' THEN 1 ELSE 0 END) AS moveCount,\n"
    "       SUM(CASE WHEN e.undoneAt IS NULL THEN 0 ELSE 1 END) AS undoneCount,\n"
    "       SUM(CASE WHEN e.state = 'needsAttention' THEN 1 ELSE 0 END) AS attentionCount\n"
    "FROM run r LEFT JOIN entry e ON e.runId = r.id\n"
    "WHERE r.kind = 'apply'\n"
    "GROUP BY r.id\n"
    "ORDER BY r.startedAt DESC\n"
    "LIMIT ?";

// SQLite refuses a statement with more than 32,766 arguments; longer lists
// (the entries of a very large run) go in several statements of one
// transaction.
constexpr std::size_t kIdsPerStatement = 1000;

// "head ?, ?, …)" for n ids.
std::string listStatement(const std::string& head, std::size_t count) {
  std::string sql = head;
  for (std::size_t i = 0; i < count; ++i) sql += i == 0 ? "?" : ", ?";
  return sql + ")";
}

// Runs the list statement `head` for every id, `leading` arguments first.
void updateEach(SqliteConnection& db, const std::string& head, const std::vector<SqlValue>& leading,
                const std::vector<Uuid>& ids) {
  for (std::size_t start = 0; start < ids.size(); start += kIdsPerStatement) {
    std::size_t count = std::min(kIdsPerStatement, ids.size() - start);
    std::vector<SqlValue> arguments = leading;
    for (std::size_t i = start; i < start + count; ++i) arguments.emplace_back(ids[i].text());
    db.execute(listStatement(head, count), arguments);
  }
}

int64_t nonNegative(int64_t limit) {
  return std::max<int64_t>(limit, 0);
}

SqlValue orNull(const std::optional<std::string>& text) {
  return text ? SqlValue(*text) : SqlValue();
}
SqlValue orNull(const std::optional<double>& value) {
  return value ? SqlValue(*value) : SqlValue();
}
SqlValue orNull(const std::optional<Uuid>& id) {
  return id ? SqlValue(id->text()) : SqlValue();
}
SqlValue orNull(const std::optional<FileURL>& url) {
  return url ? SqlValue(url->path()) : SqlValue();
}

// Device and inode numbers are unsigned 64-bit values; SQLite's integers are
// signed, so they are stored bit for bit and read back the same way.
SqlValue storedBits(uint64_t value) {
  return static_cast<int64_t>(value);
}

void appendArguments(const JournalEntry& e, std::vector<SqlValue>& out) {
  out.reserve(23);
  out.emplace_back(e.id.text());
  out.emplace_back(e.runID.text());
  out.emplace_back(e.planSequence);
  out.emplace_back(toText(e.state));
  out.emplace_back(toText(e.strategy));
  out.emplace_back(e.sourceURL.path());
  out.emplace_back(e.destinationURL.path());
  out.push_back(orNull(e.tempURL));
  out.push_back(orNull(e.trashedSourceURL));
  out.emplace_back(e.fingerprintBefore.size);
  out.emplace_back(e.fingerprintBefore.modificationDate);
  out.push_back(e.sourceHash ? SqlValue(e.sourceHash->sha256) : SqlValue());
  out.push_back(e.fingerprintAfter ? SqlValue(e.fingerprintAfter->size) : SqlValue());
  out.push_back(e.fingerprintAfter ? SqlValue(e.fingerprintAfter->modificationDate) : SqlValue());
  out.emplace_back(e.matchedRuleID);
  out.push_back(orNull(e.reversesEntryID));
  out.push_back(orNull(e.undoneAt));
  out.emplace_back(e.intentAt);
  out.push_back(orNull(e.committedAt));
  out.push_back(e.completedBy ? SqlValue(toText(*e.completedBy)) : SqlValue());
  out.push_back(orNull(e.attentionReason));
  out.push_back(e.inodeAfter ? storedBits(e.inodeAfter->device) : SqlValue());
  out.push_back(e.inodeAfter ? storedBits(e.inodeAfter->inode) : SqlValue());
}

void insertEntries(SqliteConnection& db, const std::vector<JournalEntry>& entries) {
  db.executeEach(kEntryStatement, entries.size(), [&](std::size_t i, std::vector<SqlValue>& args) {
    appendArguments(entries[i], args);
  });
}

void insertFolders(SqliteConnection& db, const Uuid& runID, const std::vector<FileURL>& folders) {
  db.executeEach(kCreatedFolderStatement, folders.size(),
                 [&](std::size_t i, std::vector<SqlValue>& args) {
                   args.emplace_back(Uuid::random().text());
                   args.emplace_back(runID.text());
                   args.emplace_back(folders[i].path());
                 });
}

// Coded text at most this long is kept in memory while it is measured, so
// it is coded once and stored as one value, which SQLite writes into its
// pages once; longer text (a plan of some forty thousand files) is coded a
// second time as it is written into room made for it, and never held whole.
constexpr std::size_t kHeldTextLimit = 16 * 1024 * 1024;

// The coded text of one value: its length, and the text itself while it is
// short enough to hold.
struct CodedText {
  std::size_t size = 0;
  std::string text;
  bool held = true;

  // What the statement stores: the text itself, or the size of the room
  // to make for it.
  SqlValue stored() && {
    if (held) return SqlBlob{std::move(text)};
    return static_cast<int64_t>(size);
  }
};

// Codes `value`, before any transaction, so a value that cannot be coded
// fails as its coder says and writes nothing.
template <class Value>
CodedText code(const Value& value) {
  CodedText coded;
  PlanCoding::encode(value, [&coded](std::string_view piece) {
    coded.size += piece.size();
    if (!coded.held) return;
    if (coded.size > kHeldTextLimit) {
      coded.held = false;
      std::string().swap(coded.text);
      return;
    }
    // A text of more than one piece may be long: room for half the longest
    // held text is asked for at once, backed by the system only as it is
    // written, so a plan of some twenty thousand files is never copied as
    // it grows. Not more: once such a block is freed, the allocator keeps
    // blocks up to its size for the life of the process.
    if (!coded.text.empty() && coded.text.capacity() < kHeldTextLimit / 2) {
      coded.text.reserve(kHeldTextLimit / 2);
    }
    coded.text += piece;
  });
  return coded;
}

// Codes `value` again into the room made for it in the row just inserted,
// which holds exactly `size` bytes.
template <class Value>
void writeCoded(SqliteConnection& db, const char* table, const char* column, const Value& value,
                std::size_t size) {
  SqlBlobStream blob = db.openBlob(table, column, db.lastInsertRowid(), true);
  PlanCoding::encode(value, [&blob](std::string_view piece) { blob.write(piece); });
  if (blob.offset() != static_cast<int64_t>(size)) {
    throw JsonEncodingError("the coded text came out at another length than measured");
  }
}

// Reads a coded value out of `column` of the row `rowid` of `table`, a
// piece at a time. A failure to read the database is thrown; a failure to
// decode is kept in `failure`, to reach the caller unwrapped after the
// transaction.
template <class Value, class Decode>
std::optional<Value> readCoded(SqliteConnection& db, const char* table, const char* column,
                               int64_t rowid, Decode decode, std::exception_ptr& failure) {
  SqlBlobStream blob = db.openBlob(table, column, rowid, false);
  JsonInput input(JsonInput::Source(
      [&blob](char* buffer, std::size_t capacity) { return blob.read(buffer, capacity); }));
  try {
    return decode(input);
  } catch (const SqliteError&) {
    throw;
  } catch (...) {
    failure = std::current_exception();
    return std::nullopt;
  }
}

// The arguments of kRunStatement for `run`, `snapshot` standing for its
// applied plan.
std::vector<SqlValue> runArguments(const RunRecord& run, SqlValue snapshot) {
  return {
      run.id.text(),
      toText(run.kind),
      toText(run.state),
      orNull(run.planID),
      orNull(run.reversesRunID),
      orNull(run.sourceDirectory),
      run.startedAt,
      orNull(run.finishedAt),
      run.owner.bootSessionID,
      static_cast<int64_t>(run.owner.processID),
      run.owner.processStartedAt,
      std::move(snapshot),
  };
}

// Readers of one column for the row readers below. A value of another
// storage class than its column's makes the row unreadable, so it is left
// out rather than misread; NULL in an optional column reads as absent.
struct Unreadable {};

std::string requiredText(const SqlRow& row, const char* column) {
  if (auto value = row.text(column)) return *value;
  throw Unreadable{};
}
int64_t requiredInteger(const SqlRow& row, const char* column) {
  if (auto value = row.integer(column)) return *value;
  throw Unreadable{};
}
double requiredReal(const SqlRow& row, const char* column) {
  if (auto value = row.real(column)) return *value;
  throw Unreadable{};
}
Uuid requiredUuid(const SqlRow& row, const char* column) {
  if (auto id = Uuid::parse(requiredText(row, column))) return *id;
  throw Unreadable{};
}
std::optional<std::string> optionalText(const SqlRow& row, const char* column) {
  if (row.isNull(column)) return std::nullopt;
  return requiredText(row, column);
}
std::optional<int64_t> optionalInteger(const SqlRow& row, const char* column) {
  if (row.isNull(column)) return std::nullopt;
  return requiredInteger(row, column);
}
std::optional<double> optionalReal(const SqlRow& row, const char* column) {
  if (row.isNull(column)) return std::nullopt;
  return requiredReal(row, column);
}
// Anything that is not the text of a UUID reads as absent.
std::optional<Uuid> lenientUuid(const SqlRow& row, const char* column) {
  auto text = row.text(column);
  return text ? Uuid::parse(*text) : std::nullopt;
}
// Only absolute paths are ever written; anything else would be resolved
// against the working directory and name an unrelated file.
FileURL requiredUrl(const SqlRow& row, const char* column, bool isDirectory = false) {
  std::string path = requiredText(row, column);
  if (path.empty() || path.front() != '/') throw Unreadable{};
  return FileURL::fromPath(path, isDirectory);
}
std::optional<FileURL> optionalUrl(const SqlRow& row, const char* column, bool isDirectory) {
  if (row.isNull(column)) return std::nullopt;
  return requiredUrl(row, column, isDirectory);
}

template <class T>
T caseOf(std::optional<T> value) {
  if (!value) throw Unreadable{};
  return *value;
}

std::optional<RunRecord> runFrom(const SqlRow& row) try {
  RunRecord run{
      .id = requiredUuid(row, "id"),
      .kind = caseOf(runKindFromText(requiredText(row, "kind"))),
      .state = caseOf(runStateFromText(requiredText(row, "state"))),
      .planID = lenientUuid(row, "planId"),
      .reversesRunID = lenientUuid(row, "reversesRunId"),
      .sourceDirectory = optionalUrl(row, "sourceDirectory", true),
      .startedAt = requiredReal(row, "startedAt"),
      .finishedAt = optionalReal(row, "finishedAt"),
  };
  int64_t pid = requiredInteger(row, "ownerPid");
  if (pid < std::numeric_limits<int32_t>::min() || pid > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  run.owner = ProcessIdentity{
      .bootSessionID = requiredText(row, "ownerBootSession"),
      .processID = static_cast<int32_t>(pid),
      .processStartedAt = requiredReal(row, "ownerStartedAt"),
  };
  if (auto bytes = row.bytes("appliedPlan")) {
    try {
      run.appliedPlan = AppliedPlan::decode(*bytes);
    } catch (const std::exception&) {
      // A snapshot that cannot be read back leaves the run without one.
    }
  }
  return run;
} catch (const Unreadable&) {
  return std::nullopt;
}

std::optional<JournalEntry> entryFrom(const SqlRow& row) try {
  JournalEntry entry{
      .id = requiredUuid(row, "id"),
      .runID = requiredUuid(row, "runId"),
      .planSequence = requiredInteger(row, "planSequence"),
      .state = caseOf(entryStateFromText(requiredText(row, "state"))),
      .strategy = caseOf(moveStrategyFromText(requiredText(row, "strategy"))),
      .sourceURL = requiredUrl(row, "sourcePath"),
      .destinationURL = requiredUrl(row, "destinationPath"),
      .tempURL = optionalUrl(row, "tempPath", false),
      .trashedSourceURL = optionalUrl(row, "trashedSourcePath", false),
      .fingerprintBefore = {requiredInteger(row, "sizeBefore"),
                            requiredReal(row, "modifiedBefore")},
      .matchedRuleID = requiredText(row, "matchedRuleId"),
      .reversesEntryID = lenientUuid(row, "reversesEntryId"),
      .undoneAt = optionalReal(row, "undoneAt"),
      .intentAt = requiredReal(row, "intentAt"),
      .committedAt = optionalReal(row, "committedAt"),
      .attentionReason = optionalText(row, "attentionReason"),
  };
  if (auto hash = optionalText(row, "sourceHash")) entry.sourceHash = ContentHash{*hash};
  auto sizeAfter = optionalInteger(row, "sizeAfter");
  auto modifiedAfter = optionalReal(row, "modifiedAfter");
  if (sizeAfter && modifiedAfter)
    entry.fingerprintAfter = FileFingerprint{*sizeAfter, *modifiedAfter};
  auto deviceAfter = optionalInteger(row, "deviceAfter");
  auto inodeAfter = optionalInteger(row, "inodeAfter");
  if (deviceAfter && inodeAfter) {
    entry.inodeAfter =
        FileInode{static_cast<uint64_t>(*deviceAfter), static_cast<uint64_t>(*inodeAfter)};
  }
  if (auto source = row.text("completedBy")) entry.completedBy = completionSourceFromText(*source);
  return entry;
} catch (const Unreadable&) {
  return std::nullopt;
}

std::optional<BatchSummary> batchFrom(const SqlRow& row) try {
  return BatchSummary{
      .id = requiredUuid(row, "id"),
      .kind = caseOf(runKindFromText(requiredText(row, "kind"))),
      .state = caseOf(runStateFromText(requiredText(row, "state"))),
      .performedAt = requiredReal(row, "performedAt"),
      .sourceDirectory = optionalUrl(row, "sourceDirectory", true),
      .moveCount = optionalInteger(row, "moveCount").value_or(0),
      .undoneCount = optionalInteger(row, "undoneCount").value_or(0),
      .needsAttentionCount = optionalInteger(row, "attentionCount").value_or(0),
  };
} catch (const Unreadable&) {
  return std::nullopt;
}

template <class Record, class Reader>
std::vector<Record> readAll(const std::vector<SqlRow>& rows, Reader read) {
  std::vector<Record> records;
  records.reserve(rows.size());
  for (const SqlRow& row : rows) {
    if (auto record = read(row)) records.push_back(std::move(*record));
  }
  return records;
}

// The saved plan in the row `rowid` of `plan` whose payload has the SQLite
// type `type`; absent, with `failure` set, when it cannot be decoded.
std::optional<SortPlan> readPlan(SqliteConnection& db, int64_t rowid, const std::string& type,
                                 std::exception_ptr& failure) {
  if (type != "blob" && type != "text") {
    failure = std::make_exception_ptr(JsonDecodingError("payload", "expected the bytes of a plan"));
    return std::nullopt;
  }
  return readCoded<SortPlan>(db, "plan", "payload", rowid, &PlanCoding::decode<SortPlan>, failure);
}

constexpr const char* kPlanRowQuery =
    "SELECT rowid AS rowId, typeof(payload) AS type FROM plan WHERE id = ?";
constexpr const char* kRecentPlanRowsQuery =
    "SELECT rowid AS rowId, typeof(payload) AS type FROM plan ORDER BY createdAt DESC LIMIT ?";

}  // namespace

const std::vector<SqlMigration>& SQLiteJournalStore::migrator() {
  static const std::vector<SqlMigration> steps{
      {"v1",
       [](SqliteConnection& db) {
         db.createTable(planTable);
         db.createTable(legacyEntryTable);
       }},
      {"v2",
       [](SqliteConnection& db) {
         db.createTable(runTable);
         db.createTable(entryTable);
         db.execute(kCopyLegacyRuns);
         db.execute(kCopyLegacyEntries);
         db.execute("DROP TABLE journalEntry");
       }},
      {"v3",
       [](SqliteConnection& db) {
         // Entries journaled before keep both absent, and are judged as
         // before: by size and modification time alone.
         db.execute("ALTER TABLE \"entry\" ADD COLUMN \"deviceAfter\" INTEGER");
         db.execute("ALTER TABLE \"entry\" ADD COLUMN \"inodeAfter\" INTEGER");
         db.createTable(createdFolderTable);
       }},
  };
  return steps;
}

template <class Body>
auto SQLiteJournalStore::perform(Body&& body, Log log)
    -> decltype(body(std::declval<SqliteConnection&>())) {
  try {
    if (log == Log::leftForLater) return queue_->writeLeavingLog(std::forward<Body>(body));
    return queue_->write(std::forward<Body>(body));
  } catch (const SortError&) {
    throw;
  } catch (const std::exception& error) {
    throw SortError::journalUnavailable(error.what());
  }
}

SQLiteJournalStore::SQLiteJournalStore(const FileURL& url,
                                       const SqliteDatabase::OpenOptions& options) {
  FileURL folder = url.deletingLastPathComponent();
  std::error_code error;
  std::filesystem::create_directories(folder.path(), error);
  if (error) {
    throw SortError::journalUnavailable("could not create " + folder.path() + ": " +
                                        error.message());
  }
  try {
    queue_ = SqliteDatabase::open(url.path(), options);
    queue_->migrate(migrator());
  } catch (const SortError&) {
    throw;
  } catch (const std::exception& failure) {
    throw SortError::journalUnavailable(failure.what());
  }
}

SQLiteJournalStore::SQLiteJournalStore(std::unique_ptr<SqliteDatabase> database)
    : queue_(std::move(database)) {
  try {
    queue_->migrate(migrator());
  } catch (const SortError&) {
    throw;
  } catch (const std::exception& failure) {
    throw SortError::journalUnavailable(failure.what());
  }
}

std::unique_ptr<SQLiteJournalStore> SQLiteJournalStore::inMemory() {
  return std::unique_ptr<SQLiteJournalStore>(
      new SQLiteJournalStore(SqliteDatabase::openInMemory()));
}

FileURL SQLiteJournalStore::defaultURL() {
  const char* variable = std::getenv("XDG_DATA_HOME");
  // A relative value is to be ignored, as the base-directory rules say.
  std::string dataHome = variable != nullptr && variable[0] == '/'
                             ? std::string(variable)
                             : homeFolder().path() + "/.local/share";
  FileURL folder = FileURL::fromPath(dataHome, true);
  std::filesystem::create_directories(folder.path());
  return folder.appendingPathComponent("RozuZed", true).appendingPathComponent("rozuzed.sqlite");
}

SQLiteJournalStore::DurabilitySettings SQLiteJournalStore::durabilitySettings() {
  return perform([](SqliteConnection& db) {
    DurabilitySettings settings{"?", -1};
    if (auto mode = db.fetchValue("PRAGMA journal_mode")) {
      if (auto* text = std::get_if<std::string>(&*mode)) settings.journalMode = *text;
    }
    if (auto level = db.fetchValue("PRAGMA synchronous")) {
      if (auto* value = std::get_if<int64_t>(&*level)) settings.synchronous = *value;
    }
    return settings;
  });
}

void SQLiteJournalStore::beginRun(const RunRecord& run, const std::vector<JournalEntry>& intents,
                                  const std::vector<FileURL>& createdFolders) {
  std::optional<CodedText> snapshot;
  if (run.appliedPlan) snapshot = code(*run.appliedPlan);
  const bool writtenLater = snapshot && !snapshot->held;
  const std::size_t size = snapshot ? snapshot->size : 0;
  const std::vector<SqlValue> arguments =
      runArguments(run, snapshot ? std::move(*snapshot).stored() : SqlValue());
  perform([&](SqliteConnection& db) {
    db.execute(writtenLater ? kRunWithSnapshotRoomStatement : kRunStatement, arguments);
    if (writtenLater) writeCoded(db, "run", "appliedPlan", *run.appliedPlan, size);
    insertEntries(db, intents);
    insertFolders(db, run.id, createdFolders);
  });
}

void SQLiteJournalStore::commit(const std::vector<JournalEntry>& completed,
                                const std::vector<JournalEntry>& thenWriteIntents,
                                const CreatedFolders& createdFolders) {
  if (completed.empty() && thenWriteIntents.empty() && createdFolders.folders.empty()) return;
  perform([&](SqliteConnection& db) {
    insertEntries(db, completed);
    insertEntries(db, thenWriteIntents);
    insertFolders(db, createdFolders.runID, createdFolders.folders);
  });
}

void SQLiteJournalStore::finishRun(const Uuid& runID, RunState state, Date at,
                                   const std::vector<JournalEntry>& completed) {
  perform([&](SqliteConnection& db) {
    insertEntries(db, completed);
    db.execute(kFinishStatement, std::vector<SqlValue>{toText(state), at, runID.text()});
  });
}

void SQLiteJournalStore::amendIntent(const JournalEntry& entry) {
  perform([&](SqliteConnection& db) { insertEntries(db, {entry}); });
}

void SQLiteJournalStore::applyRecovery(const Uuid& runID, const std::vector<JournalEntry>& entries,
                                       Date at) {
  perform([&](SqliteConnection& db) {
    insertEntries(db, entries);
    db.execute(kRecoveryStatement,
               std::vector<SqlValue>{toText(RunState::recovered), at, runID.text()});
  });
}

void SQLiteJournalStore::markUndone(const std::vector<Uuid>& entryIDs, Date at) {
  if (entryIDs.empty()) return;
  perform([&](SqliteConnection& db) {
    updateEach(db, "UPDATE entry SET undoneAt = ? WHERE id IN (", {at}, entryIDs);
  });
}

void SQLiteJournalStore::clearUndone(const std::vector<Uuid>& entryIDs) {
  if (entryIDs.empty()) return;
  perform([&](SqliteConnection& db) {
    updateEach(db, "UPDATE entry SET undoneAt = NULL WHERE id IN (", {}, entryIDs);
  });
}

std::optional<RunRecord> SQLiteJournalStore::run(const Uuid& id) {
  auto row = perform([&](SqliteConnection& db) {
    return db.fetchOne("SELECT * FROM run WHERE id = ?", std::vector<SqlValue>{id.text()});
  });
  if (!row) return std::nullopt;
  return runFrom(*row);
}

std::optional<RunRecord> SQLiteJournalStore::runWithoutSnapshot(const Uuid& id) {
  auto row = perform([&](SqliteConnection& db) {
    return db.fetchOne(
        "SELECT id, kind, state, planId, reversesRunId, sourceDirectory, startedAt, finishedAt,\n"
        "       ownerBootSession, ownerPid, ownerStartedAt, NULL AS appliedPlan\n"
        "FROM run WHERE id = ?",
        std::vector<SqlValue>{id.text()});
  });
  if (!row) return std::nullopt;
  return runFrom(*row);
}

std::vector<RunRecord> SQLiteJournalStore::runs(RunState state) {
  auto rows = perform([&](SqliteConnection& db) {
    return db.fetchAll("SELECT * FROM run WHERE state = ? ORDER BY startedAt ASC",
                       std::vector<SqlValue>{toText(state)});
  });
  return readAll<RunRecord>(rows, runFrom);
}

std::vector<JournalEntry> SQLiteJournalStore::entries(const Uuid& runID) {
  // A run can cover a whole folder: each row is decoded as it is read, into
  // room counted beforehand, so neither every raw row nor a list grown by
  // doubling sits beside the entries.
  return perform([&](SqliteConnection& db) {
    const std::vector<SqlValue> arguments{runID.text()};
    std::vector<JournalEntry> entries;
    const auto count = db.fetchValue("SELECT count(*) FROM entry WHERE runId = ?", arguments);
    if (count && std::holds_alternative<int64_t>(*count)) {
      entries.reserve(static_cast<std::size_t>(std::get<int64_t>(*count)));
    }
    db.fetchEach("SELECT * FROM entry WHERE runId = ? ORDER BY planSequence ASC", arguments,
                 [&entries](const SqlRow& row) {
                   if (auto entry = entryFrom(row)) entries.push_back(std::move(*entry));
                 });
    return entries;
  });
}

std::vector<FileURL> SQLiteJournalStore::createdFolders(const Uuid& runID) {
  auto rows = perform([&](SqliteConnection& db) {
    return db.fetchAll("SELECT path FROM createdFolder WHERE runId = ? ORDER BY rowid ASC",
                       std::vector<SqlValue>{runID.text()});
  });
  std::vector<FileURL> folders;
  for (const SqlRow& row : rows) {
    auto path = row.text("path");
    // Only absolute paths are written; anything else names no folder of
    // the run's.
    if (path && path->starts_with('/')) folders.push_back(FileURL::fromPath(*path, true));
  }
  return folders;
}

std::vector<BatchSummary> SQLiteJournalStore::recentBatches(int64_t limit) {
  auto rows = perform([&](SqliteConnection& db) {
    return db.fetchAll(kBatchQuery, std::vector<SqlValue>{nonNegative(limit)});
  });
  return readAll<BatchSummary>(rows, batchFrom);
}

std::vector<JournalEntry> SQLiteJournalStore::entriesNeedingAttention() {
  auto rows = perform([&](SqliteConnection& db) {
    return db.fetchAll("SELECT * FROM entry WHERE state = ? ORDER BY intentAt DESC",
                       std::vector<SqlValue>{toText(EntryState::needsAttention)});
  });
  return readAll<JournalEntry>(rows, entryFrom);
}

void SQLiteJournalStore::clearAttention(const std::vector<Uuid>& entryIDs) {
  if (entryIDs.empty()) return;
  perform([&](SqliteConnection& db) {
    updateEach(db, "UPDATE entry SET attentionReason = NULL WHERE id IN (", {}, entryIDs);
  });
}

// The payload of a very large plan never sits whole in memory: it is
// measured, then written a piece at a time into room of its size.
std::string SQLiteJournalStore::save(const SortPlan& plan) {
  // What earlier saves left in the log goes into the file first, so the
  // log starts over rather than grow by a plan at every save; done by the
  // caller meanwhile, there is nothing left to copy.
  checkpoint();
  CodedText payload = code(plan);
  const bool writtenLater = !payload.held;
  const std::size_t size = payload.size;
  std::array<SqlValue, 5> arguments{plan.id.text(), plan.createdAt, plan.sourceDirectory.path(),
                                    plan.ruleSetHash, std::move(payload).stored()};
  perform(
      [&](SqliteConnection& db) {
        db.execute(writtenLater ? kPlanRoomStatement : kPlanStatement, arguments);
        if (writtenLater) writeCoded(db, "plan", "payload", plan, size);
        db.execute(kPrunePlans,
                   std::array<SqlValue, 2>{plan.id.text(), int64_t{kUnreferencedPlansKept}});
      },
      Log::leftForLater);
  // The caller may want the text too: it has the stored text's bytes,
  // rather than a second coding of the plan.
  if (writtenLater) return {};
  return std::move(std::get<SqlBlob>(arguments[4]).bytes);
}

std::optional<SortPlan> SQLiteJournalStore::plan(const Uuid& id) {
  std::exception_ptr failure;
  auto plan = perform([&](SqliteConnection& db) -> std::optional<SortPlan> {
    auto row = db.fetchOne(kPlanRowQuery, std::vector<SqlValue>{id.text()});
    if (!row) return std::nullopt;
    return readPlan(db, row->integer("rowId").value_or(0), row->text("type").value_or(""), failure);
  });
  if (failure) std::rethrow_exception(failure);
  return plan;
}

void SQLiteJournalStore::checkpoint() {
  queue_->checkpoint();
}

std::vector<SortPlan> SQLiteJournalStore::recentPlans(int64_t limit) {
  std::exception_ptr failure;
  auto plans = perform([&](SqliteConnection& db) {
    std::vector<SortPlan> read;
    for (const SqlRow& row :
         db.fetchAll(kRecentPlanRowsQuery, std::vector<SqlValue>{nonNegative(limit)})) {
      auto plan =
          readPlan(db, row.integer("rowId").value_or(0), row.text("type").value_or(""), failure);
      if (!plan) break;
      read.push_back(std::move(*plan));
    }
    return read;
  });
  if (failure) std::rethrow_exception(failure);
  return plans;
}

}  // namespace rozuzed

#include "rozuzed/journal/sqlite_database.h"

#include <sys/stat.h>

#include <sqlite3.h>
#include <sys/vfs.h>

#include <algorithm>
#include <array>
#include <filesystem>

namespace rozuzed {
namespace {

// Variable statements (lists of ids) would otherwise fill the cache without
// bound; past this size it starts over.
constexpr std::size_t kStatementCacheLimit = 64;

const SqlValue& nullValue() {
  static const SqlValue value;
  return value;
}

std::string declaredType(SqlColumnType type) {
  switch (type) {
    case SqlColumnType::text:
      return "TEXT";
    case SqlColumnType::integer:
      return "INTEGER";
    case SqlColumnType::real:
      return "DOUBLE";
    case SqlColumnType::blob:
      return "BLOB";
  }
  return "BLOB";
}

std::string quoted(const std::string& identifier) {
  std::string out = "\"";
  for (char c : identifier) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// Resets and unbinds a cached statement however its use ends, so it never
// holds a read open into the next statement or the rollback.
class StatementUse {
 public:
  explicit StatementUse(sqlite3_stmt* statement) : statement_(statement) {}
  ~StatementUse() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;

 private:
  sqlite3_stmt* statement_;
};

// A write-ahead log keeps its index in memory that every connection maps
// from a file beside the database: across the machines that share a network
// file system that memory is not shared, and some FUSE file systems cannot
// map it at all. SQLite cannot tell, so these are recognised by type.
bool sharesMemoryReliably(const std::string& databasePath) {
  constexpr std::array<unsigned long, 10> kUnreliable{
      0x6969,      // NFS
      0x517B,      // SMB
      0xFF534D42,  // CIFS
      0xFE534D42,  // SMB2
      0x5346414F,  // AFS
      0x73757245,  // Coda
      0x564C,      // NCP
      0x01021997,  // 9P
      0x00C36400,  // Ceph
      0x65735546,  // FUSE
  };
  std::filesystem::path folder = std::filesystem::path(databasePath).parent_path();
  if (folder.empty()) folder = ".";
  struct statfs info {};
  if (statfs(folder.c_str(), &info) != 0) return true;
  auto type = static_cast<unsigned long>(info.f_type) & 0xFFFFFFFFUL;
  return std::find(kUnreliable.begin(), kUnreliable.end(), type) == kUnreliable.end();
}

}  // namespace

const SqlValue& SqlRow::operator[](std::string_view column) const {
  for (std::size_t i = 0; i < names_->size(); ++i) {
    if ((*names_)[i] == column) return values_[i];
  }
  return nullValue();
}

bool SqlRow::isNull(std::string_view column) const {
  return std::holds_alternative<std::monostate>((*this)[column]);
}

std::optional<std::string> SqlRow::text(std::string_view column) const {
  if (auto* value = std::get_if<std::string>(&(*this)[column])) return *value;
  return std::nullopt;
}

std::optional<int64_t> SqlRow::integer(std::string_view column) const {
  if (auto* value = std::get_if<int64_t>(&(*this)[column])) return *value;
  return std::nullopt;
}

std::optional<double> SqlRow::real(std::string_view column) const {
  const SqlValue& value = (*this)[column];
  if (auto* d = std::get_if<double>(&value)) return *d;
  if (auto* i = std::get_if<int64_t>(&value)) return static_cast<double>(*i);
  return std::nullopt;
}

std::optional<std::string_view> SqlRow::bytes(std::string_view column) const {
  const SqlValue& value = (*this)[column];
  if (auto* b = std::get_if<SqlBlob>(&value)) return b->bytes;
  if (auto* t = std::get_if<std::string>(&value)) return *t;
  return std::nullopt;
}

SqliteConnection::~SqliteConnection() {
  for (auto& [sql, statement] : cache_) sqlite3_finalize(statement);
}

void SqliteConnection::fail(int code) const {
  throw SqliteError(code, sqlite3_errmsg(db_));
}

sqlite3_stmt* SqliteConnection::prepared(std::string_view sql) {
  std::string key(sql);
  if (auto found = cache_.find(key); found != cache_.end()) return found->second;
  if (cache_.size() >= kStatementCacheLimit) {
    for (auto& [text, statement] : cache_) sqlite3_finalize(statement);
    cache_.clear();
  }
  sqlite3_stmt* statement = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v3(db_, key.data(), static_cast<int>(key.size()),
                              SQLITE_PREPARE_PERSISTENT, &statement, &tail);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(statement);
    fail(rc);
  }
  if (statement == nullptr) throw SqliteError(SQLITE_MISUSE, "empty statement");
  // A second statement in the same text would be silently skipped.
  const char* end = key.c_str() + key.size();
  if (tail != nullptr &&
      std::any_of(tail, end, [](char c) { return c != ' ' && c != '\n' && c != ';'; })) {
    sqlite3_finalize(statement);
    throw SqliteError(SQLITE_MISUSE, "more than one statement in one text");
  }
  cache_.emplace(std::move(key), statement);
  return statement;
}

namespace {

// Binds without copying (SQLITE_STATIC): every caller keeps `arguments`
// alive until its StatementUse has reset the statement and cleared them.
void bindAll(sqlite3* db, sqlite3_stmt* statement, std::span<const SqlValue> arguments) {
  if (static_cast<int>(arguments.size()) != sqlite3_bind_parameter_count(statement)) {
    throw SqliteError(SQLITE_RANGE, "statement expects " +
                                        std::to_string(sqlite3_bind_parameter_count(statement)) +
                                        " arguments, got " + std::to_string(arguments.size()));
  }
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    int index = static_cast<int>(i) + 1;
    const SqlValue& value = arguments[i];
    int rc = SQLITE_OK;
    if (std::holds_alternative<std::monostate>(value)) {
      rc = sqlite3_bind_null(statement, index);
    } else if (auto* integer = std::get_if<int64_t>(&value)) {
      rc = sqlite3_bind_int64(statement, index, *integer);
    } else if (auto* real = std::get_if<double>(&value)) {
      rc = sqlite3_bind_double(statement, index, *real);
    } else if (auto* text = std::get_if<std::string>(&value)) {
      rc = sqlite3_bind_text64(statement, index, text->data(), text->size(), SQLITE_STATIC,
                               SQLITE_UTF8);
    } else if (auto* blob = std::get_if<SqlBlob>(&value)) {
      rc = sqlite3_bind_blob64(statement, index, blob->bytes.data(), blob->bytes.size(),
                               SQLITE_STATIC);
    }
    if (rc != SQLITE_OK) throw SqliteError(rc, sqlite3_errmsg(db));
  }
}

SqlValue columnValue(sqlite3_stmt* statement, int column) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
      return static_cast<int64_t>(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
      return sqlite3_column_double(statement, column);
    case SQLITE_TEXT: {
      auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      return std::string(text == nullptr ? "" : text,
                         static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
    }
    case SQLITE_BLOB: {
      auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
      return SqlBlob{
          std::string(bytes == nullptr ? "" : bytes,
                      static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))};
    }
    default:
      return std::monostate{};
  }
}

}  // namespace

void SqliteConnection::execute(std::string_view sql, std::span<const SqlValue> arguments) {
  sqlite3_stmt* statement = prepared(sql);
  StatementUse use(statement);
  bindAll(db_, statement, arguments);
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) fail(rc);
}

void SqliteConnection::executeEach(
    std::string_view sql, std::size_t count,
    const std::function<void(std::size_t, std::vector<SqlValue>&)>& argumentsOf) {
  if (count == 0) return;
  sqlite3_stmt* statement = prepared(sql);
  std::vector<SqlValue> arguments;
  for (std::size_t i = 0; i < count; ++i) {
    StatementUse use(statement);
    arguments.clear();
    argumentsOf(i, arguments);
    bindAll(db_, statement, arguments);
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) fail(rc);
  }
}

std::vector<SqlRow> SqliteConnection::fetchAll(std::string_view sql,
                                               std::span<const SqlValue> arguments) {
  std::vector<SqlRow> rows;
  fetchEach(sql, arguments, [&rows](SqlRow&& row) { rows.push_back(std::move(row)); });
  return rows;
}

void SqliteConnection::fetchEach(std::string_view sql, std::span<const SqlValue> arguments,
                                 const std::function<void(SqlRow&&)>& each) {
  sqlite3_stmt* statement = prepared(sql);
  StatementUse use(statement);
  bindAll(db_, statement, arguments);
  int count = sqlite3_column_count(statement);
  auto names = std::make_shared<std::vector<std::string>>();
  for (int i = 0; i < count; ++i) {
    const char* name = sqlite3_column_name(statement, i);
    names->push_back(name == nullptr ? "" : name);
  }
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    std::vector<SqlValue> values;
    values.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) values.push_back(columnValue(statement, i));
    each(SqlRow(names, std::move(values)));
  }
  if (rc != SQLITE_DONE) fail(rc);
}

std::optional<SqlRow> SqliteConnection::fetchOne(std::string_view sql,
                                                 std::span<const SqlValue> arguments) {
  auto rows = fetchAll(sql, arguments);
  if (rows.empty()) return std::nullopt;
  return std::move(rows.front());
}

std::optional<SqlValue> SqliteConnection::fetchValue(std::string_view sql,
                                                     std::span<const SqlValue> arguments) {
  sqlite3_stmt* statement = prepared(sql);
  StatementUse use(statement);
  bindAll(db_, statement, arguments);
  int rc = sqlite3_step(statement);
  if (rc == SQLITE_DONE) return std::nullopt;
  if (rc != SQLITE_ROW) fail(rc);
  if (sqlite3_column_count(statement) == 0) return std::nullopt;
  return columnValue(statement, 0);
}

int64_t SqliteConnection::lastInsertRowid() const {
  return sqlite3_last_insert_rowid(db_);
}

SqlBlobStream SqliteConnection::openBlob(const std::string& table, const std::string& column,
                                         int64_t rowid, bool forWriting) {
  sqlite3_blob* blob = nullptr;
  int rc = sqlite3_blob_open(db_, "main", table.c_str(), column.c_str(), rowid, forWriting ? 1 : 0,
                             &blob);
  if (rc != SQLITE_OK) {
    // The handle may be set even on failure, and must be closed then.
    sqlite3_blob_close(blob);
    fail(rc);
  }
  return SqlBlobStream(db_, blob);
}

SqlBlobStream::SqlBlobStream(sqlite3* db, sqlite3_blob* blob)
    : db_(db), blob_(blob), size_(sqlite3_blob_bytes(blob)) {}

SqlBlobStream::SqlBlobStream(SqlBlobStream&& other) noexcept
    : db_(other.db_), blob_(other.blob_), size_(other.size_), offset_(other.offset_) {
  other.blob_ = nullptr;
}

SqlBlobStream::~SqlBlobStream() {
  if (blob_ != nullptr) sqlite3_blob_close(blob_);
}

std::size_t SqlBlobStream::read(char* buffer, std::size_t capacity) {
  auto count = static_cast<int>(std::min<int64_t>(
      size_ - offset_, static_cast<int64_t>(std::min<std::size_t>(capacity, 1 << 30))));
  if (count <= 0) return 0;
  int rc = sqlite3_blob_read(blob_, buffer, count, static_cast<int>(offset_));
  if (rc != SQLITE_OK) throw SqliteError(rc, sqlite3_errmsg(db_));
  offset_ += count;
  return static_cast<std::size_t>(count);
}

void SqlBlobStream::write(std::string_view bytes) {
  if (static_cast<int64_t>(bytes.size()) > size_ - offset_) {
    throw SqliteError(SQLITE_TOOBIG, "more bytes than the value holds");
  }
  if (bytes.empty()) return;
  int rc = sqlite3_blob_write(blob_, bytes.data(), static_cast<int>(bytes.size()),
                              static_cast<int>(offset_));
  if (rc != SQLITE_OK) throw SqliteError(rc, sqlite3_errmsg(db_));
  offset_ += static_cast<int64_t>(bytes.size());
}

void SqliteConnection::createTable(const SqlTable& table) {
  std::string sql = "CREATE TABLE " + quoted(table.name) + " (";
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const SqlColumn& column = table.columns[i];
    if (i > 0) sql += ", ";
    sql += quoted(column.name) + " " + declaredType(column.type);
    if (column.notNull) sql += " NOT NULL";
    if (column.primaryKey) sql += " PRIMARY KEY";
  }
  sql += ")";
  execute(sql);
  for (const SqlColumn& column : table.columns) {
    if (!column.indexed) continue;
    execute("CREATE INDEX " + quoted(table.name + "_on_" + column.name) + " ON " +
            quoted(table.name) + "(" + quoted(column.name) + ")");
  }
}

std::unique_ptr<SqliteDatabase> SqliteDatabase::open(const std::string& path,
                                                     const OpenOptions& options) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(
      path.c_str(), &db,
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
      options.vfs.empty() ? nullptr : options.vfs.c_str());
  if (rc != SQLITE_OK) {
    std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    throw SqliteError(rc, message);
  }
  std::unique_ptr<SqliteDatabase> database(new SqliteDatabase(db));
  database->rememberFile(path);
  // SQLite quietly opens a write-protected file for reading only; every
  // later write would fail, so the file is refused now.
  if (sqlite3_db_readonly(db, "main") == 1) {
    throw SqliteError(SQLITE_READONLY, sqlite3_errstr(SQLITE_READONLY));
  }
  database->refuseIfDamaged();
  database->chooseJournal(path);
  return database;
}

std::unique_ptr<SqliteDatabase> SqliteDatabase::openInMemory() {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(":memory:", &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX |
                               SQLITE_OPEN_MEMORY | SQLITE_OPEN_EXRESCODE,
                           nullptr);
  if (rc != SQLITE_OK) {
    std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    throw SqliteError(rc, message);
  }
  std::unique_ptr<SqliteDatabase> database(new SqliteDatabase(db));
  database->execute("PRAGMA synchronous = FULL");
  return database;
}

SqliteDatabase::SqliteDatabase(sqlite3* db) : db_(db), connection_(new SqliteConnection(db)) {
  sqlite3_busy_timeout(db_, busyTimeoutMilliseconds);
  sqlite3_extended_result_codes(db_, 1);
}

void SqliteDatabase::execute(const char* sql) {
  char* error = nullptr;
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    std::string message = error != nullptr ? error : sqlite3_errstr(rc);
    sqlite3_free(error);
    throw SqliteError(rc, message);
  }
}

void SqliteDatabase::refuseIfDamaged() {
  // A file cut short or written over in part may still open, when a log
  // left beside it answers for its first page, and then fail every use
  // that reaches a lost page, each time anew. It is refused here, before
  // anything is written to it, and closed without copying that log into
  // it, so it stays exactly as it was found.
  try {
    std::optional<SqlValue> verdict = connection_->fetchValue("PRAGMA quick_check(1)");
    const auto* text = verdict ? std::get_if<std::string>(&*verdict) : nullptr;
    if (text == nullptr || *text != "ok") {
      throw SqliteError(SQLITE_CORRUPT, sqlite3_errstr(SQLITE_CORRUPT));
    }
  } catch (...) {
    sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    throw;
  }
}

void SqliteDatabase::chooseJournal(const std::string& path) {
  bool wal = false;
  if (sharesMemoryReliably(path)) {
    try {
      auto mode = connection_->fetchValue("PRAGMA journal_mode = WAL");
      auto* text = mode ? std::get_if<std::string>(&*mode) : nullptr;
      wal = text != nullptr && sqlite3_stricmp(text->c_str(), "wal") == 0;
    } catch (const SqliteError&) {
      // The file may be busy, damaged or not a database at all: the
      // rollback journal serves, and whatever is wrong with the file shows
      // at its first use.
    }
  }
  wal_ = wal;
  if (wal) {
    execute("PRAGMA synchronous = FULL");
    execute(("PRAGMA journal_size_limit = " + std::to_string(walSizeLimitBytes)).c_str());
  } else {
    execute("PRAGMA synchronous = EXTRA");
  }
  // Debian's SQLite zeroes every page a delete frees, which for a pruned
  // plan writes its whole payload again, twice in WAL mode. FAST still
  // clears what it can without more writes.
  execute("PRAGMA secure_delete = FAST");
}

void SqliteDatabase::leaveToLog(bool on) noexcept {
  sqlite3_wal_autocheckpoint(db_, on ? 0 : autoCheckpointPages);
  if (!wal_) return;
  // In write-ahead mode a commit at NORMAL is atomic and leaves the file
  // whole through a power cut; it only does not wait for a sync.
  const char* level = on ? "PRAGMA synchronous = NORMAL" : "PRAGMA synchronous = FULL";
  syncRelaxed_ = on || sqlite3_exec(db_, level, nullptr, nullptr, nullptr) != SQLITE_OK;
  if (on) sqlite3_exec(db_, level, nullptr, nullptr, nullptr);
}

void SqliteDatabase::restoreDurability() {
  if (!syncRelaxed_) return;
  execute("PRAGMA synchronous = FULL");
  syncRelaxed_ = false;
}

void SqliteDatabase::checkpoint() {
  std::lock_guard<std::mutex> hold(mutex_);
  // Busy or failed, the log keeps every frame and stays valid.
  int inLog = -1;
  int copied = -1;
  if (sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, &inLog, &copied) ==
          SQLITE_OK &&
      inLog == copied) {
    logUncopied_ = false;
  }
}

SqliteDatabase::~SqliteDatabase() {
  connection_.reset();
  // Where the log holds nothing but writes left to a later checkpoint (a
  // saved plan, which a scan can make again), closing leaves it to the
  // next opener rather than copy it now: every run of the program would
  // wait on that copy at its end. The log is as durable as the file. With
  // anything else in it, the file is brought up to date, so that it holds
  // every run alone, as a copy of it taken after the program ends would.
  if (!logUncopied_) sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_close(db_);
}

void SqliteDatabase::rememberFile(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return;
  file_ = FileIdentity{path, status.st_dev, status.st_ino};
}

void SqliteDatabase::refuseIfMoved() {
  if (!file_) return;
  // In write-ahead mode SQLite goes on writing to a file that was removed
  // or replaced meanwhile, and every later write would be lost with it.
  int moved = 0;
  sqlite3_file_control(db_, "main", SQLITE_FCNTL_HAS_MOVED, &moved);
  struct stat status {};
  if (moved != 0 || ::stat(file_->path.c_str(), &status) != 0 || status.st_dev != file_->device ||
      status.st_ino != file_->inode) {
    throw SqliteError(SQLITE_READONLY_DBMOVED,
                      file_->path + " was moved or deleted while it was in use");
  }
}

void SqliteDatabase::begin() {
  refuseIfMoved();
  connection_->execute("BEGIN IMMEDIATE");
}

void SqliteDatabase::commit() {
  connection_->execute("COMMIT");
}

void SqliteDatabase::rollback() noexcept {
  // A failed COMMIT may already have ended the transaction.
  if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::vector<std::string> SqliteDatabase::appliedMigrations() {
  return write([](SqliteConnection& db) {
    std::vector<std::string> identifiers;
    auto exists = db.fetchValue("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?",
                                std::vector<SqlValue>{std::string(migrationsTable)});
    if (!exists) return identifiers;
    for (const SqlRow& row : db.fetchAll(std::string("SELECT identifier FROM ") + migrationsTable +
                                         " ORDER BY rowid")) {
      identifiers.push_back(row.text("identifier").value_or(""));
    }
    return identifiers;
  });
}

void SqliteDatabase::migrate(const std::vector<SqlMigration>& steps) {
  const std::string table = migrationsTable;
  auto isKnown = [&](const std::string& identifier) {
    return std::any_of(steps.begin(), steps.end(),
                       [&](const SqlMigration& step) { return step.identifier == identifier; });
  };
  for (const std::string& identifier : appliedMigrations()) {
    if (!isKnown(identifier)) {
      throw UnknownMigrationError("the database was written by a later version (migration \"" +
                                  identifier + "\" is unknown to this one)");
    }
  }
  for (const SqlMigration& step : steps) {
    // Checked again inside the step's own transaction: another process may
    // have migrated the file in the meantime.
    write([&](SqliteConnection& db) {
      db.execute("CREATE TABLE IF NOT EXISTS " + table + " (identifier TEXT NOT NULL PRIMARY KEY)");
      std::vector<SqlValue> id{step.identifier};
      if (db.fetchValue("SELECT 1 FROM " + table + " WHERE identifier = ?", id)) return;
      step.apply(db);
      db.execute("INSERT INTO " + table + " (identifier) VALUES (?)", id);
    });
  }
}

}  // namespace rozuzed

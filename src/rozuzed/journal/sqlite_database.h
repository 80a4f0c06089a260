// A small layer over the SQLite C API, standing in for the database access
// layer the journal was designed around: one connection behind a mutex, one
// immediate write transaction per call, named migrations recorded in a
// bookkeeping table of the layer's own, statements cached by their text,
// positional arguments and rows read by column name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_blob;
struct sqlite3_stmt;

namespace rozuzed {

// A failure reported by SQLite; `what()` is SQLite's own message.
class SqliteError : public std::runtime_error {
 public:
  SqliteError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  // The extended result code.
  int code() const { return code_; }

 private:
  int code_;
};

// A database written by a later build: it records a migration this build
// does not know, so its schema cannot be trusted.
class UnknownMigrationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SqlBlob {
  std::string bytes;
  bool operator==(const SqlBlob&) const = default;
};

// One value of a column or an argument: NULL, INTEGER, REAL, TEXT or BLOB.
using SqlValue = std::variant<std::monostate, int64_t, double, std::string, SqlBlob>;

// One row, copied out of its statement; values found by column name.
class SqlRow {
 public:
  SqlRow(std::shared_ptr<const std::vector<std::string>> names, std::vector<SqlValue> values)
      : names_(std::move(names)), values_(std::move(values)) {}

  // NULL for a column the row does not have.
  const SqlValue& operator[](std::string_view column) const;

  bool isNull(std::string_view column) const;
  // Each reader gives absent unless the value has its storage class: TEXT;
  // INTEGER; REAL or INTEGER; BLOB or TEXT. The bytes are a view into the
  // row, not a copy, since a value may be large.
  std::optional<std::string> text(std::string_view column) const;
  std::optional<int64_t> integer(std::string_view column) const;
  std::optional<double> real(std::string_view column) const;
  std::optional<std::string_view> bytes(std::string_view column) const;

 private:
  std::shared_ptr<const std::vector<std::string>> names_;
  std::vector<SqlValue> values_;
};

// One BLOB or TEXT value of a row, read or written a piece at a time
// (SQLite's incremental I/O), so that a large value never sits whole in
// memory. Usable only inside the transaction that opened it; it cannot
// change the value's size.
class SqlBlobStream {
 public:
  SqlBlobStream(SqlBlobStream&& other) noexcept;
  SqlBlobStream& operator=(SqlBlobStream&&) = delete;
  ~SqlBlobStream();

  int64_t size() const { return size_; }
  // The next bytes, at most `capacity`; 0 at the end. Throws SqliteError.
  std::size_t read(char* buffer, std::size_t capacity);
  // Writes `bytes` after those written before. Throws SqliteError, also
  // for bytes beyond the value's size.
  void write(std::string_view bytes);
  // How far reading or writing has come.
  int64_t offset() const { return offset_; }

 private:
  friend class SqliteConnection;
  SqlBlobStream(sqlite3* db, sqlite3_blob* blob);

  sqlite3* db_;
  sqlite3_blob* blob_;
  int64_t size_;
  int64_t offset_ = 0;
};

enum class SqlColumnType { text, integer, real, blob };

struct SqlColumn {
  std::string name;
  SqlColumnType type;
  bool notNull = false;
  bool primaryKey = false;
  // A plain index of its own, named table + "_on_" + column.
  bool indexed = false;
};

struct SqlTable {
  std::string name;
  std::vector<SqlColumn> columns;
};

// The open connection, as a transaction body sees it. Not thread-safe on
// its own: only the body that `SqliteDatabase::write` runs may use it.
class SqliteConnection {
 public:
  ~SqliteConnection();
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;

  // Runs one statement (no rows expected; any are passed over).
  void execute(std::string_view sql, std::span<const SqlValue> arguments = {});
  std::vector<SqlRow> fetchAll(std::string_view sql, std::span<const SqlValue> arguments = {});
  // Hands each row to `each` as soon as it is stepped to: a caller that
  // keeps only what it makes of a row never holds every row at once.
  void fetchEach(std::string_view sql, std::span<const SqlValue> arguments,
                 const std::function<void(SqlRow&&)>& each);
  std::optional<SqlRow> fetchOne(std::string_view sql, std::span<const SqlValue> arguments = {});
  // The first column of the first row; absent when there is no row.
  std::optional<SqlValue> fetchValue(std::string_view sql,
                                     std::span<const SqlValue> arguments = {});

  // CREATE TABLE, then CREATE INDEX for each indexed column.
  void createTable(const SqlTable& table);

  // The rowid of the row the last INSERT made.
  int64_t lastInsertRowid() const;

  // The value in `column` of the row `rowid` of `table`, opened to be read,
  // or to be written over (a value made with zeroblob(n) takes n bytes).
  // Throws SqliteError, also when the value is neither BLOB nor TEXT.
  SqlBlobStream openBlob(const std::string& table, const std::string& column, int64_t rowid,
                         bool forWriting);

  // Executes `sql` for each list of arguments with one prepared statement.
  void executeEach(std::string_view sql, std::size_t count,
                   const std::function<void(std::size_t, std::vector<SqlValue>&)>& argumentsOf);

 private:
  friend class SqliteDatabase;
  explicit SqliteConnection(sqlite3* db) : db_(db) {}

  sqlite3_stmt* prepared(std::string_view sql);
  [[noreturn]] void fail(int code) const;

  sqlite3* db_;
  std::unordered_map<std::string, sqlite3_stmt*> cache_;
};

// One named step of a schema; applied at most once per database file, in
// a transaction together with the record of its identifier.
struct SqlMigration {
  std::string identifier;
  std::function<void(SqliteConnection&)> apply;
};

// One serial connection to one database file. Every public operation may be
// called from any thread; calls run one after another.
class SqliteDatabase {
 public:
  // The name of the layer's bookkeeping table of applied migrations.
  static constexpr const char* migrationsTable = "schema_migration";
  static constexpr int busyTimeoutMilliseconds = 5000;

  // A write-ahead log that outgrows this is cut back to it once its frames
  // are all in the database, so one large transaction does not keep its
  // size on disk for the life of the connection.
  static constexpr int64_t walSizeLimitBytes = 4 * 1024 * 1024;
  // A commit that leaves the log at least this many pages long copies it
  // into the database (SQLite's own default).
  static constexpr int autoCheckpointPages = 1000;

  struct OpenOptions {
    // The SQLite VFS to open the file through; empty for SQLite's default.
    // "unix-dotfile" (locking by a lock file, as on a file system without
    // POSIX locks) shares no memory between connections, so SQLite refuses
    // it a write-ahead log.
    std::string vfs;
  };

  // Opens the file, creating it when missing, with a busy timeout and
  // commits that survive a power cut: a write-ahead log with synchronous
  // FULL, or where SQLite refuses the log (its answer to "PRAGMA
  // journal_mode = WAL" is another mode) or the file lies on a network or
  // FUSE file system (where the log's shared memory cannot be trusted), the
  // rollback journal with synchronous EXTRA, which also syncs the folder
  // when the journal goes. Throws SqliteError, also when the file can only
  // be read, and when it is not a database or a page of it is damaged
  // (SQLite's quick check, which reads every page once): such a file is
  // refused before anything is written to it.
  static std::unique_ptr<SqliteDatabase> open(const std::string& path,
                                              const OpenOptions& options = {});
  // A private, unnamed in-memory database.
  static std::unique_ptr<SqliteDatabase> openInMemory();

  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  // Runs `body` inside BEGIN IMMEDIATE … COMMIT and returns its result once
  // the commit succeeded. Whatever `body` or the commit throws rolls the
  // transaction back and is thrown on unchanged. A file no longer at the
  // path it was opened at (its device and inode differ, or nothing is
  // there) fails the call with SqliteError before the body runs.
  template <class Body>
  auto write(Body&& body) -> decltype(body(std::declval<SqliteConnection&>())) {
    std::lock_guard<std::mutex> hold(mutex_);
    restoreDurability();
    logUncopied_ = true;
    return transact(std::forward<Body>(body));
  }

  // As write, but however long the write-ahead log has grown, its commit
  // leaves it to a later checkpoint instead of copying it into the database
  // there and then: for a large write whose caller checkpoints once nobody
  // waits on it. Nor does the commit wait for the log to reach the disk: a
  // power cut may take this write back, never a part of it, and the next
  // commit of `write` or the next checkpoint, which sync the log, make it
  // durable with everything before it. For a write that nothing relies on
  // across a power cut until such a commit. With the rollback journal it
  // is as durable as any.
  template <class Body>
  auto writeLeavingLog(Body&& body) -> decltype(body(std::declval<SqliteConnection&>())) {
    std::lock_guard<std::mutex> hold(mutex_);
    leaveToLog(true);
    struct Restore {
      SqliteDatabase& database;
      ~Restore() { database.leaveToLog(false); }
    } restore{*this};
    return transact(std::forward<Body>(body));
  }

  // Applies, in order, every step whose identifier is not yet recorded.
  // Throws UnknownMigrationError, touching nothing, when the file records an
  // identifier that is not among `steps`; SqliteError when a step fails,
  // which leaves the file as it was before that step.
  void migrate(const std::vector<SqlMigration>& steps);

  // The identifiers recorded as applied, in the order they were applied.
  std::vector<std::string> appliedMigrations();

  // Copies what it can of the write-ahead log into the database without
  // waiting on other connections; what is left, a later checkpoint copies.
  // Nothing to do with the rollback journal. Closing copies the log too,
  // but for one that holds nothing but writes left for later, which stays
  // for the next opener.
  void checkpoint();

 private:
  explicit SqliteDatabase(sqlite3* db);

  template <class Body>
  auto transact(Body&& body) -> decltype(body(std::declval<SqliteConnection&>())) {
    begin();
    try {
      if constexpr (std::is_void_v<decltype(body(*connection_))>) {
        body(*connection_);
        commit();
      } else {
        auto result = body(*connection_);
        commit();
        return result;
      }
    } catch (...) {
      rollback();
      throw;
    }
  }

  void execute(const char* sql);
  void refuseIfDamaged();
  void rememberFile(const std::string& path);
  void refuseIfMoved();
  void chooseJournal(const std::string& path);
  // Whether commits leave the log to later checkpoints and syncs, as
  // writeLeavingLog says; off, each commit is durable when it returns.
  void leaveToLog(bool on) noexcept;
  // Sets commits durable again where leaveToLog could not; throws
  // SqliteError when it still cannot, so nothing is written less durably.
  void restoreDurability();
  void begin();
  void commit();
  void rollback() noexcept;

  std::mutex mutex_;
  // Whether the log may hold more than writes left to a later checkpoint
  // that no checkpoint has copied since: so at first, as the log may hold
  // anything another process wrote.
  bool logUncopied_ = true;
  // Whether the file keeps a write-ahead log, rather than the rollback
  // journal.
  bool wal_ = false;
  // Whether commits may return before the log is synced.
  bool syncRelaxed_ = false;
  sqlite3* db_;
  std::unique_ptr<SqliteConnection> connection_;
  struct FileIdentity {
    std::string path;
    uint64_t device;
    uint64_t inode;
  };
  // The file as it was opened; none in memory.
  std::optional<FileIdentity> file_;
};

}  // namespace rozuzed

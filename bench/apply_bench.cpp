// Applying plans on the real disk, each measured beside a floor taken in the
// same run:
//  1. 10,000 same-volume moves by `ombrix-driver apply` (plan and apply, the
//     journal in a scratch XDG_DATA_HOME) against a bare lstat + rename of
//     the same files plus, per 32 files, two SQLite transactions of rows
//     holding what the journal's entries hold (a plain table keyed by id) in
//     a write-ahead log synced at every commit; passes at most 1.4 times its
//     floor;
//  2. 1 GiB across volumes (8 files of 128 MiB, /dev/shm to the build tree)
//     by the executor against a bare copy, OpenSSL's SHA-256 of both sides
//     in this process, fsync and rename; passes at most 1.5 times its floor.
// Prints PASS or FAIL and exits non-zero on FAIL.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "evp_sha256.h"
#include "rozuzed/execution/executor.h"
#include "rozuzed/filesystem/live_file_system.h"
#include "rozuzed/journal/sqlite_journal_store.h"
#include "rozuzed/support/uuid.h"

namespace {

using namespace rozuzed;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kSameVolumeFiles = 10'000;
constexpr int kBatchSize = 32;
constexpr int kCrossVolumeFiles = 8;
constexpr std::size_t kCrossVolumeFileSize = std::size_t{128} << 20;
constexpr double kSameVolumeTarget = 1.4;
constexpr double kCrossVolumeTarget = 1.5;
constexpr std::size_t kChunkSize = std::size_t{1} << 20;
constexpr int kRounds = 3;
// Old enough for the safety gate, which leaves recently written files alone.
constexpr time_t kLongAgo = 1'500'000'000;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "bench_apply: %s\n", what.c_str());
  std::exit(2);
}

double seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

class Scratch {
 public:
  explicit Scratch(const std::string& parent) {
    std::string pattern = parent + "/bench-apply-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) fail("cannot make a scratch folder in " + parent);
    path_ = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void setOld(const std::string& path) {
  timespec times[2] = {{kLongAgo, 0}, {kLongAgo, 0}};
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) fail("cannot date " + path);
}

void writeFile(const std::string& path, std::size_t size, char fill) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) fail("cannot create " + path);
  std::vector<char> chunk(std::min<std::size_t>(size, std::size_t{1} << 20), fill);
  for (std::size_t written = 0; written < size;) {
    std::size_t count = std::min(chunk.size(), size - written);
    if (write(fd, chunk.data(), count) != static_cast<ssize_t>(count)) fail("write " + path);
    written += count;
  }
  close(fd);
  setOld(path);
}

std::vector<std::string> makeSameVolumeFolder(const std::string& folder) {
  fs::create_directories(folder);
  std::vector<std::string> names;
  for (int i = 0; i < kSameVolumeFiles; ++i) {
    names.push_back("report-" + std::to_string(i) + ".pdf");
    writeFile(folder + "/" + names.back(), 512, 'r');
  }
  return names;
}

void check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    fail(std::string("sqlite: ") + sqlite3_errmsg(db));
  }
}

// The floor of the same-volume case: every file looked at and renamed, and
// per batch the two durable transactions a write-ahead journal cannot do
// without, the intents before and the outcomes after. Their rows hold what
// the journal's entries hold, in a plain table keyed by the entry's id with
// no other index, and the outcomes are written over the intents in place,
// in SQLite's fastest durable setting. Fails unless every row reads back
// as done.
double bareSameVolume(const std::string& folder, const std::vector<std::string>& names,
                      const std::string& database) {
  const std::string runID = Uuid::random().text();
  std::vector<std::string> ids;
  for (std::size_t i = 0; i < names.size(); ++i) ids.push_back(Uuid::random().text());
  const double when = static_cast<double>(kLongAgo);

  auto start = Clock::now();
  sqlite3* db = nullptr;
  check(sqlite3_open(database.c_str(), &db), db);
  check(sqlite3_exec(db,
                     "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;"
                     "CREATE TABLE entry (id TEXT PRIMARY KEY, runId TEXT, planSequence INTEGER, "
                     "state TEXT, strategy TEXT, sourcePath TEXT, destinationPath TEXT, "
                     "tempPath TEXT, trashedSourcePath TEXT, sizeBefore INTEGER, "
                     "modifiedBefore REAL, sourceHash TEXT, sizeAfter INTEGER, "
                     "modifiedAfter REAL, matchedRuleId TEXT, reversesEntryId TEXT, "
                     "undoneAt REAL, intentAt REAL, committedAt REAL, completedBy TEXT, "
                     "attentionReason TEXT)",
                     nullptr, nullptr, nullptr),
        db);
  sqlite3_stmt* intent = nullptr;
  check(sqlite3_prepare_v2(db,
                           "INSERT INTO entry (id, runId, planSequence, state, strategy, "
                           "sourcePath, destinationPath, sizeBefore, modifiedBefore, "
                           "matchedRuleId, intentAt) VALUES (?, ?, ?, 'pending', "
                           "'sameVolumeMove', ?, ?, 512, ?, 'documents', ?)",
                           -1, &intent, nullptr),
        db);
  sqlite3_stmt* outcome = nullptr;
  check(sqlite3_prepare_v2(db,
                           "UPDATE entry SET state = 'committed', sizeAfter = 512, "
                           "modifiedAfter = ?, committedAt = ?, completedBy = 'run' WHERE id = ?",
                           -1, &outcome, nullptr),
        db);
  auto writeBatch = [&](std::size_t from, std::size_t to, bool committed) {
    check(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), db);
    for (std::size_t i = from; i < to; ++i) {
      if (committed) {
        sqlite3_bind_double(outcome, 1, when);
        sqlite3_bind_double(outcome, 2, when);
        sqlite3_bind_text(outcome, 3, ids[i].c_str(), -1, SQLITE_STATIC);
        check(sqlite3_step(outcome), db);
        sqlite3_reset(outcome);
        continue;
      }
      std::string source = folder + "/" + names[i];
      std::string destination = folder + "/Documents/" + names[i];
      sqlite3_bind_text(intent, 1, ids[i].c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_text(intent, 2, runID.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_int64(intent, 3, static_cast<int64_t>(i));
      sqlite3_bind_text(intent, 4, source.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(intent, 5, destination.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_double(intent, 6, when);
      sqlite3_bind_double(intent, 7, when);
      check(sqlite3_step(intent), db);
      sqlite3_reset(intent);
    }
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
  };
  fs::create_directories(folder + "/Documents");
  for (std::size_t from = 0; from < names.size(); from += kBatchSize) {
    std::size_t to = std::min(names.size(), from + kBatchSize);
    writeBatch(from, to, false);
    for (std::size_t i = from; i < to; ++i) {
      std::string source = folder + "/" + names[i];
      struct stat status;
      if (lstat(source.c_str(), &status) != 0) fail("lstat " + source);
      std::string destination = folder + "/Documents/" + names[i];
      if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) !=
          0) {
        fail("rename " + source);
      }
    }
    writeBatch(from, to, true);
  }
  sqlite3_finalize(intent);
  sqlite3_finalize(outcome);
  sqlite3_close(db);
  double elapsed = seconds(start);

  check(sqlite3_open(database.c_str(), &db), db);
  sqlite3_stmt* count = nullptr;
  check(sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM entry WHERE state = 'committed'", -1, &count,
                           nullptr),
        db);
  check(sqlite3_step(count), db);
  const auto done = static_cast<std::size_t>(sqlite3_column_int64(count, 0));
  sqlite3_finalize(count);
  sqlite3_close(db);
  if (done != names.size()) fail("the floor's journal lacks rows");
  return elapsed;
}

double driverApply(const std::string& driver, const std::string& folder,
                   const std::string& dataHome) {
  setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
  const bench::ProcessRun run = bench::runProcess({driver, "apply", folder});
  if (!run.succeeded) fail("ombrix-driver apply failed");
  if (!fs::exists(folder + "/Documents/report-0.pdf") ||
      std::distance(fs::directory_iterator(folder + "/Documents"), fs::directory_iterator()) !=
          kSameVolumeFiles) {
    fail("ombrix-driver apply did not move every file");
  }
  return run.seconds;
}

bool report(const char* what, double measured, double floor, double target) {
  double ratio = measured / floor;
  bool pass = ratio <= target;
  std::printf("%s\n", what);
  std::printf("  measured  %8.3f s\n", measured);
  std::printf("  floor     %8.3f s\n", floor);
  std::printf("  ratio %.2f (target at most %.1f): %s\n", ratio, target, pass ? "PASS" : "FAIL");
  return pass;
}

bool sameVolumeBench(const std::string& buildTree) {
  std::string driver = buildTree + "/bin/ombrix-driver";
  if (access(driver.c_str(), X_OK) != 0) fail("no " + driver + "; build ombrix-driver first");
  std::vector<double> measured, floors;
  for (int round = 0; round < kRounds; ++round) {
    {
      Scratch scratch(buildTree);
      auto names = makeSameVolumeFolder(scratch.path() + "/in");
      sync();
      floors.push_back(bareSameVolume(scratch.path() + "/in", names, scratch.path() + "/floor.db"));
    }
    {
      Scratch scratch(buildTree);
      makeSameVolumeFolder(scratch.path() + "/in");
      sync();
      measured.push_back(driverApply(driver, scratch.path() + "/in", scratch.path() + "/data"));
    }
  }
  return report("apply: 10,000 same-volume moves by ombrix-driver (plan and apply), median of 3",
                bench::median(measured), bench::median(floors), kSameVolumeTarget);
}

void fsyncPath(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || fsync(fd) != 0) fail("fsync " + path);
  close(fd);
}

// The floor of a cross-volume move: the bytes copied to a staging name, both
// sides hashed, the copy made durable and renamed into place.
double bareCrossVolume(const std::vector<std::string>& sources, const std::string& folder) {
  auto start = Clock::now();
  fs::create_directories(folder);
  std::vector<char> chunk(kChunkSize);
  for (const auto& source : sources) {
    std::string name = fs::path(source).filename();
    std::string staging = folder + "/." + name + ".staging";
    int from = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    int to = open(staging.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (from < 0 || to < 0) fail("open " + source);
    for (;;) {
      ssize_t count = read(from, chunk.data(), chunk.size());
      if (count < 0) fail("read " + source);
      if (count == 0) break;
      if (write(to, chunk.data(), static_cast<std::size_t>(count)) != count) fail("write");
    }
    if (fsync(to) != 0) fail("fsync " + staging);
    close(from);
    close(to);
    const auto copied = bench::evpSha256(staging, chunk);
    const auto original = bench::evpSha256(source, chunk);
    if (!copied || !original) fail("hash " + source);
    if (*copied != *original) fail("copy differs");
    std::string destination = folder + "/" + name;
    if (renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) !=
        0) {
      fail("rename " + staging);
    }
    fsyncPath(folder);
  }
  return seconds(start);
}

std::vector<std::string> makeCrossVolumeSources(const std::string& folder) {
  fs::create_directories(folder);
  std::vector<std::string> out;
  for (int i = 0; i < kCrossVolumeFiles; ++i) {
    out.push_back(folder + "/movie-" + std::to_string(i) + ".bin");
    writeFile(out.back(), kCrossVolumeFileSize, static_cast<char>('a' + i));
  }
  return out;
}

// The executor moves the sources into /dev/shm's own Trash; take them and
// their records out again, and the Trash too when this run made it.
void clearTrashed(const ExecutionReport& done, bool trashExisted, const std::string& trash) {
  std::error_code ignored;
  for (const auto& entry : done.completed) {
    if (!entry.trashedSourceURL) continue;
    fs::path item = entry.trashedSourceURL->path();
    fs::remove(item, ignored);
    fs::remove(
        item.parent_path().parent_path() / "info" / (item.filename().string() + ".trashinfo"),
        ignored);
  }
  if (!trashExisted && !trash.empty()) fs::remove_all(trash, ignored);
}

double executorCrossVolume(const std::vector<std::string>& sources, const std::string& folder,
                           const std::string& database) {
  LiveFileSystem fileSystem;
  SQLiteJournalStore journal(FileURL::fromPath(database));
  SortPlan plan{.createdAt = static_cast<double>(kLongAgo),
                .sourceDirectory = FileURL::fromPath(fs::path(sources[0]).parent_path(), true),
                .ruleSetHash = "bench"};
  for (std::size_t i = 0; i < sources.size(); ++i) {
    auto source = FileURL::fromPath(sources[i]);
    auto destinationFolder = FileURL::fromPath(folder, true);
    plan.moves.push_back(PlannedMove{
        .planSequence = static_cast<int64_t>(i),
        .source = source,
        .destinationDirectory = destinationFolder,
        .destinationURL = destinationFolder.appendingPathComponent(source.lastPathComponent()),
        .matchedRuleID = "movies",
        .fingerprint = fileSystem.metadata(source).fingerprint(),
        .strategy = MoveStrategy::crossVolumeCopyVerifyTrash});
  }
  std::string trash = "/dev/shm/.Trash-" + std::to_string(getuid());
  bool trashExisted = fs::exists(trash) || fs::exists("/dev/shm/.Trash");

  auto start = Clock::now();
  ExecutionReport done = Executor(fileSystem, journal).apply(plan);
  double elapsed = seconds(start);
  clearTrashed(done, trashExisted, trash);
  if (!done.isCompleteSuccess() || done.completed.size() != sources.size()) {
    fail("the executor did not move every file");
  }
  return elapsed;
}

bool crossVolumeBench(const std::string& buildTree) {
  struct stat shm, tree;
  if (stat("/dev/shm", &shm) != 0 || stat(buildTree.c_str(), &tree) != 0 ||
      shm.st_dev == tree.st_dev) {
    std::printf("apply across volumes: skipped, /dev/shm is not a volume of its own here\n");
    return true;
  }
  std::vector<double> measured, floors;
  for (int round = 0; round < kRounds; ++round) {
    {
      Scratch from("/dev/shm");
      Scratch to(buildTree);
      auto sources = makeCrossVolumeSources(from.path());
      floors.push_back(bareCrossVolume(sources, to.path() + "/out"));
    }
    {
      Scratch from("/dev/shm");
      Scratch to(buildTree);
      auto sources = makeCrossVolumeSources(from.path());
      std::string data = to.path() + "/data";
      fs::create_directories(data);
      setenv("XDG_DATA_HOME", data.c_str(), 1);
      measured.push_back(
          executorCrossVolume(sources, to.path() + "/out", data + "/journal.sqlite"));
    }
  }
  return report("apply: 1 GiB across volumes (8 files of 128 MiB) by the executor, median of 3",
                bench::median(measured), bench::median(floors), kCrossVolumeTarget);
}

}  // namespace

int main() {
  std::string buildTree = OMBRIX_BUILD_DIR;
  bool pass = sameVolumeBench(buildTree);
  pass = crossVolumeBench(buildTree) && pass;
  return pass ? 0 : 1;
}

// Crash sweep: the real driver is killed at every fault point of an apply
// or an undo, at several arrivals, by either signal, at random arrivals and
// partway through cross-volume copies. A new process then reconciles,
// and the disk and the journal must show that no file was lost or doubled,
// that every settled entry says where its file is, that no staging file is
// left behind, and that undo still puts every file back as it was. A fault
// whose arrival lies within the run must fire, and one beyond it must not,
// so a hook that is never reached fails the sweep. Then a second crash: the
// reconciliation itself, or the undo of the run it settled, is killed at
// its own points, and a reconciliation after it must come to the same.
//
// OMBRIX_LONG=1 sweeps every arrival and more seeds.
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "rozuzed/execution/cross_volume_move.h"
#include "rozuzed/execution/fault_injection.h"
#include "rozuzed/filesystem/content_hashing.h"
#include "rozuzed/filesystem/trash.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/json.h"
#include "rozuzed/support/uuid.h"
#include "rozuzed/testing/subprocess.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

namespace fs = std::filesystem;
using testing::ProcessResult;
using testing::TemporaryFolder;
using Environment = std::map<std::string, std::optional<std::string>>;

// Old enough that the safety gate never holds a fixture file back.
constexpr double kLongAgo = 1'500'000'000;

// Scenes run side by side and share the Trash of /dev/shm, where names are
// given out again; files of one scene must not look like another's.
double sceneTime(const std::string& token) {
  return kLongAgo + static_cast<double>(std::hash<std::string>{}(token) % 1'000'000'000) / 1000;
}

bool longSweep() {
  const char* value = std::getenv("OMBRIX_LONG");
  return value != nullptr && std::string(value) == "1";
}

// ---------------------------------------------------------------------------
// The case table

enum class Operation { apply, undo };
enum class Layout { sameVolume, crossVolume };

// How the driver is to die: at the nth arrival at a point, or at a random
// arrival chosen by a seed.
struct Fault {
  std::optional<FaultPoint> point;
  int64_t nth = 1;
  std::optional<uint64_t> seed;
  int signal = SIGKILL;
  // Whether the arrival lies within the run, so that the fault must fire,
  // or beyond it, so that it must not.
  bool fires = true;

  Environment environment() const {
    Environment out;
    if (point) out["ROZUZED_FAULT"] = toText(*point);
    if (point) out["ROZUZED_FAULT_NTH"] = std::to_string(nth);
    if (seed) out["ROZUZED_FAULT_RANDOM_SEED"] = std::to_string(*seed);
    if (signal == SIGTERM) out["ROZUZED_FAULT_SIGNAL"] = "TERM";
    return out;
  }

  // The line the driver writes when this fault fires, when it can be known.
  std::optional<std::string> firingLine() const {
    if (seed) return std::nullopt;
    return "ROZUZED_FAULT fired at " + toText(*point) + " arrival " + std::to_string(nth) + "\n";
  }

  std::string description() const {
    std::string out;
    if (seed) {
      out = "seed " + std::to_string(*seed) + " (arrival " +
            std::to_string(FaultInjector::randomTarget(*seed)) + ")";
    } else {
      out = toText(*point) + " arrival " + std::to_string(nth);
    }
    return out + (signal == SIGTERM ? " TERM" : " KILL");
  }
};

struct CrashCase {
  Operation operation;
  Layout layout;
  Fault fault;

  std::string description() const {
    return std::string(operation == Operation::apply ? "apply" : "undo") +
           (layout == Layout::sameVolume ? " same-volume " : " cross-volume ") +
           fault.description();
  }
};

// A point an operation reaches, the arrivals the standard sweep kills at,
// and the last arrival one run makes there. The long sweep kills at every
// arrival and one past the last, so that a run that ends normally is swept
// too.
struct Reach {
  FaultPoint point;
  std::vector<int64_t> arrivals;
  int64_t last;
};

// Arrivals follow the fixtures below: the same-volume folder has 36 moves
// (batches of 32 and 4); the cross-volume one 8 moves in 6 batches, five of
// them copies.
std::vector<Reach> reaches(Operation operation, Layout layout) {
  using enum FaultPoint;
  if (operation == Operation::apply && layout == Layout::sameVolume) {
    return {{beforeIntent, {1, 2}, 2},
            {afterIntentBeforeOperation, {1, 2}, 2},
            {afterOperationBeforeCommit, {1, 2, 31, 32, 33, 36}, 36},
            {beforeFinishRun, {1}, 1}};
  }
  if (operation == Operation::apply) {
    return {{beforeIntent, {1, 4, 6}, 6},
            {afterIntentBeforeOperation, {1, 3, 5}, 6},
            {afterCopyBeforeRename, {1, 2, 3, 4, 5}, 5},
            {afterRenameBeforeTrash, {1, 2, 3, 4, 5}, 5},
            {afterOperationBeforeCommit, {1, 3, 4, 6, 8}, 8},
            {beforeFinishRun, {1}, 1}};
  }
  if (layout == Layout::sameVolume) {
    return {{beforeUndoIntent, {1, 2}, 2},
            {afterUndoIntentBeforeOperation, {1, 2}, 2},
            {afterUndoOperationBeforeCommit, {1, 2, 32, 33, 36}, 36},
            {beforeFinishRun, {1}, 1}};
  }
  return {{beforeUndoIntent, {1}, 1},
          {afterUndoIntentBeforeOperation, {1}, 1},
          {afterUndoOperationBeforeCommit, {1, 2, 3, 5, 6, 8}, 8},
          {beforeFinishRun, {1}, 1}};
}

// How many arrivals, over all points, one run of the operation makes.
int64_t totalArrivals(Operation operation, Layout layout) {
  int64_t total = 0;
  for (const auto& reach : reaches(operation, layout)) total += reach.last;
  return total;
}

std::vector<CrashCase> pointSweep(Operation operation, Layout layout,
                                  const std::vector<Reach>& swept) {
  std::vector<CrashCase> out;
  for (const auto& reach : swept) {
    std::vector<int64_t> arrivals = reach.arrivals;
    if (longSweep()) {
      arrivals.clear();
      for (int64_t n = 1; n <= reach.last + 1; ++n) arrivals.push_back(n);
    }
    for (int64_t nth : arrivals) {
      for (int signal : {SIGKILL, SIGTERM}) {
        out.push_back(
            {operation, layout,
             Fault{
                 .point = reach.point, .nth = nth, .signal = signal, .fires = nth <= reach.last}});
      }
    }
  }
  return out;
}

std::vector<CrashCase> pointSweep(Operation operation, Layout layout) {
  return pointSweep(operation, layout, reaches(operation, layout));
}

// The cases of `cases` that kill by `signal`: the longest sweeps run as two
// tests, so that they end sooner when tests run side by side.
std::vector<CrashCase> bySignal(std::vector<CrashCase> cases, int signal) {
  std::erase_if(cases, [signal](const CrashCase& c) { return c.fault.signal != signal; });
  return cases;
}

// Seeds whose random arrival falls within the run, each arrival once, and
// one whose arrival never comes.
std::vector<CrashCase> randomSweep(Operation operation, Layout layout) {
  const int64_t total = totalArrivals(operation, layout);
  const std::size_t wanted = longSweep() ? static_cast<std::size_t>(total) : 5;
  std::vector<CrashCase> out;
  std::set<int64_t> targets;
  // Each sweep searches from a seed of its own, so that they use others.
  uint64_t seed = 1000 * (static_cast<uint64_t>(operation) * 2 + static_cast<uint64_t>(layout));
  for (; targets.size() < wanted && seed < 1'000'000; ++seed) {
    int64_t target = FaultInjector::randomTarget(seed);
    if (target > total || !targets.insert(target).second) continue;
    int signal = targets.size() % 2 == 0 ? SIGTERM : SIGKILL;
    out.push_back({operation, layout, Fault{.seed = seed, .signal = signal, .fires = true}});
  }
  out.push_back({operation, layout, Fault{.seed = 0, .fires = false}});  // arrival 190
  return out;
}

// Kills inside the copies, after a number of their pieces: two each of the
// first two large files, three of the third, one of each paper. Swept on
// its own, as it is the longest.
std::vector<CrashCase> midCopySweep() {
  return pointSweep(Operation::apply, Layout::crossVolume,
                    {{FaultPoint::midCopyPiece, {1, 2, 3, 4, 5, 7, 8, 9}, 9}});
}

// ---------------------------------------------------------------------------
// The scene: a folder of files with contents no other test has, the data
// folder (journal, run lock, home Trash) and the home folder of the driver.

// Read whole: fixture files are small or few, and most are small.
std::string hashOf(const std::string& path) {
  auto contents = testing::readFile(path);
  if (!contents) throw std::runtime_error("cannot read " + path);
  return ContentHashing::sha256(*contents).sha256;
}

bool startsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Bytes that differ from file to file and from run to run, cheap to make in
// bulk.
std::string uniqueBytes(const std::string& label, std::size_t size) {
  std::vector<uint64_t> words(size / sizeof(uint64_t) + 1);
  uint64_t state = std::hash<std::string>{}(label) | 1;
  for (auto& word : words) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    word = state;
  }
  std::string out = label + "\n";
  out.append(reinterpret_cast<const char*>(words.data()), size);
  out.resize(size);
  return out;
}

// Regular files below a root, by path.
using Snapshot = std::map<std::string, std::string>;

class Scene {
 public:
  explicit Scene(Layout layout) : layout_(layout) {
    if (layout == Layout::crossVolume) shm_.emplace("/dev/shm");
    fs::create_directories(root_ / "data");
    fs::create_directories(root_ / "home");
    fs::create_directories(inbox());
    if (layout == Layout::sameVolume) {
      buildSameVolume();
    } else {
      buildCrossVolume();
    }
    original_ = snapshot();
    for (const auto& [path, hash] : original_) {
      fixtureSizes_.insert(static_cast<std::uintmax_t>(fs::file_size(path)));
    }
  }

  ~Scene() {
    // The Trash of /dev/shm is shared: only the entries of this scene go.
    if (!shm_) return;
    forEachOwnTrashEntry([](const fs::path& info, const fs::path& file) {
      std::error_code ignored;
      fs::remove_all(file, ignored);
      fs::remove(info, ignored);
    });
  }

  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  std::string inbox() const { return (shm_ ? shm_->path() : root_.path()) + "/inbox"; }
  std::string journalPath() const { return root_ / "data/RozuZed/rozuzed.sqlite"; }
  const Snapshot& original() const { return original_; }

  std::vector<std::string> applyArguments() const {
    if (layout_ == Layout::sameVolume) return {"apply", inbox()};
    return {"--rules", root_ / "rules.json", "apply", inbox()};
  }

  ProcessResult driver(const std::vector<std::string>& arguments,
                       Environment environment = {}) const {
    std::vector<std::string> command = {testing::builtProgram("ombrix-driver")};
    command.insert(command.end(), arguments.begin(), arguments.end());
    for (const char* name : {"ROZUZED_FAULT", "ROZUZED_FAULT_NTH", "ROZUZED_FAULT_SIGNAL",
                             "ROZUZED_FAULT_RANDOM_SEED", "ROZUZED_FAULT_DELAY_MS"}) {
      environment.emplace(name, std::nullopt);
    }
    environment["XDG_DATA_HOME"] = root_ / "data";
    environment["HOME"] = root_ / "home";
    return testing::runProcess(command, environment);
  }

  // The folders where the user's files live: the folder being sorted, and
  // for the cross-volume scene the destinations on the other volume.
  std::vector<std::string> userFolders() const {
    if (layout_ == Layout::sameVolume) return {inbox()};
    return {inbox(), root_ / "dest"};
  }

  // Every place outside a Trash where a file of the scene could end up.
  std::vector<std::string> outsideTheTrash() const {
    std::vector<std::string> out = {root_.path()};
    if (shm_) out.push_back(shm_->path());
    return out;
  }

  bool isTrash(const fs::path& path) const { return path == fs::path(root_ / "data/Trash"); }

  Snapshot snapshot() const {
    Snapshot out;
    for (const auto& folder : userFolders()) {
      for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (item.is_regular_file()) out[item.path().string()] = hashOf(item.path().string());
      }
    }
    return out;
  }

  // The hash of a file worth looking at, or absent: only files of a
  // fixture file's size can hold its bytes.
  std::optional<std::string> fixtureHashAt(const std::string& path) const {
    std::error_code error;
    auto status = fs::symlink_status(path, error);
    if (error || !fs::is_regular_file(status)) return std::nullopt;
    auto size = fs::file_size(path, error);
    if (error || fixtureSizes_.count(size) == 0) return std::nullopt;
    return hashOf(path);
  }

  // Drops the Trash copy an apply left of the file `name`, as a user
  // emptying the Trash would, so that its undo copies it back instead of
  // taking it out of the Trash.
  void emptyTrashOf(const std::string& name) {
    forEachOwnTrashEntry([&](const fs::path& info, const fs::path& file) {
      if (file.filename() != name) return;
      fs::remove_all(file);
      fs::remove(info);
    });
  }

  // Sends another file of the same name, size and time as the file `name`
  // of the folder to the Trash, where it takes the name that file's Trash
  // copy had when that is free: neither undo nor recovery may take it for
  // the user's file.
  void trashLookAlike(const std::string& name) {
    const std::string folder = shm_->path() + "/elsewhere";
    fs::create_directories(folder);
    const std::string path = folder + "/" + name;
    testing::writeFile(
        path, uniqueBytes(token_ + " look-alike " + name, sizes_.at(inbox() + "/" + name)), time_);
    Trash::trashItem(FileURL::fromPath(path));
  }

 private:
  void buildSameVolume() {
    const std::vector<std::string> extensions = {"pdf", "jpg", "mp3", "zip", "png", "mov"};
    for (int i = 0; i < 36; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "file-%02d.%s", i,
                    extensions[static_cast<std::size_t>(i) % extensions.size()].c_str());
      addFile(inbox() + "/" + name, 40 + (i * 97) % 700);
    }
    addFile(inbox() + "/notes-a.unknownext", 120);
    addFile(inbox() + "/notes-b.unknownext", 130);
    // Below the scan's depth: left alone.
    fs::create_directories(inbox() + "/Misc");
    addFile(inbox() + "/Misc/inner.jpg", 300);
    // Already sorted, and in the way of file-00.pdf.
    fs::create_directories(inbox() + "/Documents");
    addFile(inbox() + "/Documents/file-00.pdf", 55);
  }

  void buildCrossVolume() {
    const std::string dest = root_ / "dest";
    Json rules = {{"version", 1}, {"rules", Json::array()}};
    auto rule = [&](const char* id, const char* extension, Json destination) {
      rules["rules"].push_back({{"id", id},
                                {"name", id},
                                {"enabled", true},
                                {"priority", rules["rules"].size() + 1},
                                {"match", {{"type", "extension"}, {"values", {extension}}}},
                                {"destination", std::move(destination)}});
    };
    rule("data", "dat", {{"absolute", dest + "/Data"}});
    rule("papers", "pdf", {{"absolute", dest + "/Papers"}});
    rule("notes", "txt", {{"root", "sourceFolder"}, {"path", "Notes"}});
    testing::writeFile(root_ / "rules.json", dumpJson(rules));

    // More than one chunk of hashing each, of sizes no chunk divides.
    const std::size_t mebibyte = 1 << 20;
    addFile(inbox() + "/big-1.dat", mebibyte + 17);
    addFile(inbox() + "/big-2.dat", mebibyte + 4099);
    addFile(inbox() + "/big-3.dat", 2 * mebibyte + 1);
    addFile(inbox() + "/paper-1.pdf", 900);
    addFile(inbox() + "/paper-2.pdf", 1300);
    for (const char* name : {"note-1.txt", "note-2.txt", "note-3.txt"}) {
      addFile(inbox() + "/" + name, 200);
    }
    addFile(inbox() + "/stay.xyz", 210);
    // Already at the destination, in the way of paper-1.pdf.
    fs::create_directories(dest + "/Papers");
    addFile(dest + "/Papers/paper-1.pdf", 950);
  }

  void addFile(const std::string& path, std::size_t size) {
    testing::writeFile(path, uniqueBytes(token_ + " " + path, size), time_);
    sizes_[path] = size;
  }

  // Calls `body` with the .trashinfo record and the trashed item of every
  // entry of the /dev/shm Trash that came from this scene.
  template <class Body>
  void forEachOwnTrashEntry(Body&& body) const {
    const std::string uid = std::to_string(::getuid());
    // Trash records name their item relative to the top of the mount.
    const std::string ours = fs::path(shm_->path()).filename().string() + "/";
    for (const std::string& trash : {"/dev/shm/.Trash-" + uid, "/dev/shm/.Trash/" + uid}) {
      std::error_code error;
      std::vector<fs::path> records;
      for (const auto& item : fs::directory_iterator(trash + "/info", error)) {
        records.push_back(item.path());
      }
      for (const auto& info : records) {
        std::ifstream in(info);
        std::string line;
        bool own = false;
        while (std::getline(in, line)) {
          if (!startsWith(line, "Path=")) continue;
          auto path = percentDecode(line.substr(5));
          own = path && startsWith(*path, ours);
        }
        if (!own) continue;
        body(info, fs::path(trash) / "files" / info.stem());
      }
    }
  }

  Layout layout_;
  std::string token_ = Uuid::random().text();
  double time_ = sceneTime(token_);
  TemporaryFolder root_{testing::buildTreeFolder()};
  std::optional<TemporaryFolder> shm_;
  Snapshot original_;
  std::set<std::uintmax_t> fixtureSizes_;
  std::map<std::string, std::size_t> sizes_;
};

// ---------------------------------------------------------------------------
// The journal, read straight from its database, read-only.

struct RunRow {
  std::string id;
  std::string kind;
  std::string state;
};

struct EntryRow {
  std::string runID;
  std::string state;
  std::string source;
  std::string destination;
  std::optional<std::string> temp;
  bool undone = false;
};

struct JournalView {
  std::vector<RunRow> runs;
  std::vector<EntryRow> entries;

  const RunRow* run(const std::string& id) const {
    for (const auto& run : runs) {
      if (run.id == id) return &run;
    }
    return nullptr;
  }
  std::optional<std::string> applyRunID() const {
    for (const auto& run : runs) {
      if (run.kind == "apply") return run.id;
    }
    return std::nullopt;
  }
};

std::optional<std::string> columnText(sqlite3_stmt* statement, int column) {
  auto* text = sqlite3_column_text(statement, column);
  if (text == nullptr) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(text));
}

JournalView readJournal(const std::string& path) {
  JournalView view;
  if (!testing::pathExists(path)) return view;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open the journal: " << sqlite3_errmsg(db);
    sqlite3_close(db);
    return view;
  }
  auto each = [&](const char* sql, auto&& row) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
      return;
    }
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) row(statement);
    if (rc != SQLITE_DONE) ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
    sqlite3_finalize(statement);
  };
  each("SELECT id, kind, state FROM run", [&](sqlite3_stmt* s) {
    view.runs.push_back({*columnText(s, 0), *columnText(s, 1), *columnText(s, 2)});
  });
  each(
      "SELECT runId, state, sourcePath, destinationPath, tempPath, undoneAt IS NOT NULL "
      "FROM entry ORDER BY runId, planSequence",
      [&](sqlite3_stmt* s) {
        view.entries.push_back({*columnText(s, 0), *columnText(s, 1), *columnText(s, 2),
                                *columnText(s, 3), columnText(s, 4),
                                sqlite3_column_int(s, 5) != 0});
      });
  sqlite3_close(db);
  return view;
}

// ---------------------------------------------------------------------------
// The invariants, checked after every reconciliation.

class InvariantChecker {
 public:
  explicit InvariantChecker(const Scene& scene)
      : scene_(scene), journal_(readJournal(scene.journalPath())) {
    for (const auto& root : scene.outsideTheTrash()) survey(root);
  }

  // What must hold right after a reconciliation.
  void checkAll() {
    checkDisk();
    expectEntriesToTellWhereTheirFilesAre();
  }

  // What must hold after any operation has ended; an entry's word on where
  // its file is holds only until a later operation moves the file.
  void checkDisk() {
    expectEverythingSettled();
    expectEveryFileOnceOutsideTheTrash();
    expectNoStagingFileLeft();
  }

  const JournalView& journal() const { return journal_; }

 private:
  void survey(const std::string& root) {
    auto it = fs::recursive_directory_iterator(root);
    for (; it != fs::recursive_directory_iterator(); ++it) {
      if (it->is_directory() && scene_.isTrash(it->path())) {
        it.disable_recursion_pending();
        continue;
      }
      const std::string path = it->path().string();
      if (startsWith(it->path().filename().string(), kStagingPrefix)) staging_.push_back(path);
      if (auto hash = scene_.fixtureHashAt(path)) copies_[*hash].push_back(path);
    }
  }

  void expectEverythingSettled() {
    for (const auto& run : journal_.runs) {
      EXPECT_NE(run.state, "running") << "run " << run.id << " is still running";
    }
    for (const auto& entry : journal_.entries) {
      EXPECT_NE(entry.state, "pending") << entry.source << " -> " << entry.destination;
      // Nothing but the driver touches these files, so an entry that needs
      // the user's attention means the engine lost track of a file.
      EXPECT_NE(entry.state, "needsAttention") << entry.source << " -> " << entry.destination;
    }
  }

  void expectEveryFileOnceOutsideTheTrash() {
    for (const auto& [path, hash] : scene_.original()) {
      auto found = copies_.find(hash);
      std::vector<std::string> places =
          found == copies_.end() ? std::vector<std::string>{} : found->second;
      std::string listed;
      for (const auto& place : places) listed += "\n  " + place;
      EXPECT_EQ(places.size(), 1u)
          << "the bytes of " << path
          << " are outside the Trash at:" << (listed.empty() ? " nowhere" : listed);
    }
  }

  // A committed entry's file is at its destination, an abandoned one's at
  // its source, and an apply entry that was undone has its file back.
  void expectEntriesToTellWhereTheirFilesAre() {
    for (const auto& entry : journal_.entries) {
      const RunRow* run = journal_.run(entry.runID);
      ASSERT_NE(run, nullptr) << "an entry of no run: " << entry.source;
      const bool isApply = run->kind == "apply";
      // The file's first place names it: an apply moved it from there, an
      // undo takes it back there.
      const std::string& home = isApply ? entry.source : entry.destination;
      auto original = scene_.original().find(home);
      ASSERT_NE(original, scene_.original().end()) << "an entry for no fixture file: " << home;

      std::string expected;
      if (entry.state == "committed") {
        expected = isApply && entry.undone ? entry.source : entry.destination;
      } else if (entry.state == "abandoned") {
        expected = entry.source;
      } else {
        continue;
      }
      EXPECT_EQ(scene_.fixtureHashAt(expected), original->second)
          << run->kind << " entry " << entry.state << (entry.undone ? " and undone" : "") << ": "
          << entry.source << " -> " << entry.destination << ", its file is not at " << expected;
    }
  }

  void expectNoStagingFileLeft() {
    for (const auto& path : staging_) {
      bool excused = false;
      for (const auto& entry : journal_.entries) {
        excused = excused || (entry.state == "needsAttention" && entry.temp == path);
      }
      EXPECT_TRUE(excused) << "a staging file was left behind: " << path;
    }
  }

  const Scene& scene_;
  JournalView journal_;
  std::map<std::string, std::vector<std::string>> copies_;
  std::vector<std::string> staging_;
};

// ---------------------------------------------------------------------------
// One case, start to end.

Json outputJson(const ProcessResult& result) {
  return parseJson(result.standardOutput);
}

// The faulty process either died of the fault, or ended normally because
// the arrival never came; both are fine, anything else is not.
bool expectDiedOfTheFaultOrFinished(const ProcessResult& result, const Fault& fault) {
  EXPECT_EQ(result.signal != 0, fault.fires)
      << (fault.fires ? "the fault never fired, although its arrival lies within the run"
                      : "the fault fired, although its arrival lies beyond the run")
      << "\n"
      << result.standardError;
  if (result.signal != 0) {
    EXPECT_EQ(result.signal, fault.signal) << result.standardError;
    if (auto line = fault.firingLine()) {
      EXPECT_EQ(result.standardError, *line);
    } else {
      EXPECT_TRUE(startsWith(result.standardError, "ROZUZED_FAULT fired at "))
          << result.standardError;
    }
    return true;
  }
  EXPECT_EQ(result.exitCode, 0) << result.standardError;
  EXPECT_EQ(result.standardError, "");
  return false;
}

std::set<std::string> recoveredRuns(const JournalView& journal) {
  std::set<std::string> out;
  for (const auto& run : journal.runs) {
    if (run.state == "recovered") out.insert(run.id);
  }
  return out;
}

// Checks the disk and the journal after `reconciled`, a reconciliation that
// ran to its end; `before`: the runs recovered before it began.
void checkReconciled(const Scene& scene, const ProcessResult& reconciled,
                     const std::set<std::string>& before) {
  ASSERT_EQ(reconciled.exitCode, 0) << reconciled.standardError;
  Json outcome = outputJson(reconciled);

  InvariantChecker checker(scene);
  checker.checkAll();
  std::set<std::string> recovered;
  for (const auto& id : recoveredRuns(checker.journal())) {
    if (before.count(id) == 0) recovered.insert(id);
  }
  if (recovered.empty()) {
    EXPECT_EQ(outcome["outcome"], "nothingToRecover") << dumpJson(outcome);
    return;
  }
  ASSERT_EQ(outcome["outcome"], "recovered") << dumpJson(outcome);
  std::set<std::string> reported;
  for (const auto& report : outcome["reports"]) {
    reported.insert(report["runID"].get<std::string>());
    EXPECT_TRUE(report["needsAttention"].empty()) << dumpJson(report);
  }
  EXPECT_EQ(reported, recovered);
}

void reconcileAndCheck(const Scene& scene) {
  const auto before = recoveredRuns(readJournal(scene.journalPath()));
  checkReconciled(scene, scene.driver({"reconcile"}), before);
}

// Undoing the sort, whatever of it is left to undo, gives back the folder
// as it was, byte for byte.
void undoEverythingAndCompare(const Scene& scene) {
  auto apply = readJournal(scene.journalPath()).applyRunID();
  if (apply) {
    auto undone = scene.driver({"undo", *apply});
    if (undone.exitCode != 0) {
      EXPECT_EQ(undone.exitCode, 1);
      EXPECT_EQ(undone.standardError, "Batch " + *apply + " has already been undone\n");
    } else {
      EXPECT_TRUE(outputJson(undone)["completeSuccess"].get<bool>()) << undone.standardOutput;
    }
  }
  EXPECT_EQ(scene.snapshot(), scene.original()) << "the folder is not as it was";
  InvariantChecker(scene).checkDisk();
}

// Runs the operation of `c` on `scene` under its fault (an undo after a
// clean apply). Returns whether the fault fired.
bool crash(Scene& scene, const CrashCase& c) {
  const Environment faulty = c.fault.environment();
  bool fired = false;

  if (c.operation == Operation::apply) {
    fired = expectDiedOfTheFaultOrFinished(scene.driver(scene.applyArguments(), faulty), c.fault);
  } else {
    auto applied = scene.driver(scene.applyArguments());
    EXPECT_EQ(applied.exitCode, 0) << applied.standardError;
    if (applied.exitCode != 0) return false;
    EXPECT_TRUE(outputJson(applied)["completeSuccess"].get<bool>()) << applied.standardOutput;
    // Two large files come back by copy, one out of the Trash; in the Trash
    // a look-alike lies where one of them was.
    if (c.layout == Layout::crossVolume) {
      scene.emptyTrashOf("big-1.dat");
      scene.emptyTrashOf("big-3.dat");
      scene.trashLookAlike("big-1.dat");
    }
    auto apply = readJournal(scene.journalPath()).applyRunID();
    EXPECT_TRUE(apply.has_value());
    if (!apply) return false;
    fired = expectDiedOfTheFaultOrFinished(scene.driver({"undo", *apply}, faulty), c.fault);
    // Files the undo took out of the Trash free their names there; look-alikes
    // thrown away before the next launch take them.
    if (c.layout == Layout::crossVolume) {
      for (const char* name : {"big-2.dat", "paper-1.pdf", "paper-2.pdf"}) {
        scene.trashLookAlike(name);
      }
    }
  }

  return fired;
}

// Returns whether the fault fired.
bool runCase(const CrashCase& c) {
  SCOPED_TRACE(c.description());
  Scene scene(c.layout);
  const bool fired = crash(scene, c);
  reconcileAndCheck(scene);
  undoEverythingAndCompare(scene);
  return fired;
}

// ---------------------------------------------------------------------------
// A second crash, after a first one left a run running: the reconciliation
// is killed, or the undo of the run it settled.

// The arrivals swept at a point reached `last` times: the first, the last
// and one past it, or, in the long sweep, every one and one past the last.
std::vector<int64_t> arrivalsUpTo(int64_t last) {
  std::set<int64_t> out = {1, std::max<int64_t>(1, last), last + 1};
  if (longSweep()) {
    for (int64_t n = 1; n <= last + 1; ++n) out.insert(n);
  }
  return {out.begin(), out.end()};
}

// The points a reconciliation reaches, counted from the journal it starts
// from rather than from the hooks: once per pending entry of a run left
// running, and once more for each such run that is an undo.
std::vector<Reach> reconcileReaches(const JournalView& journal) {
  int64_t pending = 0;
  int64_t undoRuns = 0;
  for (const auto& run : journal.runs) {
    if (run.state == "running" && run.kind == "undo") ++undoRuns;
  }
  for (const auto& entry : journal.entries) {
    const RunRow* run = journal.run(entry.runID);
    if (run != nullptr && run->state == "running" && entry.state == "pending") ++pending;
  }
  return {{FaultPoint::afterRecoveryOperationBeforeCommit, {}, pending},
          {FaultPoint::afterRecoveryMarkUndoneBeforeCommit, {}, undoRuns}};
}

// The points an undo of the run `runID` reaches, counted from its entries
// that can be undone: nothing changes the scene meanwhile, so each goes
// back, in batches of 32.
std::vector<Reach> undoReaches(const JournalView& journal, const std::string& runID) {
  int64_t undoable = 0;
  for (const auto& entry : journal.entries) {
    if (entry.runID == runID && entry.state == "committed" && !entry.undone) ++undoable;
  }
  const int64_t batches = (undoable + 31) / 32;
  return {{FaultPoint::beforeUndoIntent, {}, batches},
          {FaultPoint::afterUndoIntentBeforeOperation, {}, batches},
          {FaultPoint::afterUndoOperationBeforeCommit, {}, undoable},
          {FaultPoint::beforeFinishRun, {}, undoable > 0 ? 1 : 0}};
}

enum class SecondVictim { reconcile, undoOfTheSettledRun };

struct SecondCrash {
  CrashCase first;
  SecondVictim victim;
  Fault fault;

  std::string description() const {
    return first.description() + ", then " +
           (victim == SecondVictim::reconcile ? "reconcile " : "the undo of the settled run ") +
           fault.description();
  }
};

// After `first` on `scene`: the run that reconciling settles, read before
// it is undone.
std::optional<std::string> settleAndFindTheApply(const Scene& scene) {
  reconcileAndCheck(scene);
  return readJournal(scene.journalPath()).applyRunID();
}

// What the second victim reaches after `first`, learnt on a scene of its
// own from the journal.
std::vector<Reach> reachesAfter(const CrashCase& first, SecondVictim victim) {
  Scene scene(first.layout);
  EXPECT_TRUE(crash(scene, first)) << first.description();
  if (victim == SecondVictim::reconcile) return reconcileReaches(readJournal(scene.journalPath()));
  auto apply = settleAndFindTheApply(scene);
  EXPECT_TRUE(apply.has_value());
  return undoReaches(readJournal(scene.journalPath()), apply.value_or(""));
}

std::vector<SecondCrash> secondCrashSweep(const std::vector<CrashCase>& firsts,
                                          SecondVictim victim) {
  std::vector<SecondCrash> out;
  for (const auto& first : firsts) {
    for (const auto& reach : reachesAfter(first, victim)) {
      for (int64_t nth : arrivalsUpTo(reach.last)) {
        for (int signal : {SIGKILL, SIGTERM}) {
          if (signal == SIGTERM && !longSweep()) continue;
          out.push_back({first, victim,
                         Fault{.point = reach.point,
                               .nth = nth,
                               .signal = signal,
                               .fires = nth <= reach.last}});
        }
      }
    }
  }
  return out;
}

// Returns whether the second fault fired.
bool runSecondCrash(const SecondCrash& c) {
  SCOPED_TRACE(c.description());
  Scene scene(c.first.layout);
  EXPECT_TRUE(crash(scene, c.first));
  const Environment faulty = c.fault.environment();
  bool fired = false;
  if (c.victim == SecondVictim::reconcile) {
    const auto before = recoveredRuns(readJournal(scene.journalPath()));
    auto killed = scene.driver({"reconcile"}, faulty);
    fired = expectDiedOfTheFaultOrFinished(killed, c.fault);
    if (fired) {
      reconcileAndCheck(scene);
    } else {
      checkReconciled(scene, killed, before);
    }
  } else {
    auto apply = settleAndFindTheApply(scene);
    EXPECT_TRUE(apply.has_value());
    if (!apply) return false;
    fired = expectDiedOfTheFaultOrFinished(scene.driver({"undo", *apply}, faulty), c.fault);
    reconcileAndCheck(scene);
  }
  undoEverythingAndCompare(scene);
  return fired;
}

CrashCase killedAt(Operation operation, Layout layout, FaultPoint point, int64_t nth) {
  return {operation, layout, Fault{.point = point, .nth = nth, .fires = true}};
}

class CrashSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing::pathExists(testing::builtProgram("ombrix-driver")))
        << testing::builtProgram("ombrix-driver");
  }

  // Why cross-volume moves cannot be made here, if they cannot: they need
  // the build tree and /dev/shm on two mounts.
  static std::optional<std::string> noSecondVolume() {
    if (testing::secondVolumeBeside(testing::buildTreeFolder())) return std::nullopt;
    return "/dev/shm is missing or on the build tree's volume";
  }

  static void sweep(const std::vector<CrashCase>& cases) {
    std::size_t fired = 0;
    for (const auto& c : cases) {
      if (runCase(c)) ++fired;
      if (HasFatalFailure()) return;
    }
    std::cout << cases.size() << " cases, " << fired << " killed by their fault\n";
  }

  static void sweep(const std::vector<SecondCrash>& cases) {
    std::size_t fired = 0;
    for (const auto& c : cases) {
      if (runSecondCrash(c)) ++fired;
      if (HasFatalFailure()) return;
    }
    std::cout << cases.size() << " cases, " << fired << " killed by their second fault\n";
  }
};

TEST_F(CrashSweep, ApplySameVolume) {
  sweep(pointSweep(Operation::apply, Layout::sameVolume));
}

TEST_F(CrashSweep, ApplyCrossVolumeKilled) {
  if (auto reason = noSecondVolume()) GTEST_SKIP() << *reason;
  sweep(bySignal(pointSweep(Operation::apply, Layout::crossVolume), SIGKILL));
}

TEST_F(CrashSweep, ApplyCrossVolumeTerminated) {
  if (auto reason = noSecondVolume()) GTEST_SKIP() << *reason;
  sweep(bySignal(pointSweep(Operation::apply, Layout::crossVolume), SIGTERM));
}

TEST_F(CrashSweep, ApplyCrossVolumeMidCopy) {
  if (auto reason = noSecondVolume()) GTEST_SKIP() << *reason;
  sweep(midCopySweep());
}

TEST_F(CrashSweep, UndoSameVolume) {
  sweep(pointSweep(Operation::undo, Layout::sameVolume));
}

TEST_F(CrashSweep, UndoCrossVolumeKilled) {
  if (auto reason = noSecondVolume()) GTEST_SKIP() << *reason;
  sweep(bySignal(pointSweep(Operation::undo, Layout::crossVolume), SIGKILL));
}

TEST_F(CrashSweep, UndoCrossVolumeTerminated) {
  if (auto reason = noSecondVolume()) GTEST_SKIP() << *reason;
  sweep(bySignal(pointSweep(Operation::undo, Layout::crossVolume), SIGTERM));
}

TEST_F(CrashSweep, RandomArrivalsSameVolume) {
  std::vector<CrashCase> cases = randomSweep(Operation::apply, Layout::sameVolume);
  for (auto& c : randomSweep(Operation::undo, Layout::sameVolume)) cases.push_back(c);
  sweep(cases);
}

TEST_F(CrashSweep, RandomArrivalsCrossVolume) {
  if (auto reason = noSecondVolume()) GTEST_SKIP() << *reason;
  std::vector<CrashCase> cases = randomSweep(Operation::apply, Layout::crossVolume);
  for (auto& c : randomSweep(Operation::undo, Layout::crossVolume)) cases.push_back(c);
  sweep(cases);
}

// The first crashes leave pending entries of every kind a reconciliation
// settles: files moved and not, a source beside its placed copy, a staging
// file, files an undo put back and not.
TEST_F(CrashSweep, ReconcileKilledSameVolume) {
  using enum FaultPoint;
  sweep(secondCrashSweep(
      {killedAt(Operation::apply, Layout::sameVolume, afterOperationBeforeCommit, 2),
       killedAt(Operation::undo, Layout::sameVolume, afterUndoOperationBeforeCommit, 2)},
      SecondVictim::reconcile));
}

TEST_F(CrashSweep, ReconcileKilledCrossVolume) {
  if (auto reason = noSecondVolume()) GTEST_SKIP() << *reason;
  using enum FaultPoint;
  sweep(secondCrashSweep(
      {killedAt(Operation::apply, Layout::crossVolume, afterRenameBeforeTrash, 2),
       killedAt(Operation::apply, Layout::crossVolume, afterCopyBeforeRename, 3),
       killedAt(Operation::undo, Layout::crossVolume, afterUndoOperationBeforeCommit, 3)},
      SecondVictim::reconcile));
}

TEST_F(CrashSweep, UndoOfARecoveredRunKilledSameVolume) {
  sweep(secondCrashSweep(
      {killedAt(Operation::apply, Layout::sameVolume, FaultPoint::beforeFinishRun, 1)},
      SecondVictim::undoOfTheSettledRun));
}

TEST_F(CrashSweep, UndoOfARecoveredRunKilledCrossVolume) {
  if (auto reason = noSecondVolume()) GTEST_SKIP() << *reason;
  sweep(secondCrashSweep(
      {killedAt(Operation::apply, Layout::crossVolume, FaultPoint::afterRenameBeforeTrash, 3)},
      SecondVictim::undoOfTheSettledRun));
}

}  // namespace
}  // namespace rozuzed

#include "sortappkit/app_model.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QSettings>
#include <atomic>
#include <ctime>
#include <future>

#include "rozuzed/rules/rule_engine.h"
#include "rozuzed/testing/subprocess.h"
#include "sortappkit/app_error.h"
#include "sortappkit/engine_fixture.h"
#include "sortappkit/fake_bookmarks.h"
#include "sortappkit/folder_access/user_defaults_bookmark_store.h"
#include "sortappkit/lock_holder.h"
#include "sortappkit/manual_dispatcher.h"

namespace sortappkit {
namespace {

using rozuzed::FileURL;
using rozuzed::Uuid;
using Phase = AppModel::Phase;
using Problem = AppModel::Problem;
using testing::LockHolder;

}  // namespace

void PrintTo(AppModel::Phase phase, std::ostream* out) {
  constexpr const char* names[] = {"empty", "scanning", "review", "applying", "result"};
  *out << names[static_cast<int>(phase)];
}

namespace {

const std::string kAnotherCopy = "Another copy of Ombrix is working on these files.";
const std::string kWait = "Wait for it to finish, then try again.";

// Hands every task on to the test's main thread, but at the post it is told
// to hold the posting thread (the engine's) waits until the test lets it
// go: a run can be caught between two files without any waiting on time.
class GateDispatcher final : public MainThreadDispatcher {
 public:
  explicit GateDispatcher(std::shared_ptr<testing::ManualDispatcher> main)
      : main_(std::move(main)) {}

  // Holds the `nth` post from now on.
  void holdAt(int nth) {
    posts_ = 0;
    holdAt_ = nth;
    held_ = false;
    release_ = std::promise<void>();
  }
  bool held() const { return held_; }
  void release() { release_.set_value(); }

  void post(std::function<void()> task) override {
    if (++posts_ != holdAt_) return main_->post(std::move(task));
    std::future<void> released = release_.get_future();
    held_ = true;
    main_->post(std::move(task));
    released.wait();
  }

 private:
  std::shared_ptr<testing::ManualDispatcher> main_;
  std::atomic<int> posts_ = 0;
  std::atomic<int> holdAt_ = 0;
  std::atomic<bool> held_ = false;
  std::promise<void> release_;
};

class AppModelTest : public ::testing::Test, public testing::EngineFixture {
 protected:
  void SetUp() override {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(root / "settings"));
  }

  std::shared_ptr<AppModel> makeModel(std::optional<Problem> startupProblem = std::nullopt) {
    return AppModel::create(engine, dispatcher, std::move(startupProblem), bookmarks,
                            AppModel::defaultBookmarkKey, platform);
  }

  // Starts one operation and runs the main thread until it has ended.
  void run(const std::function<void(AppModel::Done)>& operation) {
    bool ended = false;
    operation([&ended] { ended = true; });
    ASSERT_TRUE(dispatcher->runUntil([&ended] { return ended; })) << "the operation never ended";
  }

  void chooseAndScan(AppModel& model) {
    run([&](auto done) { model.chooseFolder(folderURL(), done); });
    ASSERT_EQ(model.phase().get(), Phase::review);
    ASSERT_TRUE(model.plan().get());
  }

  void expectProblem(const AppModel& model, const std::string& title, const std::string& message,
                     const std::optional<std::string>& suggestion) {
    ASSERT_TRUE(model.problem().get()) << "no problem, expected " << title;
    EXPECT_EQ(model.problem().get()->title, title);
    EXPECT_EQ(model.problem().get()->message, message);
    EXPECT_EQ(model.problem().get()->suggestion, suggestion);
  }

  const MoveRow& row(const AppModel& model, const std::string& name) {
    for (const auto& group : model.plan().get()->groups) {
      for (const auto& each : group.rows) {
        if (each.name == name) return each;
      }
    }
    throw std::runtime_error("no row " + name);
  }

  const DestinationGroup& group(const AppModel& model, const std::string& displayName) {
    for (const auto& each : model.plan().get()->groups) {
      if (each.displayName == displayName) return each;
    }
    throw std::runtime_error("no group " + displayName);
  }

  std::string storedBookmark() {
    return bookmarks->data(AppModel::defaultBookmarkKey).value_or("");
  }

  std::shared_ptr<testing::ManualDispatcher> dispatcher =
      std::make_shared<testing::ManualDispatcher>();
  std::shared_ptr<BookmarkStore> bookmarks = std::make_shared<InMemoryBookmarkStore>();
  std::shared_ptr<testing::FakeBookmarks> platform = std::make_shared<testing::FakeBookmarks>();
};

TEST_F(AppModelTest, StartsEmptyWithTheStartupProblem) {
  auto plain = makeModel();
  EXPECT_EQ(plain->phase().get(), Phase::empty);
  EXPECT_FALSE(plain->problem().get());
  EXPECT_FALSE(plain->folderName());
  EXPECT_EQ(plain->selectedCount(), 0u);
  EXPECT_FALSE(plain->canApply());
  plain->setAll(false);
  EXPECT_EQ(plain->selection().get(), Selection());

  const Problem startup("Undo history is unavailable", "Journal unavailable: disk full");
  EXPECT_EQ(makeModel(startup)->problem().get(), startup);
  EXPECT_EQ(startup.suggestion, std::nullopt);
  EXPECT_EQ(startup.id(), "Undo history is unavailableJournal unavailable: disk full");
  EXPECT_EQ(Problem("a", "b", "c").id(), Problem("a", "b", "d").id());
  EXPECT_NE(Problem("a", "b", "c"), Problem("a", "b", "d"));
}

TEST_F(AppModelTest, TheWholeRoadFromChoosingToUndoing) {
  bookmarks = std::make_shared<UserDefaultsBookmarkStore>();
  for (const char* name :
       {"photo10.jpg", "photo2.jpg", "Shot.png", "notes.txt", "song.mp3", "data.unknown-kind"}) {
    addFile(name, name);
  }
  auto model = makeModel();
  std::vector<Phase> phases;
  model->phase().observe([&](Phase p) { phases.push_back(p); });

  run([&](auto done) { model->restoreFolder(done); });
  EXPECT_EQ(model->phase().get(), Phase::empty);
  EXPECT_FALSE(model->plan().get()) << "nothing stored, so nothing scanned";
  EXPECT_FALSE(model->problem().get());
  EXPECT_TRUE(model->history().get().empty());

  bool chosen = false;
  model->chooseFolder(folderURL(), [&] { chosen = true; });
  EXPECT_EQ(model->phase().get(), Phase::scanning);
  EXPECT_EQ(model->folderName(), "Downloads");
  EXPECT_FALSE(storedBookmark().empty());
  EXPECT_EQ(UserDefaultsBookmarkStore().data("ombrix.folder.bookmark"), storedBookmark());
  ASSERT_TRUE(dispatcher->runUntil([&] { return chosen; }));
  EXPECT_EQ(model->phase().get(), Phase::review);
  EXPECT_TRUE(model->folder().get()->isActive());

  const PlanViewModel& plan = *model->plan().get();
  std::vector<std::string> groups;
  for (const auto& each : plan.groups) groups.push_back(each.displayName);
  EXPECT_EQ(groups, (std::vector<std::string>{"Audio", "Documents", "Images"}));
  std::vector<std::string> images;
  for (const auto& each : group(*model, "Images").rows) images.push_back(each.name);
  EXPECT_EQ(images, (std::vector<std::string>{"photo2.jpg", "photo10.jpg", "Shot.png"}));
  ASSERT_EQ(plan.skipped.size(), 1u);
  EXPECT_EQ(plan.skipped[0].name, "data.unknown-kind");
  EXPECT_EQ(plan.skipped[0].reasonLabel, "no matching rule");
  EXPECT_EQ(model->selectedCount(), 5u);
  EXPECT_TRUE(model->canApply());

  model->toggle(row(*model, "notes.txt"));
  EXPECT_FALSE(model->isSelected(row(*model, "notes.txt")));
  EXPECT_EQ(model->groupState(group(*model, "Documents")), GroupSelectionState::none);
  model->setGroup(group(*model, "Images"), false);
  model->toggle(row(*model, "Shot.png"));
  EXPECT_EQ(model->groupState(group(*model, "Images")), GroupSelectionState::mixed);
  model->setGroup(group(*model, "Images"), true);
  EXPECT_EQ(model->groupState(group(*model, "Images")), GroupSelectionState::all);
  // Selecting what is selected already changes nothing and announces nothing.
  int announced = 0;
  const int64_t token = model->selection().observe([&](const auto&) { ++announced; });
  model->setGroup(group(*model, "Images"), true);
  EXPECT_EQ(announced, 0);
  model->setAll(false);
  EXPECT_EQ(announced, 1);
  model->selection().unobserve(token);
  EXPECT_EQ(model->selectedCount(), 0u);
  EXPECT_FALSE(model->canApply());
  model->setAll(true);
  model->toggle(row(*model, "notes.txt"));
  EXPECT_EQ(model->selectedCount(), 4u);

  std::vector<rozuzed::ExecutionProgress> progress;
  model->progress().observe([&](const auto& value) {
    if (value) progress.push_back(*value);
  });
  bool sorted = false;
  model->apply([&] { sorted = true; });
  EXPECT_EQ(model->phase().get(), Phase::review) << "the saved plan is fetched first";
  ASSERT_TRUE(dispatcher->runOne());
  EXPECT_EQ(model->phase().get(), Phase::applying);
  EXPECT_EQ(model->progressTitle().get(), "Sorting…");
  EXPECT_EQ(model->progress().get(), (rozuzed::ExecutionProgress{0, 4, std::nullopt}));
  ASSERT_TRUE(dispatcher->runUntil([&] { return model->phase().get() == Phase::result; }));
  EXPECT_FALSE(model->progress().get());
  ASSERT_GE(progress.size(), 5u) << "one value before each file and one at the end";
  EXPECT_EQ(progress.back().completedCount, 4);
  EXPECT_EQ(progress.back().totalCount, 4);
  ASSERT_TRUE(dispatcher->runUntil([&] { return sorted; }));

  const RunResult& result = *model->lastRun().get();
  EXPECT_EQ(result.folder, folderURL());
  EXPECT_TRUE(result.isCompleteSuccess());
  EXPECT_TRUE(result.canUndo());
  ASSERT_EQ(result.moved.size(), 4u);
  std::map<std::string, std::string> movedTo;
  for (const auto& moved : result.moved) movedTo[moved.name] = moved.destinationName;
  EXPECT_EQ(movedTo, (std::map<std::string, std::string>{{"photo10.jpg", "Images"},
                                                         {"photo2.jpg", "Images"},
                                                         {"Shot.png", "Images"},
                                                         {"song.mp3", "Audio"}}));
  EXPECT_TRUE(exists("Images/photo10.jpg"));
  EXPECT_TRUE(exists("notes.txt")) << "a deselected file stays";

  ASSERT_EQ(model->history().get().size(), 1u);
  EXPECT_EQ(model->history().get().front().id, result.id);
  EXPECT_EQ(model->history().get().front().movedCount, 4);
  EXPECT_EQ(model->history().get().front().folderName(), "Downloads");
  EXPECT_EQ(model->undoableBatch()->id, result.id);

  bool undone = false;
  phases.clear();
  model->undo(result.id, [&] { undone = true; });
  EXPECT_EQ(model->phase().get(), Phase::applying);
  EXPECT_EQ(model->progressTitle().get(), "Putting files back…");
  EXPECT_FALSE(model->progress().get());
  ASSERT_TRUE(dispatcher->runUntil([&] { return undone; }));
  EXPECT_EQ(phases, (std::vector<Phase>{Phase::applying, Phase::scanning, Phase::review}));
  ASSERT_TRUE(model->lastUndo().get());
  EXPECT_EQ(model->lastUndo().get()->batchID, result.id);
  EXPECT_EQ(model->lastUndo().get()->restoredCount, 4);
  EXPECT_TRUE(model->lastUndo().get()->isCompleteSuccess());
  EXPECT_TRUE(exists("photo10.jpg"));
  EXPECT_FALSE(exists("Images/photo10.jpg"));
  EXPECT_EQ(model->history().get().front().undoneCount, 4);
  EXPECT_FALSE(model->undoableBatch());
  EXPECT_FALSE(model->isSelected(row(*model, "notes.txt")))
      << "a deselection survives the rescan while its file is still planned";
  EXPECT_EQ(model->selectedCount(), 4u);

  bool rescanned = false;
  model->scan([&] { rescanned = true; });
  EXPECT_EQ(model->phase().get(), Phase::scanning);
  EXPECT_FALSE(model->plan().get()) << "the plan under review is let go while the folder is read";
  ASSERT_TRUE(dispatcher->runUntil([&] { return rescanned; }));
  EXPECT_EQ(model->phase().get(), Phase::review);
  EXPECT_EQ(model->plan().get()->moveCount(), 5u);

  // A new sort forgets the undo of the sort before, so the result screen
  // shows no stale undo.
  bool sortedAgain = false;
  model->apply([&] { sortedAgain = true; });
  ASSERT_TRUE(dispatcher->runOne());
  EXPECT_EQ(model->phase().get(), Phase::applying);
  EXPECT_FALSE(model->lastUndo().get());
  ASSERT_TRUE(dispatcher->runUntil([&] { return sortedAgain; }));
  EXPECT_EQ(model->phase().get(), Phase::result);
  EXPECT_EQ(model->history().get().size(), 2u);
  EXPECT_FALSE(model->problem().get());
}

TEST_F(AppModelTest, ABusyLockAtLaunchIsReportedAndTheScanFailsToo) {
  addFile("a.jpg");
  bookmarks->save(GrantedFolder::makeBookmark(folderURL()), AppModel::defaultBookmarkKey);
  auto model = makeModel();
  std::vector<std::string> titles;
  model->problem().observe([&](const auto& problem) {
    if (problem) titles.push_back(problem->title);
  });
  LockHolder other(lockPath());
  ASSERT_TRUE(other.locked());

  run([&](auto done) { model->restoreFolder(done); });
  EXPECT_EQ(titles, (std::vector<std::string>{"Could not check for interrupted work",
                                              "Could not read that folder"}));
  expectProblem(*model, "Could not read that folder", kAnotherCopy, kWait);
  EXPECT_FALSE(model->recovery().get());
  EXPECT_TRUE(model->unresolved().get().empty());
  EXPECT_EQ(model->phase().get(), Phase::review) << "the folder is still active";
  EXPECT_FALSE(model->plan().get());

  other.release();
  model->problem().set(std::nullopt);
  run([&](auto done) { model->reconcile(done); });
  EXPECT_FALSE(model->problem().get());
  LockHolder again(lockPath());
  run([&](auto done) { model->reconcile(done); });
  expectProblem(*model, "Could not check for interrupted work", kAnotherCopy, kWait);
}

TEST_F(AppModelTest, ABusyLockStopsSortingAndUndoing) {
  addFile("a.jpg");
  addFile("b.txt");
  auto model = makeModel();
  chooseAndScan(*model);
  const PlanViewModel planBefore = *model->plan().get();
  model->toggle(row(*model, "b.txt"));
  const Selection selectionBefore = model->selection().get();

  {
    LockHolder other(lockPath());
    run([&](auto done) { model->apply(done); });
    expectProblem(*model, "Sorting stopped", kAnotherCopy, kWait);
    EXPECT_EQ(model->phase().get(), Phase::review);
    EXPECT_EQ(model->plan().get(), planBefore);
    EXPECT_EQ(model->selection().get(), selectionBefore);
    EXPECT_FALSE(model->lastRun().get());
    EXPECT_FALSE(model->progress().get());
    EXPECT_TRUE(exists("a.jpg"));
  }

  run([&](auto done) { model->apply(done); });
  ASSERT_EQ(model->phase().get(), Phase::result);
  const Uuid sorted = model->lastRun().get()->id;
  {
    LockHolder other(lockPath());
    run([&](auto done) { model->undo(sorted, done); });
    expectProblem(*model, "Could not put those files back", kAnotherCopy, kWait);
    EXPECT_EQ(model->phase().get(), Phase::result);
    EXPECT_FALSE(model->lastUndo().get());
    EXPECT_TRUE(exists("Images/a.jpg"));
  }

  // Undo from the history while the review shows ends on the result screen.
  run([&](auto done) { model->scan(done); });
  ASSERT_EQ(model->phase().get(), Phase::review);
  run([&](auto done) { model->undo(Uuid::random(), done); });
  EXPECT_EQ(model->phase().get(), Phase::result);
  EXPECT_EQ(model->problem().get()->title, "Could not put those files back");
}

TEST_F(AppModelTest, BookmarksThatNoLongerLeadToTheFolder) {
  addFile("a.jpg");
  rozuzed::RunRecord earlier;
  earlier.state = rozuzed::RunState::finished;
  store->beginRun(earlier, {});

  const std::string old = GrantedFolder::makeBookmark(folderURL());
  std::filesystem::rename(folder(), root / "Downloads-old");
  std::filesystem::create_directories(folder());
  addFile("b.jpg");
  bookmarks->save(old, AppModel::defaultBookmarkKey);
  auto stale = makeModel();
  run([&](auto done) { stale->restoreFolder(done); });
  EXPECT_FALSE(stale->problem().get());
  EXPECT_EQ(stale->phase().get(), Phase::review);
  EXPECT_NE(storedBookmark(), old) << "a stale bookmark is stored afresh";
  EXPECT_EQ(storedBookmark(), stale->folder().get()->bookmark());
  EXPECT_EQ(stale->plan().get()->moveCount(), 1u);

  bookmarks->save("not a bookmark", AppModel::defaultBookmarkKey);
  auto unreadable = makeModel();
  run([&](auto done) { unreadable->restoreFolder(done); });
  expectProblem(*unreadable, "That folder could not be opened again",
                "The saved folder could not be opened again.",
                "Choose the folder again to restore access.");
  EXPECT_EQ(unreadable->phase().get(), Phase::empty);
  EXPECT_FALSE(bookmarks->data(AppModel::defaultBookmarkKey)) << "the bad bookmark is removed";
  EXPECT_EQ(unreadable->history().get().size(), 1u) << "the history is still loaded";

  auto next = makeModel();
  run([&](auto done) { next->restoreFolder(done); });
  EXPECT_FALSE(next->problem().get()) << "the next launch finds nothing stored";
}

TEST_F(AppModelTest, AccessRefusedByThePlatform) {
  addFile("a.jpg");
  platform->refuseAccess = true;
  const std::string refusal = "Access to Downloads was lost.";

  bookmarks->save("earlier", AppModel::defaultBookmarkKey);
  auto choosing = makeModel();
  run([&](auto done) { choosing->chooseFolder(folderURL(), done); });
  expectProblem(*choosing, "That folder could not be opened", refusal, "Choose the folder again.");
  EXPECT_EQ(storedBookmark(), "earlier");
  EXPECT_FALSE(choosing->folder().get());
  EXPECT_EQ(choosing->phase().get(), Phase::empty);

  bookmarks->save(GrantedFolder::makeBookmark(folderURL()), AppModel::defaultBookmarkKey);
  auto restoring = makeModel();
  run([&](auto done) { restoring->restoreFolder(done); });
  expectProblem(*restoring, "That folder could not be opened again", refusal,
                "Choose the folder again.");
  EXPECT_FALSE(bookmarks->data(AppModel::defaultBookmarkKey));
  EXPECT_EQ(restoring->phase().get(), Phase::empty);

  platform->refuseBookmarks = true;
  run([&](auto done) { restoring->chooseFolder(folderURL(), done); });
  expectProblem(*restoring, "That folder could not be opened",
                "Could not remember access to Downloads: bookmarks refused", std::nullopt);
}

TEST_F(AppModelTest, AccessLostBeforeAScanEndsInTheEmptyScreen) {
  addFile("a.jpg");
  auto model = makeModel();
  chooseAndScan(*model);
  model->folder().get()->releaseAll();
  platform->refuseAccess = true;
  run([&](auto done) { model->scan(done); });
  expectProblem(*model, "Could not read that folder", "Access to Downloads was lost.",
                "Choose the folder again.");
  EXPECT_EQ(model->phase().get(), Phase::empty);
  EXPECT_FALSE(model->plan().get()) << "a plan the rescan could not confirm is not sorted";
  EXPECT_EQ(model->scanFailure().get(), model->problem().get());
}

TEST_F(AppModelTest, APlanThatCanNoLongerBeFound) {
  addFile("a.jpg");
  auto model = makeModel();
  chooseAndScan(*model);
  sqlite3* database = nullptr;
  ASSERT_EQ(sqlite3_open(databasePath().c_str(), &database), SQLITE_OK);
  sqlite3_busy_timeout(database, 10000);
  EXPECT_EQ(sqlite3_exec(database, "DELETE FROM plan", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(database);

  run([&](auto done) { model->apply(done); });
  expectProblem(*model, "Nothing to sort", "The plan could not be found.", std::nullopt);
  EXPECT_EQ(model->phase().get(), Phase::review);
  EXPECT_TRUE(exists("a.jpg"));
}

TEST_F(AppModelTest, AnInvalidRuleSet) {
  addFile("a.jpg");
  engine = makeEngine(testing::invalidRules);
  std::string expected;
  try {
    rozuzed::RuleEngine check(testing::invalidRules());
  } catch (const rozuzed::SortError& error) {
    expected = error.errorDescription();
  }
  ASSERT_FALSE(expected.empty());

  auto model = makeModel();
  run([&](auto done) { model->chooseFolder(folderURL(), done); });
  expectProblem(*model, "Could not read the rules", expected, std::nullopt);
  EXPECT_EQ(model->phase().get(), Phase::review) << "a failed first scan of an active folder";
  EXPECT_FALSE(model->plan().get());
  EXPECT_EQ(model->scanFailure().get(), model->problem().get());
}

TEST_F(AppModelTest, ARunOfAnotherLiveProcess) {
  // The root locale's standard time style: hours, minutes and seconds.
  rozuzed::testing::ScopedEnvironment locale("LC_ALL", "C");
  rozuzed::RunRecord live;
  live.owner = rozuzed::testing::parentProcessIdentity();
  live.startedAt = rozuzed::currentDate();
  store->beginRun(live, {});
  auto model = makeModel();
  run([&](auto done) { model->reconcile(done); });

  const std::time_t started = static_cast<std::time_t>(live.startedAt);
  std::tm local{};
  localtime_r(&started, &local);
  char time[16];
  std::strftime(time, sizeof time, "%H:%M:%S", &local);
  expectProblem(*model, "Another Ombrix is running",
                kAnotherCopy + "\n\nIt started at " + time + ".", kWait);
  EXPECT_FALSE(model->recovery().get());
}

TEST_F(AppModelTest, ShortcutsWithNothingToDoAskNothingOfTheEngine) {
  auto model = makeModel();
  run([&](auto done) { model->undoMostRecent(done); });
  run([&](auto done) { model->undoRecoveredRun(done); });
  run([&](auto done) { model->clearUnresolved(done); });
  run([&](auto done) { model->scan(done); });
  EXPECT_FALSE(model->problem().get());
  EXPECT_EQ(dispatcher->pending(), 0u) << "none of them asked the engine";
}

TEST_F(AppModelTest, UndoNeedsNoChosenFolder) {
  addFile("a.jpg");
  auto sorting = makeModel();
  chooseAndScan(*sorting);
  run([&](auto done) { sorting->apply(done); });
  const Uuid first = sorting->lastRun().get()->id;
  addFile("b.pdf");
  run([&](auto done) { sorting->scan(done); });
  run([&](auto done) { sorting->apply(done); });
  ASSERT_TRUE(exists("Images/a.jpg") && exists("Documents/b.pdf"));

  // The next launch remembers no folder, as after a crash when the
  // remembered one could not be opened again.
  bookmarks->remove(AppModel::defaultBookmarkKey);
  auto model = makeModel();
  run([&](auto done) { model->restoreFolder(done); });
  ASSERT_FALSE(model->folder().get());
  ASSERT_EQ(model->history().get().size(), 2u);
  std::vector<Phase> phases;
  model->phase().observe([&](Phase p) { phases.push_back(p); });

  // A history row's Undo, then the menu's.
  run([&](auto done) { model->undo(first, done); });
  EXPECT_FALSE(model->problem().get());
  EXPECT_TRUE(exists("a.jpg") && !exists("Images/a.jpg"));
  EXPECT_EQ(model->lastUndo().get()->restoredCount, 1);
  EXPECT_EQ(phases, (std::vector<Phase>{Phase::applying, Phase::empty})) << "no folder to rescan";
  EXPECT_FALSE(model->plan().get());
  run([&](auto done) { model->undoMostRecent(done); });
  EXPECT_FALSE(model->problem().get());
  EXPECT_TRUE(exists("b.pdf") && !exists("Documents/b.pdf"));
  EXPECT_FALSE(model->undoableBatch());

  // A failure without a folder ends where the user can go on: the result
  // screen's Done would have no folder to scan.
  run([&](auto done) { model->undo(Uuid::random(), done); });
  EXPECT_EQ(model->problem().get()->title, "Could not put those files back");
  EXPECT_EQ(model->phase().get(), Phase::empty);
}

TEST_F(AppModelTest, TheMostRecentUndoFollowsTheJournalNotAnOldReading) {
  addFile("a.jpg");
  auto model = makeModel();
  chooseAndScan(*model);
  run([&](auto done) { model->apply(done); });
  const Uuid own = model->lastRun().get()->id;

  // Another copy of the program sorts two more files meanwhile.
  addFile("b.jpg");
  addFile("c.jpg");
  auto other = rozuzed::testing::runProcess(
      {rozuzed::testing::builtProgram("ombrix-driver"), "apply", folder()});
  ASSERT_EQ(other.exitCode, 0) << other.standardError;
  ASSERT_EQ(model->undoableBatch()->id, own) << "what the menu was showing";

  // The menu named this copy's run of one file; the journal's most recent
  // run is now the other's, so nothing moves and the title follows.
  run([&](auto done) { model->undoMostRecent(done); });
  EXPECT_FALSE(model->problem().get());
  EXPECT_TRUE(exists("Images/a.jpg") && exists("Images/b.jpg") && exists("Images/c.jpg"));
  ASSERT_TRUE(model->undoableBatch());
  EXPECT_NE(model->undoableBatch()->id, own);
  EXPECT_EQ(model->undoableBatch()->outstandingCount(), 2);
  EXPECT_EQ(model->phase().get(), Phase::result);

  run([&](auto done) { model->undoMostRecent(done); });
  EXPECT_FALSE(model->problem().get());
  EXPECT_TRUE(exists("b.jpg") && exists("c.jpg"));
  EXPECT_TRUE(exists("Images/a.jpg"));
  EXPECT_EQ(model->undoableBatch()->id, own);

  // A run another live copy is still sorting is never offered.
  rozuzed::RunRecord live;
  live.owner = rozuzed::testing::parentProcessIdentity();
  live.startedAt = rozuzed::currentDate() + 60;
  rozuzed::JournalEntry moved;
  moved.runID = live.id;
  moved.sourceURL = rozuzed::FileURL::fromPath(folder() + "/d.jpg");
  moved.destinationURL = rozuzed::FileURL::fromPath(folder() + "/Images/d.jpg");
  store->beginRun(live, {moved});
  moved.state = rozuzed::EntryState::committed;
  store->commit({moved}, {});
  run([&](auto done) { model->loadHistory(done); });
  ASSERT_EQ(model->history().get()[0].id, live.id);
  EXPECT_TRUE(model->history().get()[0].isRunning);
  EXPECT_FALSE(model->history().get()[0].canUndo());
  EXPECT_EQ(model->undoableBatch()->id, own);
}

TEST_F(AppModelTest, ASecondSortOrUndoOfTheSameRunIsIgnored) {
  addFile("a.jpg");
  auto model = makeModel();
  chooseAndScan(*model);
  bool first = false, second = false;
  model->apply([&] { first = true; });
  model->apply([&] { second = true; });
  EXPECT_TRUE(second) << "ignored at once";
  ASSERT_TRUE(dispatcher->runUntil([&] { return first; }));
  EXPECT_FALSE(model->problem().get());
  EXPECT_EQ(model->history().get().size(), 1u);
  EXPECT_EQ(model->phase().get(), Phase::result);

  const Uuid sorted = model->lastRun().get()->id;
  first = second = false;
  model->undo(sorted, [&] { first = true; });
  model->undo(sorted, [&] { second = true; });
  EXPECT_TRUE(second);
  ASSERT_TRUE(dispatcher->runUntil([&] { return first; }));
  EXPECT_FALSE(model->problem().get()) << "a second undo would have failed as already undone";
  EXPECT_TRUE(exists("a.jpg"));
}

TEST_F(AppModelTest, NoSortOrUndoStartsWhileAnotherIsUnderWay) {
  addFile("a.jpg");
  auto model = makeModel();
  chooseAndScan(*model);
  run([&](auto done) { model->apply(done); });
  const Uuid first = model->lastRun().get()->id;
  addFile("b.jpg");
  run([&](auto done) { model->scan(done); });

  // The history sheet and the menu can ask for an undo of an earlier run
  // while a sort runs.
  bool sorted = false, undoIgnored = false, mostRecentIgnored = false;
  EXPECT_FALSE(model->busy().get());
  model->apply([&] { sorted = true; });
  EXPECT_TRUE(model->busy().get()) << "from the moment the sort is asked for";
  model->undo(first, [&] { undoIgnored = true; });
  model->undoMostRecent([&] { mostRecentIgnored = true; });
  EXPECT_TRUE(undoIgnored && mostRecentIgnored) << "ignored at once";
  ASSERT_TRUE(dispatcher->runUntil([&] { return sorted; }));
  EXPECT_FALSE(model->busy().get());
  EXPECT_FALSE(model->problem().get());
  EXPECT_EQ(model->phase().get(), Phase::result);
  EXPECT_TRUE(exists("Images/a.jpg") && exists("Images/b.jpg"));
  ASSERT_EQ(model->history().get().size(), 2u);
  EXPECT_EQ(model->history().get()[1].undoneCount, 0);

  // Two rows of the history sheet, one after the other.
  const Uuid second = model->lastRun().get()->id;
  bool undone = false, otherIgnored = false;
  model->undo(second, [&] { undone = true; });
  EXPECT_TRUE(model->busy().get());
  model->undo(first, [&] { otherIgnored = true; });
  EXPECT_TRUE(otherIgnored);
  ASSERT_TRUE(dispatcher->runUntil([&] { return undone; }));
  EXPECT_FALSE(model->busy().get()) << "after the rescan that follows";
  EXPECT_FALSE(model->problem().get());
  EXPECT_TRUE(exists("b.jpg"));
  EXPECT_TRUE(exists("Images/a.jpg")) << "the earlier run was not undone alongside";
}

TEST_F(AppModelTest, AStoppedRunEndsBeforeItsNextFileAndWhatMovedCanBeUndone) {
  for (int i = 0; i < 10; ++i) addFile("f" + std::to_string(i) + ".jpg");
  auto gate = std::make_shared<GateDispatcher>(dispatcher);
  auto model = AppModel::create(engine, gate, std::nullopt, bookmarks, AppModel::defaultBookmarkKey,
                                platform);
  chooseAndScan(*model);
  auto inPlace = [&] {
    int count = 0;
    for (const auto& item : std::filesystem::directory_iterator(folder())) {
      count += item.is_regular_file() ? 1 : 0;
    }
    return count;
  };

  // Held just before the third move: the saved plan's lookup, then the
  // progress before each of the first three files.
  gate->holdAt(4);
  bool sorted = false;
  model->apply([&] { sorted = true; });
  ASSERT_TRUE(dispatcher->runUntil([&] { return gate->held(); }));
  model->stopRun();
  gate->release();
  ASSERT_TRUE(dispatcher->runUntil([&] { return sorted; }));
  EXPECT_FALSE(model->problem().get());
  EXPECT_EQ(model->phase().get(), Phase::result);
  EXPECT_EQ(model->lastRun().get()->moved.size(), 3u) << "the file under way, and no other";
  EXPECT_EQ(inPlace(), 7);
  const RunSummary row = model->history().get().at(0);
  EXPECT_EQ(row.movedCount, 3);
  EXPECT_FALSE(row.isRunning) << "ended, not left for recovery";
  ASSERT_TRUE(row.canUndo());

  // An undo stopped alike keeps what it put back, without a rescan.
  std::vector<Phase> phases;
  model->phase().observe([&](Phase p) { phases.push_back(p); });
  gate->holdAt(3);  // the history's reading, then the progress before two files
  bool undone = false;
  model->undo(row.id, [&] { undone = true; });
  ASSERT_TRUE(dispatcher->runUntil([&] { return gate->held(); }));
  model->stopRun();
  gate->release();
  ASSERT_TRUE(dispatcher->runUntil([&] { return undone; }));
  EXPECT_FALSE(model->problem().get());
  EXPECT_EQ(model->lastUndo().get()->restoredCount, 2);
  EXPECT_EQ(inPlace(), 9);
  EXPECT_EQ(phases, (std::vector<Phase>{Phase::applying, Phase::result}));
  EXPECT_EQ(model->history().get().at(0).outstandingCount(), 1);

  // Asked to stop while nothing runs, nothing is left behind to stop the
  // next run.
  model->stopRun();
  run([&](auto done) { model->undo(row.id, done); });
  EXPECT_EQ(inPlace(), 10);
  EXPECT_EQ(model->phase().get(), Phase::review);
}

TEST_F(AppModelTest, FilesThatDifferOnlyInCaseAreBothSorted) {
  addFile("Photo.jpg", "upper");
  addFile("photo.jpg", "lower");
  auto model = makeModel();
  chooseAndScan(*model);
  ASSERT_EQ(model->plan().get()->moveCount(), 2u);
  run([&](auto done) { model->apply(done); });
  ASSERT_EQ(model->phase().get(), Phase::result);
  EXPECT_EQ(model->lastRun().get()->moved.size(), 2u);
  EXPECT_FALSE(exists("Photo.jpg"));
  EXPECT_FALSE(exists("photo.jpg"));
}

TEST_F(AppModelTest, ASortKeepsItsFolderGrantWhenAnotherFolderIsChosen) {
  addFile("a.jpg");
  std::filesystem::create_directories(root / "Other");
  auto model = makeModel();
  chooseAndScan(*model);
  const auto first = model->folder().get();

  bool sorted = false;
  model->apply([&] { sorted = true; });
  ASSERT_TRUE(dispatcher->runOne());
  ASSERT_EQ(model->phase().get(), Phase::applying);
  bool chosen = false;
  model->chooseFolder(FileURL::fromPath(root / "Other", true), [&] { chosen = true; });
  EXPECT_NE(model->folder().get(), first);
  EXPECT_TRUE(first->isActive()) << "the sort still holds the folder it began with";
  EXPECT_EQ(platform->stops, 0);

  ASSERT_TRUE(dispatcher->runUntil([&] { return sorted && chosen; }));
  EXPECT_FALSE(first->isActive()) << "released once the sort has ended";
  EXPECT_EQ(platform->stops, 1);
  EXPECT_TRUE(model->folder().get()->isActive());
  EXPECT_EQ(model->lastRun().get()->folder, folderURL());
  EXPECT_EQ(model->lastRun().get()->moved.at(0).destinationName, "Images");
  EXPECT_TRUE(exists("Images/a.jpg"));

  bool forgotten = false;
  model->scan([&] { forgotten = true; });
  model->forgetFolder();
  ASSERT_TRUE(dispatcher->runUntil([&] { return forgotten; }));
  EXPECT_EQ(model->phase().get(), Phase::empty) << "a scan of a forgotten folder shows nothing";
  EXPECT_FALSE(model->plan().get());
  EXPECT_EQ(platform->stops, 2);
  EXPECT_FALSE(bookmarks->data(AppModel::defaultBookmarkKey));
}

TEST_F(AppModelTest, ProgressAfterTheModelIsGoneChangesNothing) {
  addFile("a.jpg");
  auto model = makeModel();
  chooseAndScan(*model);
  model->apply();
  ASSERT_TRUE(dispatcher->runOne());
  std::weak_ptr<AppModel> weak = model;
  model.reset();
  EXPECT_TRUE(weak.expired());
  // The engine runs in order: once this read is back, the sort has ended.
  awaitEngine<std::vector<rozuzed::BatchSummary>>([&](auto done) { engine->recentBatches(done); });
  while (dispatcher->pending() > 0) dispatcher->runOne();
  EXPECT_TRUE(exists("Images/a.jpg")) << "the engine finishes what it began";
}

TEST_F(AppModelTest, InterruptedSortsAreReconciledAtTheNextLaunchAndPutBack) {
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) addFile(name, name);
  const std::string second = root / "Second";
  std::filesystem::create_directories(second);
  rozuzed::testing::writeFile(second + "/x.jpg", "x", rozuzed::currentDate() - 3600);
  const std::string driver = rozuzed::testing::builtProgram("ombrix-driver");

  // An earlier run killed before it moved anything: nothing to put back.
  auto early = rozuzed::testing::runProcess(
      {driver, "apply", second},
      {{"ROZUZED_FAULT", "afterIntentBeforeOperation"}, {"ROZUZED_FAULT_NTH", "1"}});
  ASSERT_EQ(early.signal, 9) << early.standardError;
  // A later one killed after its second move, before recording it.
  auto late = rozuzed::testing::runProcess(
      {driver, "apply", folder()},
      {{"ROZUZED_FAULT", "afterOperationBeforeCommit"}, {"ROZUZED_FAULT_NTH", "2"}});
  ASSERT_EQ(late.signal, 9) << late.standardError;
  ASSERT_TRUE(exists("Images/a.jpg") && exists("Images/b.jpg") && exists("c.jpg"));

  bookmarks->save(GrantedFolder::makeBookmark(folderURL()), AppModel::defaultBookmarkKey);
  auto model = makeModel();
  run([&](auto done) { model->restoreFolder(done); });
  EXPECT_FALSE(model->problem().get());
  ASSERT_TRUE(model->recovery().get());
  const RecoverySummary notice = *model->recovery().get();
  EXPECT_TRUE(notice.canUndo()) << "a run that can be undone comes before an earlier one";
  EXPECT_FALSE(notice.wasUndo);
  EXPECT_EQ(notice.movedCount, 2);
  EXPECT_EQ(notice.untouchedCount, 2);
  EXPECT_TRUE(notice.needsAttention.empty());
  EXPECT_TRUE(model->unresolved().get().empty());
  ASSERT_EQ(model->history().get().size(), 2u);
  EXPECT_TRUE(model->history().get()[0].wasRecovered);
  EXPECT_EQ(model->history().get()[0].id, notice.id);
  EXPECT_EQ(model->phase().get(), Phase::review);

  // While a sort runs the notice's undo is ignored, and the notice stays.
  bool sorted = false, ignored = false;
  model->setAll(false);
  model->toggle(model->plan().get()->groups.front().rows.front());
  model->apply([&] { sorted = true; });
  model->undoRecoveredRun([&] { ignored = true; });
  EXPECT_TRUE(ignored);
  EXPECT_EQ(model->recovery().get(), notice);
  ASSERT_TRUE(dispatcher->runUntil([&] { return sorted; }));
  EXPECT_EQ(model->lastRun().get()->moved.size(), 1u);
  EXPECT_EQ(model->recovery().get(), notice);

  bool undone = false;
  model->undoRecoveredRun([&] { undone = true; });
  EXPECT_FALSE(model->recovery().get()) << "the notice goes before the undo starts";
  EXPECT_EQ(model->phase().get(), Phase::applying);
  ASSERT_TRUE(dispatcher->runUntil([&] { return undone; }));
  EXPECT_FALSE(model->problem().get());
  EXPECT_EQ(model->lastUndo().get()->restoredCount, 2);
  EXPECT_TRUE(exists("a.jpg") && exists("b.jpg"));
  EXPECT_FALSE(exists("Images/a.jpg"));
  EXPECT_EQ(model->plan().get()->moveCount(), 3u) << "the one file sorted since stays sorted";
}

TEST_F(AppModelTest, ASortFirstSettlesARunKilledMeanwhileAndShowsItsNotice) {
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) addFile(name, name);
  auto model = makeModel();
  run([&](auto done) { model->restoreFolder(done); });
  EXPECT_FALSE(model->recovery().get()) << "nothing to reconcile at launch";

  // Another copy of the program dies after its second move, while this one
  // keeps running; someone then changes one of the moved files.
  auto killed = rozuzed::testing::runProcess(
      {rozuzed::testing::builtProgram("ombrix-driver"), "apply", folder()},
      {{"ROZUZED_FAULT", "afterOperationBeforeCommit"}, {"ROZUZED_FAULT_NTH", "2"}});
  ASSERT_EQ(killed.signal, 9) << killed.standardError;
  std::filesystem::resize_file(folder() + "/Images/b.jpg", 100);

  chooseAndScan(*model);
  run([&](auto done) { model->apply(done); });
  EXPECT_EQ(model->phase().get(), Phase::result);
  EXPECT_FALSE(model->problem().get());
  EXPECT_EQ(model->lastRun().get()->moved.size(), 2u) << "the files the killed run never reached";

  ASSERT_TRUE(model->recovery().get()) << "the notice shows as at launch";
  const RecoverySummary notice = *model->recovery().get();
  EXPECT_NE(notice.id, model->lastRun().get()->id);
  EXPECT_EQ(notice.movedCount, 1);
  EXPECT_EQ(notice.untouchedCount, 2);
  ASSERT_EQ(notice.needsAttention.size(), 1u);
  EXPECT_EQ(notice.needsAttention[0].name, "b.jpg");
  ASSERT_EQ(model->unresolved().get().size(), 1u);
  EXPECT_EQ(model->unresolved().get()[0], notice.needsAttention[0]);
  ASSERT_EQ(model->history().get().size(), 2u);
  EXPECT_TRUE(model->history().get()[1].wasRecovered);
}

}  // namespace
}  // namespace sortappkit

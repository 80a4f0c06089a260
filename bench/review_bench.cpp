// The review screen for a plan of 10,000 and of 100,000 moves in 100 groups:
// the time until it has painted, beside a floor measured in the same run (a
// plain QStandardItemModel with the same rows and columns in a QTreeView),
// and the cost of toggling one row (also with every file deselected),
// toggling one group and pressing "All".
// Passes when showing takes at most 2 times the floor at both sizes and one
// toggle of a row costs under 1% of showing at 100,000 moves. A group is a
// hundredth of the rows, so its toggle is reported beside it, not judged.
//
// The plan comes from the real engine and application model, over files and
// a journal held in memory; only the run lock is a file on disk.
#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/common/symbols.h"
#include "app/common/texts.h"
#include "app/review/moves_table_model.h"
#include "app/review/moves_table_view.h"
#include "app/review/review_view.h"
#include "app/shell/qt_dispatcher.h"
#include "rozuzed/journal/in_memory_journal_store.h"
#include "rozuzed/rules/rule_set_loader.h"
#include "rozuzed/testing/in_memory_file_system.h"
#include "sortappkit/app_model.h"
#include "sortappkit/folder_access/bookmark_store.h"
#include "sortappkit/sort_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
using ombrix::MovesTableModel;
using ombrix::ReviewView;
using sortappkit::AppModel;
using sortappkit::PlanViewModel;

constexpr int kGroups = 100;
constexpr int kRounds = 5;
constexpr double kShowRatio = 2.0;
constexpr double kToggleShare = 0.01;
const std::string kFolder = "/bench/Downloads";

// Every folder may be used; a bookmark is the folder's path.
class OpenBookmarks final : public sortappkit::SecurityScopedBookmarks {
 public:
  std::string bookmarkData(const rozuzed::FileURL& url) const override { return url.path(); }
  Resolved resolve(const std::string& bookmark) const override {
    return {rozuzed::FileURL::fromPath(bookmark, true), false};
  }
  bool startAccessing(const rozuzed::FileURL&) override { return true; }
  void stopAccessing(const rozuzed::FileURL&) override {}
};

// One rule per group: files with the extension "e<k>" go to "Group <k>".
rozuzed::LoadedRuleSet groupRules() {
  rozuzed::Json rules = {{"version", 1}, {"rules", rozuzed::Json::array()}};
  for (int k = 0; k < kGroups; ++k) {
    rules["rules"].push_back(
        {{"id", "group-" + std::to_string(k)},
         {"name", "Rule " + std::to_string(k)},
         {"enabled", true},
         {"priority", k},
         {"match", {{"type", "extension"}, {"values", {"e" + std::to_string(k)}}}},
         {"destination", {{"root", "sourceFolder"}, {"path", "Group " + std::to_string(k)}}}});
  }
  return rozuzed::RuleSetLoader::load(rules.dump(), std::nullopt);
}

void runUntil(const std::function<bool()>& condition) {
  while (!condition()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

// The world of one plan: the files in memory, the engine and the model that
// scanned them.
struct PlannedFolder {
  std::shared_ptr<rozuzed::testing::InMemoryFileSystem> files;
  std::shared_ptr<sortappkit::SortEngine> engine;
  std::shared_ptr<AppModel> model;
};

PlannedFolder plan(int moves) {
  PlannedFolder world;
  world.files = std::make_shared<rozuzed::testing::InMemoryFileSystem>();
  world.files->addFolder(kFolder);
  for (int i = 0; i < moves; ++i) {
    rozuzed::testing::InMemoryFileSystem::FileSpec spec;
    spec.contents.assign(static_cast<std::size_t>(i % 64), 'x');
    world.files->addFile(
        kFolder + "/file_" + std::to_string(i) + ".e" + std::to_string(i % kGroups), spec);
  }
  world.engine = std::make_shared<sortappkit::SortEngine>(
      std::make_shared<rozuzed::InMemoryJournalStore>(),
      rozuzed::FileURL::fromPath("/tmp/ombrix-review-bench.lock"), world.files,
      sortappkit::SortEngine::systemDates(),
      rozuzed::DirectoryRoots(rozuzed::FileURL::fromPath("/bench", true)), groupRules);
  world.model =
      AppModel::create(world.engine, std::make_shared<ombrix::QtDispatcher>(), std::nullopt,
                       std::make_shared<sortappkit::InMemoryBookmarkStore>(),
                       AppModel::defaultBookmarkKey, std::make_shared<OpenBookmarks>());
  bool done = false;
  world.model->chooseFolder(rozuzed::FileURL::fromPath(kFolder, true), [&done] { done = true; });
  runUntil([&done] { return done; });
  return world;
}

// Notes when a widget has been painted.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget* widget) { widget->installEventFilter(this); }
  bool painted = false;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted = true;
    return false;
  }
};

// Runs the event loop until `watch` saw a paint (the paint itself has run
// when processEvents returns).
void waitForPaint(PaintWatch& watch) {
  watch.painted = false;
  runUntil([&watch] { return watch.painted; });
}

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The floor: the same rows and columns as plain items in a tree view, every
// group open and its header across the row.
double showFloor(const PlanViewModel& plan) {
  const auto start = Clock::now();
  QStandardItemModel items;
  items.setHorizontalHeaderLabels(
      {QString(), QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Matched Rule")});
  for (const auto& group : plan.groups) {
    auto* header = new QStandardItem(ombrix::qs(group.displayName));
    header->setCheckable(true);
    header->setCheckState(Qt::Checked);
    for (const auto& row : group.rows) {
      auto* check = new QStandardItem;
      check->setCheckable(true);
      check->setCheckState(Qt::Checked);
      header->appendRow({check, new QStandardItem(ombrix::qs(row.name)),
                         new QStandardItem(ombrix::formatByteCount(row.size)),
                         new QStandardItem(ombrix::qs(row.ruleName))});
    }
    items.appendRow(header);
  }
  QTreeView view;
  view.setUniformRowHeights(true);
  view.setModel(&items);
  for (int g = 0; g < items.rowCount(); ++g) view.setFirstColumnSpanned(g, {}, true);
  view.expandAll();
  view.resize(960, 640);
  PaintWatch watch(view.viewport());
  view.show();
  waitForPaint(watch);
  return since(start);
}

double showScreen(const std::shared_ptr<AppModel>& model, std::unique_ptr<ReviewView>& kept) {
  kept.reset();
  const auto start = Clock::now();
  auto view = std::make_unique<ReviewView>(model);
  view->resize(960, 640);
  PaintWatch watch(view->table()->viewport());
  view->show();
  waitForPaint(watch);
  const double seconds = since(start);
  kept = std::move(view);
  return seconds;
}

// One action on the shown screen and the repaint it causes.
double act(ReviewView& view, const std::function<void()>& action) {
  PaintWatch watch(view.table()->viewport());
  const auto start = Clock::now();
  action();
  waitForPaint(watch);
  return since(start);
}

template <typename Work>
double best(Work&& work) {
  double fastest = 1e300;
  for (int round = 0; round < kRounds; ++round) fastest = std::min(fastest, work());
  return fastest;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ombrix::useInstalledIconTheme();
  ombrix::installTranslations(app);

  bool pass = true;
  for (int moves : {10'000, 100'000}) {
    PlannedFolder world = plan(moves);
    const auto& planned = world.model->plan().get();
    if (!planned || planned->moveCount() != static_cast<std::size_t>(moves) ||
        planned->groups.size() != static_cast<std::size_t>(kGroups)) {
      std::fprintf(stderr, "the engine planned %zu moves in %zu groups, not %d in %d\n",
                   planned ? planned->moveCount() : 0, planned ? planned->groups.size() : 0, moves,
                   kGroups);
      return 2;
    }
    std::unique_ptr<ReviewView> view;
    const double floor = best([&] { return showFloor(*planned); });
    const double showing = best([&] { return showScreen(world.model, view); });
    const double ratio = showing / floor;
    const bool shown = ratio <= kShowRatio;
    pass = pass && shown;
    std::printf("%7d moves: showing %.3f s, floor %.3f s, ratio %.2f (target <= %.1f): %s\n", moves,
                showing, floor, ratio, kShowRatio, shown ? "PASS" : "FAIL");

    ombrix::MovesTableView& table = *view->table();
    const MovesTableModel& rows = *view->tableModel();
    const QModelIndex firstGroup = rows.index(0, 0);
    const QModelIndex aRow = rows.index(3, 0, firstGroup);
    const double row = best([&] { return act(*view, [&] { table.clickCheckBox(aRow); }); });
    const double group = best([&] { return act(*view, [&] { table.clickCheckBox(firstGroup); }); });
    const double all = best([&] {
      world.model->setAll(false);
      return act(*view, [&] { view->allButton()->click(); });
    });
    // With every file deselected the selection holds every key.
    world.model->setAll(false);
    const double rowOfNone = best([&] { return act(*view, [&] { table.clickCheckBox(aRow); }); });
    world.model->setAll(true);
    const double worst = std::max(row, rowOfNone);
    const bool judged = moves == 100'000;
    const bool quick = worst < kToggleShare * showing;
    if (judged) pass = pass && quick;
    std::printf(
        "%7d moves: toggling a row %.2f ms, a row after \"None\" %.2f ms (at most %.2f%% of "
        "showing%s), a group %.2f ms (%.2f%%), \"All\" %.2f ms%s\n",
        moves, row * 1e3, rowOfNone * 1e3, 100 * worst / showing, judged ? ", target < 1%" : "",
        group * 1e3, 100 * group / showing, all * 1e3, judged ? (quick ? ": PASS" : ": FAIL") : "");
    view.reset();
  }
  return pass ? 0 : 1;
}

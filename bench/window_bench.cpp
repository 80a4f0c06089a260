// The window with 100,000 files, as the program runs: its own engine with
// the SQLite journal, its model and its window, on a folder of real files
// (under /dev/shm when there is one, so that a disk's speed is not what is
// measured). Three steps, each started by the button a user would press and
// measured until its screen has painted: Choose to review, Sort to result,
// and Undo to the review after the rescan.
// For each step: the longest time the main thread kept away from its event
// loop (a 5 ms timer's lateness, so input waited that long), and the
// process's peak resident memory once the step is done.
// Passes when no step stalls the main thread over 100 ms and the peak stays
// under 300 MB through all of them.
#include <stdlib.h>

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/result/result_view.h"
#include "app/review/review_view.h"
#include "app/shell/content_view.h"
#include "app/shell/main_window.h"
#include "app/shell/ombrix_app.h"
#include "app/start/folder_picker.h"
#include "bench_support.h"
#include "sortappkit/app_model.h"
#include "sortappkit/sort_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
using sortappkit::AppModel;
using Phase = AppModel::Phase;

constexpr int kFiles = 100'000;
constexpr double kStallLimitMs = 100;
constexpr long kPeakLimitKiB = 300L * 1024;
constexpr int kTickMs = 5;

// How late a timer that should fire every few milliseconds comes at worst:
// the longest the main thread did not return to its event loop.
class StallWatch : public QObject {
 public:
  StallWatch() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kTickMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
      const auto now = Clock::now();
      worstMs_ = std::max(worstMs_,
                          std::chrono::duration<double, std::milli>(now - last_).count() - kTickMs);
      last_ = now;
    });
  }
  void start() {
    worstMs_ = 0;
    last_ = Clock::now();
    timer_.start();
  }
  double stop() {
    timer_.stop();
    return worstMs_;
  }

 private:
  QTimer timer_;
  Clock::time_point last_;
  double worstMs_ = 0;
};

// Notes a paint of the screen on show, or of anything on it.
class ScreenPaints : public QObject {
 public:
  explicit ScreenPaints(ombrix::ContentView& content) : content_(content) {
    qApp->installEventFilter(this);
    QObject::connect(&content, &ombrix::ContentView::screenChanged, this,
                     [this] { painted = false; });
  }
  bool painted = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint || !watched->isWidgetType()) return false;
    QWidget* screen = content_.screen();
    auto* widget = static_cast<QWidget*>(watched);
    if (screen != nullptr && (widget == screen || screen->isAncestorOf(widget))) painted = true;
    return false;
  }

 private:
  ombrix::ContentView& content_;
};

void runUntil(const std::function<bool()>& condition) {
  while (!condition()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

// Runs the event loop and the engine until neither has work left.
void quiesce(sortappkit::SortEngine& engine) {
  for (int round = 0; round < 8; ++round) {
    sortappkit::awaitEngine<std::vector<rozuzed::BatchSummary>>(
        [&engine](auto done) { engine.recentBatches(1, done); });
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  }
}

long peakKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

std::string scratchRoot() {
  const std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
  std::string pattern = base + "/ombrix-window-bench-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::string root = scratchRoot();
  if (root.empty()) {
    std::perror("scratch folder");
    return 2;
  }
  // The journal, the run lock and the remembered folder are the bench's own.
  for (const char* name : {"data", "config", "home"})
    std::filesystem::create_directory(root + "/" + name);
  ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  ::setenv("HOME", (root + "/home").c_str(), 1);
  const std::string folder = root + "/home/Downloads";
  if (!bench::generateFolder(folder, kFiles)) {
    std::perror("making the folder");
    return 2;
  }

  int status = 0;
  {
    QApplication app(argc, argv);
    ombrix::OmbrixApp::prepare(app);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(root + "/config"));
    ombrix::FolderPicker::replace(
        [url = rozuzed::FileURL::fromPath(folder, true)](QWidget*) { return url; });
    ombrix::OmbrixApp ombrix;
    ombrix.show();
    AppModel& model = *ombrix.model();
    ombrix::ContentView& content = *ombrix.window().content();
    quiesce(*model.engine());

    StallWatch stalls;
    ScreenPaints paints(content);
    bool pass = true;
    auto step = [&](const char* what, const std::function<void()> press,
                    const std::function<bool()>& reached) {
      paints.painted = false;
      stalls.start();
      const auto start = Clock::now();
      press();
      runUntil([&] { return reached() && paints.painted; });
      const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
      const double stall = stalls.stop();
      // The step's last engine work (the history after a sort) ends before
      // the next button is pressed, as it would for a user.
      quiesce(*model.engine());
      const long peak = peakKiB();
      const bool passed = stall <= kStallLimitMs && peak < kPeakLimitKiB;
      pass = pass && passed;
      std::printf(
          "%-18s %6.2f s, longest stall %6.0f ms (target <= %.0f), peak %4ld MB "
          "(target < %ld): %s\n",
          what, seconds, stall, kStallLimitMs, peak / 1024, kPeakLimitKiB / 1024,
          passed ? "PASS" : "FAIL");
      std::fflush(stdout);
    };

    step(
        "Choose to review", [&] { content.defaultButton()->click(); },
        [&] { return model.phase().get() == Phase::review && model.plan().get(); });
    const std::size_t moves = model.plan().get() ? model.plan().get()->moveCount() : 0;
    std::printf("%zu of %d files planned to move\n", moves, kFiles);
    step(
        "Sort to result", [&] { content.defaultButton()->click(); },
        [&] { return model.phase().get() == Phase::result; });
    step(
        "Undo to review",
        [&] {
          if (auto* result = qobject_cast<ombrix::ResultView*>(content.screen())) {
            result->undoButton()->click();
          }
        },
        [&] {
          return model.phase().get() == Phase::review && model.lastUndo().get() &&
                 model.lastUndo().get()->restoredCount == static_cast<int64_t>(moves);
        });
    quiesce(*model.engine());
    status = pass && moves > 0 ? 0 : 1;
  }
  std::filesystem::remove_all(root);
  return status;
}

#include "app/shell/ombrix_app.h"

#include <malloc.h>

#include <QApplication>

#include "app/common/desktop_style.h"
#include "app/common/symbols.h"
#include "app/common/texts.h"
#include "app/shell/app_delegate.h"
#include "app/shell/main_window.h"
#include "app/shell/qt_dispatcher.h"
#include "rozuzed/journal/in_memory_journal_store.h"
#include "rozuzed/model/sort_error.h"

namespace ombrix {
namespace {

// Blocks at least this large come straight from the system and go back to
// it when freed.
constexpr int kLargeBlockBytes = 1 << 20;

std::string describeCurrentException() {
  try {
    throw;
  } catch (const rozuzed::SortError& error) {
    return error.errorDescription();
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "The operation could not be completed.";
  }
}

}  // namespace

OmbrixApp::OmbrixApp() : delegate_(std::make_unique<OmbrixAppDelegate>()) {
  std::shared_ptr<sortappkit::SortEngine> engine;
  std::optional<sortappkit::AppModel::Problem> problem;
  try {
    engine = std::make_shared<sortappkit::SortEngine>(sortappkit::SortEngine::defaultStore(),
                                                      std::nullopt);
  } catch (...) {
    problem = journalUnavailable(describeCurrentException());
    engine = std::make_shared<sortappkit::SortEngine>(rozuzed::InMemoryJournalStore::shared(),
                                                      std::nullopt);
  }
  model_ = sortappkit::AppModel::create(std::move(engine), std::make_shared<QtDispatcher>(),
                                        std::move(problem));
  window_ = std::make_unique<MainWindow>(model_, delegate_.get());
  delegate_->setWindow(window_.get());
}

// The window and its screens go first, before the model they watch.
OmbrixApp::~OmbrixApp() = default;

void OmbrixApp::prepare(QApplication& app) {
  // A whole folder's lists (a plan, a run's entries, its report) are made
  // on the engine's thread and let go of on either. The allocator would
  // otherwise raise its own threshold as each is freed and keep the next
  // ones in its heaps, where what is freed stays with the process as holes
  // that the other thread's lists cannot use.
  mallopt(M_MMAP_THRESHOLD, kLargeBlockBytes);
  QApplication::setOrganizationName(QStringLiteral("Ombrix"));
  QApplication::setApplicationName(QStringLiteral("Ombrix"));
  QGuiApplication::setDesktopFileName(QStringLiteral("ombrix"));
  QApplication::setQuitOnLastWindowClosed(true);
  useInstalledIconTheme();
  QApplication::setStyle(new DesktopStyle);
  QApplication::setPalette(readablePalette(QApplication::palette()));
  // The installed theme's icon first, so the window matches the menu entry.
  QApplication::setWindowIcon(
      QIcon::fromTheme(QStringLiteral("ombrix"), QIcon(QStringLiteral(":/icons/ombrix.svg"))));
  installTranslations(app);
}

sortappkit::AppModel::Problem OmbrixApp::journalUnavailable(const std::string& reason) {
  return sortappkit::AppModel::Problem(
      "Undo history is unavailable",
      "Ombrix could not open its record of past moves, so anything you sort in this session can "
      "only be undone before you quit.\n\n" +
          reason,
      "Sorting still works, and nothing will be deleted.");
}

void OmbrixApp::show() {
  window_->placeAsRemembered();
  window_->show();
}

}  // namespace ombrix

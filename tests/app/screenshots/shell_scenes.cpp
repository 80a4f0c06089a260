// The whole window while it scans and while it sorts, its alerts, and
// the preview window over an image, a PDF and a text file.
#include <QApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QTest>
#include <condition_variable>
#include <mutex>

#include "app/review/moves_table_view.h"
#include "app/review/review_view.h"
#include "app/shell/app_delegate.h"
#include "app/shell/content_view.h"
#include "app/shell/main_window.h"
#include "app/shell/ombrix_app.h"
#include "app/shell/progress_overlay.h"
#include "app/shell/qt_dispatcher.h"
#include "rozuzed/journal/sqlite_journal_store.h"
#include "rozuzed/testing/subprocess.h"
#include "rozuzed/testing/temporary_folder.h"
#include "screenshots/scene.h"
#include "sortappkit/folder_access/granted_folder.h"
#include "sortappkit/folder_access/user_defaults_bookmark_store.h"
#include "testing/shell_fixture.h"

namespace ombrix::screenshots {
namespace {

using sortappkit::AppModel;
using Phase = AppModel::Phase;
using testing::WindowFixture;

// Holds the engine's reading of the rule set while closed, so the engine
// stops at that point and the window stays in the phase it is in.
class Gate {
 public:
  void close() {
    std::lock_guard hold(mutex_);
    open_ = false;
  }
  void open() {
    {
      std::lock_guard hold(mutex_);
      open_ = true;
    }
    opened_.notify_all();
  }
  void pass() {
    std::unique_lock hold(mutex_);
    opened_.wait(hold, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = true;
};

// The window as the entry builds it, over the fixture's journal, with an
// engine that can be held at the gate.
struct Shell {
  explicit Shell(WindowFixture& fixture) {
    engine = std::make_shared<sortappkit::SortEngine>(
        fixture.store, std::nullopt, sortappkit::SortEngine::liveFileSystem(),
        sortappkit::SortEngine::systemDates(), rozuzed::DirectoryRoots::current(), [gate = gate] {
          gate->pass();
          return rozuzed::RuleSetLoader::bundledDefault();
        });
    model = AppModel::create(engine, std::make_shared<QtDispatcher>(), std::nullopt);
    delegate = std::make_unique<OmbrixAppDelegate>();
    window = std::make_unique<MainWindow>(model, delegate.get());
    delegate->setWindow(window.get());
  }

  ~Shell() {
    gate->open();
    window.reset();
    delegate.reset();
    model.reset();
    engine.reset();
  }

  // Chooses the fixture's folder and waits for its review.
  void review(WindowFixture& fixture) {
    bool reviewed = false;
    model->chooseFolder(fixture.folderURL(), [&reviewed] { reviewed = true; });
    testing::waitUntil([&reviewed] { return reviewed; });
  }

  void show() {
    window->show();
    testing::waitUntil([this] { return window->isVisible(); });
    testing::quiesce(*engine);
  }

  std::shared_ptr<Gate> gate = std::make_shared<Gate>();
  std::shared_ptr<sortappkit::SortEngine> engine;
  std::shared_ptr<AppModel> model;
  std::unique_ptr<OmbrixAppDelegate> delegate;
  std::unique_ptr<MainWindow> window;
};

void addFiles(WindowFixture& fixture) {
  // As a Downloads folder holds them: a disc image, a package, a program
  // and an e-book among the pictures and papers.
  for (const char* name :
       {"beach.jpg", "holiday.png", "song.mp3", "Tax return 2024.pdf", "notes.txt", "setup.deb",
        "archive.zip", "debian-12.iso", "installer.exe", "The Odyssey.epub"}) {
    fixture.addFile(name);
  }
}

// The window with its alert over it, as the desktop shows a window-modal
// dialog: centred near the top, with a shadow.
QWidget* windowWithAlert(QWidget& window, std::vector<std::shared_ptr<void>>& keep) {
  testing::waitUntil([] { return testing::visibleAlert() != nullptr; });
  QMessageBox* alert = testing::visibleAlert();
  if (alert == nullptr) return nullptr;
  alert->adjustSize();
  testing::settle();
  QPixmap picture = window.grab();
  const QPixmap card = alert->grab();
  QPainter painter(&picture);
  painter.fillRect(picture.rect(), QColor(0, 0, 0, 40));
  const QPoint at((picture.width() - card.width()) / 2, 72);
  for (int spread = 12; spread > 0; spread -= 2) {
    painter.fillRect(QRect(at, card.size()).adjusted(-spread, -spread / 2, spread, spread * 3 / 2),
                     QColor(0, 0, 0, 6));
  }
  painter.drawPixmap(at, card);
  painter.end();
  auto label = std::make_shared<QLabel>();
  label->setPixmap(picture);
  label->setFixedSize(picture.size());
  keep.push_back(label);
  return label.get();
}

Registration scanning{
    Scene{"window-scanning", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
            addFiles(fixture);
            auto shell = std::make_shared<Shell>(fixture);
            keep.push_back(shell);
            shell->show();
            shell->gate->close();
            shell->model->chooseFolder(fixture.folderURL());
            return static_cast<QWidget*>(shell->window.get());
          }}};

Registration overlay{Scene{
    "window-overlay", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
      addFiles(fixture);
      auto shell = std::make_shared<Shell>(fixture);
      keep.push_back(shell);
      shell->show();
      shell->review(fixture);
      // The sort is held before it moves anything: the engine reads the
      // rule set, at the closed gate, between fetching the plan and applying
      // it.
      shell->gate->close();
      shell->model->apply();
      shell->engine->defaultRules([](auto) {});
      testing::waitUntil([&] { return shell->model->phase().get() == Phase::applying; });
      // The run's first report (nothing moved yet) is shown before the
      // picture's own count, which would otherwise be painted over.
      testing::settle();
      const std::string name =
          "Minutes of the annual general meeting of the allotment society, with the treasurer's "
          "accounts and every appendix (final).pdf";
      shell->window->content()->overlay()->setState(
          QStringLiteral("Sorting…"),
          rozuzed::ExecutionProgress{
              3, 10, rozuzed::FileURL::fromPath(fixture.folder() + "/" + name, false)});
      return static_cast<QWidget*>(shell->window.get());
    }}};

// The window made active with the keyboard where `place` puts it, as after
// the user has tabbed there.
QWidget* withKeyboard(Shell& shell, const std::function<void()>& place) {
  shell.window->activateWindow();
  if (!QTest::qWaitForWindowActive(shell.window.get())) return nullptr;
  place();
  testing::settle();
  return shell.window.get();
}

Registration reviewKeyboard{Scene{
    "window-review-keyboard", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
      addFiles(fixture);
      auto shell = std::make_shared<Shell>(fixture);
      keep.push_back(shell);
      shell->show();
      shell->review(fixture);
      return withKeyboard(*shell, [&] {
        auto* review = qobject_cast<ReviewView*>(shell->window->content()->screen());
        if (review == nullptr) return;
        review->table()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(review->table(), Qt::Key_Down);
      });
    }}};

Registration resultKeyboard{Scene{
    "window-result-keyboard", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
      addFiles(fixture);
      auto shell = std::make_shared<Shell>(fixture);
      keep.push_back(shell);
      shell->show();
      shell->review(fixture);
      return withKeyboard(*shell, [&] {
        shell->window->content()->defaultButton()->setFocus(Qt::TabFocusReason);
        shell->model->apply();
        testing::quiesce(*shell->engine);
      });
    }}};

Registration problem{Scene{
    "window-problem-alert", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
      addFiles(fixture);
      auto shell = std::make_shared<Shell>(fixture);
      keep.push_back(shell);
      shell->show();
      shell->review(fixture);
      shell->model->problem().set(
          AppModel::Problem("Sorting stopped", "Another copy of Ombrix is working on these files.",
                            "Wait for it to finish, then try again."));
      return windowWithAlert(*shell->window, keep);
    }}};

Registration recovery{Scene{
    "window-recovery-alert", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
      addFiles(fixture);
      // A sort killed after its second move, before it could record it.
      auto killed = rozuzed::testing::runProcess(
          {rozuzed::testing::builtProgram("ombrix-driver"), "apply", fixture.folder()},
          {{"ROZUZED_FAULT", "afterOperationBeforeCommit"}, {"ROZUZED_FAULT_NTH", "2"}});
      if (killed.signal == 0) return static_cast<QWidget*>(nullptr);
      sortappkit::UserDefaultsBookmarkStore().save(
          sortappkit::GrantedFolder::makeBookmark(fixture.folderURL()),
          AppModel::defaultBookmarkKey);
      auto shell = std::make_shared<Shell>(fixture);
      keep.push_back(shell);
      shell->show();
      return windowWithAlert(*shell->window, keep);
    }}};

Registration startupFallback{Scene{
    "window-startup-alert", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
      addFiles(fixture);
      // The record of past moves overwritten by something that is no
      // database: the window starts over a journal held in memory.
      const std::string journal = rozuzed::SQLiteJournalStore::defaultURL().path();
      fixture.store.reset();
      fixture.engine.reset();
      rozuzed::testing::writeFile(journal, std::string(4096, '#'));
      std::filesystem::remove(journal + "-wal");
      std::filesystem::remove(journal + "-shm");
      auto app = std::make_shared<OmbrixApp>();
      keep.push_back(app);
      app->show();
      return windowWithAlert(app->window(), keep);
    }}};

// The preview window over one file, once the file is on show.
QWidget* preview(const rozuzed::FileURL& file, std::vector<std::shared_ptr<void>>& keep) {
  auto delegate = std::make_shared<OmbrixAppDelegate>();
  keep.push_back(delegate);
  delegate->setPreviewURLs({file});
  delegate->togglePreview();
  PreviewWindow* window = delegate->previewWindow();
  testing::waitUntil([window] {
    return window->shown() != PreviewWindow::Shown::loading &&
           window->shown() != PreviewWindow::Shown::nothing;
  });
  return window;
}

Registration image{
    Scene{"preview-image", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
            QImage picture(1600, 1000, QImage::Format_RGB32);
            QPainter painter(&picture);
            QLinearGradient sky(0, 0, 0, 640);
            sky.setColorAt(0, QColor(0x3a, 0x7b, 0xd5));
            sky.setColorAt(1, QColor(0xbf, 0xe3, 0xf5));
            painter.fillRect(0, 0, 1600, 640, sky);
            painter.fillRect(0, 640, 1600, 360, QColor(0xe8, 0xd2, 0xa0));
            painter.setBrush(QColor(0xff, 0xd7, 0x4a));
            painter.setPen(Qt::NoPen);
            painter.drawEllipse(QPoint(1200, 240), 110, 110);
            painter.end();
            const std::string path = fixture.folder() + "/beach.jpg";
            picture.save(QString::fromStdString(path));
            return preview(rozuzed::FileURL::fromPath(path), keep);
          }}};

Registration pdf{Scene{
    "preview-pdf", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
      const std::string path = fixture.folder() + "/Tax return 2024.pdf";
      QPdfWriter writer(QString::fromStdString(path));
      writer.setPageSize(QPageSize(QPageSize::A4));
      writer.setResolution(72);
      QPainter painter(&writer);
      QFont heading = painter.font();
      heading.setPointSize(22);
      heading.setBold(true);
      painter.setFont(heading);
      painter.drawText(QRectF(40, 40, 500, 40), QStringLiteral("Tax return 2024"));
      QFont body = heading;
      body.setPointSize(11);
      body.setBold(false);
      painter.setFont(body);
      for (int line = 0; line < 24; ++line) {
        painter.drawText(QRectF(40, 110 + line * 22, 500, 20),
                         QStringLiteral("Line %1 of the return, with its amount").arg(line + 1));
      }
      painter.end();
      return preview(rozuzed::FileURL::fromPath(path), keep);
    }}};

Registration text{Scene{
    "preview-text", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
      const std::string path = fixture.folder() + "/notes.txt";
      std::string notes = "Shopping\n- bread\n- apples\n- coffee\n\n";
      for (int line = 1; line <= 40; ++line) {
        notes += "Note " + std::to_string(line) + ": call back about the order before Friday.\n";
      }
      rozuzed::testing::writeFile(path, notes);
      return preview(rozuzed::FileURL::fromPath(path), keep);
    }}};

}  // namespace
}  // namespace ombrix::screenshots

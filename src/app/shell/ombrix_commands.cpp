#include "app/shell/ombrix_commands.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "app/common/texts.h"
#include "app/shell/app_delegate.h"
#include "app/start/folder_picker.h"

namespace ombrix {

using Phase = sortappkit::AppModel::Phase;

OmbrixCommands::OmbrixCommands(std::shared_ptr<sortappkit::AppModel> model,
                               OmbrixAppDelegate* delegate, QMainWindow* window)
    : QObject(window), model_(std::move(model)), delegate_(delegate), window_(window) {
  QMenuBar* bar = window->menuBar();

  QMenu* file = bar->addMenu(tr("&File"));
  chooseFolder_ = file->addAction(tr("Choose Folder…"));
  chooseFolder_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  connect(chooseFolder_, &QAction::triggered, this, [this] {
    std::optional<rozuzed::FileURL> chosen = FolderPicker::choose(window_);
    if (chosen) model_->chooseFolder(*chosen);
  });
  rescan_ = file->addAction(tr("Rescan"));
  rescan_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  connect(rescan_, &QAction::triggered, this, [this] { model_->scan(); });
  file->addSeparator();
  quit_ = file->addAction(tr("Quit"));
  quit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  quit_->setMenuRole(QAction::QuitRole);
  connect(quit_, &QAction::triggered, window_, &QWidget::close);

  QMenu* edit = bar->addMenu(tr("&Edit"));
  undo_ = edit->addAction(QString());
  undo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  // Shown in the menu, live only while the menu itself has the keyboard.
  undo_->setShortcutContext(Qt::WidgetShortcut);
  connect(undo_, &QAction::triggered, this, [this] { model_->undoMostRecent(); });

  QMenu* view = bar->addMenu(tr("&View"));
  quickLook_ = view->addAction(tr("Quick Look"));
  quickLook_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y));
  connect(quickLook_, &QAction::triggered, this, [this] {
    if (delegate_) delegate_->togglePreview();
  });
  if (delegate_) {
    connect(delegate_, &OmbrixAppDelegate::previewURLsChanged, this, &OmbrixCommands::update);
  }

  observations_.watch(model_->history(), [this](const auto&) { update(); });
  observations_.watch(model_->folder(), [this](const auto&) { update(); });
  observations_.watch(model_->phase(), [this](const auto&) { update(); });
  observations_.watch(model_->busy(), [this](const auto&) { update(); });
  update();
}

QString OmbrixCommands::undoTitle(const sortappkit::AppModel& model) {
  std::optional<sortappkit::RunSummary> batch = model.undoableBatch();
  if (!batch) return QStringLiteral("Undo");
  const int64_t count = batch->outstandingCount();
  return QStringLiteral("Undo Sorting %1 File%2")
      .arg(texts::number(count))
      .arg(count == 1 ? QString() : QStringLiteral("s"));
}

void OmbrixCommands::update() {
  undo_->setText(undoTitle(*model_));
  undo_->setEnabled(model_->undoableBatch().has_value() && !model_->busy().get());
  const Phase phase = model_->phase().get();
  // A rescan under a running sort or scan would show a plan of a folder
  // that is still changing.
  rescan_->setEnabled(model_->folder().get() != nullptr && phase != Phase::scanning &&
                      phase != Phase::applying);
  quickLook_->setEnabled(delegate_ && delegate_->canPreview());
}

}  // namespace ombrix

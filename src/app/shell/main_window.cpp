#include "app/shell/main_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

#include "app/common/symbols.h"
#include "app/common/texts.h"
#include "app/history/history_view.h"
#include "app/shell/content_view.h"
#include "app/shell/ombrix_commands.h"
#include "app/start/folder_picker.h"

namespace ombrix {

using Phase = sortappkit::AppModel::Phase;

namespace {

constexpr int kAlertTextWidth = 380;

const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kMaximizedKey = QStringLiteral("window/maximized");

// A place is usable when its top edge, where the window is taken hold of,
// lies on a screen that is there now.
bool onSomeScreen(const QRect& place) {
  const QRect grip(place.topLeft(), QSize(place.width(), 32));
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect shown = screen->availableGeometry().intersected(grip);
    if (shown.width() >= std::min(place.width(), 100) && shown.height() > 0) return true;
  }
  return false;
}

// An alert as the platform draws one: the title in bold above the message,
// both plain text, since names of files and folders are shown verbatim.
QMessageBox* makeAlert(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                       const QString& message) {
  auto* box = new QMessageBox(parent);
  box->setIcon(icon);
  box->setWindowTitle(title);
  box->setTextFormat(Qt::PlainText);
  box->setText(title);
  box->setInformativeText(message);
  if (auto* heading = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
    QFont font = heading->font();
    font.setBold(true);
    heading->setFont(font);
  }
  if (auto* body = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
    body->setTextFormat(Qt::PlainText);
    // Room for a line of a path before it wraps.
    body->setMinimumWidth(kAlertTextWidth);
  }
  return box;
}

}  // namespace

MainWindow::MainWindow(std::shared_ptr<sortappkit::AppModel> model, OmbrixAppDelegate* delegate,
                       QWidget* parent)
    : QMainWindow(parent), model_(std::move(model)) {
  setMinimumSize(minimumContentSize);
  resize(firstSize);
  content_ = new ContentView(model_, this);
  setCentralWidget(content_);
  commands_ = new OmbrixCommands(model_, delegate, this);
  buildToolBar();

  auto* undoKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this);
  connect(undoKey, &QShortcut::activated, this, &MainWindow::routeUndo);

  observations_.watch(model_->folder(), [this](const auto&) { updateToolBar(); });
  observations_.watch(model_->phase(), [this](const auto&) { updateToolBar(); });
  observations_.watch(model_->problem(), [this](const auto&) { syncAlerts(); });
  observations_.watch(model_->recovery(), [this](const auto&) { syncAlerts(); });
  observations_.watch(model_->busy(), [this](bool busy) {
    // Queued, so the run's last step has ended before the window goes.
    if (!busy && closeWhenIdle_)
      QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  });
  updateToolBar();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildToolBar() {
  toolBar_ = addToolBar(QString());
  toolBar_->setObjectName(QStringLiteral("toolbar"));
  toolBar_->setMovable(false);
  toolBar_->setFloatable(false);
  toolBar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  // Symbolic icons at the size of the label's text, as the desktop's header
  // bars draw them.
  toolBar_->setIconSize(QSize(16, 16));

  folderAction_ = toolBar_->addAction(symbolIcon(Symbol::folder), QString());
  folderAction_->setToolTip(tr("Choose a different folder"));
  connect(folderAction_, &QAction::triggered, this, &MainWindow::chooseFolder);

  auto* spacer = new QWidget(toolBar_);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  toolBar_->addWidget(spacer);

  historyAction_ = toolBar_->addAction(symbolIcon(Symbol::history), tr("History"));
  historyAction_->setToolTip(tr("Past runs, and undo"));
  connect(historyAction_, &QAction::triggered, this, &MainWindow::showHistory);

  rescanAction_ = toolBar_->addAction(symbolIcon(Symbol::rescan), tr("Rescan"));
  connect(rescanAction_, &QAction::triggered, this, [this] { model_->scan(); });

  toolBar_->installEventFilter(this);

  // History has no other way in, so the toolbar takes the keyboard.
  for (QAction* action : {folderAction_, historyAction_, rescanAction_}) {
    if (QWidget* button = toolBar_->widgetForAction(action)) button->setFocusPolicy(Qt::TabFocus);
  }
}

void MainWindow::placeAsRemembered() {
  const QSettings settings;
  const QRect place = settings.value(kGeometryKey).toRect();
  if (place.isValid() && onSomeScreen(place)) {
    setGeometry(QRect(place.topLeft(), place.size().expandedTo(minimumContentSize)));
  } else {
    resize(firstSize);
  }
  if (settings.value(kMaximizedKey).toBool()) setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (model_->busy().get()) {
    closeWhenIdle_ = true;
    model_->stopRun();
    event->ignore();
    return;
  }
  QSettings settings;
  settings.setValue(kGeometryKey, isMaximized() ? normalGeometry() : geometry());
  settings.setValue(kMaximizedKey, isMaximized());
  QMainWindow::closeEvent(event);
}

void MainWindow::updateToolBar() {
  const std::optional<std::string> name = model_->folderName();
  folderAction_->setVisible(name.has_value());
  folderTitle_ = name ? qs(*name) : QString();
  const Phase phase = model_->phase().get();
  rescanAction_->setVisible(model_->folder().get() != nullptr);
  rescanAction_->setEnabled(phase != Phase::scanning && phase != Phase::applying);
  fitFolderTitle();
}

void MainWindow::fitFolderTitle() {
  auto* button = qobject_cast<QToolButton*>(toolBar_->widgetForAction(folderAction_));
  if (button == nullptr) return;
  const QFontMetrics metrics = button->fontMetrics();
  // A toolbar that runs out of room moves its last buttons into an overflow
  // menu, and History has no other way in; so the folder's name gives way,
  // keeping its beginning and its end.
  const QLayout* layout = toolBar_->layout();
  const QMargins margins = layout->contentsMargins();
  int room = toolBar_->contentsRect().width() - margins.left() - margins.right();
  int items = 0;
  for (QAction* action : toolBar_->actions()) {
    if (!action->isVisible()) continue;
    ++items;
    QWidget* widget = toolBar_->widgetForAction(action);
    if (widget != nullptr && widget != button) room -= std::max(0, widget->sizeHint().width());
  }
  room -= layout->spacing() * std::max(0, items - 1);
  const int chrome =
      button->sizeHint().width() - metrics.size(Qt::TextShowMnemonic, button->text()).width();
  const QString shown = elided(metrics, folderTitle_, Qt::ElideMiddle, std::max(0, room - chrome));
  // A folder's name is shown as it is, ampersands included.
  const QString text = QString(shown).replace(QLatin1Char('&'), QStringLiteral("&&"));
  if (folderAction_->text() != text) folderAction_->setText(text);
  button->setAccessibleName(folderTitle_);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == toolBar_ && event->type() == QEvent::Resize) fitFolderTitle();
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::chooseFolder() {
  std::optional<rozuzed::FileURL> chosen = FolderPicker::choose(this);
  if (chosen) model_->chooseFolder(*chosen);
}

void MainWindow::showHistory() {
  if (history_) {
    history_->raise();
    return;
  }
  history_ = new HistoryView(model_, this);
  history_->setAttribute(Qt::WA_DeleteOnClose);
  connect(history_, &QDialog::finished, history_, &QObject::deleteLater);
  history_->open();
}

void MainWindow::routeUndo() {
  if (QPushButton* undo = content_->shownUndoButton()) {
    if (undo->isEnabled()) undo->click();
    return;
  }
  QAction* menuUndo = commands_->undoAction();
  if (menuUndo->isEnabled()) menuUndo->trigger();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (isReturn && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    // Outside a dialog Qt's buttons let Return pass, but the desktop's
    // convention is that Return presses the button the keyboard is on; the
    // default button is only for focus that has no use for Return itself.
    QWidget* focused = focusWidget();
    QAbstractButton* button = qobject_cast<QPushButton*>(focused);
    if (button == nullptr) button = qobject_cast<QToolButton*>(focused);
    if (button == nullptr) button = content_->defaultButton();
    if (button != nullptr && button->isVisible() && button->isEnabled()) {
      button->click();
      event->accept();
      return;
    }
  }
  QMainWindow::keyPressEvent(event);
}

QMenu* MainWindow::createPopupMenu() {
  return nullptr;
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!launched_) {
    launched_ = true;
    model_->restoreFolder();
  }
  // After the window is up, so an alert opens over it rather than before it.
  QMetaObject::invokeMethod(this, &MainWindow::syncAlerts, Qt::QueuedConnection);
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && launched_) {
    model_->refreshHistory();
  }
}

void MainWindow::syncAlerts() {
  if (!isVisible()) return;
  const auto& problem = model_->problem().get();
  if (problemAlert_ && problem != shownProblem_) {
    dropAlert(problemAlert_);
    shownProblem_.reset();
  }
  const auto& recovery = model_->recovery().get();
  // A problem goes before the notice, whose answer might start an undo that
  // replaces the problem unread.
  if (recoveryAlert_ && (recovery != shownRecovery_ || (problem && !problemAlert_))) {
    dropAlert(recoveryAlert_);
    shownRecovery_.reset();
  }
  if (problemAlert_ || recoveryAlert_) return;
  if (problem) {
    showProblem(*problem);
  } else if (recovery) {
    showRecovery(*recovery);
  }
}

void MainWindow::dropAlert(QPointer<QMessageBox>& alert) {
  QMessageBox* box = alert;
  alert = nullptr;
  box->disconnect(this);
  box->hide();
  box->deleteLater();
}

void MainWindow::showProblem(const sortappkit::AppModel::Problem& problem) {
  QString message = qs(problem.message);
  if (problem.suggestion) message += QStringLiteral("\n\n") + qs(*problem.suggestion);
  QMessageBox* box = makeAlert(this, QMessageBox::Warning, qs(problem.title), message);
  QPushButton* ok = box->addButton(tr("OK"), QMessageBox::AcceptRole);
  box->setDefaultButton(ok);
  box->setEscapeButton(ok);
  connect(box, &QMessageBox::finished, this, [this, box] {
    problemAlert_ = nullptr;
    shownProblem_.reset();
    box->deleteLater();
    model_->problem().set(std::nullopt);
    syncAlerts();
  });
  problemAlert_ = box;
  shownProblem_ = problem;
  box->open();
}

void MainWindow::showRecovery(const sortappkit::RecoverySummary& summary) {
  QMessageBox* box = makeAlert(this, QMessageBox::Information, tr("A previous run was interrupted"),
                               ContentView::recoveryMessage(summary));
  QPushButton* undo = nullptr;
  if (summary.canUndo()) {
    undo = box->addButton(tr("Undo Them"), QMessageBox::AcceptRole);
    QPushButton* keep = box->addButton(tr("Keep Them"), QMessageBox::RejectRole);
    box->setDefaultButton(undo);
    box->setEscapeButton(keep);
  } else {
    QPushButton* ok = box->addButton(tr("OK"), QMessageBox::RejectRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
  }
  connect(box, &QMessageBox::finished, this, [this, box, undo] {
    QAbstractButton* clicked = box->clickedButton();
    recoveryAlert_ = nullptr;
    shownRecovery_.reset();
    box->deleteLater();
    if (clicked != nullptr && clicked == undo) {
      model_->undoRecoveredRun();
    } else if (clicked != nullptr) {
      model_->acknowledgeRecovery();
    }
    // The undo is ignored while another sort or undo runs, and the notice
    // then stays, so the alert comes back.
    syncAlerts();
  });
  recoveryAlert_ = box;
  shownRecovery_ = summary;
  box->open();
}

}  // namespace ombrix

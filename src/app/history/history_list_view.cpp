#include "app/history/history_list_view.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QKeyEvent>
#include <QPointer>
#include <QWindow>

#include "app/history/history_list_model.h"
#include "app/history/history_row_delegate.h"

namespace ombrix {
namespace {

bool rowHas(const QAbstractItemView* view, int row, HistoryListModel::Role role) {
  const QAbstractItemModel* model = view->model();
  return model != nullptr && row >= 0 && row < model->rowCount() &&
         model->index(row, 0).data(role).toBool();
}

bool canUndo(const QAbstractItemView* view, int row) {
  return rowHas(view, row, HistoryListModel::CanUndoRole);
}

QWindow* windowOf(const QWidget* widget) {
  const QWidget* window = widget->window();
  return window ? window->windowHandle() : nullptr;
}

// The accessible parts of the list live only as long as the list's own
// interface; they read the model afresh on every question, so a reload
// never leaves them stale, and a row beyond the model's end is invalid.
class UndoButtonAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  UndoButtonAccessible(HistoryListView* view, int row) : view_(view), row_(row) {}

  bool isValid() const override { return view_ && canUndo(view_, row_); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return view_ ? windowOf(view_) : nullptr; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override;
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QString text(QAccessible::Text kind) const override {
    return kind == QAccessible::Name ? HistoryListModel::tr("Undo") : QString();
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    if (!isValid()) return {};
    const QRect row = view_->visualRect(view_->model()->index(row_, 0));
    const QRect button = HistoryRowDelegate::undoButtonRect(row, view_);
    return QRect(view_->viewport()->mapToGlobal(button.topLeft()), button.size());
  }
  QAccessible::Role role() const override { return QAccessible::Button; }
  QAccessible::State state() const override {
    QAccessible::State state;
    state.invalid = !isValid();
    state.disabled = view_ && !rowHas(view_, row_, HistoryListModel::UndoEnabledRole);
    return state;
  }
  void* interface_cast(QAccessible::InterfaceType type) override {
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                : nullptr;
  }

  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (name == pressAction() && view_) view_->requestUndo(row_);
  }
  QStringList keyBindingsForAction(const QString&) const override {
    return {QKeySequence(Qt::Key_Space).toString(QKeySequence::NativeText)};
  }

 private:
  QPointer<HistoryListView> view_;
  int row_;
};

class RowAccessible : public QAccessibleInterface {
 public:
  RowAccessible(HistoryListView* view, int row) : view_(view), row_(row) {}
  ~RowAccessible() override {
    if (button_ != 0) QAccessible::deleteAccessibleInterface(button_);
  }

  bool isValid() const override {
    return view_ && view_->model() && row_ < view_->model()->rowCount();
  }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return view_ ? windowOf(view_) : nullptr; }
  QAccessibleInterface* childAt(int x, int y) const override {
    QAccessibleInterface* button = child(0);
    return button && button->rect().contains(x, y) ? button : nullptr;
  }
  QAccessibleInterface* parent() const override {
    return view_ ? QAccessible::queryAccessibleInterface(view_) : nullptr;
  }
  QAccessibleInterface* child(int position) const override {
    if (position != 0 || !view_ || !canUndo(view_, row_)) return nullptr;
    if (button_ == 0) {
      button_ = QAccessible::registerAccessibleInterface(new UndoButtonAccessible(view_, row_));
    }
    return QAccessible::accessibleInterface(button_);
  }
  int childCount() const override { return view_ && canUndo(view_, row_) ? 1 : 0; }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return button_ != 0 && child == QAccessible::accessibleInterface(button_) ? 0 : -1;
  }
  QString text(QAccessible::Text kind) const override {
    if (kind != QAccessible::Name || !isValid()) return {};
    return index().data(Qt::AccessibleTextRole).toString();
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    if (!isValid()) return {};
    const QRect row = view_->visualRect(index());
    return QRect(view_->viewport()->mapToGlobal(row.topLeft()), row.size());
  }
  QAccessible::Role role() const override { return QAccessible::ListItem; }
  QAccessible::State state() const override {
    QAccessible::State state;
    if (!isValid()) {
      state.invalid = true;
      return state;
    }
    state.focusable = true;
    state.selectable = true;
    state.selected = view_->selectionModel() && view_->selectionModel()->isSelected(index());
    state.focused = view_->hasFocus() && view_->currentIndex() == index();
    state.offscreen = !view_->viewport()->rect().intersects(view_->visualRect(index()));
    return state;
  }

  int row() const { return row_; }

 private:
  QModelIndex index() const { return view_->model()->index(row_, 0); }

  QPointer<HistoryListView> view_;
  int row_;
  mutable QAccessible::Id button_ = 0;
};

QAccessibleInterface* UndoButtonAccessible::parent() const {
  QAccessibleInterface* list = view_ ? QAccessible::queryAccessibleInterface(view_) : nullptr;
  return list ? list->child(row_) : nullptr;
}

class ListAccessible : public QAccessibleWidget {
 public:
  explicit ListAccessible(HistoryListView* view)
      : QAccessibleWidget(view, QAccessible::List), view_(view) {}
  ~ListAccessible() override {
    for (QAccessible::Id id : std::as_const(rows_)) QAccessible::deleteAccessibleInterface(id);
  }

  int childCount() const override {
    return view_ && view_->model() ? view_->model()->rowCount() : 0;
  }
  QAccessibleInterface* child(int position) const override {
    if (position < 0 || position >= childCount()) return nullptr;
    auto found = rows_.constFind(position);
    if (found == rows_.constEnd()) {
      found = rows_.insert(
          position, QAccessible::registerAccessibleInterface(new RowAccessible(view_, position)));
    }
    return QAccessible::accessibleInterface(*found);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (auto each = rows_.constBegin(); each != rows_.constEnd(); ++each) {
      if (QAccessible::accessibleInterface(each.value()) == child) return each.key();
    }
    return -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    if (!view_) return nullptr;
    const QPoint local = view_->viewport()->mapFromGlobal(QPoint(x, y));
    const QModelIndex index = view_->indexAt(local);
    return index.isValid() ? child(index.row()) : nullptr;
  }
  QAccessibleInterface* focusChild() const override {
    if (!view_ || !view_->hasFocus() || !view_->currentIndex().isValid()) return nullptr;
    return child(view_->currentIndex().row());
  }

 private:
  QPointer<HistoryListView> view_;
  mutable QHash<int, QAccessible::Id> rows_;
};

QAccessibleInterface* historyListAccessibility(const QString& className, QObject* object) {
  if (className == QLatin1String("ombrix::HistoryListView") && object->isWidgetType()) {
    return new ListAccessible(static_cast<HistoryListView*>(object));
  }
  return nullptr;
}

}  // namespace

HistoryListView::HistoryListView(QWidget* parent) : QListView(parent) {
  static const bool installed = [] {
    QAccessible::installFactory(historyListAccessibility);
    return true;
  }();
  (void)installed;
  auto* delegate = new HistoryRowDelegate(this);
  setItemDelegate(delegate);
  connect(delegate, &HistoryRowDelegate::undoClicked, this,
          [this](const QModelIndex& index) { requestUndo(index.row()); });
}

void HistoryListView::requestUndo(int row) {
  if (rowHas(this, row, HistoryListModel::UndoEnabledRole)) emit undoRequested(row);
}

void HistoryListView::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Space || event->key() == Qt::Key_Select) &&
      event->modifiers() == Qt::NoModifier && currentIndex().isValid()) {
    requestUndo(currentIndex().row());
    event->accept();
    return;
  }
  QListView::keyPressEvent(event);
}

}  // namespace ombrix

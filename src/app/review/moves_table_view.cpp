#include "app/review/moves_table_view.h"

#include <QAccessible>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "app/common/desktop_style.h"
#include "app/review/group_header.h"
#include "app/review/moves_table_delegate.h"
#include "app/review/moves_table_model.h"

namespace ombrix {

MovesTableView::MovesTableView(QWidget* parent) : QTreeView(parent) {
  setItemDelegate(new MovesTableDelegate(this));
  setRootIsDecorated(false);
  setIndentation(0);
  setItemsExpandable(false);
  setExpandsOnDoubleClick(false);
  setUniformRowHeights(true);
  setSortingEnabled(false);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setAllColumnsShowFocus(false);
  setFocusPolicy(Qt::StrongFocus);
  setContextMenuPolicy(Qt::CustomContextMenu);
  header()->setSectionsClickable(false);
  header()->setSectionsMovable(false);
}

void MovesTableView::setMovesModel(MovesTableModel* model) {
  moves_ = model;
  setModel(model);
  connect(model, &QAbstractItemModel::modelReset, this, &MovesTableView::openGroups);
  openGroups();
}

void MovesTableView::openGroups() {
  const int groups = moves_->rowCount();
  for (int g = 0; g < groups; ++g) setFirstColumnSpanned(g, {}, true);
  expandAll();
}

QModelIndex MovesTableView::checkBoxAt(const QPoint& point) const {
  const QModelIndex at = indexAt(point);
  if (!at.isValid()) return {};
  const bool header = !at.parent().isValid();
  const QModelIndex check = header ? at.siblingAtColumn(MovesTableModel::checkColumn) : at;
  if (!header && at.column() != MovesTableModel::checkColumn) return {};
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.rect = visualRect(check);
  if (header) option.rect.setRight(viewport()->width());
  return MovesTableDelegate::checkBoxRect(option).contains(point) ? check : QModelIndex();
}

void MovesTableView::clickCheckBox(const QModelIndex& index) {
  if (!index.isValid()) return;
  const QModelIndex check = index.siblingAtColumn(MovesTableModel::checkColumn);
  bool value;
  if (!check.parent().isValid()) {
    value = GroupHeader::clickValue(static_cast<sortappkit::GroupSelectionState>(
        check.data(MovesTableModel::groupStateRole).toInt()));
  } else {
    value = check.data(Qt::CheckStateRole).toInt() != Qt::Checked;
  }
  model()->setData(check, value ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}

void MovesTableView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  QTreeView::drawRow(painter, option, index);
  const QModelIndex current = currentIndex();
  if (!hasFocus() || !current.isValid() || current.row() != index.row() ||
      current.parent() != index.parent()) {
    return;
  }
  if (!index.parent().isValid()) {
    QStyleOptionViewItem heading = option;
    heading.rect.setLeft(0);
    paintFocusRing(painter, GroupHeader::checkBoxRect(heading).adjusted(-3, -3, 3, 3), palette(),
                   false);
    return;
  }
  const bool highlighted = selectionModel()->isRowSelected(index.row(), index.parent());
  paintFocusRing(painter, option.rect, palette(), highlighted, 2);
}

void MovesTableView::paintEvent(QPaintEvent* event) {
  const QRegion& region = event->region();
  if (region.rectCount() < 2) {
    QTreeView::paintEvent(event);
    return;
  }
  // Given several places, Qt's tree view draws each of them across the
  // whole row: one click, which changes a row's checkbox and its header's,
  // would draw every cell of both rows. Place by place, only the cells
  // there are drawn, each clipped to its place so nothing is drawn twice.
  executeDelayedItemsLayout();
  QPainter painter(viewport());
  for (const QRect& rect : region) {
    painter.setClipRect(rect);
    drawTree(&painter, QRegion(rect));
  }
}

void MovesTableView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !(event->modifiers() & ~Qt::KeypadModifier)) {
    const QModelIndex current = currentIndex();
    if (selectionModel()->selectedRows().isEmpty() && current.isValid() &&
        !current.parent().isValid()) {
      clickCheckBox(current);
    } else {
      emit toggleHighlightedRequested();
    }
    event->accept();
    return;
  }
  QTreeView::keyPressEvent(event);
}

void MovesTableView::mousePressEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (event->button() == Qt::LeftButton) {
    pressedCheckBox_ = checkBoxAt(point);
    if (pressedCheckBox_.isValid()) {
      setFocus(Qt::MouseFocusReason);
      event->accept();
      return;
    }
  }
  const QModelIndex at = indexAt(point);
  // A header row is no row of the highlight: a click on it changes nothing.
  if (at.isValid() && !at.parent().isValid()) {
    setFocus(Qt::MouseFocusReason);
    event->accept();
    return;
  }
  QTreeView::mousePressEvent(event);
}

void MovesTableView::mouseReleaseEvent(QMouseEvent* event) {
  if (pressedCheckBox_.isValid()) {
    const QModelIndex pressed = pressedCheckBox_;
    pressedCheckBox_ = QPersistentModelIndex();
    if (event->button() == Qt::LeftButton && checkBoxAt(event->position().toPoint()) == pressed) {
      clickCheckBox(pressed);
    }
    event->accept();
    return;
  }
  QTreeView::mouseReleaseEvent(event);
}

void MovesTableView::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second click of a quick pair on a checkbox is a click of its own.
  if (event->button() == Qt::LeftButton && checkBoxAt(event->position().toPoint()).isValid()) {
    mousePressEvent(event);
    return;
  }
  const QModelIndex at = indexAt(event->position().toPoint());
  if (at.isValid() && !at.parent().isValid()) {
    event->accept();
    return;
  }
  QTreeView::mouseDoubleClickEvent(event);
}

void MovesTableView::mouseMoveEvent(QMouseEvent* event) {
  if (pressedCheckBox_.isValid()) {
    event->accept();
    return;
  }
  QTreeView::mouseMoveEvent(event);
}

void MovesTableView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                 const QList<int>& roles) {
  // Qt's tree view finds the row of a changed cell by a search that walks
  // every row when the cell is in the first row, which would make a click
  // in the first group cost a walk over the whole plan. A change here never
  // alters a row's height, and the model knows where each row is shown.
  const bool oneRun = moves_ && topLeft.parent() == bottomRight.parent() &&
                      topLeft.column() == bottomRight.column();
  const std::optional<int> first = oneRun ? moves_->displayRow(topLeft) : std::nullopt;
  const std::optional<int> last = oneRun ? moves_->displayRow(bottomRight) : std::nullopt;
  if (!first || !last || *last < *first) {
    QTreeView::dataChanged(topLeft, bottomRight, roles);
    return;
  }
  // A change of checks alone redraws only the checkboxes.
  const bool checksOnly = !roles.isEmpty() && std::all_of(roles.begin(), roles.end(), [](int role) {
    return role == Qt::CheckStateRole || role == MovesTableModel::groupStateRole ||
           role == Qt::AccessibleDescriptionRole;
  });
  const int height = MovesTableDelegate::rowHeight;
  const int top = *first * height - verticalOffset();
  const int rows = (*last - *first + 1) * height;
  if (checksOnly) {
    viewport()->update(QRect(columnViewportPosition(MovesTableModel::checkColumn), top,
                             columnWidth(MovesTableModel::checkColumn), rows));
  } else {
    viewport()->update(QRect(0, top, viewport()->width(), rows));
  }
  if (QAccessible::isActive()) {
    QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::DataChanged);
    event.setFirstRow(topLeft.row());
    event.setFirstColumn(topLeft.column());
    event.setLastRow(bottomRight.row());
    event.setLastColumn(bottomRight.column());
    QAccessible::updateAccessibility(&event);
  }
}

}  // namespace ombrix

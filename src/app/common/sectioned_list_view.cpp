#include "app/common/sectioned_list_view.h"

namespace ombrix {

SectionedListView::SectionedListView(std::function<bool(const QModelIndex&)> isHeading,
                                     QWidget* parent)
    : QListView(parent), isHeading_(std::move(isHeading)) {}

QModelIndex SectionedListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  const QModelIndex landed = QListView::moveCursor(action, modifiers);
  if (!landed.isValid() || !isHeading_(landed)) return landed;
  const bool upward =
      action == MoveUp || action == MovePrevious || action == MovePageUp || action == MoveLeft;
  // On past the heading the way the keys went; back the other way at an end.
  for (int step : {upward ? -1 : 1, upward ? 1 : -1}) {
    for (int row = landed.row() + step; row >= 0 && row < model()->rowCount(); row += step) {
      const QModelIndex candidate = model()->index(row, 0);
      if (!isHeading_(candidate)) return candidate;
    }
  }
  return currentIndex();
}

}  // namespace ombrix

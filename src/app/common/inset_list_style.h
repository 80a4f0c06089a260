// The look shared by the lists of the result screen and the history sheet:
// rows grouped in rounded boxes inset from the view's edges.
#pragma once

#include <QRect>
#include <QStyleOptionViewItem>

class QListView;
class QPainter;

namespace ombrix {

// Where a row sits in its box: the first and the last round their outer
// corners, the others are square and separated by a hairline.
enum class InsetPlace { only, first, middle, last };

InsetPlace insetPlace(std::size_t position, std::size_t count);

struct InsetListStyle {
  static constexpr int margin = 16;   // between the view's edges and the box
  static constexpr int padding = 10;  // between the box's edges and the row's content
  static constexpr int radius = 8;

  // The part of a row's rectangle that the box covers.
  static QRect boxRect(const QRect& rowRect);

  // Draws the row's part of the box, its highlight when selected, its focus
  // frame when current in a focused view, and the hairline below it.
  static void paintRow(QPainter* painter, const QStyleOptionViewItem& option, InsetPlace place);

  // Sets `view` up for rows drawn in this style: no frame, one current row
  // at a time, smooth scrolling, the window's colour around the boxes, and
  // rows laid out in batches between events.
  static void applyTo(QListView* view);

  // The colours of the row's main and secondary texts, which follow the
  // highlight.
  static QColor textColor(const QStyleOptionViewItem& option);
  static QColor secondaryTextColor(const QStyleOptionViewItem& option);
};

}  // namespace ombrix

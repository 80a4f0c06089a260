#include "app/common/inset_list_style.h"

#include <QListView>
#include <QPainter>
#include <QPainterPath>

#include "app/common/desktop_style.h"
#include "app/common/symbols.h"

namespace ombrix {
namespace {

constexpr int kLayoutBatch = 2000;

}  // namespace

InsetPlace insetPlace(std::size_t position, std::size_t count) {
  if (count == 1) return InsetPlace::only;
  if (position == 0) return InsetPlace::first;
  return position + 1 == count ? InsetPlace::last : InsetPlace::middle;
}

QRect InsetListStyle::boxRect(const QRect& rowRect) {
  return rowRect.adjusted(margin, 0, -margin, 0);
}

void InsetListStyle::paintRow(QPainter* painter, const QStyleOptionViewItem& option,
                              InsetPlace place) {
  const QRect box = boxRect(option.rect);
  const bool roundsTop = place == InsetPlace::only || place == InsetPlace::first;
  const bool roundsBottom = place == InsetPlace::only || place == InsetPlace::last;
  // A rounded rectangle stretched past the square edges, then clipped to
  // the row, rounds only the outer corners.
  const QRectF shape =
      QRectF(box).adjusted(0, roundsTop ? 0 : -radius, 0, roundsBottom ? 0 : radius);
  QPainterPath path;
  path.addRoundedRect(shape, radius, radius);

  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setClipRect(box);
  painter->fillPath(path, option.palette.color(QPalette::Base));
  if (option.state & QStyle::State_Selected) {
    const bool active = option.state & QStyle::State_Active;
    painter->fillPath(path, option.palette.color(active ? QPalette::Active : QPalette::Inactive,
                                                 QPalette::Highlight));
  }
  if (!roundsBottom) {
    QColor line = option.palette.color(QPalette::WindowText);
    line.setAlphaF(0.12f);
    painter->setPen(line);
    painter->drawLine(QPointF(box.left() + padding, box.bottom() + 0.5),
                      QPointF(box.right(), box.bottom() + 0.5));
  }
  if (option.state & QStyle::State_HasFocus) {
    painter->setClipping(false);
    paintFocusRing(painter, box, option.palette, option.state & QStyle::State_Selected,
                   roundsTop || roundsBottom ? 6 : 2);
  }
  painter->restore();
}

void InsetListStyle::applyTo(QListView* view) {
  view->setFrameShape(QFrame::NoFrame);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Laid out in one go, a list of a whole folder's files held the window for
  // a second; in batches the window keeps answering between them.
  view->setLayoutMode(QListView::Batched);
  view->setBatchSize(kLayoutBatch);
  QPalette palette = view->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  view->viewport()->setPalette(palette);
  view->viewport()->setAutoFillBackground(true);
}

QColor InsetListStyle::textColor(const QStyleOptionViewItem& option) {
  return option.palette.color(option.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                    : QPalette::Text);
}

QColor InsetListStyle::secondaryTextColor(const QStyleOptionViewItem& option) {
  if (option.state & QStyle::State_Selected) {
    return dimmedOn(option.palette.color(QPalette::HighlightedText),
                    option.palette.color(QPalette::Highlight), 5.5);
  }
  return secondaryColor();
}

}  // namespace ombrix

#include "app/result/result_row_delegate.h"

#include <QApplication>
#include <QPainter>
#include <algorithm>

#include "app/common/inset_list_style.h"
#include "app/common/symbols.h"
#include "app/common/texts.h"
#include "app/result/result_list_model.h"

namespace ombrix {
namespace {

using Kind = ResultListModel::Kind;

constexpr int kIconSize = 16;
constexpr int kGap = 6;
constexpr int kVerticalPadding = 6;
constexpr int kLineSpacing = 2;
constexpr int kSectionTop = 14;
constexpr int kSectionBottom = 6;

Kind kindOf(const QModelIndex& index) {
  return static_cast<Kind>(index.data(ResultListModel::KindRole).toInt());
}

QFont sectionFont() {
  return textFont(TextStyle::footnote, QFont::DemiBold);
}

void drawText(QPainter* painter, const QRect& rect, const QString& text, Qt::TextElideMode mode,
              const QColor& color) {
  painter->setPen(color);
  painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter,
                    elided(painter->fontMetrics(), text, mode, rect.width()));
}

}  // namespace

QSize ResultRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
  const int width = option.rect.width();
  const int line = std::max(kIconSize, option.fontMetrics.height());
  switch (kindOf(index)) {
    case Kind::section:
      return {width, kSectionTop + QFontMetrics(sectionFont()).height() + kSectionBottom};
    case Kind::failed:
      return {width, 2 * kVerticalPadding + line + kLineSpacing +
                         QFontMetrics(textFont(TextStyle::caption)).height()};
    default:
      return {width, 2 * kVerticalPadding + line};
  }
}

void ResultRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& given,
                              const QModelIndex& index) const {
  QStyleOptionViewItem option = given;
  initStyleOption(&option, index);
  const Kind kind = kindOf(index);
  const QString name = index.data(Qt::DisplayRole).toString();

  painter->save();
  if (kind == Kind::section) {
    const QRect text = InsetListStyle::boxRect(option.rect)
                           .adjusted(InsetListStyle::padding / 2, kSectionTop, 0, -kSectionBottom);
    painter->setFont(sectionFont());
    drawText(painter, text, name, Qt::ElideRight, secondaryColor());
    painter->restore();
    return;
  }

  const auto place = static_cast<InsetPlace>(index.data(ResultListModel::PlaceRole).toInt());
  InsetListStyle::paintRow(painter, option, place);
  const QRect content = InsetListStyle::boxRect(option.rect)
                            .adjusted(InsetListStyle::padding, kVerticalPadding,
                                      -InsetListStyle::padding, -kVerticalPadding);
  const int line = std::max(kIconSize, option.fontMetrics.height());
  const QRect firstLine(content.left(), content.top(), content.width(), line);
  const QIcon icon = qvariant_cast<QIcon>(index.data(Qt::DecorationRole));
  const QIcon::Mode iconMode =
      option.state & QStyle::State_Selected ? QIcon::Selected : QIcon::Normal;
  const QRect iconRect(firstLine.left(), firstLine.top() + (line - kIconSize) / 2, kIconSize,
                       kIconSize);
  icon.paint(painter, iconRect, Qt::AlignCenter, iconMode);
  QRect rest = firstLine.adjusted(kIconSize + kGap, 0, 0, 0);
  const QString detail = index.data(ResultListModel::DetailRole).toString();
  const QColor text = InsetListStyle::textColor(option);
  const QColor secondary = InsetListStyle::secondaryTextColor(option);
  painter->setFont(option.font);

  switch (kind) {
    case Kind::moved: {
      // The destination keeps its room up to half the row; the name takes the
      // rest and is cut in the middle so its beginning and extension stay.
      const int destinationWidth =
          std::min(painter->fontMetrics().horizontalAdvance(detail), rest.width() / 2);
      const int labelWidth = kIconSize + 4 + destinationWidth;
      const QRect label(rest.right() + 1 - labelWidth, rest.top(), labelWidth, rest.height());
      symbolIcon(Symbol::folder, secondary)
          .paint(painter,
                 QRect(label.left(), label.top() + (line - kIconSize) / 2, kIconSize, kIconSize));
      drawText(painter, label.adjusted(kIconSize + 4, 0, 0, 0), detail, Qt::ElideMiddle, secondary);
      drawText(painter, rest.adjusted(0, 0, -(labelWidth + 12), 0), name, Qt::ElideMiddle, text);
      break;
    }
    case Kind::failed: {
      drawText(painter, rest, name, Qt::ElideMiddle, text);
      painter->setFont(textFont(TextStyle::caption));
      const QRect message(rest.left(), firstLine.bottom() + 1 + kLineSpacing, rest.width(),
                          painter->fontMetrics().height());
      drawText(painter, message, detail, Qt::ElideRight, secondary);
      break;
    }
    case Kind::leftAlone: {
      const int nameWidth =
          std::min(painter->fontMetrics().horizontalAdvance(name), rest.width() * 3 / 5);
      drawText(painter, QRect(rest.left(), rest.top(), nameWidth, rest.height()), name,
               Qt::ElideMiddle, text);
      drawText(painter, rest.adjusted(nameWidth + kGap, 0, 0, 0), detail, Qt::ElideRight,
               secondary);
      break;
    }
    case Kind::section:
      break;
  }
  painter->restore();
}

}  // namespace ombrix

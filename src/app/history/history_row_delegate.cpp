#include "app/history/history_row_delegate.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>

#include "app/common/inset_list_style.h"
#include "app/common/symbols.h"
#include "app/common/texts.h"
#include "app/history/history_list_model.h"

namespace ombrix {
namespace {

constexpr int kVerticalPadding = 8;
constexpr int kLineSpacing = 2;
constexpr int kGap = 12;
constexpr int kMarkIconSize = 16;

QString undoTitle() {
  return HistoryListModel::tr("Undo");
}

QString undoneTitle() {
  return HistoryListModel::tr("Undone");
}

QSize undoButtonSize(const QWidget* view) {
  QStyleOptionButton button;
  button.initFrom(view);
  button.text = undoTitle();
  const QSize text = button.fontMetrics.size(Qt::TextShowMnemonic, button.text);
  return view->style()->sizeFromContents(QStyle::CT_PushButton, &button, text, view);
}

QRect contentRect(const QRect& rowRect) {
  return InsetListStyle::boxRect(rowRect).adjusted(InsetListStyle::padding, kVerticalPadding,
                                                   -InsetListStyle::padding, -kVerticalPadding);
}

}  // namespace

QRect HistoryRowDelegate::undoButtonRect(const QRect& rowRect, const QWidget* view) {
  const QRect content = contentRect(rowRect);
  const QSize size = undoButtonSize(view);
  return QRect(content.right() + 1 - size.width(), content.center().y() - size.height() / 2 + 1,
               size.width(), size.height());
}

QSize HistoryRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  const int lines = option.fontMetrics.height() + kLineSpacing +
                    QFontMetrics(textFont(TextStyle::caption)).height();
  const int button = option.widget ? undoButtonSize(option.widget).height() : 0;
  return {option.rect.width(), std::max(lines, button) + 2 * kVerticalPadding};
}

void HistoryRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& given,
                               const QModelIndex& index) const {
  QStyleOptionViewItem option = given;
  initStyleOption(&option, index);
  const auto place = static_cast<InsetPlace>(index.data(HistoryListModel::PlaceRole).toInt());
  painter->save();
  InsetListStyle::paintRow(painter, option, place);

  const QRect content = contentRect(option.rect);
  const QColor secondary = InsetListStyle::secondaryTextColor(option);
  int trailing = 0;
  if (index.data(HistoryListModel::CanUndoRole).toBool()) {
    QStyleOptionButton button;
    button.initFrom(option.widget);
    button.rect = undoButtonRect(option.rect, option.widget);
    button.text = undoTitle();
    button.state = QStyle::State_Active;
    if (index.data(HistoryListModel::UndoEnabledRole).toBool())
      button.state |= QStyle::State_Enabled;
    const bool down = pressed_ == index && (QApplication::mouseButtons() & Qt::LeftButton);
    button.state |= down ? QStyle::State_Sunken : QStyle::State_Raised;
    option.widget->style()->drawControl(QStyle::CE_PushButton, &button, painter, option.widget);
    trailing = button.rect.width();
  } else {
    const QString title = undoneTitle();
    painter->setFont(option.font);
    const int textWidth = painter->fontMetrics().horizontalAdvance(title);
    trailing = kMarkIconSize + 4 + textWidth;
    const QRect mark(content.right() + 1 - trailing, content.top(), trailing, content.height());
    symbolIcon(Symbol::undone, secondary)
        .paint(painter, QRect(mark.left(), mark.center().y() - kMarkIconSize / 2 + 1, kMarkIconSize,
                              kMarkIconSize));
    painter->setPen(secondary);
    painter->drawText(mark.adjusted(kMarkIconSize + 4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                      title);
  }

  const QRect texts = content.adjusted(0, 0, -(trailing + kGap), 0);
  painter->setFont(option.font);
  const int dateHeight = painter->fontMetrics().height();
  const QFont captionFont = textFont(TextStyle::caption);
  const int subtitleHeight = QFontMetrics(captionFont, painter->device()).height();
  const int top = texts.center().y() + 1 - (dateHeight + kLineSpacing + subtitleHeight) / 2;
  painter->setPen(InsetListStyle::textColor(option));
  painter->drawText(QRect(texts.left(), top, texts.width(), dateHeight),
                    Qt::AlignLeft | Qt::AlignVCenter,
                    elided(painter->fontMetrics(), option.text, Qt::ElideRight, texts.width()));
  painter->setFont(captionFont);
  painter->setPen(secondary);
  const QString subtitle = index.data(HistoryListModel::SubtitleRole).toString();
  painter->drawText(
      QRect(texts.left(), top + dateHeight + kLineSpacing, texts.width(), subtitleHeight),
      Qt::AlignLeft | Qt::AlignVCenter,
      elided(painter->fontMetrics(), subtitle, Qt::ElideRight, texts.width()));
  painter->restore();
}

bool HistoryRowDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                     const QStyleOptionViewItem& option, const QModelIndex& index) {
  const auto type = event->type();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
      type != QEvent::MouseButtonRelease) {
    return QStyledItemDelegate::editorEvent(event, model, option, index);
  }
  const auto* mouse = static_cast<QMouseEvent*>(event);
  const bool onButton =
      mouse->button() == Qt::LeftButton && index.data(HistoryListModel::UndoEnabledRole).toBool() &&
      undoButtonRect(option.rect, option.widget).contains(mouse->position().toPoint());
  if (type == QEvent::MouseButtonRelease) {
    const bool clicked = onButton && pressed_ == index;
    const bool wasPressed = pressed_.isValid();
    pressed_ = QPersistentModelIndex();
    if (clicked) emit undoClicked(index);
    return clicked || wasPressed;
  }
  if (!onButton) return QStyledItemDelegate::editorEvent(event, model, option, index);
  pressed_ = index;
  return true;
}

}  // namespace ombrix

// The header row of one destination group in the moves table.
#pragma once

#include <QRect>
#include <QStyleOptionViewItem>

#include "sortappkit/view_models/selection.h"

class QPainter;

namespace ombrix {

// Drawn across the whole row, left to right: the group's tri-state checkbox,
// the folder symbol, the group's display name in bold and its summary
// ("3 files · 1.2 MB"), read from the MovesTableModel header index. The
// checkbox sits where the rows' checkboxes sit, so they line up.
class GroupHeader {
 public:
  static constexpr int checkColumnWidth = 24;
  static constexpr int spacing = 8;
  static constexpr int symbolSize = 16;

  // The checkbox centred in the first `checkColumnWidth` pixels of
  // `option.rect`, a header row's or a move row's check cell; clicks inside
  // it change the group or the file.
  static QRect checkBoxRect(const QStyleOptionViewItem& option);

  static void paint(QPainter* painter, const QStyleOptionViewItem& option,
                    const QModelIndex& index);

  // What a click on the checkbox passes to the model: select the group
  // unless every file of it is selected already, so a click on a mixed
  // group selects all of it.
  static bool clickValue(sortappkit::GroupSelectionState state) { return !sortappkit::isOn(state); }
};

}  // namespace ombrix

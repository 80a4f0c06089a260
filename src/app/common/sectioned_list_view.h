// A list whose rows come in sections under headings: the keyboard moves
// from file row to file row and never rests on a heading, which is a label
// and has nothing to act on.
#pragma once

#include <QListView>
#include <functional>

namespace ombrix {

class SectionedListView : public QListView {
 public:
  // `isHeading` tells a heading row from the others.
  SectionedListView(std::function<bool(const QModelIndex&)> isHeading, QWidget* parent = nullptr);

 protected:
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

 private:
  std::function<bool(const QModelIndex&)> isHeading_;
};

}  // namespace ombrix

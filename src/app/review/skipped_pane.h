// The review's lower pane: the files the plan leaves alone, by reason.
#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

#include "sortappkit/view_models/plan_view_model.h"

class QLabel;
class QStackedWidget;
class QListView;

namespace ombrix {

class SkippedListModel;

// A header ("Nothing left alone" or "3 files left alone") over either the
// line "Every file in this folder matched a rule." (when `total` is 0,
// whatever the sections) or a list with one section per reason, titled
// "label · count", whose rows show the item's own icon, its name cut in the
// middle and its explanation cut at the end. Shows what it is given and
// changes nothing.
class SkippedPane : public QWidget {
  Q_OBJECT

 public:
  explicit SkippedPane(QWidget* parent = nullptr);

  void setRows(std::vector<sortappkit::SkipSection> sections, int64_t total);

  QLabel* titleLabel() const { return title_; }
  QLabel* emptyLabel() const { return empty_; }
  QListView* list() const { return list_; }
  bool isListShown() const;

 private:
  QLabel* title_ = nullptr;
  QWidget* emptyPage_ = nullptr;
  QLabel* empty_ = nullptr;
  QStackedWidget* body_ = nullptr;
  QListView* list_ = nullptr;
  SkippedListModel* rows_ = nullptr;
};

}  // namespace ombrix

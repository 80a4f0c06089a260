// The review screen: the planned moves by destination over the files left
// alone, and the bar that sorts the selected ones.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "app/common/symbols.h"
#include "app/review/moves_table_model.h"
#include "app/shell/observations.h"
#include "rozuzed/support/file_url.h"
#include "sortappkit/app_model.h"

class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QStackedWidget;

namespace ombrix {

class MovesTableView;
class SkippedPane;

// Two selections live here and stay apart: the checkboxes are the model's
// `selection` (what Sort carries out), changed only through the model; the
// highlight is the table's own row selection, which Space, the context menu
// and Quick Look act on and which never changes what is sorted.
//
// Follows the model's plan, selection and phase as they change, whoever
// changes them. The highlighted files become the preview list of the
// application delegate each time the highlight changes, and only then.
// Installs no Return shortcut: the main window presses `defaultButton()`.
class ReviewView : public QWidget {
  Q_OBJECT

 public:
  explicit ReviewView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent = nullptr);

  // "Sort N Files", which Return presses while it is enabled.
  QPushButton* defaultButton() const { return sortButton_; }

  MovesTableView* table() const { return table_; }
  MovesTableModel* tableModel() const { return moves_; }
  SkippedPane* skippedPane() const { return skipped_; }
  QSplitter* splitter() const { return splitter_; }
  QLabel* countLabel() const { return count_; }
  QPushButton* allButton() const { return all_; }
  QPushButton* noneButton() const { return none_; }
  // The "Nothing to sort" placeholder, shown instead of the table.
  QWidget* placeholder() const { return placeholder_; }
  bool isPlaceholderShown() const;
  // Shown instead of the table while there is no plan: what the failed scan
  // reported, or nothing at all.
  QWidget* failurePage() const { return failure_.page; }
  bool isFailureShown() const;
  // The context menu of the table, as a secondary click opens it.
  QMenu* contextMenu() const { return menu_; }

  // The highlighted move rows in display order, and their files where they
  // are now.
  std::vector<const sortappkit::MoveRow*> highlightedRows() const;
  std::vector<rozuzed::FileURL> highlightedURLs() const;

  // Flips the check of each highlighted row on its own.
  void toggleHighlighted();
  // Brings the file manager forward with the highlighted files selected, or
  // the sorted folder when nothing is highlighted; says so through the
  // model's problem when neither it nor the folder's own opener answers.
  void revealHighlighted();

 private:
  struct Page {
    QWidget* page = nullptr;
    QLabel* symbol = nullptr;
    QLabel* title = nullptr;
    QLabel* description = nullptr;
  };
  Page makePage(Symbol symbol, const QString& title, const QString& description);
  void showFailure();
  QWidget* makeActionBar();
  void showPlan();
  void showSelection();
  void highlightChanged();
  // Where the highlighted move rows lie, in display order.
  std::vector<MovesTableModel::RowRef> highlightedRefs() const;

  std::shared_ptr<sortappkit::AppModel> model_;
  MovesTableModel* moves_ = nullptr;
  MovesTableView* table_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QStackedWidget* movesPane_ = nullptr;
  QWidget* placeholder_ = nullptr;
  Page failure_;
  SkippedPane* skipped_ = nullptr;
  QLabel* count_ = nullptr;
  QPushButton* all_ = nullptr;
  QPushButton* none_ = nullptr;
  QPushButton* sortButton_ = nullptr;
  QMenu* menu_ = nullptr;
  Observations observations_;
};

}  // namespace ombrix

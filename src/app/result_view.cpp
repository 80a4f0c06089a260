#include "app/result_view.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace ombrix {

ResultView::ResultView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
  auto* layout = new QHBoxLayout(this);
  undoButton_ = new QPushButton(tr("Undo"), this);
  doneButton_ = new QPushButton(tr("Done"), this);
  layout->addWidget(undoButton_);
  layout->addWidget(doneButton_);
  undoButton_->hide();
}

bool ResultView::isUndoShown() const {
  return !undoButton_->isHidden();
}

}  // namespace ombrix

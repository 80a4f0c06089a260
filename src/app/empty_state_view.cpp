#include "app/empty_state_view.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace ombrix {

EmptyStateView::EmptyStateView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
  auto* layout = new QVBoxLayout(this);
  chooseButton_ = new QPushButton(tr("Choose Folder…"), this);
  layout->addWidget(chooseButton_);
}

}  // namespace ombrix

#include "app/review_view.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace ombrix {

ReviewView::ReviewView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
  auto* layout = new QVBoxLayout(this);
  sortButton_ = new QPushButton(this);
  layout->addWidget(sortButton_);
}

}  // namespace ombrix

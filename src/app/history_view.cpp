#include "app/history_view.h"

namespace ombrix {

HistoryView::HistoryView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent)
    : QDialog(parent), model_(std::move(model)) {
  setWindowModality(Qt::WindowModal);
}

}  // namespace ombrix

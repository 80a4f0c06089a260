#include "app/scanning_view.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/texts.h"

namespace ombrix {

ScanningView::ScanningView(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  text_ = new QLabel(this);
  layout->addWidget(text_);
  setFolderName(std::nullopt);
}

void ScanningView::setFolderName(const std::optional<std::string>& folderName) {
  text_->setText(tr("Looking through %1…").arg(folderName ? qs(*folderName) : tr("the folder")));
}

}  // namespace ombrix

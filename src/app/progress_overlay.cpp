#include "app/progress_overlay.h"

namespace ombrix {

ProgressOverlay::ProgressOverlay(QWidget* parent) : QWidget(parent) {}

void ProgressOverlay::setState(const QString&, const std::optional<rozuzed::ExecutionProgress>&) {}

}  // namespace ombrix

#include "screenshots/scene.h"

namespace ombrix::screenshots {

std::vector<Scene>& scenes() {
  static std::vector<Scene> all;
  return all;
}

QWidget* showScene(const Scene& scene, testing::WindowFixture& fixture,
                   std::vector<std::shared_ptr<void>>& keep) {
  QWidget* widget = scene.build(fixture, keep);
  if (widget == nullptr) return nullptr;
  if (!widget->isVisible()) {
    if (widget->isWindow() && widget->size() == QSize(640, 480)) widget->resize(960, 640);
    widget->show();
  }
  testing::settle();
  return widget;
}

}  // namespace ombrix::screenshots

// One picture of the screenshot tool: a name and the code that sets up the
// window for it. Each screen's scenes live in a file of their own and
// register themselves.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "testing/window_fixture.h"

namespace ombrix::screenshots {

// Builds what the picture shows, over a fresh fixture, and returns the
// top-level widget to render (shown at 960×640 unless the scene sized it).
// The scene keeps ownership of everything it makes in `keep`.
struct Scene {
  std::string name;
  std::function<QWidget*(testing::WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep)>
      build;
};

std::vector<Scene>& scenes();

// Builds `scene` and shows what it returns at its size, once every task it
// started has run; null when the scene had nothing to show.
QWidget* showScene(const Scene& scene, testing::WindowFixture& fixture,
                   std::vector<std::shared_ptr<void>>& keep);

// A screen over `model` at the pictures' size, kept in `keep` before the
// model it watches, so it goes first.
template <class Screen>
Screen* keepScreen(std::shared_ptr<sortappkit::AppModel> model,
                   std::vector<std::shared_ptr<void>>& keep) {
  auto screen = std::make_shared<Screen>(model);
  screen->resize(960, 640);
  keep.push_back(screen);
  keep.push_back(std::move(model));
  return screen.get();
}

struct Registration {
  explicit Registration(Scene scene) { scenes().push_back(std::move(scene)); }
};

}  // namespace ombrix::screenshots

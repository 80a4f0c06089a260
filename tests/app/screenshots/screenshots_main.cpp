// Renders every registered scene offscreen into one PNG file each:
//   ombrix-screenshots OUTPUT_FOLDER [NAME...]
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>
#include <set>

#include "app/shell/ombrix_app.h"
#include "screenshots/scene.h"

namespace ombrix::screenshots {

std::vector<Scene>& scenes() {
  static std::vector<Scene> all;
  return all;
}

}  // namespace ombrix::screenshots

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ombrix::OmbrixApp::prepare(app);
  if (argc < 2) {
    std::fprintf(stderr, "usage: ombrix-screenshots OUTPUT_FOLDER [NAME...]\n");
    return 2;
  }
  const QString output = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(output);
  std::set<std::string> only(argv + 2, argv + argc);

  int failures = 0;
  for (const auto& scene : ombrix::screenshots::scenes()) {
    if (!only.empty() && only.count(scene.name) == 0) continue;
    ombrix::testing::WindowFixture fixture;
    std::vector<std::shared_ptr<void>> keep;
    QWidget* widget = scene.build(fixture, keep);
    if (widget == nullptr) {
      std::fprintf(stderr, "%s: nothing to show\n", scene.name.c_str());
      ++failures;
      continue;
    }
    if (!widget->isVisible()) {
      if (widget->isWindow() && widget->size() == QSize(640, 480)) widget->resize(960, 640);
      widget->show();
    }
    ombrix::testing::settle();
    const QString path =
        output + QStringLiteral("/") + QString::fromStdString(scene.name) + QStringLiteral(".png");
    if (!widget->grab().save(path)) {
      std::fprintf(stderr, "%s: could not write %s\n", scene.name.c_str(), qPrintable(path));
      ++failures;
      continue;
    }
    std::printf("%s\n", qPrintable(path));
    keep.clear();
    ombrix::testing::settle();
  }
  return failures == 0 ? 0 : 1;
}

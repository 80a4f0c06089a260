// Renders every registered scene offscreen into PNG files: NAME.png in the
// light palette, NAME-dark.png in a dark one, and NAME-smallest.png at the
// window's minimum size for the scenes that fill the window.
//   ombrix-screenshots OUTPUT_FOLDER [NAME...]
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>
#include <set>

#include "app/common/symbols.h"
#include "app/shell/main_window.h"
#include "app/shell/ombrix_app.h"
#include "screenshots/scene.h"
#include "testing/shown_texts.h"

namespace {

bool save(QWidget* widget, const QString& path) {
  if (!widget->grab().save(path)) {
    std::fprintf(stderr, "could not write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

}  // namespace

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

  const QPalette light = QApplication::palette();
  const QPalette dark = ombrix::readablePalette(ombrix::testing::darkPalette());
  int failures = 0;
  for (const auto& [palette, suffix] : {std::pair{light, ""}, std::pair{dark, "-dark"}}) {
    QApplication::setPalette(palette);
    for (const auto& scene : ombrix::screenshots::scenes()) {
      if (!only.empty() && only.count(scene.name) == 0) continue;
      ombrix::testing::WindowFixture fixture;
      std::vector<std::shared_ptr<void>> keep;
      QWidget* widget = ombrix::screenshots::showScene(scene, fixture, keep);
      if (widget == nullptr) {
        std::fprintf(stderr, "%s: nothing to show\n", scene.name.c_str());
        ++failures;
        continue;
      }
      const QString name = output + QStringLiteral("/") + QString::fromStdString(scene.name);
      if (!save(widget, name + QString::fromLatin1(suffix) + QStringLiteral(".png"))) ++failures;
      if (palette == light && widget->size() == ombrix::MainWindow::firstSize) {
        widget->resize(ombrix::MainWindow::minimumContentSize);
        ombrix::testing::settle();
        if (!save(widget, name + QStringLiteral("-smallest.png"))) ++failures;
      }
      keep.clear();
      ombrix::testing::settle();
    }
  }
  return failures == 0 ? 0 : 1;
}

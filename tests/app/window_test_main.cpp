// The window tests share one application object, made before any test runs,
// offscreen unless the caller chose a platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/shell/ombrix_app.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ombrix::OmbrixApp::prepare(app);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

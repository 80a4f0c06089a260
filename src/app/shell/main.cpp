#include <QApplication>

#include "app/shell/ombrix_app.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ombrix::OmbrixApp::prepare(app);
  ombrix::OmbrixApp ombrix;
  ombrix.show();
  return QApplication::exec();
}

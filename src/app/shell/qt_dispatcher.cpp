#include "app/shell/qt_dispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace ombrix {

void QtDispatcher::post(std::function<void()> task) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return;
  QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
}

}  // namespace ombrix

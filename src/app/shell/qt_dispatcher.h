// Stands in for the platform's main-queue dispatch: Qt's queued invocation
// on the thread of the application object.
#pragma once

#include <QObject>
#include <QPointer>

#include "sortappkit/main_thread_dispatcher.h"

namespace ombrix {

// Tasks run from the Qt event loop of the main thread, in the order posted.
// Posting is safe from any thread; a task posted after the application
// object is gone is dropped.
class QtDispatcher final : public sortappkit::MainThreadDispatcher {
 public:
  void post(std::function<void()> task) override;
};

}  // namespace ombrix

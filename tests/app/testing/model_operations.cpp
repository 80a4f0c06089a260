#include "testing/model_operations.h"

#include <stdexcept>

#include "testing/window_fixture.h"

namespace ombrix::testing {

bool runToEnd(const std::function<void(sortappkit::AppModel::Done)>& operation) {
  bool ended = false;
  operation([&ended] { ended = true; });
  return waitUntil([&ended] { return ended; });
}

rozuzed::Uuid sortAll(sortappkit::AppModel& model) {
  const auto& last = model.lastRun().get();
  const std::optional<rozuzed::Uuid> before = last ? std::optional(last->id) : std::nullopt;
  if (!runToEnd([&](auto done) { model.apply(done); }) || !model.lastRun().get() ||
      model.lastRun().get()->id == before) {
    throw std::runtime_error("the sort did not finish");
  }
  return model.lastRun().get()->id;
}

void undoRun(sortappkit::AppModel& model, const rozuzed::Uuid& id) {
  if (!runToEnd([&](auto done) { model.undo(id, done); })) {
    throw std::runtime_error("the undo did not finish");
  }
}

}  // namespace ombrix::testing

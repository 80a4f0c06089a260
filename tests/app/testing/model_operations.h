// Real runs through the application model, for the screens that show them.
#pragma once

#include <functional>

#include "sortappkit/app_model.h"

namespace ombrix::testing {

// Starts one asynchronous operation of the model and runs the event loop
// until it has ended; false when it never did.
bool runToEnd(const std::function<void(sortappkit::AppModel::Done)>& operation);

// Sorts every move of the plan under review and returns the run's id.
rozuzed::Uuid sortAll(sortappkit::AppModel& model);

// Puts back what is left of the run `id`.
void undoRun(sortappkit::AppModel& model, const rozuzed::Uuid& id);

}  // namespace ombrix::testing

// Keeps the engine's one worker at work until the test lets it go.
#pragma once

#include <future>

#include "rozuzed/support/file_url.h"
#include "sortappkit/sort_engine.h"

namespace ombrix::testing {

// Whatever the user asks of the engine meanwhile waits in line behind it, so
// a sort or an undo asked for now stays under way in the model for as long
// as the test wants, with no waiting on time. It holds the run lock while it
// waits and leaves nothing behind: its scan of `folder` never runs. Released
// at the latest when it goes.
class EngineHold {
 public:
  EngineHold(sortappkit::SortEngine& engine, const rozuzed::FileURL& folder);
  ~EngineHold();
  EngineHold(const EngineHold&) = delete;
  EngineHold& operator=(const EngineHold&) = delete;

  void release();

 private:
  std::promise<void> release_;
  bool released_ = false;
};

}  // namespace ombrix::testing

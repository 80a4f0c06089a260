#include "testing/engine_hold.h"

#include <memory>
#include <stdexcept>

#include "rozuzed/support/security_scoped_access.h"

namespace ombrix::testing {
namespace {

// Waits for the release, then refuses the scan it was asked to allow.
class WaitingAccess final : public rozuzed::SecurityScopedAccess {
 public:
  explicit WaitingAccess(std::shared_future<void> released) : released_(std::move(released)) {}

  void withAccess(const rozuzed::FileURL&, const std::function<void()>&) override {
    released_.wait();
    throw std::runtime_error("the hold was released");
  }

 private:
  std::shared_future<void> released_;
};

}  // namespace

EngineHold::EngineHold(sortappkit::SortEngine& engine, const rozuzed::FileURL& folder) {
  auto rules = sortappkit::awaitEngine<rozuzed::LoadedRuleSet>(
      [&engine](auto done) { engine.defaultRules(done); });
  engine.plan(folder, std::move(rules), 1,
              std::make_shared<WaitingAccess>(release_.get_future().share()),
              [](sortappkit::Outcome<rozuzed::SortPlan>) {});
}

EngineHold::~EngineHold() {
  release();
}

void EngineHold::release() {
  if (released_) return;
  released_ = true;
  release_.set_value();
}

}  // namespace ombrix::testing

#include "rozuzed/model/run_record.h"

#include <functional>

namespace rozuzed {
namespace {

void combine(std::size_t& seed, std::size_t value) {
  seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

std::size_t hashDouble(double value) {
  return std::hash<double>{}(value == 0 ? 0.0 : value);
}

template <class T, class Hash>
void combineOptional(std::size_t& seed, const std::optional<T>& value, Hash hash) {
  combine(seed, value.has_value());
  if (value) combine(seed, hash(*value));
}

}  // namespace

std::string toText(RunKind kind) {
  switch (kind) {
    case RunKind::apply:
      return "apply";
    case RunKind::undo:
      return "undo";
  }
  return "apply";
}

std::optional<RunKind> runKindFromText(const std::string& text) {
  for (auto kind : {RunKind::apply, RunKind::undo}) {
    if (toText(kind) == text) return kind;
  }
  return std::nullopt;
}

std::string toText(RunState state) {
  switch (state) {
    case RunState::running:
      return "running";
    case RunState::finished:
      return "finished";
    case RunState::recovered:
      return "recovered";
    case RunState::legacy:
      return "legacy";
  }
  return "running";
}

std::optional<RunState> runStateFromText(const std::string& text) {
  for (auto state :
       {RunState::running, RunState::finished, RunState::recovered, RunState::legacy}) {
    if (toText(state) == text) return state;
  }
  return std::nullopt;
}

bool RunRecord::wasInterrupted() const {
  return state == RunState::running && owner.isFinishedForever();
}

bool RunRecord::isLive() const {
  return state == RunState::running && !owner.isFinishedForever();
}

std::size_t RunRecord::hash() const {
  auto uuid = std::hash<Uuid>{};
  std::size_t seed = uuid(id);
  combine(seed, static_cast<std::size_t>(kind));
  combine(seed, static_cast<std::size_t>(state));
  combineOptional(seed, planID, uuid);
  combineOptional(seed, reversesRunID, uuid);
  combineOptional(seed, sourceDirectory, std::hash<FileURL>{});
  combine(seed, hashDouble(startedAt));
  combineOptional(seed, finishedAt, hashDouble);
  combine(seed, std::hash<ProcessIdentity>{}(owner));
  combineOptional(seed, appliedPlan, std::hash<AppliedPlan>{});
  return seed;
}

}  // namespace rozuzed

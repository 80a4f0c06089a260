#include "rozuzed/model/run_record.h"

#include <functional>

#include "rozuzed/support/hashing.h"

namespace rozuzed {
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
  hashCombine(seed, static_cast<std::size_t>(kind));
  hashCombine(seed, static_cast<std::size_t>(state));
  hashCombineOptional(seed, planID, uuid);
  hashCombineOptional(seed, reversesRunID, uuid);
  hashCombineOptional(seed, sourceDirectory, std::hash<FileURL>{});
  hashCombine(seed, hashDouble(startedAt));
  hashCombineOptional(seed, finishedAt, hashDouble);
  hashCombine(seed, std::hash<ProcessIdentity>{}(owner));
  hashCombineOptional(seed, appliedPlan, std::hash<AppliedPlan>{});
  return seed;
}

}  // namespace rozuzed

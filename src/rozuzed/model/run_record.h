// The header of one journal run: an apply of a reviewed plan or an undo of
// an earlier apply. Its moves are the journal entries that carry its id.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "rozuzed/journal/process_identity.h"
#include "rozuzed/model/applied_plan.h"
#include "rozuzed/support/dates.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/uuid.h"

namespace rozuzed {

// Stored as its case name.
enum class RunKind { apply, undo };

std::string toText(RunKind kind);
// Exact, case-sensitive; absent for any other text.
std::optional<RunKind> runKindFromText(const std::string& text);

// `running` until finished or recovered; nothing sets a run back to
// running, and a `legacy` run (carried over from the one-table journal)
// never changes. Stored as its case name.
enum class RunState { running, finished, recovered, legacy };

std::string toText(RunState state);
// Exact, case-sensitive; absent for any other text.
std::optional<RunState> runStateFromText(const std::string& text);

// A plain value; equality is member-wise and exact (the owner's start time
// included). An apply run's id is the id of the plan it carries out.
struct RunRecord {
  Uuid id = Uuid::random();
  RunKind kind = RunKind::apply;
  RunState state = RunState::running;
  // The plan an apply run carries out.
  std::optional<Uuid> planID;
  // For an undo run, the apply run it puts back.
  std::optional<Uuid> reversesRunID;
  std::optional<FileURL> sourceDirectory;
  Date startedAt = 0;
  std::optional<Date> finishedAt;
  ProcessIdentity owner;
  // For an apply run; absent for undo and legacy runs and when a stored
  // snapshot cannot be read back.
  std::optional<AppliedPlan> appliedPlan;

  // Running, and its owner has ended or belongs to another boot. Asks the
  // process table anew at every call; a run in any other state is neither
  // interrupted nor live, and its owner is not asked.
  bool wasInterrupted() const;
  // Running, and its owner is this process or another live one.
  bool isLive() const;

  bool operator==(const RunRecord&) const = default;
  std::size_t hash() const;
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::RunRecord> {
  std::size_t operator()(const rozuzed::RunRecord& run) const noexcept { return run.hash(); }
};

// ombrix-driver: the engine from the command line, for crash tests and
// benchmarks. It plans, applies, undoes and reconciles on the real disk,
// with the journal at its default location and the run lock beside it, and
// honours the fault-injection variables. Never installed.
//
//   ombrix-driver [--rules FILE] plan FOLDER
//   ombrix-driver [--rules FILE] apply FOLDER
//   ombrix-driver undo RUN-ID
//   ombrix-driver reconcile
//   ombrix-driver history
//
// Exit status: 0 success, 1 a failed operation (its message on standard
// error), 2 a usage error.

#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rozuzed/execution/executor.h"
#include "rozuzed/execution/undo_runner.h"
#include "rozuzed/filesystem/live_file_system.h"
#include "rozuzed/journal/run_lock.h"
#include "rozuzed/journal/sqlite_journal_store.h"
#include "rozuzed/model/plan_coding.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/planning/planner.h"
#include "rozuzed/recovery/recovery_runner.h"
#include "rozuzed/rules/rule_engine.h"
#include "rozuzed/rules/rule_set_loader.h"
#include "rozuzed/support/date_provider.h"
#include "rozuzed/support/json.h"
#include "rozuzed/support/unicode.h"

namespace rozuzed {
namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    "usage: ombrix-driver [--rules FILE] plan FOLDER\n"
    "       ombrix-driver [--rules FILE] apply FOLDER\n"
    "       ombrix-driver undo RUN-ID\n"
    "       ombrix-driver reconcile\n"
    "       ombrix-driver history\n";

struct UsageError {
  std::string message;
};

struct Command {
  std::string name;
  std::optional<std::string> rules;
  std::optional<std::string> argument;
  std::optional<Uuid> runID;
};

Command parseCommand(const std::vector<std::string>& arguments) {
  Command command;
  std::size_t at = 0;
  if (at < arguments.size() && arguments[at] == "--rules") {
    if (at + 1 >= arguments.size()) throw UsageError{"--rules needs a file"};
    command.rules = arguments[at + 1];
    at += 2;
  }
  if (at >= arguments.size()) throw UsageError{"no command given"};
  command.name = arguments[at++];
  std::vector<std::string> rest(arguments.begin() + static_cast<std::ptrdiff_t>(at),
                                arguments.end());
  bool takesFolder = command.name == "plan" || command.name == "apply";
  if (takesFolder || command.name == "undo") {
    if (rest.size() != 1) throw UsageError{command.name + " takes exactly one argument"};
    command.argument = rest[0];
  } else if (command.name == "reconcile" || command.name == "history") {
    if (!rest.empty()) throw UsageError{command.name + " takes no argument"};
  } else {
    throw UsageError{"unknown command " + command.name};
  }
  if (command.rules && !takesFolder) throw UsageError{"--rules goes with plan and apply only"};
  if (command.name == "undo") {
    command.runID = Uuid::parse(*command.argument);
    if (!command.runID) throw UsageError{"not a run id: " + *command.argument};
  }
  return command;
}

// Paths and messages go into JSON, which holds only UTF-8; a name that is
// not UTF-8 is shown percent-encoded instead.
std::string text(const std::string& raw) {
  return isValidUtf8(raw) ? raw : percentEncodePath(raw);
}

std::string path(const FileURL& url) {
  return text(url.path());
}

Json entryJson(const JournalEntry& entry) {
  Json out = {{"id", entry.id.text()},
              {"source", path(entry.sourceURL)},
              {"destination", path(entry.destinationURL)},
              {"state", toText(entry.state)},
              {"strategy", toText(entry.strategy)}};
  if (entry.attentionReason) out["attentionReason"] = text(*entry.attentionReason);
  return out;
}

Json entriesJson(const std::vector<JournalEntry>& entries) {
  Json out = Json::array();
  for (const auto& entry : entries) out.push_back(entryJson(entry));
  return out;
}

Json skippedJson(const std::vector<SkippedFile>& skipped) {
  Json out = Json::array();
  for (const auto& item : skipped) {
    out.push_back({{"path", path(item.url)}, {"reason", item.reason.label()}});
  }
  return out;
}

Json applyReportJson(const ExecutionReport& report, const SortPlan& plan) {
  Json moved = Json::array();
  for (const auto& entry : report.completed) {
    moved.push_back({{"source", path(entry.sourceURL)},
                     {"destination", path(entry.destinationURL)},
                     {"strategy", toText(entry.strategy)}});
  }
  Json failures = Json::array();
  for (const auto& failure : report.failures) {
    failures.push_back(
        {{"path", path(failure.move.source)}, {"message", text(failure.error.errorDescription())}});
  }
  return {{"runID", report.runID.text()},
          {"completeSuccess", report.isCompleteSuccess()},
          {"moved", moved},
          {"skipped", skippedJson(report.skipped)},
          {"failures", failures},
          {"planSkipped", skippedJson(plan.skipped)}};
}

std::string undoReasonText(const UndoSkipReason& reason) {
  switch (reason.reasonCase()) {
    case UndoSkipReason::Case::fileMissingAtRecordedLocation:
      return "fileMissingAtRecordedLocation";
    case UndoSkipReason::Case::fingerprintMismatch:
      return "fingerprintMismatch";
    case UndoSkipReason::Case::originalPathNowOccupied:
      return "originalPathNowOccupied";
    case UndoSkipReason::Case::alreadyUndone:
      return "alreadyUndone";
    case UndoSkipReason::Case::notCommitted:
      return "notCommitted";
    case UndoSkipReason::Case::restoreFailed:
      break;
  }
  return "restoreFailed";
}

Json undoReportJson(const UndoReport& report) {
  Json restored = Json::array();
  for (const auto& entry : report.restored) {
    restored.push_back({{"from", path(entry.destinationURL)}, {"to", path(entry.sourceURL)}});
  }
  Json skipped = Json::array();
  for (const auto& skip : report.skipped) {
    Json item = {{"path", path(skip.entry.destinationURL)},
                 {"reason", undoReasonText(skip.reason)}};
    if (skip.reason.error()) item["message"] = text(skip.reason.error()->errorDescription());
    skipped.push_back(item);
  }
  Json leftovers = Json::array();
  for (const auto& url : report.leftovers) leftovers.push_back(path(url));
  return {{"runID", report.runID.text()},
          {"reversedRunID", report.reversedRunID.text()},
          {"completeSuccess", report.isCompleteSuccess()},
          {"restored", restored},
          {"skipped", skipped},
          {"leftovers", leftovers}};
}

Json recoveryJson(const RecoveryOutcome& outcome) {
  switch (outcome.outcomeCase()) {
    case RecoveryOutcome::Case::anotherProcessIsRunning:
      return {{"outcome", "anotherProcessIsRunning"},
              {"runID", outcome.run()->id.text()},
              {"startedAt", outcome.run()->startedAt}};
    case RecoveryOutcome::Case::recovered: {
      Json reports = Json::array();
      for (const auto& report : outcome.reports()) {
        reports.push_back({{"runID", report.runID.text()},
                           {"runKind", toText(report.runKind)},
                           {"interruptedAt", report.interruptedAt},
                           {"committed", entriesJson(report.committed)},
                           {"abandoned", entriesJson(report.abandoned)},
                           {"needsAttention", entriesJson(report.needsAttention)}});
      }
      return {{"outcome", "recovered"}, {"reports", reports}};
    }
    case RecoveryOutcome::Case::nothingToRecover:
      break;
  }
  return {{"outcome", "nothingToRecover"}};
}

Json batchJson(const BatchSummary& batch) {
  Json out = {{"id", batch.id.text()},
              {"kind", toText(batch.kind)},
              {"state", toText(batch.state)},
              {"performedAt", batch.performedAt}};
  if (batch.sourceDirectory) out["sourceDirectory"] = path(*batch.sourceDirectory);
  out["moveCount"] = batch.moveCount;
  out["undoneCount"] = batch.undoneCount;
  out["needsAttentionCount"] = batch.needsAttentionCount;
  return out;
}

void print(const Json& value) {
  std::cout << dumpJson(value) << "\n";
}

// Held for the whole command, as the application holds it for each
// operation; released when the process ends, however it ends.
std::unique_ptr<RunLock> takeRunLock() {
  auto lock = RunLock::acquire(RunLock::defaultURL());
  if (!lock) throw std::runtime_error("Another copy of Ombrix is working on these files.");
  return lock;
}

SortPlan makePlan(const Command& command, FileSystem& fileSystem, const DateProvider& dates,
                  PlanStore& plans) {
  LoadedRuleSet rules = command.rules ? RuleSetLoader::load(FileURL::fromPath(*command.rules))
                                      : RuleSetLoader::bundledDefault();
  RuleEngine engine(rules);
  Planner planner(fileSystem, engine, dates,
                  Planner::Configuration{
                      .maxDepth = 1, .safety = SafetyPolicy(), .roots = DirectoryRoots::current()});
  SortPlan plan = planner.plan(FileURL::fromPath(*command.argument, true).standardized());
  plans.save(plan);
  return plan;
}

int run(const Command& command) {
  LiveFileSystem fileSystem;
  SystemDateProvider dates;
  UnscopedAccess access;
  SQLiteJournalStore store(SQLiteJournalStore::defaultURL());

  if (command.name == "history") {
    for (const auto& batch : store.recentBatches(50)) print(batchJson(batch));
    return kSuccess;
  }

  auto lock = takeRunLock();
  if (command.name == "plan") {
    print(makePlan(command, fileSystem, dates, store).toJson());
  } else if (command.name == "apply") {
    SortPlan plan = makePlan(command, fileSystem, dates, store);
    Executor executor(fileSystem, store, access, dates);
    print(applyReportJson(executor.apply(plan), plan));
  } else if (command.name == "undo") {
    print(undoReportJson(UndoRunner(fileSystem, store, access, dates).undo(*command.runID)));
  } else {
    print(recoveryJson(RecoveryRunner(fileSystem, store, dates).reconcile(*lock)));
  }
  return kSuccess;
}

}  // namespace
}  // namespace rozuzed

int main(int argc, char** argv) {
  using namespace rozuzed;
  std::vector<std::string> arguments(argv + 1, argv + argc);
  try {
    return run(parseCommand(arguments));
  } catch (const UsageError& error) {
    std::cerr << "ombrix-driver: " << error.message << "\n" << kUsageText;
    return kUsage;
  } catch (const SortError& error) {
    std::cerr << error.errorDescription() << "\n";
    return kFailure;
  } catch (const std::exception& error) {
    std::cerr << error.what() << "\n";
    return kFailure;
  }
}

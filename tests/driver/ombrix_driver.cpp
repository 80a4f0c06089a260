// ombrix-driver: the engine from the command line, for crash tests and
// benchmarks. It plans, applies, undoes and reconciles on the real disk
// through the application's engine facade, so its run lock and serial
// executor are the ones under test; the journal is at its default location
// and the fault-injection variables are honoured. Never installed.
//
//   ombrix-driver [--rules FILE] plan FOLDER
//   ombrix-driver [--rules FILE] apply FOLDER
//   ombrix-driver undo RUN-ID
//   ombrix-driver reconcile
//   ombrix-driver history
//
// FOLDER is an absolute path; a relative rule FILE is read from the working
// directory. Apply and undo first settle the runs of processes that are gone;
// their report holds what that found under "reconciled", as reconcile
// prints it.
//
// Exit status: 0 success, 1 a failed operation (its message on standard
// error), 2 a usage error.

#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rozuzed/execution/executor.h"
#include "rozuzed/execution/undo_runner.h"
#include "rozuzed/model/batch_summary.h"
#include "rozuzed/model/plan_coding.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/recovery/recovery_runner.h"
#include "rozuzed/rules/rule_set_loader.h"
#include "rozuzed/support/json.h"
#include "rozuzed/support/security_scoped_access.h"
#include "rozuzed/support/unicode.h"
#include "sortappkit/sort_engine.h"

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
  // Sorting whatever folder the driver happens to run in is never meant.
  if (takesFolder && !command.argument->starts_with('/')) {
    throw UsageError{command.name + " needs an absolute folder, not \"" + *command.argument + "\""};
  }
  if (command.rules && command.rules->empty()) throw UsageError{"--rules needs a file"};
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

void writeSkipped(JsonWriter& out, const std::vector<SkippedFile>& skipped) {
  out.beginArray();
  for (const auto& item : skipped) {
    out.beginObject();
    out.key("path").string(path(item.url));
    out.key("reason").string(item.reason.label());
    out.endObject();
  }
  out.endArray();
}

// Written as it goes, like a plan: an apply of many thousand moves would
// otherwise build a tree several times its own size.
void writeApplyReport(JsonWriter& out, const ExecutionReport& report,
                      const std::vector<SkippedFile>& planSkipped) {
  out.key("runID").string(report.runID.text());
  out.key("completeSuccess").boolean(report.isCompleteSuccess());
  out.key("moved").beginArray();
  for (const auto& entry : report.completed) {
    out.beginObject();
    out.key("source").string(path(entry.sourceURL));
    out.key("destination").string(path(entry.destinationURL));
    out.key("strategy").string(toText(entry.strategy));
    out.endObject();
  }
  out.endArray();
  writeSkipped(out.key("skipped"), report.skipped);
  out.key("failures").beginArray();
  for (const auto& failure : report.failures) {
    out.beginObject();
    out.key("path").string(path(failure.move.source));
    out.key("message").string(text(failure.error.errorDescription()));
    out.endObject();
  }
  out.endArray();
  writeSkipped(out.key("planSkipped"), planSkipped);
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

using sortappkit::awaitEngine;
using sortappkit::SortEngine;

void print(const Json& value) {
  std::cout << dumpJson(value) << "\n";
}

void toStandardOutput(std::string_view piece) {
  std::cout << piece;
}

// A plan is written out as it was saved, or, when the store did not hold
// that text, as it is coded, never as a tree: one of many thousand moves
// would take several times its memory.
void print(const SortEngine::CodedPlan& coded) {
  if (coded.text.empty()) {
    PlanCoding::encode(coded.plan, toStandardOutput);
  } else {
    toStandardOutput(coded.text);
  }
  std::cout << "\n";
}

// Planned as the application plans: depth 1, the default safety policy, the
// standard roots; the plan is saved in the journal's plan store.
SortEngine::CodedPlan makePlan(const Command& command, SortEngine& engine,
                               const std::shared_ptr<SecurityScopedAccess>& access) {
  LoadedRuleSet rules =
      command.rules ? RuleSetLoader::load(
                          FileURL::fromPath(std::filesystem::absolute(*command.rules).string()))
                    : awaitEngine<LoadedRuleSet>([&](auto done) { engine.defaultRules(done); });
  FileURL folder = FileURL::fromPath(*command.argument, true).standardized();
  return awaitEngine<SortEngine::CodedPlan>(
      [&](auto done) { engine.codedPlan(folder, std::move(rules), 1, access, done); });
}

int run(const Command& command) {
  SortEngine engine(SortEngine::defaultStore(), std::nullopt);
  auto access = std::make_shared<UnscopedAccess>();
  // What apply and undo settled before they began, shown under "reconciled"
  // as the reconcile command shows it.
  std::optional<Json> settled;
  auto hearSettled = [&settled](const RecoveryOutcome& outcome) {
    settled = recoveryJson(outcome);
  };
  auto withSettled = [&settled](Json report) {
    if (settled) report["reconciled"] = *settled;
    return report;
  };

  if (command.name == "history") {
    auto batches = awaitEngine<std::vector<BatchSummary>>(
        [&](auto done) { engine.recentBatches(SortEngine::defaultHistoryLimit, done); });
    for (const auto& batch : batches) print(batchJson(batch));
  } else if (command.name == "plan") {
    print(makePlan(command, engine, access));
  } else if (command.name == "apply") {
    SortPlan plan = makePlan(command, engine, access).plan;
    // The engine takes the plan itself; the report needs only what it left.
    std::vector<SkippedFile> planSkipped = plan.skipped;
    auto report = awaitEngine<ExecutionReport>(
        [&](auto done) { engine.apply(std::move(plan), access, nullptr, hearSettled, done); });
    JsonWriter out(toStandardOutput);
    out.beginObject();
    writeApplyReport(out, report, planSkipped);
    if (settled) out.key("reconciled").value(*settled);
    out.endObject();
    out.finish();
    std::cout << "\n";
  } else if (command.name == "undo") {
    print(withSettled(undoReportJson(awaitEngine<UndoReport>(
        [&](auto done) { engine.undo(*command.runID, access, nullptr, hearSettled, done); }))));
  } else {
    print(recoveryJson(awaitEngine<RecoveryOutcome>([&](auto done) { engine.reconcile(done); })));
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

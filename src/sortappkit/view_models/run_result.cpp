#include "sortappkit/view_models/run_result.h"

namespace sortappkit {

RunResult::RunResult(const rozuzed::ExecutionReport& report, const rozuzed::FileURL& folder)
    : id(report.batchID()), folder(folder) {
  moved.reserve(report.completed.size());
  for (const auto& entry : report.completed) {
    moved.push_back(
        {entry.id, entry.sourceURL.lastPathComponent(), entry.sourceURL, entry.destinationURL,
         PlanViewModel::displayName(entry.destinationURL.deletingLastPathComponent(), folder)});
  }
  leftAlone.reserve(report.skipped.size());
  for (const auto& file : report.skipped) leftAlone.emplace_back(file, folder);
  failed.reserve(report.failures.size());
  for (const auto& failure : report.failures) {
    failed.push_back({failure.move.id, failure.move.source.lastPathComponent(),
                      failure.error.errorDescription()});
  }
}

}  // namespace sortappkit

#include "sortappkit/view_models/run_result.h"

namespace sortappkit {

RunResult::RunResult(rozuzed::ExecutionReport report, const rozuzed::FileURL& folder)
    : id(report.batchID()), folder(folder) {
  moved.reserve(report.completed.size());
  for (auto& entry : report.completed) {
    std::string name = entry.sourceURL.lastPathComponent();
    std::string destinationName =
        PlanViewModel::displayName(entry.destinationURL.deletingLastPathComponent(), folder);
    moved.push_back({entry.id, std::move(name), std::move(entry.sourceURL),
                     std::move(entry.destinationURL), std::move(destinationName)});
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

#include "sortappkit/view_models/plan_view_model.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <unordered_set>

#include "rozuzed/support/unicode.h"

namespace sortappkit {

using rozuzed::FileURL;
using rozuzed::Uuid;

MoveRow::MoveRow(Uuid id, MoveKey key, FileURL sourceURL, FileURL destinationURL, std::string name,
                 int64_t size, std::string ruleID, std::string ruleName,
                 std::optional<int64_t> collisionSuffix, bool isCrossVolume)
    : id(id),
      key(std::move(key)),
      sourceURL(std::move(sourceURL)),
      destinationURL(std::move(destinationURL)),
      name(std::move(name)),
      size(size),
      ruleID(std::move(ruleID)),
      ruleName(std::move(ruleName)),
      collisionSuffix(collisionSuffix),
      isCrossVolume(isCrossVolume) {}

MoveRow::MoveRow(const rozuzed::PlannedMove& move)
    : MoveRow(move.id, MoveKey(move.source), move.source, move.destinationURL,
              move.source.lastPathComponent(), move.fingerprint.size, move.matchedRuleID,
              move.matchedRuleName, move.collisionSuffix,
              move.strategy == rozuzed::MoveStrategy::crossVolumeCopyVerifyTrash) {}

std::optional<std::string> MoveRow::renamedTo() const {
  if (!collisionSuffix) return std::nullopt;
  return destinationURL.lastPathComponent();
}

SkippedRow::SkippedRow(std::string id, FileURL url, std::string name, std::string reasonLabel,
                       std::string explanation)
    : id(std::move(id)),
      url(std::move(url)),
      name(std::move(name)),
      reasonLabel(std::move(reasonLabel)),
      explanation(std::move(explanation)) {}

SkippedRow::SkippedRow(const rozuzed::SkippedFile& file, const FileURL& folder)
    : SkippedRow(file.url.path(), file.url, PlanViewModel::displayName(file.url, folder),
                 file.reason.label(), file.reason.explanation()) {}

int64_t DestinationGroup::totalBytes() const {
  int64_t total = 0;
  for (const auto& row : rows) total += row.size;
  return total;
}

std::vector<MoveKey> DestinationGroup::keys() const {
  std::vector<MoveKey> out;
  out.reserve(rows.size());
  for (const auto& row : rows) out.push_back(row.key);
  return out;
}

PlanViewModel::PlanViewModel(const rozuzed::SortPlan& plan)
    : id(plan.id), folder(plan.sourceDirectory), createdAt(plan.createdAt) {
  const rozuzed::LocalizedStandardOrder order;

  std::map<std::string, std::size_t> groupIndex;
  for (const auto& move : plan.moves) {
    const std::string key = rozuzed::pathKey(move.destinationDirectory);
    auto [found, inserted] = groupIndex.try_emplace(key, groups.size());
    if (inserted) {
      groups.push_back({key,
                        move.destinationDirectory,
                        displayName(move.destinationDirectory, plan.sourceDirectory),
                        {}});
    }
    groups[found->second].rows.emplace_back(move);
  }
  for (auto& group : groups) {
    std::stable_sort(
        group.rows.begin(), group.rows.end(),
        [&order](const MoveRow& a, const MoveRow& b) { return order(a.name, b.name); });
  }
  std::stable_sort(groups.begin(), groups.end(),
                   [&order](const DestinationGroup& a, const DestinationGroup& b) {
                     return order(a.displayName, b.displayName);
                   });

  std::unordered_set<std::string_view> keys;
  keys.reserve(plan.moves.size());
  for (const auto& group : groups) {
    for (const auto& row : group.rows) {
      if (!keys.insert(row.key.value).second) sharesKeys = true;
    }
  }

  skipped.reserve(plan.skipped.size());
  for (const auto& file : plan.skipped) skipped.emplace_back(file, plan.sourceDirectory);
  std::stable_sort(
      skipped.begin(), skipped.end(),
      [&order](const SkippedRow& a, const SkippedRow& b) { return order(a.name, b.name); });
}

std::string PlanViewModel::displayName(const FileURL& url, const FileURL& base) {
  const std::string path = url.standardized().path();
  const std::string prefix = base.standardized().path() + "/";
  if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0) {
    return path.substr(prefix.size());
  }
  return path;
}

std::size_t PlanViewModel::moveCount() const {
  std::size_t count = 0;
  for (const auto& group : groups) count += group.rows.size();
  return count;
}

int64_t PlanViewModel::totalBytes() const {
  int64_t total = 0;
  for (const auto& group : groups) total += group.totalBytes();
  return total;
}

std::vector<Uuid> PlanViewModel::allMoveIDs() const {
  std::vector<Uuid> out;
  for (const auto& group : groups) {
    for (const auto& row : group.rows) out.push_back(row.id);
  }
  return out;
}

std::vector<MoveKey> PlanViewModel::allKeys() const {
  std::vector<MoveKey> out;
  for (const auto& group : groups) {
    for (const auto& row : group.rows) out.push_back(row.key);
  }
  return out;
}

std::unordered_map<MoveKey, std::vector<Uuid>> PlanViewModel::idsByKey() const {
  std::unordered_map<MoveKey, std::vector<Uuid>> out;
  for (const auto& group : groups) {
    for (const auto& row : group.rows) out[row.key].push_back(row.id);
  }
  return out;
}

std::vector<SkipSection> PlanViewModel::skipsByReason() const {
  // Plain text order: code points of the canonical (NFC) forms, so
  // canonically equivalent names compare equal; UTF-8 byte order is code
  // point order.
  auto plainLess = [](const std::string& a, const std::string& b) {
    return rozuzed::nfc(a) < rozuzed::nfc(b);
  };
  std::vector<SkipSection> sections;
  std::map<std::string, std::size_t> sectionIndex;
  for (const auto& row : skipped) {
    auto [found, inserted] = sectionIndex.try_emplace(row.reasonLabel, sections.size());
    if (inserted) sections.push_back({row.reasonLabel, {}});
    sections[found->second].rows.push_back(row);
  }
  for (auto& section : sections) {
    std::stable_sort(
        section.rows.begin(), section.rows.end(),
        [&](const SkippedRow& a, const SkippedRow& b) { return plainLess(a.name, b.name); });
  }
  std::stable_sort(
      sections.begin(), sections.end(),
      [&](const SkipSection& a, const SkipSection& b) { return plainLess(a.label, b.label); });
  return sections;
}

}  // namespace sortappkit

// Scans the folder the user chose into a plan of moves and skipped items.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "rozuzed/filesystem/file_system.h"
#include "rozuzed/model/sort_plan.h"
#include "rozuzed/planning/directory_roots.h"
#include "rozuzed/planning/safety_gate.h"
#include "rozuzed/rules/rule_engine.h"
#include "rozuzed/support/date_provider.h"

namespace rozuzed {

struct PlannerConfiguration {
  // Folder levels listed, the source being level 1; 0 or less acts as 1.
  int64_t maxDepth = 1;
  SafetyPolicy safety;
  DirectoryRoots roots = DirectoryRoots::current();

  bool operator==(const PlannerConfiguration&) const = default;
  std::size_t hash() const;
};

// Only looks: lists folders, reads snapshots, tests existence and names
// volumes through the file system, and never changes anything on disk. Each
// `plan` call starts from nothing and leaves nothing behind; the file
// system, rule engine and clock must outlive the planner.
class Planner {
 public:
  using Configuration = PlannerConfiguration;

  Planner(FileSystem& fileSystem, const RuleEngine& rules, const DateProvider& dates,
          Configuration configuration = Configuration());

  // The folders are scanned breadth-first, each listing in the localized
  // standard order of names (the user's collation, digits by value), and
  // the moves and skipped items keep the order in which they were met. The
  // clock is read once, after the source has proved to be a folder: that
  // instant is the plan's `createdAt` and the safety gate's time.
  //
  // Throws, with no partial plan: the file system's error when the source
  // cannot be described or listed; sourceNotADirectory for a source that is
  // not a folder or is a package; sourceInTrash for a Trash folder or a
  // folder inside one; collisionUnresolvable; the file system's
  // error when a volume cannot be named. An entry that cannot be described
  // or a sub-folder that cannot be listed is a skipped item instead.
  SortPlan plan(const FileURL& source) const;

  // The path key: two locations are the same place when their keys match.
  static std::string key(const FileURL& url) { return pathKey(url); }

  // The standardized folder a destination names for a scan of `sourceFolder`.
  FileURL directoryURL(const Destination& destination, const FileURL& sourceFolder) const;

  // The text a skip reason carries for a failure: a SortError's message,
  // otherwise the error's own description; always valid UTF-8.
  static std::string message(const std::exception& error);

  const Configuration& configuration() const { return configuration_; }

 private:
  class Scan;

  FileSystem& fileSystem_;
  const RuleEngine& rules_;
  const DateProvider& dates_;
  Configuration configuration_;
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::PlannerConfiguration> {
  std::size_t operator()(const rozuzed::PlannerConfiguration& c) const noexcept { return c.hash(); }
};

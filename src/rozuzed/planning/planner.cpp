#include "rozuzed/planning/planner.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "rozuzed/planning/collision_resolver.h"
#include "rozuzed/support/hashing.h"
#include "rozuzed/support/parallel.h"
#include "rozuzed/support/unicode.h"

namespace rozuzed {
namespace {

// Every entry of one listing lies in the same folder, so ordering the names
// orders the paths alike. One collation key per name keeps the cost of the
// collation linear in the number of entries; the keys share one buffer and
// the sort itself moves only indices.
void sortByName(std::vector<FileURL>& urls, const LocalizedStandardOrder& order) {
  struct Named {
    std::string_view name;
    std::size_t keyStart;
    std::size_t keyLength;
    // Eight bytes of the key, from where the keys of the listing start to
    // differ, as a number that orders as they do: it settles most
    // comparisons without a look into the buffer.
    uint64_t head = 0;
  };
  auto nameOf = [&urls](std::size_t i) {
    const std::string& path = urls[i].path();
    return path == "/" ? std::string_view(path)
                       : std::string_view(path).substr(path.rfind('/') + 1);
  };
  // Keys of short names take some 30 bytes.
  constexpr std::size_t kKeyBytes = 32;
  // A long listing's keys are made a run of names at a time on several
  // threads, and gathered in order.
  constexpr std::size_t kRun = 512;
  struct RunKeys {
    std::string keys;
    std::vector<std::size_t> ends;
  };
  std::vector<Named> named;
  named.reserve(urls.size());
  std::string keys;
  keys.reserve(kKeyBytes * urls.size());
  makeInRuns<RunKeys>(
      urls.size(), kRun, threadsFor(urls.size(), 4 * kRun),
      [&](std::size_t begin, std::size_t end, std::size_t) {
        RunKeys made;
        made.keys.reserve(kKeyBytes * (end - begin));
        made.ends.reserve(end - begin);
        for (std::size_t i = begin; i < end; ++i) {
          order.appendSortKey(nameOf(i), made.keys);
          made.ends.push_back(made.keys.size());
        }
        return made;
      },
      [&](RunKeys&& made) {
        std::size_t start = 0;
        for (std::size_t end : made.ends) {
          named.push_back({nameOf(named.size()), keys.size() + start, end - start});
          start = end;
        }
        keys += made.keys;
      });
  auto key = [&](const Named& entry) {
    return std::string_view(keys).substr(entry.keyStart, entry.keyLength);
  };
  std::size_t shared = named.empty() ? 0 : named.front().keyLength;
  for (const Named& entry : named) {
    std::string_view first = key(named.front());
    std::string_view other = key(entry);
    std::size_t limit = std::min({shared, first.size(), other.size()});
    shared =
        std::mismatch(first.begin(), first.begin() + limit, other.begin()).second - other.begin();
  }
  for (Named& entry : named) {
    std::string_view rest = key(entry).substr(std::min(shared, entry.keyLength));
    for (std::size_t i = 0; i < 8; ++i) {
      entry.head = entry.head << 8 | (i < rest.size() ? static_cast<unsigned char>(rest[i]) : 0);
    }
  }
  std::vector<uint32_t> ranks(urls.size());
  for (std::size_t i = 0; i < ranks.size(); ++i) ranks[i] = static_cast<uint32_t>(i);
  std::sort(ranks.begin(), ranks.end(), [&](uint32_t a, uint32_t b) {
    const Named& first = named[a];
    const Named& second = named[b];
    if (first.head != second.head) return first.head < second.head;
    if (int c = key(first).compare(key(second)); c != 0) return c < 0;
    return first.name < second.name;
  });
  // Each entry is moved once into its place, cycle by cycle, without a
  // second list: position i takes the entry at ranks[i].
  for (std::size_t i = 0; i < urls.size(); ++i) {
    if (ranks[i] == i) continue;
    FileURL held = std::move(urls[i]);
    std::size_t j = i;
    for (;;) {
      std::size_t from = ranks[j];
      ranks[j] = static_cast<uint32_t>(j);
      if (from == i) {
        urls[j] = std::move(held);
        break;
      }
      urls[j] = std::move(urls[from]);
      j = from;
    }
  }
}

}  // namespace

std::size_t PlannerConfiguration::hash() const {
  std::size_t seed = std::hash<int64_t>{}(maxDepth);
  hashCombine(seed, safety.hash());
  hashCombine(seed, roots.hash());
  return seed;
}

// The working state of one `plan` call.
class Planner::Scan {
 public:
  Scan(const Planner& planner, FileURL source, Date now,
       std::unique_ptr<FileSystem::TrashCheck> trash)
      : planner_(planner),
        fileSystem_(planner.fileSystem_),
        trash_(std::move(trash)),
        source_(std::move(source)),
        now_(now),
        gate_(planner.configuration_.safety, now),
        resolver_(planner.fileSystem_),
        session_(planner.rules_) {
    for (const Destination& destination : planner.rules_.allDestinations()) {
      managed_.insert(key(planner.directoryURL(destination, source_)));
    }
  }

  SortPlan run() {
    Queue queue;
    queue.emplace_back(source_, 1);
    while (!queue.empty()) {
      auto [folder, depth] = std::move(queue.front());
      queue.pop_front();
      std::vector<FileURL> entries;
      try {
        entries = fileSystem_.contentsOfDirectory(folder);
      } catch (const std::exception& error) {
        if (depth == 1) throw;
        skip(folder, SkipReason::contentsUnreadable(message(error)));
        continue;
      }
      sortByName(entries, order_);
      listedFolderPath_ = folder.path();
      listedFolderKey_ = key(folder);
      std::size_t wanted = moves_.size() + entries.size();
      if (wanted > moves_.capacity()) moves_.reserve(std::max(wanted, 2 * moves_.capacity()));
      considerEach(folder, entries, depth, queue);
    }
    SortPlan plan;
    plan.createdAt = now_;
    plan.sourceDirectory = source_;
    plan.ruleSetHash = planner_.rules_.ruleSetHash();
    plan.moves = std::move(moves_);
    plan.skipped = std::move(skipped_);
    for (const SortRule* rule : session_.timedOutRules()) {
      plan.warnings.push_back(PlanWarning::patternTimedOut(rule->id, rule->name));
    }
    return plan;
  }

 private:
  // A destination folder as this scan sees it: whether it exists is asked
  // once, and its volume named once, the first time a file is planned into
  // it.
  struct Target {
    FileURL url;
    std::string key;
    bool exists = false;
    std::optional<VolumeID> volume;
  };

  using Queue = std::deque<std::pair<FileURL, int64_t>>;

  // What is known of an entry before it is judged in order: its facts and
  // what the gate and the rules make of them, or why its facts could not be
  // taken.
  struct Described {
    std::optional<FileMetadata> metadata;
    std::string unreadable;
    std::optional<SkipReason> gateReason;
    std::optional<RuleMatch> match;
    MatchTrace trace;
  };

  // The entries of one listing are described a run at a time. A long
  // listing's runs are described on several threads while this one judges,
  // in the order of the names, the runs already described: describing is
  // most of the cost of a scan, and judging must stay in order, as the names
  // a folder's moves claim depend on it.
  void considerEach(const FileURL& folder, std::vector<FileURL>& entries, int64_t depth,
                    Queue& queue) {
    constexpr std::size_t kRun = 256;
    constexpr std::size_t kEntriesPerThread = 1024;
    const std::size_t threads =
        fileSystem_.takesFactsConcurrently() ? threadsFor(entries.size(), kEntriesPerThread) : 1;
    // Each entry is found by its name in the folder listed, not by a walk
    // of its whole path; each thread keeps its own hold on the folder.
    std::vector<std::unique_ptr<FileSystem::FolderFacts>> facts(threads);
    for (auto& held : facts) held = fileSystem_.factsWithin(folder);
    std::size_t judged = 0;
    makeInRuns<std::vector<Described>>(
        entries.size(), kRun, threads,
        [&](std::size_t begin, std::size_t end, std::size_t thread) {
          std::vector<Described> described;
          described.reserve(end - begin);
          for (std::size_t i = begin; i < end; ++i) {
            described.push_back(describe(entries[i], *facts[thread]));
          }
          return described;
        },
        [&](std::vector<Described>&& described) {
          // Each entry ends up in the plan or the queue, so it is handed on,
          // not copied. The paths lie in memory in the order of the listing,
          // not of the names, so the next one is fetched while this one is
          // looked at.
          for (Described& entryDescribed : described) {
            const std::size_t i = judged++;
            if (i + 1 < entries.size()) {
              const std::string& next = entries[i + 1].path();
              __builtin_prefetch(next.data());
              __builtin_prefetch(next.data() + next.size() - 1);
            }
            settle(entries[i], entryDescribed);
            consider(entries[i], std::move(entryDescribed), depth, queue);
          }
        });
  }

  // Reads only what does not change during the scan, so it may run on any
  // thread.
  Described describe(const FileURL& entry, FileSystem::FolderFacts& facts) const {
    Described described;
    try {
      described.metadata.emplace(facts.facts(entry));
    } catch (const std::exception& error) {
      described.unreadable = message(error);
      return described;
    }
    // The gate and the rules judge the file by its facts; its download
    // sources are read only should a rule ask for them.
    described.gateReason = gate_.skipReason(*described.metadata);
    if (!described.gateReason) matchRules(entry, described);
    return described;
  }

  void matchRules(const FileURL& entry, Described& described) const {
    described.match = planner_.rules_.match(
        *described.metadata, [&] { return fileSystem_.downloadSources(entry); }, session_,
        described.trace);
  }

  // In the order of the names: an entry described before a pattern timed
  // out on an earlier entry is described again as if it had come after.
  void settle(const FileURL& entry, Described& described) {
    if (!described.metadata || described.gateReason) return;
    if (session_.settle(described.trace)) return;
    matchRules(entry, described);
    session_.settle(described.trace);
  }

  void consider(FileURL& entry, Described described, int64_t depth, Queue& queue) {
    if (!described.metadata) {
      skip(std::move(entry), SkipReason::metadataUnreadable(std::move(described.unreadable)));
      return;
    }
    const FileMetadata& metadata = *described.metadata;

    if (auto& reason = described.gateReason) {
      if (reason->reasonCase() != SkipReason::Case::isDirectory) {
        skip(std::move(entry), std::move(*reason));
      } else if (managed_.count(key(entry)) > 0) {
        skip(std::move(entry), SkipReason::managedDestinationFolder());
      } else if (depth < planner_.configuration_.maxDepth) {
        queue.emplace_back(std::move(entry), depth + 1);
      } else {
        skip(std::move(entry), SkipReason::isDirectory());
      }
      return;
    }

    auto& match = described.match;
    if (!match) {
      skip(std::move(entry), SkipReason::noMatchingRule());
      return;
    }
    Target& target = targetFor(*match);
    if (liesIn(entry, target.key)) {
      skip(std::move(entry), SkipReason::alreadyAtDestination());
      return;
    }
    auto resolution = target.exists ? resolver_.resolve(metadata.name, target.url)
                                    : resolver_.resolveInMissingFolder(metadata.name, target.url);
    MoveStrategy strategy = strategyFor(metadata.volumeID, target);

    PlannedMove move;
    move.planSequence = static_cast<int64_t>(moves_.size());
    move.source = std::move(entry);
    move.destinationDirectory = target.url;
    move.destinationURL = std::move(resolution.url);
    move.collisionSuffix = resolution.suffix;
    move.matchedRuleID = std::move(match->ruleID);
    move.matchedRuleName = std::move(match->ruleName);
    move.fingerprint = metadata.fingerprint();
    move.strategy = strategy;
    moves_.push_back(std::move(move));
  }

  // Whether the folder that holds `entry` has the path key `folderKey`. A
  // listing gives every entry the same folder, whose key is known.
  bool liesIn(const FileURL& entry, const std::string& folderKey) const {
    const std::string& path = entry.path();
    std::size_t slash = path.rfind('/');
    std::string_view folder =
        slash == 0 ? std::string_view("/") : std::string_view(path).substr(0, slash);
    if (folder == listedFolderPath_) return listedFolderKey_ == folderKey;
    return key(entry.deletingLastPathComponent()) == folderKey;
  }

  void skip(FileURL url, SkipReason reason) {
    skipped_.push_back({std::move(url), std::move(reason)});
  }

  // Rule ids are unique within a valid rule set and each rule has one
  // destination, so the id names the folder without hashing the destination.
  Target& targetFor(const RuleMatch& match) {
    auto found = targets_.find(match.ruleID);
    if (found != targets_.end()) return found->second;
    FileURL url = planner_.directoryURL(match.destination, source_);
    // Whatever went there would lie in the Trash with no record of where it
    // came from, lost to the user and to undo alike.
    if (trash_->contains(url)) throw SortError::destinationInTrash(url);
    std::string folderKey = key(url);
    bool exists = fileSystem_.fileExists(url);
    return targets_.emplace(match.ruleID, Target{std::move(url), std::move(folderKey), exists, {}})
        .first->second;
  }

  // The file's volume is the one its snapshot names: the same fact as
  // asking for it again.
  MoveStrategy strategyFor(const VolumeID& fileVolume, Target& target) {
    if (!target.volume) target.volume = eventualVolume(target);
    return fileVolume == *target.volume ? MoveStrategy::sameVolumeMove
                                        : MoveStrategy::crossVolumeCopyVerifyTrash;
  }

  // A folder that does not exist yet lands on the volume of its nearest
  // existing ancestor.
  VolumeID eventualVolume(const Target& target) {
    FileURL candidate = target.url;
    bool exists = target.exists;
    while (!exists) {
      FileURL parent = candidate.deletingLastPathComponent();
      if (parent.path() == candidate.path()) break;
      candidate = std::move(parent);
      exists = fileSystem_.fileExists(candidate);
    }
    return fileSystem_.volumeID(candidate);
  }

  const Planner& planner_;
  FileSystem& fileSystem_;
  // Asked of the source and of each folder moves go into.
  std::unique_ptr<FileSystem::TrashCheck> trash_;
  FileURL source_;
  Date now_;
  SafetyGate gate_;
  CollisionResolver resolver_;
  // Patterns that ran out of time are given up for the rest of the scan.
  MatchSession session_;
  LocalizedStandardOrder order_;
  std::unordered_set<std::string> managed_;
  std::unordered_map<std::string, Target> targets_;
  std::vector<PlannedMove> moves_;
  std::vector<SkippedFile> skipped_;
  // The folder being listed and its path key.
  std::string listedFolderPath_;
  std::string listedFolderKey_;
};

Planner::Planner(FileSystem& fileSystem, const RuleEngine& rules, const DateProvider& dates,
                 Configuration configuration)
    : fileSystem_(fileSystem),
      rules_(rules),
      dates_(dates),
      configuration_(std::move(configuration)) {}

SortPlan Planner::plan(const FileURL& requested) const {
  FileURL source = requested.standardized();
  FileMetadata metadata = fileSystem_.facts(source);
  if (!metadata.isDirectory || metadata.isPackage) throw SortError::sourceNotADirectory(source);
  // What lies in a Trash is the Trash's own: a sort would strand its items
  // from their records, and the file manager could not put them back.
  auto trash = fileSystem_.trashCheck();
  if (trash->contains(source)) throw SortError::sourceInTrash(source);
  Date now = dates_.now();
  return Scan(*this, std::move(source), now, std::move(trash)).run();
}

FileURL Planner::directoryURL(const Destination& destination, const FileURL& sourceFolder) const {
  if (destination.kind() == Destination::Kind::absolute) {
    return FileURL::fromPath(destination.path(), true).standardized();
  }
  return configuration_.roots.url(destination.root(), sourceFolder)
      .appendingPathComponent(destination.path(), true)
      .standardized();
}

std::string Planner::message(const std::exception& error) {
  std::string text = error.what();
  if (isValidUtf8(text)) return text;
  // A path in the message may hold a name that is not UTF-8; the plan's
  // JSON cannot carry such text, so each ill-formed byte run shows as U+FFFD.
  std::string valid;
  icu::UnicodeString::fromUTF8(text).toUTF8String(valid);
  return valid;
}

}  // namespace rozuzed

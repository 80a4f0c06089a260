// Crash-test hooks: environment variables choose a point of an apply or undo
// run at which the process kills itself, so that the journal and the
// recovery at the next launch meet real interruptions. Inert when the
// variables are unset.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace rozuzed {

// The places where a run, or the reconciliation of one, can be killed, in
// their fixed order.
enum class FaultPoint {
  beforeIntent,
  afterIntentBeforeOperation,
  midCopy,
  // After each piece of a file a copy has written (at most
  // LiveFileSystem::copyPieceSize bytes), counted over every copy of the
  // process; reached only in point mode with this very point.
  midCopyPiece,
  afterCopyBeforeRename,
  afterRenameBeforeTrash,
  afterOperationBeforeCommit,
  beforeUndoIntent,
  afterUndoIntentBeforeOperation,
  afterUndoOperationBeforeCommit,
  beforeFinishRun,
  // Reconciliation: after each pending entry's clean-up, before the run's
  // settled entries are written.
  afterRecoveryOperationBeforeCommit,
  // Reconciliation of an undo run: after the entries it put back are marked
  // undone, before its settled entries are written.
  afterRecoveryMarkUndoneBeforeCommit,
};

inline constexpr std::array<FaultPoint, 13> allFaultPoints = {
    FaultPoint::beforeIntent,
    FaultPoint::afterIntentBeforeOperation,
    FaultPoint::midCopy,
    FaultPoint::midCopyPiece,
    FaultPoint::afterCopyBeforeRename,
    FaultPoint::afterRenameBeforeTrash,
    FaultPoint::afterOperationBeforeCommit,
    FaultPoint::beforeUndoIntent,
    FaultPoint::afterUndoIntentBeforeOperation,
    FaultPoint::afterUndoOperationBeforeCommit,
    FaultPoint::beforeFinishRun,
    FaultPoint::afterRecoveryOperationBeforeCommit,
    FaultPoint::afterRecoveryMarkUndoneBeforeCommit,
};

// The case name.
std::string toText(FaultPoint point);
// Exact, case-sensitive match of a case name; anything else is absent.
std::optional<FaultPoint> faultPointFromText(const std::string& text);

// A namespace of static hooks. Its configuration is read from the
// environment once, at the first hook of the process, and never changes;
// its arrival counter runs over every run of the process and is never reset.
// Every hook may be called from any thread.
class FaultInjector {
 public:
  FaultInjector() = delete;

  struct Configuration {
    // Point mode: the point to kill at. Absent when ROZUZED_FAULT is unset
    // or names no point.
    std::optional<FaultPoint> point;
    // Which arrival at `point` kills (1 = the first); 0 or below never does.
    int64_t nth = 1;
    // 15 (SIGTERM) only when ROZUZED_FAULT_SIGNAL is exactly "TERM", else 9.
    int32_t signal = 9;
    // Random mode: the arrival, counted over all points, that kills; in
    // 1...400. When present, `point` and `nth` play no part.
    std::optional<int64_t> randomTarget;

    // Builds the configuration from the variables as `lookup` gives them
    // (absent = unset). `fromEnvironment` is this over the process
    // environment.
    static Configuration parse(
        const std::function<std::optional<std::string>(const char* name)>& lookup);
    static Configuration fromEnvironment();

    bool operator==(const Configuration&) const = default;
  };

  // Arrivals at each point and over all points. Thread-safe.
  class Counter {
   public:
    // Counts one arrival at `point`; gives the count at that point and the
    // total, both including this arrival.
    std::pair<int64_t, int64_t> next(FaultPoint point);

   private:
    std::mutex lock_;
    std::map<FaultPoint, int64_t> counts_;
    int64_t total_ = 0;
  };

  // The process's configuration, read from the environment on first use.
  // In point mode with midCopyPiece, that first use also sets
  // LiveFileSystem::copyPieceSeam to reach the point.
  static const Configuration& configuration();

  // True when a point or a random target is configured.
  static bool isArmed();

  // Counts one arrival at `point` and kills the process when this arrival
  // is the configured one. When unarmed it returns at once, counting
  // nothing and taking no lock.
  static void reach(FaultPoint point);

  // In point mode with exactly this point (and no random target): starts a
  // thread that kills the process ROZUZED_FAULT_DELAY_MS milliseconds from
  // now (read at every call; 15 when unset or unparsable). Returns at once.
  static void armDelayedKill(FaultPoint point);

  // Writes "ROZUZED_FAULT fired at <point> arrival <n>" to standard error,
  // sends the configured signal to this process and never returns, even
  // when the signal is caught or ignored.
  [[noreturn]] static void die(FaultPoint point, int64_t arrival);

  // The random-mode arrival for a seed: one PCG step, then half of the
  // MurmurHash3 finalizer, reduced to 1...400.
  static int64_t randomTarget(uint64_t seed);
};

}  // namespace rozuzed

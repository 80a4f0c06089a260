// The owner of a journal run: which boot of the machine, which process, and
// when that process started, so a later launch can tell a run whose owner is
// still working from one whose owner is gone for good.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace rozuzed {

// A plain value; equality is exact on all three fields. Liveness is judged
// from the kernel's process table alone: no signal is ever sent.
struct ProcessIdentity {
  // What became of a recorded owner, seen from the calling process.
  enum class Liveness { thisProcess, anotherProcessAlive, dead, differentBootSession };

  // Two start times closer than this name the same process; a difference of
  // exactly this much does not.
  static constexpr double startTimeTolerance = 0.001;

  std::string bootSessionID;
  int32_t processID = 0;
  // Seconds since boot, from the process table; for `current()` the present
  // time (seconds since 1970) when the table cannot be read, which matches
  // no process.
  double processStartedAt = 0;

  // The calling process, queried anew at every call.
  static ProcessIdentity current();
  // /proc/sys/kernel/random/boot_id without its line feed; "" when unreadable.
  static std::string bootSessionUUID();
  // Field 22 of /proc/PID/stat in seconds since boot; absent when there is
  // no such running process or its entry cannot be read.
  static std::optional<double> startTime(int32_t processID);

  // The start time, in clock ticks since boot, from the text of a
  // /proc/PID/stat file. The command name may hold blanks and ")", so the
  // fields are counted from the last ")". Absent for a process that has
  // ended and only waits for its parent to collect it (state Z or X): it
  // can no longer work on anything.
  static std::optional<uint64_t> startTicksFromStat(std::string_view statText);

  // Judges this identity against the calling process and the process table.
  Liveness liveness() const;
  // The decision itself, against a given `caller` and process table.
  Liveness liveness(const ProcessIdentity& caller,
                    const std::function<std::optional<double>(int32_t)>& startTimeOf) const;

  // True for `dead` and `differentBootSession`.
  bool isFinishedForever() const;

  bool operator==(const ProcessIdentity&) const = default;
  std::size_t hash() const;
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::ProcessIdentity> {
  std::size_t operator()(const rozuzed::ProcessIdentity& identity) const noexcept {
    return identity.hash();
  }
};

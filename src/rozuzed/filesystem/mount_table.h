// The mount points of this process, read from /proc/self/mountinfo: what
// names an item's volume on Linux. Device numbers do not serve, since bind
// mounts share one device and rename still fails across them.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rozuzed {

class MountTable {
 public:
  // The process-wide table. Read on first use and read again only when the
  // kernel reports that the mounts changed; safe from any thread. That
  // report is looked at no more than once per `pollInterval`, since a scan
  // names a volume for every file: an answer may lag a change of the mounts
  // by that long, no more than any answer lags a change made just after it.
  static MountTable& shared();

  static constexpr std::chrono::microseconds pollInterval{1000};

  // The mount point that holds `realPath`, an absolute path with every link
  // resolved: the longest mount point that equals it or is a parent folder
  // of it. "/" when the table cannot be read.
  std::string mountPoint(const std::string& realPath);

  // The mount point of the mount with this id (as statx reports it), read
  // again from the kernel once when the id is not known yet. Absent when no
  // mount has it.
  std::optional<std::string> mountPointOfMount(uint64_t mountID);

  // The mount points of a mountinfo text, in its order, with the kernel's
  // octal escapes (\040 for a space and the like) undone. Malformed lines are
  // skipped.
  static std::vector<std::string> parse(std::string_view mountinfo);

  struct Mount {
    uint64_t id = 0;
    std::string mountPoint;
  };
  static std::vector<Mount> parseMounts(std::string_view mountinfo);

  // The longest of `mountPoints` that equals `path` or is a parent folder of
  // it; "/" when none is.
  static std::string longestPrefix(const std::vector<std::string>& mountPoints,
                                   const std::string& path);

  MountTable(const MountTable&) = delete;
  MountTable& operator=(const MountTable&) = delete;
  ~MountTable();

 private:
  MountTable();
  void refreshIfChanged();
  void reload();

  std::mutex mutex_;
  int fd_ = -1;
  bool loaded_ = false;
  std::chrono::steady_clock::time_point lastPolled_;
  std::vector<std::string> mountPoints_;
  std::unordered_map<uint64_t, std::string> mountPointByID_;
};

// `path` with every link among its parent folders resolved and its last
// component kept as it is, so that a link names the place of the link itself.
// Absent when the parent folder cannot be resolved; errno tells why.
std::optional<std::string> realLocation(const std::string& path);

// Whether `path` is `folder` or lies inside it, comparing the texts of two
// absolute paths in the same form (both resolved, say).
bool isAtOrBelow(const std::string& path, const std::string& folder);

}  // namespace rozuzed

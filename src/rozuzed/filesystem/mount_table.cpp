#include "rozuzed/filesystem/mount_table.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace rozuzed {
namespace {

std::string unescaped(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
        isOctal(field[i + 2]) && isOctal(field[i + 3])) {
      int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      out.push_back(static_cast<char>(value));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

bool readAll(int fd, std::string& text) {
  text.clear();
  if (::lseek(fd, 0, SEEK_SET) != 0) return false;
  char buffer[16384];
  for (;;) {
    ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (count == 0) return true;
    text.append(buffer, static_cast<std::size_t>(count));
  }
}

}  // namespace

MountTable& MountTable::shared() {
  static MountTable table;
  return table;
}

MountTable::MountTable() {
  fd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
}

MountTable::~MountTable() {
  if (fd_ >= 0) ::close(fd_);
}

std::vector<MountTable::Mount> MountTable::parseMounts(std::string_view mountinfo) {
  std::vector<Mount> mounts;
  while (!mountinfo.empty()) {
    std::size_t end = mountinfo.find('\n');
    std::string_view line = mountinfo.substr(0, end);
    mountinfo = end == std::string_view::npos ? std::string_view() : mountinfo.substr(end + 1);
    // Fields: mount id, parent id, major:minor, root, mount point, ...
    std::size_t start = 0;
    std::string_view fields[5];
    for (auto& field : fields) {
      while (start < line.size() && line[start] == ' ') ++start;
      std::size_t stop = line.find(' ', start);
      if (stop == std::string_view::npos) stop = line.size();
      field = line.substr(start, stop - start);
      start = stop;
    }
    if (fields[4].empty() || fields[4].front() != '/') continue;
    Mount mount;
    for (char c : fields[0]) {
      if (c < '0' || c > '9') break;
      mount.id = mount.id * 10 + static_cast<uint64_t>(c - '0');
    }
    mount.mountPoint = unescaped(fields[4]);
    mounts.push_back(std::move(mount));
  }
  return mounts;
}

std::vector<std::string> MountTable::parse(std::string_view mountinfo) {
  std::vector<std::string> mountPoints;
  for (Mount& mount : parseMounts(mountinfo)) mountPoints.push_back(std::move(mount.mountPoint));
  return mountPoints;
}

std::string MountTable::longestPrefix(const std::vector<std::string>& mountPoints,
                                      const std::string& path) {
  std::string best = "/";
  for (const std::string& mountPoint : mountPoints) {
    if (mountPoint.size() <= best.size()) continue;
    bool holds = path == mountPoint || (path.size() > mountPoint.size() &&
                                        path.compare(0, mountPoint.size(), mountPoint) == 0 &&
                                        path[mountPoint.size()] == '/');
    if (holds) best = mountPoint;
  }
  return best;
}

void MountTable::refreshIfChanged() {
  if (fd_ < 0) return;
  auto now = std::chrono::steady_clock::now();
  if (loaded_ && now - lastPolled_ < pollInterval) return;
  lastPolled_ = now;
  // The kernel flags a mount table file with POLLPRI once the mounts changed
  // after it was last polled, so the table is read again only then.
  pollfd request{fd_, POLLPRI, 0};
  bool changed = ::poll(&request, 1, 0) > 0 && (request.revents & (POLLPRI | POLLERR)) != 0;
  if (loaded_ && !changed) return;
  reload();
}

void MountTable::reload() {
  std::string text;
  if (fd_ < 0 || !readAll(fd_, text)) return;
  mountPoints_.clear();
  mountPointByID_.clear();
  for (Mount& mount : parseMounts(text)) {
    mountPoints_.push_back(mount.mountPoint);
    mountPointByID_[mount.id] = std::move(mount.mountPoint);
  }
  loaded_ = true;
}

std::optional<std::string> MountTable::mountPointOfMount(uint64_t mountID) {
  std::lock_guard<std::mutex> lock(mutex_);
  refreshIfChanged();
  auto found = mountPointByID_.find(mountID);
  if (found == mountPointByID_.end()) {
    reload();
    found = mountPointByID_.find(mountID);
    if (found == mountPointByID_.end()) return std::nullopt;
  }
  return found->second;
}

std::optional<std::string> realLocation(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return std::nullopt;
    std::string result(resolved);
    std::free(resolved);
    return result;
  }
  std::string parent = slash == 0 ? "/" : slash == std::string::npos ? "." : path.substr(0, slash);
  char* resolved = ::realpath(parent.c_str(), nullptr);
  if (!resolved) return std::nullopt;
  std::string result(resolved);
  std::free(resolved);
  if (result != "/") result += "/";
  return result + name;
}

bool isAtOrBelow(const std::string& path, const std::string& folder) {
  if (path == folder || folder == "/") return true;
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         path[folder.size()] == '/';
}

std::string MountTable::mountPoint(const std::string& realPath) {
  std::lock_guard<std::mutex> lock(mutex_);
  refreshIfChanged();
  return longestPrefix(mountPoints_, realPath);
}

}  // namespace rozuzed

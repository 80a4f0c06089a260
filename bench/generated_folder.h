// A folder of many small files for the benchmarks that plan and apply.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace bench {

// Makes `folder` with files named file_<n>.<ext>, 0 to 2 KiB of bytes each,
// all modified a year ago so that none is too fresh to move; most kinds
// have a rule of the default set, some none. False when any step fails.
inline bool generateFolder(const std::string& folder, int count) {
  static const std::array<const char*, 24> extensions = {
      "jpg", "png", "heic", "gif", "pdf", "docx", "xlsx", "pptx", "txt", "md",  "csv", "mp3",
      "m4a", "mov", "mp4",  "zip", "tar", "dmg",  "deb",  "epub", "ttf", "cpp", "xyz", ""};
  constexpr double kYear = 365.0 * 86400;
  if (::mkdir(folder.c_str(), 0755) != 0) return false;
  std::mt19937 random(20240601u + static_cast<unsigned>(count));
  std::vector<char> bytes(2048, 'x');
  const auto then = static_cast<time_t>(static_cast<double>(::time(nullptr)) - kYear);
  const timespec times[2] = {{then, 0}, {then, 0}};
  for (int i = 0; i < count; ++i) {
    const char* extension = extensions[random() % extensions.size()];
    std::string path = folder + "/file_" + std::to_string(i);
    if (*extension != '\0') path += std::string(".") + extension;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::size_t size = random() % (bytes.size() + 1);
    bool written = size == 0 || ::write(fd, bytes.data(), size) == static_cast<ssize_t>(size);
    bool timed = ::futimens(fd, times) == 0;
    if (::close(fd) != 0 || !written || !timed) return false;
  }
  return true;
}

}  // namespace bench

// What the benchmarks that plan and apply share: a folder of many small
// files, the driver run as a process of its own, and the median of runs.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <random>
#include <string>
#include <vector>

extern char** environ;

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

// How a process ran: whether it exited with 0, its wall time from start to
// exit, and its largest resident set in KiB.
struct ProcessRun {
  bool succeeded = false;
  double seconds = 0;
  long peakKiB = 0;
};

// Runs `arguments` (the program first) with its output thrown away and
// waits for it.
inline ProcessRun runProcess(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  auto start = std::chrono::steady_clock::now();
  pid_t child = 0;
  int status = -1;
  rusage usage{};
  if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    ::wait4(child, &status, 0, &usage);
  }
  ProcessRun run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  run.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  run.peakKiB = usage.ru_maxrss;
  return run;
}

// The middle value of `values`, the higher one of an even count.
inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace bench

// Planning a folder of 10,000 and of 100,000 files with the default rule set,
// measured beside a bare listing of the same folder with one lstat per entry,
// in the same run. Passes when planning takes at most 5 times the bare
// listing at both sizes and the peak memory stays under 200 MB.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "rozuzed/filesystem/live_file_system.h"
#include "rozuzed/planning/planner.h"
#include "rozuzed/rules/rule_engine.h"
#include "rozuzed/rules/rule_set_loader.h"
#include "rozuzed/support/date_provider.h"

namespace {

constexpr double kTargetRatio = 5.0;
constexpr long kMemoryLimitKiB = 200 * 1024;
constexpr int kRounds = 3;
constexpr double kYear = 365.0 * 86400;

using Clock = std::chrono::steady_clock;

const std::array<const char*, 24> kExtensions = {
    "jpg", "png", "heic", "gif", "pdf", "docx", "xlsx", "pptx", "txt", "md",  "csv", "mp3",
    "m4a", "mov", "mp4",  "zip", "tar", "dmg",  "deb",  "epub", "ttf", "cpp", "xyz", ""};

// Files named file_<n>.<ext>, 0 to 2 KiB of bytes each, all modified a year
// ago so that none is too fresh to move.
bool generate(const std::string& folder, int count) {
  if (::mkdir(folder.c_str(), 0755) != 0) return false;
  std::mt19937 random(20240601u + static_cast<unsigned>(count));
  std::vector<char> bytes(2048, 'x');
  const double then = static_cast<double>(::time(nullptr)) - kYear;
  const timespec times[2] = {{static_cast<time_t>(then), 0}, {static_cast<time_t>(then), 0}};
  for (int i = 0; i < count; ++i) {
    const char* extension = kExtensions[random() % kExtensions.size()];
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

// The floor: what any scan of the folder must do at least.
std::size_t bareListing(const std::string& folder) {
  DIR* directory = ::opendir(folder.c_str());
  if (directory == nullptr) return 0;
  std::size_t seen = 0;
  struct stat status {};
  while (dirent* entry = ::readdir(directory)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (::lstat((folder + "/" + name).c_str(), &status) == 0) ++seen;
  }
  ::closedir(directory);
  return seen;
}

// Everything one scan does: load the rules, build the engine and plan.
std::size_t planFolder(const std::string& folder) {
  rozuzed::RuleEngine rules(rozuzed::RuleSetLoader::bundledDefault());
  rozuzed::LiveFileSystem fileSystem;
  rozuzed::SystemDateProvider dates;
  rozuzed::Planner planner(fileSystem, rules, dates);
  rozuzed::SortPlan plan = planner.plan(rozuzed::FileURL::fromPath(folder, true));
  return plan.moves.size() + plan.skipped.size();
}

template <typename Work>
double bestSeconds(Work&& work, std::size_t expected, bool& ok) {
  double best = 1e300;
  for (int round = 0; round < kRounds; ++round) {
    auto start = Clock::now();
    std::size_t seen = work();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (seen != expected) ok = false;
    best = std::min(best, seconds);
  }
  return best;
}

}  // namespace

int main() {
  std::string parent = std::string(OMBRIX_BUILD_DIR) + "/bench-tmp";
  std::filesystem::create_directories(parent);
  std::string pattern = parent + "/planner-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "cannot make a folder under %s\n", parent.c_str());
    return 2;
  }
  const std::string root = pattern;

  bool pass = true;
  int exitCode = 0;
  try {
    for (int count : {10'000, 100'000}) {
      std::string folder = root + "/files-" + std::to_string(count);
      if (!generate(folder, count)) {
        std::fprintf(stderr, "cannot generate %d files in %s\n", count, folder.c_str());
        exitCode = 2;
        break;
      }
      bool complete = true;
      // Both contenders find the folder in the cache.
      bareListing(folder);
      double bare = bestSeconds([&] { return bareListing(folder); }, count, complete);
      double planning = bestSeconds([&] { return planFolder(folder); }, count, complete);
      double ratio = planning / bare;
      bool met = complete && ratio <= kTargetRatio;
      pass = pass && met;
      std::printf(
          "%7d files: planning %.3f s, bare listing %.3f s, ratio %.2f (target <= %.1f)%s: %s\n",
          count, planning, bare, ratio, kTargetRatio, complete ? "" : ", some entries missing",
          met ? "PASS" : "FAIL");
    }
    if (exitCode == 0) {
      rusage usage{};
      ::getrusage(RUSAGE_SELF, &usage);
      bool met = usage.ru_maxrss < kMemoryLimitKiB;
      pass = pass && met;
      std::printf("peak memory %.1f MB (target < %.0f MB): %s\n", usage.ru_maxrss / 1024.0,
                  kMemoryLimitKiB / 1024.0, met ? "PASS" : "FAIL");
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "planning failed: %s\n", error.what());
    exitCode = 2;
  }
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  if (exitCode != 0) return exitCode;
  return pass ? 0 : 1;
}

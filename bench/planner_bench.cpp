// Planning a folder with the default rule set, measured beside a bare
// listing of the same folder with one lstat per entry, in the same run:
//  1. in this process, 10,000 and 100,000 files: planning alone takes at
//     most 5 times the listing, and the peak memory stays under 200 MB;
//  2. end to end, 10,000 files: `ombrix-driver plan` (start, rule set, scan,
//     save in a scratch journal, print) takes at most 2 times the listing
//     run as a process of its own, each the median of several runs.
// Prints PASS or FAIL and exits non-zero on FAIL.
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "rozuzed/filesystem/live_file_system.h"
#include "rozuzed/planning/planner.h"
#include "rozuzed/rules/rule_engine.h"
#include "rozuzed/rules/rule_set_loader.h"
#include "rozuzed/support/date_provider.h"

namespace {

constexpr double kTargetRatio = 5.0;
constexpr double kDriverTargetRatio = 2.0;
constexpr int kDriverFiles = 10'000;
constexpr int kDriverRounds = 7;
constexpr long kMemoryLimitKiB = 200 * 1024;
constexpr int kRounds = 3;

using Clock = std::chrono::steady_clock;

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

// The wall time of a run of `arguments`, XDG_DATA_HOME set to `dataHome`
// when given, or a negative number when it failed.
double timedProcess(std::vector<std::string> arguments, const std::string& dataHome = "") {
  if (!dataHome.empty()) ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
  bench::ProcessRun run = bench::runProcess(std::move(arguments));
  return run.succeeded ? run.seconds : -1;
}

// The driver's plan of a folder against a bare listing of it in a process
// of its own, the two taking turns so both meet the same machine.
bool driverBench(const std::string& root) {
  const std::string folder = root + "/driver-" + std::to_string(kDriverFiles);
  if (!bench::generateFolder(folder, kDriverFiles)) {
    std::fprintf(stderr, "cannot generate %d files in %s\n", kDriverFiles, folder.c_str());
    return false;
  }
  const std::string driver = std::string(OMBRIX_BUILD_DIR) + "/bin/ombrix-driver";
  if (::access(driver.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "no %s; build ombrix-driver first\n", driver.c_str());
    return false;
  }
  const std::string self = std::filesystem::read_symlink("/proc/self/exe");
  const std::string dataHome = root + "/data";
  // Both find the folder in the cache, and the journal exists, as on any
  // scan after the first.
  timedProcess({driver, "plan", folder}, dataHome);
  timedProcess({self, "--bare-listing", folder});
  std::vector<double> floors, measured;
  for (int round = 0; round < kDriverRounds; ++round) {
    floors.push_back(timedProcess({self, "--bare-listing", folder}));
    measured.push_back(timedProcess({driver, "plan", folder}, dataHome));
  }
  if (*std::min_element(floors.begin(), floors.end()) < 0 ||
      *std::min_element(measured.begin(), measured.end()) < 0) {
    std::fprintf(stderr, "a run of the driver or of the bare listing failed\n");
    return false;
  }
  double ratio = bench::median(measured) / bench::median(floors);
  bool met = ratio <= kDriverTargetRatio;
  std::printf(
      "%7d files through ombrix-driver plan: %.3f s, bare listing as a process %.3f s, ratio "
      "%.2f (target <= %.1f), median of %d: %s\n",
      kDriverFiles, bench::median(measured), bench::median(floors), ratio, kDriverTargetRatio,
      kDriverRounds, met ? "PASS" : "FAIL");
  return met;
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

int main(int argc, char** argv) {
  // The floor of the end-to-end case, as a process of its own.
  if (argc == 3 && std::string(argv[1]) == "--bare-listing") {
    std::printf("%zu\n", bareListing(argv[2]));
    return 0;
  }
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
      if (!bench::generateFolder(folder, count)) {
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
      pass = driverBench(root) && pass;
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

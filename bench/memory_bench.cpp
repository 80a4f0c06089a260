// The peak memory of `ombrix-driver plan` and `ombrix-driver apply` on a
// folder of 100,000 files, each a process of its own with the journal in a
// scratch XDG_DATA_HOME, read from the kernel's account of the child's
// largest resident set. Passes when each stays under 200 MB. Prints PASS or
// FAIL and exits non-zero on FAIL.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

constexpr int kFiles = 100'000;
constexpr long kLimitKiB = 200 * 1024;

// The child's peak resident set in KiB, or -1 when it did not exit with 0.
long peakOfProcess(std::vector<std::string> arguments) {
  bench::ProcessRun run = bench::runProcess(std::move(arguments));
  return run.succeeded ? run.peakKiB : -1;
}

bool report(const char* what, long peakKiB) {
  if (peakKiB < 0) {
    std::printf("%s: the driver failed: FAIL\n", what);
    return false;
  }
  bool met = peakKiB < kLimitKiB;
  std::printf("%s: peak memory %.1f MB (target < %.0f MB): %s\n", what, peakKiB / 1024.0,
              kLimitKiB / 1024.0, met ? "PASS" : "FAIL");
  return met;
}

}  // namespace

int main() {
  const std::string driver = std::string(OMBRIX_BUILD_DIR) + "/bin/ombrix-driver";
  if (::access(driver.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "no %s; build ombrix-driver first\n", driver.c_str());
    return 2;
  }
  std::string parent = std::string(OMBRIX_BUILD_DIR) + "/bench-tmp";
  std::filesystem::create_directories(parent);
  std::string pattern = parent + "/memory-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "cannot make a folder under %s\n", parent.c_str());
    return 2;
  }
  const std::string root = pattern;
  const std::string folder = root + "/files";
  int exitCode = 0;
  if (!bench::generateFolder(folder, kFiles)) {
    std::fprintf(stderr, "cannot generate %d files in %s\n", kFiles, folder.c_str());
    exitCode = 2;
  } else {
    ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    bool pass =
        report("ombrix-driver plan of 100,000 files", peakOfProcess({driver, "plan", folder}));
    // Plans the folder again and moves what it planned.
    pass =
        report("ombrix-driver apply of 100,000 files", peakOfProcess({driver, "apply", folder})) &&
        pass;
    exitCode = pass ? 0 : 1;
  }
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  return exitCode;
}

// Throughput of ContentHashing::sha256 over a 1 GiB file, measured beside
// `openssl dgst -sha256` on the same file in the same run. Passes when the
// engine reaches at least 0.9 times openssl's throughput.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/content_hashing.h"

extern char** environ;

namespace {

constexpr std::size_t kFileSize = std::size_t{1} << 30;
constexpr double kTargetRatio = 0.9;
constexpr int kRounds = 3;

using Clock = std::chrono::steady_clock;

bool writeTestFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::vector<unsigned char> block(std::size_t{8} << 20);
  std::mt19937_64 random(20240601);
  for (std::size_t written = 0; written < kFileSize; written += block.size()) {
    for (std::size_t i = 0; i + 8 <= block.size(); i += 8) {
      std::uint64_t value = random();
      std::copy_n(reinterpret_cast<const unsigned char*>(&value), 8, block.data() + i);
    }
    for (std::size_t done = 0; done < block.size();) {
      ssize_t count = ::write(fd, block.data() + done, block.size() - done);
      if (count <= 0) {
        ::close(fd);
        return false;
      }
      done += static_cast<std::size_t>(count);
    }
  }
  return ::close(fd) == 0;
}

// Reads the file once so that both contenders find it in the page cache.
void warmUp(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  std::vector<char> buffer(std::size_t{1} << 20);
  while (::read(fd, buffer.data(), buffer.size()) > 0) {
  }
  ::close(fd);
}

// The digest openssl prints, or nothing when it cannot be run.
std::optional<std::string> opensslDigest(const std::string& path) {
  int output[2];
  if (::pipe2(output, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  std::vector<std::string> arguments = {"openssl", "dgst", "-sha256", "-r", path};
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  int spawned = ::posix_spawnp(&child, "openssl", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(output[1]);
  std::string text;
  char buffer[256];
  for (ssize_t count; (count = ::read(output[0], buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(count));
  }
  ::close(output[0]);
  if (spawned != 0) return std::nullopt;
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return text.substr(0, text.find(' '));
}

double megabytesPerSecond(Clock::duration elapsed) {
  return static_cast<double>(kFileSize) / 1e6 / std::chrono::duration<double>(elapsed).count();
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  fs::path buildTree = fs::read_symlink("/proc/self/exe").parent_path().parent_path();
  std::string pattern = (buildTree / "bench-hashing-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    std::perror("bench_hashing: cannot make a scratch folder");
    return 2;
  }
  const std::string folder = pattern;
  const std::string file = folder + "/one-gibibyte.bin";
  struct Cleanup {
    std::string folder;
    ~Cleanup() {
      std::error_code ignored;
      fs::remove_all(folder, ignored);
    }
  } cleanup{folder};

  if (!writeTestFile(file)) {
    std::perror("bench_hashing: cannot write the test file");
    return 2;
  }
  warmUp(file);

  Clock::duration ours = Clock::duration::max();
  Clock::duration theirs = Clock::duration::max();
  std::string ourDigest;
  std::optional<std::string> theirDigest;
  try {
    for (int round = 0; round < kRounds; ++round) {
      auto start = Clock::now();
      ourDigest = rozuzed::ContentHashing::sha256(rozuzed::FileURL::fromPath(file)).sha256;
      ours = std::min(ours, Clock::now() - start);

      start = Clock::now();
      theirDigest = opensslDigest(file);
      theirs = std::min(theirs, Clock::now() - start);
      if (!theirDigest) {
        std::fprintf(stderr, "bench_hashing: cannot run openssl dgst\n");
        return 2;
      }
    }
  } catch (const rozuzed::SortError& error) {
    std::fprintf(stderr, "bench_hashing: %s\n", error.what());
    return 2;
  }
  if (ourDigest != *theirDigest) {
    std::fprintf(stderr, "bench_hashing: digests differ: %s vs %s\n", ourDigest.c_str(),
                 theirDigest->c_str());
    return 1;
  }

  const double ourRate = megabytesPerSecond(ours);
  const double theirRate = megabytesPerSecond(theirs);
  const double ratio = ourRate / theirRate;
  const bool pass = ratio >= kTargetRatio;
  std::printf("hashing 1 GiB, best of %d\n", kRounds);
  std::printf("  ContentHashing::sha256  %8.1f MB/s\n", ourRate);
  std::printf("  openssl dgst -sha256    %8.1f MB/s\n", theirRate);
  std::printf("  ratio %.3f (target at least %.2f): %s\n", ratio, kTargetRatio,
              pass ? "PASS" : "FAIL");
  return pass ? 0 : 1;
}

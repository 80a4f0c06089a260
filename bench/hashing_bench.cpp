// Throughput of ContentHashing::sha256 over a 1 GiB page-cached file,
// measured beside its floor in the same run: a bare loop in this process
// that reads the same file into OpenSSL's EVP SHA-256. Passes when the
// engine reaches at least 0.9 times the floor's throughput.
#include <fcntl.h>
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

#include "evp_sha256.h"
#include "rozuzed/filesystem/content_hashing.h"
#include "rozuzed/model/sort_error.h"

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

// The floor's digest as hex text, as the engine gives its own. Absent when
// the file cannot be read.
std::optional<std::string> floorDigest(const std::string& path, std::vector<char>& buffer) {
  const auto digest = bench::evpSha256(path, buffer);
  if (!digest) return std::nullopt;
  std::string text;
  for (unsigned char byte : *digest) {
    static const char* digits = "0123456789abcdef";
    text.push_back(digits[byte >> 4]);
    text.push_back(digits[byte & 0xF]);
  }
  return text;
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
  Clock::duration floor = Clock::duration::max();
  std::string ourDigest;
  std::optional<std::string> floorsDigest;
  std::vector<char> buffer(std::size_t{1} << 20);
  try {
    for (int round = 0; round < kRounds; ++round) {
      auto start = Clock::now();
      ourDigest = rozuzed::ContentHashing::sha256(rozuzed::FileURL::fromPath(file)).sha256;
      ours = std::min(ours, Clock::now() - start);

      start = Clock::now();
      floorsDigest = floorDigest(file, buffer);
      floor = std::min(floor, Clock::now() - start);
      if (!floorsDigest) {
        std::perror("bench_hashing: the floor cannot read the test file");
        return 2;
      }
    }
  } catch (const rozuzed::SortError& error) {
    std::fprintf(stderr, "bench_hashing: %s\n", error.what());
    return 2;
  }
  if (ourDigest != *floorsDigest) {
    std::fprintf(stderr, "bench_hashing: digests differ: %s vs %s\n", ourDigest.c_str(),
                 floorsDigest->c_str());
    return 1;
  }

  const double ourRate = megabytesPerSecond(ours);
  const double floorRate = megabytesPerSecond(floor);
  const double ratio = ourRate / floorRate;
  const bool pass = ratio >= kTargetRatio;
  std::printf("hashing 1 GiB from the page cache, best of %d\n", kRounds);
  std::printf("  ContentHashing::sha256      %8.1f MB/s\n", ourRate);
  std::printf("  floor: read + EVP SHA-256   %8.1f MB/s\n", floorRate);
  std::printf("  ratio %.3f (target at least %.2f): %s\n", ratio, kTargetRatio,
              pass ? "PASS" : "FAIL");
  return pass ? 0 : 1;
}

// Real scratch folders and environment changes that tests undo on exit, so
// that tests can run side by side (ctest -j).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "rozuzed/support/file_url.h"

namespace rozuzed::testing {

// A fresh folder made with mkdtemp under `parent` (TMPDIR or /tmp when
// empty), removed with everything in it when the object goes. Throws
// std::runtime_error when it cannot be made.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(const std::string& parent = "");
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::string& path() const { return path_; }
  FileURL url() const { return FileURL::fromPath(path_, true); }
  // `path()` + "/" + `relative`.
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// Sets (or, with nullopt, unsets) one environment variable and restores its
// earlier value when it goes.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::optional<std::string>& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// Makes every write that would take a file past `bytes` fail with EFBIG, the
// way a full volume makes it fail part-way, until it goes; the signal such a
// write raises is ignored meanwhile. Process-wide: for tests that run alone.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(std::uint64_t bytes);
  ~ScopedFileSizeLimit();
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

 private:
  std::uint64_t previousSoft_;
  void (*previousHandler_)(int);
};

// Writes `contents` to a new file at `path` (its folder must exist) and, when
// given, sets its modification time. Throws std::runtime_error.
void writeFile(const std::string& path, const std::string& contents,
               std::optional<double> modificationDate = std::nullopt);
// The whole file; nullopt when it cannot be read.
std::optional<std::string> readFile(const std::string& path);
// Whether anything is at `path`, links not followed.
bool pathExists(const std::string& path);
// Whether the two existing paths lie on one device.
bool sameVolume(const std::string& a, const std::string& b);
// Whether /dev/shm is there on a volume other than the one of `path`, so
// that moves between the two cross volumes.
bool secondVolumeBeside(const std::string& path);

}  // namespace rozuzed::testing

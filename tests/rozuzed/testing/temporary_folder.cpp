#include "rozuzed/testing/temporary_folder.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace rozuzed::testing {

TemporaryFolder::TemporaryFolder(const std::string& parent) {
  std::string base = parent;
  if (base.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  }
  std::string pattern = base + "/ombrix-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary folder under " + base);
  }
  path_ = buffer.data();
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  // Tests may leave read-only folders behind; open them up first.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

ScopedEnvironment::ScopedEnvironment(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) previous_ = old;
  if (value) {
    setenv(name_.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

ScopedEnvironment::~ScopedEnvironment() {
  if (previous_) {
    setenv(name_.c_str(), previous_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

ScopedFileSizeLimit::ScopedFileSizeLimit(std::uint64_t bytes) {
  rlimit limit{};
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("cannot read RLIMIT_FSIZE");
  previousSoft_ = limit.rlim_cur;
  previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  limit.rlim_cur = bytes;
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("cannot set RLIMIT_FSIZE");
}

ScopedFileSizeLimit::~ScopedFileSizeLimit() {
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = previousSoft_;
  setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, previousHandler_);
}

void writeFile(const std::string& path, const std::string& contents,
               std::optional<double> modificationDate) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out) throw std::runtime_error("cannot write " + path);
  }
  if (modificationDate) {
    double whole = std::floor(*modificationDate);
    timespec times[2];
    times[0].tv_sec = static_cast<time_t>(whole);
    times[0].tv_nsec = static_cast<long>((*modificationDate - whole) * 1e9);
    times[1] = times[0];
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
      throw std::runtime_error("cannot set the time of " + path);
    }
  }
}

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool pathExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

bool sameVolume(const std::string& a, const std::string& b) {
  struct stat first;
  struct stat second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev;
}

bool secondVolumeBeside(const std::string& path) {
  return pathExists("/dev/shm") && !sameVolume("/dev/shm", path);
}

}  // namespace rozuzed::testing

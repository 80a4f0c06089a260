#include "rozuzed/support/home_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace rozuzed {
namespace {

std::string homeFromUserDatabase() {
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 4096);
  passwd entry{};
  passwd* found = nullptr;
  int error;
  while ((error = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < (1u << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (error != 0 || found == nullptr || found->pw_dir == nullptr) return "";
  return found->pw_dir;
}

}  // namespace

FileURL homeFolder() {
  const char* variable = std::getenv("HOME");
  std::string home = variable != nullptr ? variable : "";
  // A relative $HOME would name a different folder from every working
  // directory.
  if (home.empty() || home.front() != '/') home = homeFromUserDatabase();
  return FileURL::fromPath(home.empty() ? std::string("/") : home, true);
}

}  // namespace rozuzed

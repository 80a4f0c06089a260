#include "rozuzed/planning/directory_roots.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "rozuzed/support/hashing.h"

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

DirectoryRoots::DirectoryRoots(FileURL home_, FileURL documents_, FileURL pictures_,
                               FileURL downloads_, FileURL movies_, FileURL music_)
    : home(std::move(home_)),
      documents(std::move(documents_)),
      pictures(std::move(pictures_)),
      downloads(std::move(downloads_)),
      movies(std::move(movies_)),
      music(std::move(music_)) {}

DirectoryRoots::DirectoryRoots(const FileURL& home_)
    : DirectoryRoots(home_, home_.appendingPathComponent("Documents", true),
                     home_.appendingPathComponent("Pictures", true),
                     home_.appendingPathComponent("Downloads", true),
                     home_.appendingPathComponent("Movies", true),
                     home_.appendingPathComponent("Music", true)) {}

DirectoryRoots DirectoryRoots::current() {
  const char* variable = std::getenv("HOME");
  std::string home = variable != nullptr ? variable : "";
  // A relative $HOME would name a different folder from every working
  // directory.
  if (home.empty() || home.front() != '/') home = homeFromUserDatabase();
  return DirectoryRoots(FileURL::fromPath(home.empty() ? std::string("/") : home, true));
}

FileURL DirectoryRoots::url(DestinationRoot root, const FileURL& sourceFolder) const {
  switch (root) {
    case DestinationRoot::sourceFolder:
      return sourceFolder;
    case DestinationRoot::home:
      return home;
    case DestinationRoot::documents:
      return documents;
    case DestinationRoot::pictures:
      return pictures;
    case DestinationRoot::downloads:
      return downloads;
    case DestinationRoot::movies:
      return movies;
    case DestinationRoot::music:
      break;
  }
  return music;
}

std::size_t DirectoryRoots::hash() const {
  std::size_t seed = 0;
  for (const FileURL* url : {&home, &documents, &pictures, &downloads, &movies, &music}) {
    hashCombine(seed, std::hash<FileURL>{}(*url));
  }
  return seed;
}

}  // namespace rozuzed

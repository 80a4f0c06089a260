#include "rozuzed/planning/directory_roots.h"

#include <functional>

#include "rozuzed/support/hashing.h"
#include "rozuzed/support/home_folder.h"

namespace rozuzed {

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
  return DirectoryRoots(homeFolder());
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

// For tests that stage mounts in a process of their own, whose mount table
// this one reads afresh, one line per answer:
//   volume_probe FIRST OTHER...  "same volume" or "other volume" for the
//                                volume of each OTHER folder against FIRST's
//   volume_probe --trash ITEM... where each ITEM went in the Trash
// A failure prints its message instead.
#include <cstdio>
#include <string>

#include "rozuzed/filesystem/live_file_system.h"

int main(int argc, char** argv) {
  using rozuzed::FileURL;
  if (argc < 3) return 2;
  rozuzed::LiveFileSystem fileSystem;
  const bool trashing = std::string(argv[1]) == "--trash";
  for (int i = 2; i < argc; ++i) {
    try {
      if (trashing) {
        auto trashed = fileSystem.trashItem(FileURL::fromPath(argv[i]));
        std::printf("%s\n", trashed ? trashed->path().c_str() : "(somewhere)");
      } else {
        bool same = fileSystem.volumeID(FileURL::fromPath(argv[i], true)) ==
                    fileSystem.volumeID(FileURL::fromPath(argv[1], true));
        std::printf("%s\n", same ? "same volume" : "other volume");
      }
    } catch (const std::exception& error) {
      std::printf("%s\n", error.what());
    }
  }
  return 0;
}

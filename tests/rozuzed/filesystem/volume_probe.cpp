// Compares the volume of a first folder with that of each further folder, as
// the live file system names them, one line each: "same volume" or "other
// volume". For tests that stage mounts in a process of their own, whose
// mount table this one reads afresh.
#include <cstdio>

#include "rozuzed/filesystem/live_file_system.h"

int main(int argc, char** argv) {
  using rozuzed::FileURL;
  if (argc < 3) return 2;
  rozuzed::LiveFileSystem fileSystem;
  try {
    const rozuzed::VolumeID first = fileSystem.volumeID(FileURL::fromPath(argv[1], true));
    for (int i = 2; i < argc; ++i) {
      bool same = fileSystem.volumeID(FileURL::fromPath(argv[i], true)) == first;
      std::printf("%s\n", same ? "same volume" : "other volume");
    }
  } catch (const std::exception& error) {
    std::printf("%s\n", error.what());
  }
  return 0;
}

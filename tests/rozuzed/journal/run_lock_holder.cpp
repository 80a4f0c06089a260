// Takes the run lock at the path given as its one argument, says so on
// standard output ("locked" or "busy"), then holds it until standard input
// closes. Exit status: 0 after holding, 1 when the lock was busy, 2 on error.
#include <unistd.h>

#include <cstdio>
#include <exception>

#include "rozuzed/journal/run_lock.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: run_lock_holder LOCKFILE\n");
    return 2;
  }
  try {
    auto lock = rozuzed::RunLock::acquire(rozuzed::FileURL::fromPath(argv[1]));
    std::printf("%s\n", lock ? "locked" : "busy");
    std::fflush(stdout);
    if (!lock) return 1;
    char byte;
    while (read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 2;
  }
}

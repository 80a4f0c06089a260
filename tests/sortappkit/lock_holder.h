// The run lock held by a process of its own: the journal's run_lock_holder
// helper, kept alive until this object goes.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "rozuzed/testing/subprocess.h"

extern char** environ;

namespace sortappkit::testing {

class LockHolder {
 public:
  // Starts the helper and waits for its answer: whether it got the lock.
  explicit LockHolder(const std::string& lockPath) {
    int input[2], output[2];
    if (pipe2(input, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (pipe2(output, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    std::string program = rozuzed::testing::builtProgram("run_lock_holder");
    std::string path = lockPath;
    char* argv[] = {program.data(), path.data(), nullptr};
    const int spawned = posix_spawn(&child_, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    if (spawned != 0) {
      close(input[1]);
      close(output[0]);
      throw std::runtime_error("run_lock_holder could not be started");
    }
    stdin_ = input[1];
    std::string answer;
    char c;
    while (read(output[0], &c, 1) == 1 && c != '\n') answer.push_back(c);
    close(output[0]);
    locked_ = answer == "locked";
  }

  ~LockHolder() { release(); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

  bool locked() const { return locked_; }

  // Lets the helper give the lock back and waits until it has.
  void release() {
    if (stdin_ < 0) return;
    close(stdin_);
    stdin_ = -1;
    int status = 0;
    while (waitpid(child_, &status, 0) < 0 && errno == EINTR) {
    }
  }

  // Whether a process of its own can take the lock at `lockPath` right now.
  static bool canTake(const std::string& lockPath) { return LockHolder(lockPath).locked(); }

 private:
  pid_t child_ = -1;
  int stdin_ = -1;
  bool locked_ = false;
};

}  // namespace sortappkit::testing

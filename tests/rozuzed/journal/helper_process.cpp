#include "helper_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "rozuzed/testing/subprocess.h"

extern char** environ;

namespace rozuzed::testing {

HelperProcess::HelperProcess(const std::string& name, const std::vector<std::string>& arguments) {
  // A socket rather than pipes: writing to a child that is gone fails
  // instead of raising SIGPIPE in the test.
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  std::vector<std::string> words{builtProgram(name)};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  socket_ = ends[0];
}

HelperProcess::~HelperProcess() {
  kill();
  if (socket_ >= 0) close(socket_);
}

std::string HelperProcess::readLine() {
  std::string line;
  char c;
  while (read(socket_, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

std::string HelperProcess::ask(const std::string& line) {
  std::string text = line + "\n";
  if (send(socket_, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size())) {
    return "";
  }
  return readLine();
}

int HelperProcess::finish() {
  if (pid_ <= 0) return -1;
  shutdown(socket_, SHUT_WR);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void HelperProcess::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace rozuzed::testing

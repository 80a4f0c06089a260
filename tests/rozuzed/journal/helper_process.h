// A helper program of the build run as a child process that is talked to a
// line at a time over a socket that is its standard input and output.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace rozuzed::testing {

class HelperProcess {
 public:
  // Starts the program `name` of the build's bin/ folder with `arguments`.
  // When it cannot be started, `started()` is false and every answer empty.
  HelperProcess(const std::string& name, const std::vector<std::string>& arguments);
  // Kills the child when it is still running.
  ~HelperProcess();
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  bool started() const { return pid_ > 0; }
  // The next line the child writes, without its line feed; what there is
  // when its output ends first.
  std::string readLine();
  // Writes `line` and a line feed to the child, then reads its answer; ""
  // when the child is gone.
  std::string ask(const std::string& line);
  // Ends the child's input and waits for it: its exit status, or -1 when a
  // signal ended it.
  int finish();
  // Ends the child at once with SIGKILL and waits for it.
  void kill();

 private:
  pid_t pid_ = -1;
  int socket_ = -1;
};

}  // namespace rozuzed::testing

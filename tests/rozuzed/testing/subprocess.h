// Runs a program of the build (the driver, a helper) as a child process and
// collects what it wrote and how it ended.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "rozuzed/journal/process_identity.h"

namespace rozuzed::testing {

struct ProcessResult {
  // The exit status, or -1 when a signal ended the process.
  int exitCode = -1;
  // The signal that ended the process, or 0.
  int signal = 0;
  std::string standardOutput;
  std::string standardError;
};

// Runs `arguments[0]` with the rest as its arguments and this process's
// environment changed by `environment` (a name mapped to nullopt is
// removed), in `workingDirectory` when given, and waits for it. Throws
// std::runtime_error when it cannot be started.
ProcessResult runProcess(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::optional<std::string>>& environment = {},
                         const std::string& workingDirectory = "");

// The path of a program built into the build tree's bin/ folder: from
// OMBRIX_TEST_BIN when set, else beside the running test.
std::string builtProgram(const std::string& name);

// A folder of the build tree for scratch files that must share a volume
// with it: the folder above bin/.
std::string buildTreeFolder();

// The process that started this one: another process of this boot, alive
// for as long as this one runs.
ProcessIdentity parentProcessIdentity();

// The user a child of inUnprivilegedChild runs as when this process is
// root: "nobody" from the user database, or uid and gid 65534 where it has
// no such user.
struct UnprivilegedUser {
  uid_t uid;
  gid_t gid;
};
UnprivilegedUser unprivilegedUser();

// Runs `body` in a forked child process that file permissions bind, and
// returns what it answered: as root the child first gives up its identity,
// supplementary groups included, for unprivilegedUser(); otherwise it keeps
// ours. Absent when the child could not give up its privileges or still
// overrides file permissions after that, so the caller skips instead of
// passing. An exception from `body`, or a child that dies, is answered as
// text. `body` must not use test assertions, which the child would take
// with it: it says what it found in its answer.
std::optional<std::string> inUnprivilegedChild(const std::function<std::string()>& body);

}  // namespace rozuzed::testing

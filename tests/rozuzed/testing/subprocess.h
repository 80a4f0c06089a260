// Runs a program of the build (the driver, a helper) as a child process and
// collects what it wrote and how it ended.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

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

}  // namespace rozuzed::testing

#include "rozuzed/testing/subprocess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace rozuzed::testing {
namespace {

std::vector<std::string> childEnvironment(
    const std::map<std::string, std::optional<std::string>>& changes) {
  std::map<std::string, std::string> values;
  for (char** at = environ; *at != nullptr; ++at) {
    std::string entry = *at;
    auto equals = entry.find('=');
    if (equals != std::string::npos) values[entry.substr(0, equals)] = entry.substr(equals + 1);
  }
  for (const auto& [name, value] : changes) {
    if (value) {
      values[name] = *value;
    } else {
      values.erase(name);
    }
  }
  std::vector<std::string> out;
  for (const auto& [name, value] : values) out.push_back(name + "=" + value);
  return out;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (auto& text : texts) out.push_back(text.data());
  out.push_back(nullptr);
  return out;
}

// Whether a file this process made unreadable can still be opened: so a
// capability, not only root, overrides permissions.
bool overridesPermissions() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/ombrix-probe-XXXXXX";
  int fd = mkstemp(pattern.data());
  if (fd < 0) return false;
  fchmod(fd, 0);
  close(fd);
  int again = open(pattern.c_str(), O_RDONLY | O_CLOEXEC);
  if (again >= 0) close(again);
  unlink(pattern.c_str());
  return again >= 0;
}

bool giveUpPrivileges() {
  if (geteuid() == 0) {
    UnprivilegedUser user = unprivilegedUser();
    if (setgroups(0, nullptr) != 0 || setgid(user.gid) != 0 || setuid(user.uid) != 0) {
      return false;
    }
  }
  return !overridesPermissions();
}

void writeAll(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    ssize_t count = write(fd, text.data() + done, text.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return;
    done += static_cast<std::size_t>(count);
  }
}

}  // namespace

UnprivilegedUser unprivilegedUser() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwnam_r("nobody", &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_uid != 0) {
    return {found->pw_uid, found->pw_gid};
  }
  return {65534, 65534};
}

std::optional<std::string> inUnprivilegedChild(const std::function<std::string()>& body) {
  int channel[2];
  if (pipe2(channel, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    close(channel[0]);
    // The first byte says whether the body ran at all.
    if (!giveUpPrivileges()) {
      writeAll(channel[1], "-");
      _exit(0);
    }
    std::string answer;
    try {
      answer = body();
    } catch (const std::exception& error) {
      answer = std::string("exception: ") + error.what();
    }
    writeAll(channel[1], "+" + answer);
    _exit(0);
  }
  close(channel[1]);
  std::string answer;
  char buffer[4096];
  for (;;) {
    ssize_t count = read(channel[0], buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(count));
  }
  close(channel[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (answer.empty()) {
    return "the child ended without an answer (status " + std::to_string(status) + ")";
  }
  if (answer == "-") return std::nullopt;
  return answer.substr(1);
}

ProcessResult runProcess(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::optional<std::string>>& environment,
                         const std::string& workingDirectory) {
  if (arguments.empty()) throw std::runtime_error("no program to run");
  std::vector<std::string> argumentTexts = arguments;
  std::vector<std::string> environmentTexts = childEnvironment(environment);
  auto argv = pointers(argumentTexts);
  auto envp = pointers(environmentTexts);

  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    throw std::runtime_error("pipe failed");
  }
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0) _exit(126);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);

  ProcessResult result;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.standardOutput, &result.standardError};
  int open = 2;
  char buffer[65536];
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
      if (count > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(count));
      } else if (count == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

std::string builtProgram(const std::string& name) {
  if (const char* bin = std::getenv("OMBRIX_TEST_BIN"); bin != nullptr && *bin != '\0') {
    return std::string(bin) + "/" + name;
  }
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

std::string buildTreeFolder() {
  return std::filesystem::path(builtProgram("x")).parent_path().parent_path().string();
}

ProcessIdentity parentProcessIdentity() {
  const pid_t parent = getppid();
  return {ProcessIdentity::bootSessionUUID(), parent,
          ProcessIdentity::startTime(parent).value_or(0)};
}

}  // namespace rozuzed::testing

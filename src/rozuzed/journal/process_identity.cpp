#include "rozuzed/journal/process_identity.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "rozuzed/support/dates.h"
#include "rozuzed/support/hashing.h"

namespace rozuzed {
namespace {

std::optional<std::string> readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return text;
}

// Strict: a NaN on either side never matches.
bool sameStart(double a, double b) {
  return std::fabs(a - b) < ProcessIdentity::startTimeTolerance;
}

}  // namespace

ProcessIdentity ProcessIdentity::current() {
  ProcessIdentity identity;
  identity.processID = static_cast<int32_t>(getpid());
  identity.bootSessionID = bootSessionUUID();
  identity.processStartedAt = startTime(identity.processID).value_or(currentDate());
  return identity;
}

std::string ProcessIdentity::bootSessionUUID() {
  auto text = readWholeFile("/proc/sys/kernel/random/boot_id");
  if (!text) return "";
  if (!text->empty() && text->back() == '\n') text->pop_back();
  return *text;
}

std::optional<uint64_t> ProcessIdentity::startTicksFromStat(std::string_view statText) {
  auto close = statText.rfind(')');
  if (close == std::string_view::npos) return std::nullopt;
  // After ")" come the fields from the third (state) on; the start time is
  // the 22nd, so the 20th token here.
  std::istringstream fields{std::string(statText.substr(close + 1))};
  std::string token;
  for (int field = 3; field <= 22; ++field) {
    if (!(fields >> token)) return std::nullopt;
    if (field == 3 && (token == "Z" || token == "X")) return std::nullopt;
  }
  if (token.empty() || token.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  errno = 0;
  char* end = nullptr;
  unsigned long long ticks = std::strtoull(token.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return std::nullopt;
  return static_cast<uint64_t>(ticks);
}

std::optional<double> ProcessIdentity::startTime(int32_t processID) {
  auto text = readWholeFile("/proc/" + std::to_string(processID) + "/stat");
  if (!text || text->empty()) return std::nullopt;
  auto ticks = startTicksFromStat(*text);
  long perSecond = sysconf(_SC_CLK_TCK);
  if (!ticks || perSecond <= 0) return std::nullopt;
  return static_cast<double>(*ticks) / static_cast<double>(perSecond);
}

ProcessIdentity::Liveness ProcessIdentity::liveness() const {
  return liveness(current(), [](int32_t pid) { return startTime(pid); });
}

ProcessIdentity::Liveness ProcessIdentity::liveness(
    const ProcessIdentity& caller,
    const std::function<std::optional<double>(int32_t)>& startTimeOf) const {
  if (bootSessionID != caller.bootSessionID) return Liveness::differentBootSession;
  if (processID == caller.processID && sameStart(processStartedAt, caller.processStartedAt)) {
    return Liveness::thisProcess;
  }
  auto started = startTimeOf(processID);
  if (!started) return Liveness::dead;
  return sameStart(*started, processStartedAt) ? Liveness::anotherProcessAlive : Liveness::dead;
}

std::size_t ProcessIdentity::hash() const {
  std::size_t seed = std::hash<std::string>{}(bootSessionID);
  hashCombine(seed, std::hash<int32_t>{}(processID));
  hashCombine(seed, hashDouble(processStartedAt));
  return seed;
}

bool ProcessIdentity::isFinishedForever() const {
  auto state = liveness();
  return state == Liveness::dead || state == Liveness::differentBootSession;
}

}  // namespace rozuzed

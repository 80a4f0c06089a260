#include "rozuzed/execution/fault_injection.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <memory>

#include "rozuzed/filesystem/live_file_system.h"

namespace rozuzed {

namespace {

constexpr const char* kPointNames[] = {
    "beforeIntent",
    "afterIntentBeforeOperation",
    "midCopy",
    "midCopyPiece",
    "afterCopyBeforeRename",
    "afterRenameBeforeTrash",
    "afterOperationBeforeCommit",
    "beforeUndoIntent",
    "afterUndoIntentBeforeOperation",
    "afterUndoOperationBeforeCommit",
    "beforeFinishRun",
    "afterRecoveryOperationBeforeCommit",
    "afterRecoveryMarkUndoneBeforeCommit",
};

constexpr int64_t kDefaultDelayMilliseconds = 15;
constexpr std::size_t kKillThreadStackSize = 65536;

// Decimal digits with an optional leading sign and nothing else: gives the
// magnitude and the sign, absent when the magnitude needs more than 64 bits.
std::optional<uint64_t> parseMagnitude(const std::string& text, bool& negative) {
  std::size_t at = 0;
  negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    at = 1;
  }
  if (at == text.size()) return std::nullopt;
  uint64_t value = 0;
  for (; at < text.size(); ++at) {
    char c = text[at];
    if (c < '0' || c > '9') return std::nullopt;
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<int64_t> parseInt64(const std::string& text) {
  bool negative = false;
  auto magnitude = parseMagnitude(text, negative);
  if (!magnitude) return std::nullopt;
  constexpr uint64_t maxPositive = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (!negative) {
    if (*magnitude > maxPositive) return std::nullopt;
    return static_cast<int64_t>(*magnitude);
  }
  if (*magnitude > maxPositive + 1) return std::nullopt;
  if (*magnitude == maxPositive + 1) return std::numeric_limits<int64_t>::min();
  return -static_cast<int64_t>(*magnitude);
}

std::optional<uint64_t> parseUInt64(const std::string& text) {
  bool negative = false;
  auto magnitude = parseMagnitude(text, negative);
  if (!magnitude || (negative && *magnitude != 0)) return std::nullopt;
  return magnitude;
}

std::optional<std::string> environmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

// Everything the kill thread needs, handed over whole so that it reads no
// shared state.
struct DelayedKill {
  int64_t delayMilliseconds;
  int32_t signal;
  std::string line;
};

void* runDelayedKill(void* argument) {
  std::unique_ptr<DelayedKill> kill(static_cast<DelayedKill*>(argument));
  double seconds = static_cast<double>(kill->delayMilliseconds) / 1000.0;
  if (seconds > 0) {
    timespec remaining{};
    remaining.tv_sec = static_cast<time_t>(seconds);
    remaining.tv_nsec = static_cast<long>((seconds - static_cast<double>(remaining.tv_sec)) * 1e9);
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
  }
  [[maybe_unused]] auto written = ::write(STDERR_FILENO, kill->line.data(), kill->line.size());
  ::kill(::getpid(), kill->signal);
  return nullptr;
}

}  // namespace

std::string toText(FaultPoint point) {
  return kPointNames[static_cast<std::size_t>(point)];
}

std::optional<FaultPoint> faultPointFromText(const std::string& text) {
  for (auto point : allFaultPoints) {
    if (text == kPointNames[static_cast<std::size_t>(point)]) return point;
  }
  return std::nullopt;
}

FaultInjector::Configuration FaultInjector::Configuration::parse(
    const std::function<std::optional<std::string>(const char* name)>& lookup) {
  Configuration configuration;
  if (auto signal = lookup("ROZUZED_FAULT_SIGNAL"); signal && *signal == "TERM") {
    configuration.signal = SIGTERM;
  } else {
    configuration.signal = SIGKILL;
  }
  if (auto seedText = lookup("ROZUZED_FAULT_RANDOM_SEED")) {
    if (auto seed = parseUInt64(*seedText))
      configuration.randomTarget = FaultInjector::randomTarget(*seed);
  }
  if (auto pointText = lookup("ROZUZED_FAULT"))
    configuration.point = faultPointFromText(*pointText);
  if (auto nthText = lookup("ROZUZED_FAULT_NTH")) {
    configuration.nth = parseInt64(*nthText).value_or(1);
  }
  return configuration;
}

FaultInjector::Configuration FaultInjector::Configuration::fromEnvironment() {
  return parse(environmentValue);
}

std::pair<int64_t, int64_t> FaultInjector::Counter::next(FaultPoint point) {
  std::lock_guard<std::mutex> guard(lock_);
  int64_t count = ++counts_[point];
  ++total_;
  return {count, total_};
}

const FaultInjector::Configuration& FaultInjector::configuration() {
  static const Configuration configuration = [] {
    Configuration read = Configuration::fromEnvironment();
    // A timed kill may land before, in or after a copy; a count of pieces
    // lands in it on any machine.
    if (read.point == FaultPoint::midCopyPiece && !read.randomTarget) {
      LiveFileSystem::copyPieceSeam() = [] { reach(FaultPoint::midCopyPiece); };
    }
    return read;
  }();
  return configuration;
}

bool FaultInjector::isArmed() {
  const auto& configuration = FaultInjector::configuration();
  return configuration.point.has_value() || configuration.randomTarget.has_value();
}

void FaultInjector::reach(FaultPoint point) {
  if (!isArmed()) return;
  static Counter counter;
  auto [count, total] = counter.next(point);
  const auto& configuration = FaultInjector::configuration();
  if (configuration.randomTarget) {
    if (total == *configuration.randomTarget) die(point, total);
    return;
  }
  if (configuration.point == point && count == configuration.nth) die(point, count);
}

void FaultInjector::armDelayedKill(FaultPoint point) {
  if (!isArmed()) return;
  const auto& configuration = FaultInjector::configuration();
  if (configuration.point != point || configuration.randomTarget) return;

  int64_t delay = kDefaultDelayMilliseconds;
  if (auto text = environmentValue("ROZUZED_FAULT_DELAY_MS")) {
    delay = parseInt64(*text).value_or(kDefaultDelayMilliseconds);
  }
  auto kill = std::make_unique<DelayedKill>(DelayedKill{
      delay, configuration.signal, "ROZUZED_FAULT fired mid-operation at " + toText(point) + "\n"});

  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return;
  pthread_attr_setstacksize(&attributes, kKillThreadStackSize);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  if (pthread_create(&thread, &attributes, runDelayedKill, kill.get()) == 0) kill.release();
  pthread_attr_destroy(&attributes);
}

void FaultInjector::die(FaultPoint point, int64_t arrival) {
  std::string line =
      "ROZUZED_FAULT fired at " + toText(point) + " arrival " + std::to_string(arrival) + "\n";
  [[maybe_unused]] auto written = ::write(STDERR_FILENO, line.data(), line.size());
  ::kill(::getpid(), configuration().signal);
  for (;;) ::pause();
}

int64_t FaultInjector::randomTarget(uint64_t seed) {
  uint64_t z = seed * 0x5851F42D4C957F2DULL + 0x14057B7EF767814FULL;
  z ^= z >> 33;
  z *= 0xFF51AFD7ED558CCDULL;
  z ^= z >> 33;
  return static_cast<int64_t>(z % 400) + 1;
}

}  // namespace rozuzed

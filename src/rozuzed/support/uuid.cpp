#include "rozuzed/support/uuid.h"

#include <openssl/rand.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>

#include <stdexcept>

namespace rozuzed {
namespace {

// Forks of this process so far, as seen by the child.
std::atomic<unsigned> forks{0};

}  // namespace

Uuid Uuid::random() {
  // A plan names every move with a fresh id, so random bytes are drawn a
  // pool at a time. The pool belongs to the process that drew it: a forked
  // child draws its own rather than repeat its parent's ids. Forks are
  // counted as they happen, which spares asking the kernel for the process
  // id on every draw.
  struct Pool {
    std::mutex mutex;
    std::array<uint8_t, 16 * 256> bytes{};
    std::size_t next = 16 * 256;
    unsigned drawnInFork = 0;
  };
  static Pool pool;
  static const bool forksCounted = [] {
    return ::pthread_atfork(nullptr, nullptr,
                            [] { forks.fetch_add(1, std::memory_order_relaxed); }) == 0;
  }();
  Uuid id;
  if (!forksCounted) {
    // A child could not tell its pool from its parent's.
    if (RAND_bytes(id.bytes.data(), static_cast<int>(id.bytes.size())) != 1) {
      throw std::runtime_error("the random number generator failed");
    }
  } else {
    std::lock_guard<std::mutex> lock(pool.mutex);
    unsigned fork = forks.load(std::memory_order_relaxed);
    if (pool.next == pool.bytes.size() || pool.drawnInFork != fork) {
      if (RAND_bytes(pool.bytes.data(), static_cast<int>(pool.bytes.size())) != 1) {
        throw std::runtime_error("the random number generator failed");
      }
      pool.next = 0;
      pool.drawnInFork = fork;
    }
    std::memcpy(id.bytes.data(), pool.bytes.data() + pool.next, id.bytes.size());
    pool.next += id.bytes.size();
  }
  id.bytes[6] = static_cast<uint8_t>((id.bytes[6] & 0x0F) | 0x40);
  id.bytes[8] = static_cast<uint8_t>((id.bytes[8] & 0x3F) | 0x80);
  return id;
}

Uuid Uuid::timeOrdered() {
  struct Last {
    std::mutex mutex;
    uint64_t milliseconds = 0;
    unsigned counter = 0;
  };
  static Last last;
  const auto now = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::system_clock::now().time_since_epoch())
                                             .count());
  uint64_t milliseconds;
  unsigned counter;
  {
    std::lock_guard<std::mutex> lock(last.mutex);
    // Within one millisecond, or with the clock set back, the counter keeps
    // the order; once it runs out, the time is taken a millisecond on.
    if (now > last.milliseconds) {
      last.milliseconds = now;
      last.counter = 0;
    } else if (++last.counter > 0xFFF) {
      ++last.milliseconds;
      last.counter = 0;
    }
    milliseconds = last.milliseconds;
    counter = last.counter;
  }
  Uuid id = random();
  for (int i = 0; i < 6; ++i) id.bytes[i] = static_cast<uint8_t>(milliseconds >> (8 * (5 - i)));
  id.bytes[6] = static_cast<uint8_t>(0x70 | (counter >> 8));
  id.bytes[7] = static_cast<uint8_t>(counter & 0xFF);
  return id;
}

std::optional<Uuid> Uuid::parse(const std::string& text) {
  if (text.size() != 36) return std::nullopt;
  Uuid id;
  std::size_t byte = 0;
  int pending = -1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return std::nullopt;
      continue;
    }
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else
      return std::nullopt;
    if (pending < 0) {
      pending = v;
    } else {
      id.bytes[byte++] = static_cast<uint8_t>(pending * 16 + v);
      pending = -1;
    }
  }
  return id;
}

std::array<char, Uuid::textLength> Uuid::characters() const {
  static const char* digits = "0123456789ABCDEF";
  std::array<char, textLength> out{};
  std::size_t at = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out[at++] = '-';
    out[at++] = digits[bytes[i] >> 4];
    out[at++] = digits[bytes[i] & 0xF];
  }
  return out;
}

std::string Uuid::text() const {
  const std::array<char, textLength> out = characters();
  return std::string(out.data(), out.size());
}

}  // namespace rozuzed

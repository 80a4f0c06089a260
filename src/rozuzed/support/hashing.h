// Combining hashes of a record's fields, so equal records hash alike.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>

namespace rozuzed {

inline void hashCombine(std::size_t& seed, std::size_t value) {
  seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// Equal doubles must hash alike, and 0.0 == -0.0.
inline std::size_t hashDouble(double value) {
  return std::hash<double>{}(value == 0 ? 0.0 : value);
}

template <class T, class Hash>
void hashCombineOptional(std::size_t& seed, const std::optional<T>& value, Hash hash) {
  hashCombine(seed, value.has_value());
  if (value) hashCombine(seed, hash(*value));
}

}  // namespace rozuzed

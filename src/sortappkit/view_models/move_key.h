// The identity of one planned move for the user's selection.
#pragma once

#include <compare>
#include <cstddef>
#include <functional>
#include <string>

#include "rozuzed/support/file_url.h"

namespace sortappkit {

// The source's standardized path, lower-cased. Two sources whose paths differ
// only in letter case (possible on a case-sensitive file system) share a key.
struct MoveKey {
  std::string value;

  MoveKey() = default;
  explicit MoveKey(const rozuzed::FileURL& sourceURL);

  auto operator<=>(const MoveKey&) const = default;
  bool operator==(const MoveKey&) const = default;
};

}  // namespace sortappkit

template <>
struct std::hash<sortappkit::MoveKey> {
  std::size_t operator()(const sortappkit::MoveKey& key) const noexcept {
    return std::hash<std::string>{}(key.value);
  }
};

// Folder extensions whose folders are treated as one opaque item, as the
// system that made them presents them.
#pragma once

#include <string>
#include <unordered_set>

namespace rozuzed {

struct BundleExtensions {
  // The 54 lower-case extensions, without a dot. Built once; safe from any
  // thread.
  static const std::unordered_set<std::string>& known();

  // Whether the lower-cased `extension` is one of `known()`, exactly: nothing
  // is trimmed, so an extension given with its dot never matches.
  static bool isKnownBundle(const std::string& extension);
};

}  // namespace rozuzed

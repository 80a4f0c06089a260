// Finds the engine's own resource files (the default rule file) in the
// resource folder beside the running executable.
#pragma once

#include <optional>
#include <string>

#include "rozuzed/support/file_url.h"

namespace rozuzed {

struct BundledResource {
  // The name of the engine's resource folder, without its ".bundle" suffix.
  static constexpr const char* bundleName = "RozuZed_RozuZed";

  // The first existing "named.extension" among the candidate folders (the
  // installed or build-tree resource folder, then the executable's folder,
  // then the folder above it), each tried directly and inside the engine's
  // resource folder. The path is returned as formed, links not resolved.
  // Absent when nothing exists; never fails.
  static std::optional<FileURL> url(const std::string& named, const std::string& extension);

  // Where "named.extension" is looked for first: the path to name when it
  // is found nowhere. Relative ("named.extension") only when the executable
  // cannot be found.
  static FileURL expectedURL(const std::string& named, const std::string& extension);
};

}  // namespace rozuzed

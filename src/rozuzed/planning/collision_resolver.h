// Chooses the name under which a file lands in its destination folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

#include "rozuzed/filesystem/file_system.h"
#include "rozuzed/support/file_url.h"

namespace rozuzed {

// Hands out destinations that are free on disk and that it has not handed
// out before, so two files of one plan or one run never get the same place
// although neither exists there yet. A file keeps its own name when that is
// free; otherwise it gets "name 2.ext", "name 3.ext" and so on, the base
// shortened so a numbered name stays within both name limits. Owned by one
// plan or one run and mutated from one thread at a time; the file system
// must outlive it.
class CollisionResolver {
 public:
  // Candidate names tried for one file; the unchanged name is the first.
  static constexpr int64_t maximumAttempts = 1000;
  // The longest numbered name, counted by `nameLength`.
  static constexpr std::size_t maximumNameLength = 255;
  // The longest name Linux accepts (NAME_MAX), in UTF-8 bytes.
  static constexpr std::size_t maximumNameBytes = 255;

  struct Resolution {
    // The folder with the chosen name appended (not standardized).
    FileURL url;
    // Absent when the file keeps its own name, else the number in the name.
    std::optional<int64_t> suffix;

    bool operator==(const Resolution&) const = default;
  };

  explicit CollisionResolver(FileSystem& fileSystem) : fileSystem_(&fileSystem) {}

  // The first candidate whose path key this resolver has not returned and
  // at which nothing exists (links followed); claims it. The unchanged name
  // is tried as it is, however long. Throws collisionUnresolvable (folder +
  // `name`, maximumAttempts) when no candidate is free or no numbered name
  // fits, leaving the claimed set as it was.
  Resolution resolve(const std::string& name, const FileURL& folder);

  // `base` + " " + `suffix` (+ "." + `ext` when not empty), the base losing
  // whole user-perceived characters from its end until the name is at most
  // maximumNameLength long and maximumNameBytes in UTF-8. Absent when that
  // leaves no base at all.
  static std::optional<std::string> name(const std::string& base, int64_t suffix,
                                         const std::string& ext);

  // UTF-16 code units of the canonical decomposition.
  static std::size_t nameLength(const std::string& name);

  // Path keys of every destination returned so far.
  const std::unordered_set<std::string>& claimed() const { return claimed_; }

 private:
  FileSystem* fileSystem_;
  std::unordered_set<std::string> claimed_;
};

}  // namespace rozuzed

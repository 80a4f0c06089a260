// Chooses the name under which a file lands in its destination folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

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

  // As `resolve`, for a folder its caller found missing: nothing can lie in
  // it, so only the names handed out before are avoided and the disk is
  // not asked about each candidate. The moves of a plan are resolved again
  // when they are carried out.
  Resolution resolveInMissingFolder(const std::string& name, const FileURL& folder);

  // `base` + " " + `suffix` (+ "." + `ext` when not empty), the base losing
  // whole user-perceived characters from its end until the name is at most
  // maximumNameLength long and maximumNameBytes in UTF-8. Absent when that
  // leaves no base at all.
  static std::optional<std::string> name(const std::string& base, int64_t suffix,
                                         const std::string& ext);

  // UTF-16 code units of the canonical decomposition.
  static std::size_t nameLength(const std::string& name);

  // A set of path keys that only grows. A plan claims one for every file it
  // moves, so the keys are packed into large blocks, never moved once
  // written, and found through a table of their hashes.
  class Claims {
   public:
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    std::size_t count(std::string_view key) const { return find(key, hashOf(key)).found ? 1 : 0; }

   private:
    friend class CollisionResolver;
    struct Slot {
      std::size_t hash = 0;
      // Null for a free slot.
      const char* key = nullptr;
      std::size_t length = 0;
    };
    // Where a key is, or the free slot where it would go.
    struct Place {
      std::size_t index = 0;
      bool found = false;
    };
    static constexpr std::size_t kBlockSize = 64 * 1024;

    static std::size_t hashOf(std::string_view key) { return std::hash<std::string_view>{}(key); }
    Place find(std::string_view key, std::size_t hash) const;
    // Adds a key that `find` did not find at `place`, with nothing added since.
    void insert(std::string_view key, std::size_t hash, Place place);
    // A lasting copy of `key`.
    const char* store(std::string_view key);

    std::vector<std::unique_ptr<char[]>> blocks_;
    // Of the last block.
    std::size_t blockSize_ = 0;
    std::size_t blockUsed_ = 0;
    // Open addressing with linear probing; the size is a power of two, at
    // least twice the count.
    std::vector<Slot> slots_;
    std::size_t count_ = 0;
  };

  // Path keys of every destination returned so far.
  const Claims& claimed() const { return claimed_; }

 private:
  Resolution resolve(const std::string& name, const FileURL& folder, bool folderExists);
  // Makes `key` pathKey(url), where `url` is `folder` with `name` appended.
  void keyInFolder(const FileURL& folder, const std::string& name, const FileURL& url,
                   std::string& key);

  FileSystem* fileSystem_;
  Claims claimed_;
  // The path key of each folder asked about, by the folder's path.
  std::unordered_map<std::string, std::string> folderKeys_;
  // Room for the key of each candidate, kept from one file to the next.
  std::string key_;
};

}  // namespace rozuzed

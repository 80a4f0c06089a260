// Where a rule sends its files: a path below one of seven base folders, or
// an absolute path. A destination is only a description; nothing here looks
// at the disk.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "rozuzed/support/json.h"

namespace rozuzed {

// The base folder of a relative destination. The text value of each case is
// its name, spelled exactly.
enum class DestinationRoot { sourceFolder, home, documents, pictures, downloads, movies, music };

inline constexpr std::array<DestinationRoot, 7> kAllDestinationRoots = {
    DestinationRoot::sourceFolder, DestinationRoot::home,      DestinationRoot::documents,
    DestinationRoot::pictures,     DestinationRoot::downloads, DestinationRoot::movies,
    DestinationRoot::music};

std::string rawValue(DestinationRoot root);
// The root whose text value is exactly `text` (no trimming, no case folding).
std::optional<DestinationRoot> destinationRootFromRawValue(const std::string& text);

// An immutable value. The path is kept exactly as written in the rule file,
// neither trimmed nor normalised; judging it is the validator's business.
class Destination {
 public:
  enum class Kind { relative, absolute };

  static Destination relative(DestinationRoot root, std::string path);
  static Destination absolute(std::string path);

  Kind kind() const { return kind_; }
  // The base folder of a relative destination; sourceFolder for an absolute
  // one, where it means nothing.
  DestinationRoot root() const { return root_; }
  const std::string& path() const { return path_; }

  // "root/path" for a relative destination (so "home/" for an empty path);
  // the path itself for an absolute one.
  std::string description() const;

  // Same kind and equal fields; paths compare by canonical equivalence.
  bool operator==(const Destination& other) const;

  // {"absolute": path} or {"root": text value, "path": path}, "root" always
  // written. Reading takes "absolute" when it is present and not null and
  // then looks at nothing else; otherwise "root" (missing or null meaning
  // sourceFolder) and the required "path". Throws JsonDecodingError.
  Json toJson() const;
  static Destination fromJson(const Json& object);

 private:
  Destination(Kind kind, DestinationRoot root, std::string path)
      : kind_(kind), root_(root), path_(std::move(path)) {}

  Kind kind_;
  DestinationRoot root_;
  std::string path_;
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::Destination> {
  std::size_t operator()(const rozuzed::Destination& destination) const noexcept;
};

#include "rozuzed/model/destination.h"

#include "rozuzed/support/hashing.h"
#include "rozuzed/support/text.h"
#include "rozuzed/support/unicode.h"

namespace rozuzed {

std::string rawValue(DestinationRoot root) {
  switch (root) {
    case DestinationRoot::sourceFolder:
      return "sourceFolder";
    case DestinationRoot::home:
      return "home";
    case DestinationRoot::documents:
      return "documents";
    case DestinationRoot::pictures:
      return "pictures";
    case DestinationRoot::downloads:
      return "downloads";
    case DestinationRoot::movies:
      return "movies";
    case DestinationRoot::music:
      return "music";
  }
  return "sourceFolder";
}

std::optional<DestinationRoot> destinationRootFromRawValue(const std::string& text) {
  for (DestinationRoot root : kAllDestinationRoots) {
    if (rawValue(root) == text) return root;
  }
  return std::nullopt;
}

Destination Destination::relative(DestinationRoot root, std::string path) {
  return Destination(Kind::relative, root, std::move(path));
}

Destination Destination::absolute(std::string path) {
  return Destination(Kind::absolute, DestinationRoot::sourceFolder, std::move(path));
}

std::string Destination::description() const {
  if (kind_ == Kind::absolute) return path_;
  return rawValue(root_) + "/" + path_;
}

bool Destination::operator==(const Destination& other) const {
  if (kind_ != other.kind_) return false;
  if (kind_ == Kind::relative && root_ != other.root_) return false;
  return canonicallyEqual(path_, other.path_);
}

Json Destination::toJson() const {
  Json object = Json::object();
  if (kind_ == Kind::absolute) {
    object["absolute"] = path_;
  } else {
    object["root"] = rawValue(root_);
    object["path"] = path_;
  }
  return object;
}

Destination Destination::fromJson(const Json& object) {
  if (auto path = readOptionalString(object, "absolute")) return absolute(std::move(*path));
  DestinationRoot root = DestinationRoot::sourceFolder;
  if (auto text = readOptionalString(object, "root")) {
    auto named = destinationRootFromRawValue(*text);
    if (!named) throw JsonDecodingError("root", "unknown destination root " + quotedForm(*text));
    root = *named;
  }
  return relative(root, readString(object, "path"));
}

}  // namespace rozuzed

std::size_t std::hash<rozuzed::Destination>::operator()(
    const rozuzed::Destination& destination) const noexcept {
  std::size_t seed = static_cast<std::size_t>(destination.kind());
  if (destination.kind() == rozuzed::Destination::Kind::relative) {
    rozuzed::hashCombine(seed, static_cast<std::size_t>(destination.root()));
  }
  rozuzed::hashCombine(seed, rozuzed::canonicalHash(destination.path()));
  return seed;
}

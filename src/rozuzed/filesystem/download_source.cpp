#include "rozuzed/filesystem/download_source.h"

#include <sys/xattr.h>

#include "rozuzed/support/unicode.h"

namespace rozuzed {
namespace {

std::optional<std::string> attribute(const std::string& path, const char* name) {
  ssize_t length = ::getxattr(path.c_str(), name, nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::string value(static_cast<std::size_t>(length), '\0');
  if (::getxattr(path.c_str(), name, value.data(), value.size()) != length) return std::nullopt;
  // Some writers store the C string's terminator with the value.
  while (!value.empty() && value.back() == '\0') value.pop_back();
  if (value.empty() || !isValidUtf8(value)) return std::nullopt;
  return value;
}

}  // namespace

std::vector<std::string> WhereFroms::read(const FileURL& at) {
  std::vector<std::string> sources;
  // Most files carry no attributes at all: one listing spares a lookup per
  // attribute name.
  if (::listxattr(at.path().c_str(), nullptr, 0) == 0) return sources;
  for (const char* name : attributeNames) {
    if (auto value = attribute(at.path(), name)) sources.push_back(std::move(*value));
  }
  return sources;
}

}  // namespace rozuzed

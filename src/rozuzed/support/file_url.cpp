#include "rozuzed/support/file_url.h"

#include <array>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "rozuzed/support/unicode.h"

namespace rozuzed {
namespace {

std::string collapseSlashes(const std::string& path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  return out;
}

bool isUnreservedInPath(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '-':
    case '.':
    case '_':
    case '~':
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case '=':
    case ':':
    case '@':
    case '/':
      return true;
    default:
      return false;
  }
}

// Paths are mostly plain names: runs of characters that need no escape
// are copied whole.
void appendPercentEncoded(std::string& out, std::string_view path) {
  static const char* digits = "0123456789ABCDEF";
  static const std::array<bool, 256> unreserved = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) table[c] = isUnreservedInPath(static_cast<unsigned char>(c));
    return table;
  }();
  std::size_t i = 0;
  while (i < path.size()) {
    std::size_t run = i;
    while (run < path.size() && unreserved[static_cast<unsigned char>(path[run])]) ++run;
    out.append(path.data() + i, run - i);
    if (run == path.size()) break;
    auto c = static_cast<unsigned char>(path[run]);
    const char escape[3] = {'%', digits[c >> 4], digits[c & 0xF]};
    out.append(escape, 3);
    i = run + 1;
  }
}

// Whether every component of an absolute path is a plain name: none empty,
// "." or "..". Such a path is already in its standard form.
bool hasOnlyPlainComponents(const std::string& path) {
  if (path == "/") return true;
  std::size_t start = 1;
  for (;;) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::size_t length = end - start;
    if (length == 0) return false;
    if (path[start] == '.' && (length == 1 || (length == 2 && path[start + 1] == '.'))) {
      return false;
    }
    if (end == path.size()) return true;
    start = end + 1;
  }
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

FileURL FileURL::fromPath(const std::string& rawPath, bool isDirectory) {
  if (rawPath.empty() || rawPath.front() != '/') {
    throw std::invalid_argument("Not an absolute path: \"" + rawPath + "\"");
  }
  std::string path = collapseSlashes(rawPath);
  if (path.size() > 1 && path.back() == '/') {
    path.pop_back();
    isDirectory = true;
  }
  if (path == "/") isDirectory = true;
  return FileURL(path, isDirectory);
}

std::optional<FileURL> FileURL::fromAbsoluteString(const std::string& text) {
  static const std::string scheme = "file://";
  if (text.compare(0, scheme.size(), scheme) != 0) return std::nullopt;
  std::string encoded = text.substr(scheme.size());
  // "file://localhost/..." names the same place as "file:///...".
  if (encoded.compare(0, 9, "localhost") == 0) encoded.erase(0, 9);
  if (encoded.empty() || encoded.front() != '/') return std::nullopt;
  auto decoded = percentDecode(encoded);
  if (!decoded) return std::nullopt;
  return fromPath(*decoded, false);
}

std::string FileURL::lastPathComponent() const {
  if (path_ == "/") return "/";
  return path_.substr(path_.rfind('/') + 1);
}

std::string FileURL::pathExtension() const {
  std::string name = lastPathComponent();
  auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || name == "/") return "";
  return name.substr(dot + 1);
}

FileURL FileURL::deletingPathExtension() const {
  std::string extension = pathExtension();
  if (extension.empty()) return *this;
  return FileURL(path_.substr(0, path_.size() - extension.size() - 1), isDirectory_);
}

FileURL FileURL::deletingLastPathComponent() const {
  if (path_ == "/") return *this;
  auto slash = path_.rfind('/');
  return FileURL(slash == 0 ? "/" : path_.substr(0, slash), true);
}

FileURL FileURL::appendingPathComponent(const std::string& component, bool isDirectory) const {
  // A single name needs none of the clean-up below.
  if (!component.empty() && component.find('/') == std::string::npos) {
    std::string joined;
    joined.reserve(path_.size() + 1 + component.size());
    joined += path_;
    if (path_ != "/") joined += '/';
    joined += component;
    return FileURL(std::move(joined), isDirectory);
  }
  std::string joined = path_ == "/" ? "/" + component : path_ + "/" + component;
  return fromPath(joined, isDirectory);
}

FileURL FileURL::standardized() const {
  if (hasOnlyPlainComponents(path_)) return FileURL(path_, isDirectory_ || path_ == "/");
  std::vector<std::string> parts;
  std::size_t start = 1;
  while (start <= path_.size()) {
    auto end = path_.find('/', start);
    if (end == std::string::npos) end = path_.size();
    std::string part = path_.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string out;
  for (const auto& part : parts) out += "/" + part;
  if (out.empty()) out = "/";
  return FileURL(out, isDirectory_ || out == "/");
}

std::string FileURL::absoluteString() const {
  std::string text;
  appendAbsoluteString(text);
  return text;
}

void FileURL::appendAbsoluteString(std::string& out) const {
  out += "file://";
  appendPercentEncoded(out, path_);
  if (isDirectory_ && path_ != "/") out += '/';
}

std::string pathKey(const FileURL& url) {
  if (hasOnlyPlainComponents(url.path())) return lowercased(url.path());
  return lowercased(url.standardized().path());
}

std::string percentEncodePath(const std::string& path) {
  std::string out;
  out.reserve(path.size());
  appendPercentEncoded(out, path);
  return out;
}

std::optional<std::string> percentDecode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int high = hexValue(text[i + 1]);
    int low = hexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return out;
}

}  // namespace rozuzed

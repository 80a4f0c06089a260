// A file URL: an absolute path plus a directory mark, standing in for the
// platform URL type the engine was designed around.
#pragma once

#include <compare>
#include <cstddef>
#include <optional>
#include <string>

namespace rozuzed {

class FileURL {
 public:
  FileURL() : path_("/"), isDirectory_(true) {}

  // Runs of "/" collapse to one, and a trailing "/" marks a directory. "."
  // and ".." are kept until `standardized()`. Throws std::invalid_argument
  // for an empty or relative path: taken against the working directory it
  // would name whatever folder the process happens to run in, so text from
  // outside is checked, or made absolute on purpose, before it gets here.
  static FileURL fromPath(const std::string& path, bool isDirectory = false);

  // Reads "file://" + percent-encoded path; absent for anything else.
  static std::optional<FileURL> fromAbsoluteString(const std::string& text);

  // The path without its trailing "/" ("/" itself stays "/").
  const std::string& path() const { return path_; }
  bool hasDirectoryPath() const { return isDirectory_; }

  std::string lastPathComponent() const;
  // The text after the last dot of the last component, unless that dot is
  // its first character; "" when there is none. Case is kept.
  std::string pathExtension() const;
  FileURL deletingPathExtension() const;
  FileURL deletingLastPathComponent() const;
  FileURL appendingPathComponent(const std::string& component, bool isDirectory = false) const;
  // Removes "." and ".." lexically; never resolves links.
  FileURL standardized() const;

  // "file://" + the percent-encoded UTF-8 path, with the directory mark.
  std::string absoluteString() const;
  // The same text appended to `out`: plain ASCII with no quote, backslash
  // or control character, so JSON takes it as it is.
  void appendAbsoluteString(std::string& out) const;

  bool operator==(const FileURL& other) const { return absoluteString() == other.absoluteString(); }
  auto operator<=>(const FileURL& other) const {
    return absoluteString() <=> other.absoluteString();
  }

 private:
  FileURL(std::string path, bool isDirectory) : path_(std::move(path)), isDirectory_(isDirectory) {}

  std::string path_;
  bool isDirectory_;
};

// The one comparison key for locations: the standardized path without a
// trailing "/", lower-cased with the root locale. Two locations are the same
// place exactly when their keys are equal.
std::string pathKey(const FileURL& url);

std::string percentEncodePath(const std::string& path);
std::optional<std::string> percentDecode(const std::string& text);

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::FileURL> {
  std::size_t operator()(const rozuzed::FileURL& url) const noexcept {
    return std::hash<std::string>{}(url.absoluteString());
  }
};

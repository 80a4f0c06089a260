#include "rozuzed/support/bundled_resource.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace rozuzed {
namespace {

// The folder of the running executable. It stands in for the application's
// package and, since the engine is linked statically, for the package that
// holds the engine's code as well.
std::optional<FileURL> executableFolder() {
  std::string target(4096, '\0');
  ssize_t length = ::readlink("/proc/self/exe", target.data(), target.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
  target.resize(static_cast<std::size_t>(length));
  return FileURL::fromPath(target).deletingLastPathComponent();
}

// In order: the resource folder of the application's package (installed as
// <prefix>/share/ombrix beside <prefix>/bin; the build tree has the same
// shape), the package folder, and the folder above it. The engine's own
// package would come between them, but it is the same folder here.
std::vector<FileURL> candidateDirectories() {
  std::vector<FileURL> folders;
  auto add = [&folders](const FileURL& folder) {
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
      folders.push_back(folder);
    }
  };
  auto package = executableFolder();
  if (!package) return folders;
  FileURL above = package->deletingLastPathComponent();
  FileURL resources = above.appendingPathComponent("share").appendingPathComponent("ombrix");
  add(resources);
  add(*package);
  add(above);
  return folders;
}

bool exists(const FileURL& url) {
  struct stat status {};
  return ::stat(url.path().c_str(), &status) == 0;
}

}  // namespace

std::optional<FileURL> BundledResource::url(const std::string& named,
                                            const std::string& extension) {
  const std::string fileName = named + "." + extension;
  const std::string bundleFolder = std::string(bundleName) + ".bundle";
  for (const FileURL& folder : candidateDirectories()) {
    FileURL bundle = folder.appendingPathComponent(bundleFolder);
    for (const FileURL& candidate :
         {folder.appendingPathComponent(fileName), bundle.appendingPathComponent(fileName),
          bundle.appendingPathComponent("Contents")
              .appendingPathComponent("Resources")
              .appendingPathComponent(fileName)}) {
      if (exists(candidate)) return candidate;
    }
  }
  return std::nullopt;
}

FileURL BundledResource::expectedURL(const std::string& named, const std::string& extension) {
  const std::string fileName = named + "." + extension;
  const std::vector<FileURL> folders = candidateDirectories();
  if (folders.empty()) return FileURL::fromPath(fileName);
  return folders.front().appendingPathComponent(fileName);
}

}  // namespace rozuzed

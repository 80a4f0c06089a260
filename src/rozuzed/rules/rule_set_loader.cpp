#include "rozuzed/rules/rule_set_loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "rozuzed/filesystem/content_hashing.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/bundled_resource.h"
#include "rozuzed/support/json.h"
#include "rozuzed/support/text.h"

namespace rozuzed {
namespace {

// The whole file, or the reason it cannot be read. Opened without blocking
// and refused unless it is a regular file, so a FIFO or a device at the
// path cannot hang the scan.
std::optional<std::string> readWholeFile(const FileURL& url, std::string& failure) {
  int fd = ::open(url.path().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    failure = errnoDescription(errno);
    return std::nullopt;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    failure = errnoDescription(errno);
    ::close(fd);
    return std::nullopt;
  }
  if (!S_ISREG(status.st_mode)) {
    failure = S_ISDIR(status.st_mode) ? errnoDescription(EISDIR) : "not a regular file";
    ::close(fd);
    return std::nullopt;
  }
  std::string bytes;
  char buffer[1 << 16];
  for (;;) {
    ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      failure = errnoDescription(errno);
      ::close(fd);
      return std::nullopt;
    }
    bytes.append(buffer, static_cast<std::size_t>(count));
  }
  ::close(fd);
  return bytes;
}

// Only names a failure: where a file of that name would be if the working
// directory held it. Nothing is ever read or written there.
FileURL inWorkingDirectory(const std::string& name) {
  std::error_code error;
  std::string folder = std::filesystem::current_path(error).string();
  if (error || folder.empty() || folder.front() != '/') folder = "/";
  return FileURL::fromPath(folder + "/" + name);
}

}  // namespace

LoadedRuleSet RuleSetLoader::load(const FileURL& contentsOf) {
  std::string failure;
  auto bytes = readWholeFile(contentsOf, failure);
  if (!bytes) throw SortError::ruleFileUnreadable(contentsOf, failure);
  return load(*bytes, contentsOf);
}

LoadedRuleSet RuleSetLoader::load(std::string_view data, const std::optional<FileURL>& sourceURL) {
  FileURL reportLocation = sourceURL ? *sourceURL : inWorkingDirectory("<data>");

  // One parse serves both readings: the probe fails on any fault anywhere in
  // the document, exactly as a separate reading of the version would.
  Json document;
  int64_t version = 0;
  try {
    document = parseJson(data);
    version = readInt64(document, "version");
  } catch (const JsonDecodingError& error) {
    throw SortError::ruleFileUnreadable(
        reportLocation, std::string("missing or invalid \"version\": ") + error.what());
  }
  if (version != RuleSet::currentVersion) {
    throw SortError::ruleSetUnsupportedVersion(version, RuleSet::currentVersion);
  }

  RuleSet ruleSet;
  try {
    ruleSet = RuleSet::fromJson(document);
  } catch (const JsonDecodingError& error) {
    throw SortError::ruleFileUnreadable(reportLocation, error.what());
  }
  return LoadedRuleSet{.ruleSet = std::move(ruleSet),
                       .sourceHash = ContentHashing::sha256(data).sha256,
                       .sourceURL = sourceURL};
}

LoadedRuleSet RuleSetLoader::bundledDefault() {
  auto url = BundledResource::url("rules.default", "json");
  if (!url) {
    throw SortError::ruleFileUnreadable(BundledResource::expectedURL("rules.default", "json"),
                                        "the built-in rule set could not be found in this build");
  }
  return load(*url);
}

}  // namespace rozuzed

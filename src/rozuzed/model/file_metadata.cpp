#include "rozuzed/model/file_metadata.h"

#include <cmath>

#include "rozuzed/support/unicode.h"

namespace rozuzed {

std::string toText(UbiquitousStatus status) {
  switch (status) {
    case UbiquitousStatus::current:
      return "current";
    case UbiquitousStatus::downloaded:
      return "downloaded";
    case UbiquitousStatus::notDownloaded:
      break;
  }
  return "notDownloaded";
}

std::optional<UbiquitousStatus> ubiquitousStatusFromText(const std::string& text) {
  if (text == "current") return UbiquitousStatus::current;
  if (text == "downloaded") return UbiquitousStatus::downloaded;
  if (text == "notDownloaded") return UbiquitousStatus::notDownloaded;
  return std::nullopt;
}

bool FileFingerprint::matches(const FileFingerprint& other, double tolerance) const {
  if (size != other.size) return false;
  return std::fabs(modificationDate - other.modificationDate) <= tolerance;
}

void FileFingerprint::write(JsonWriter& writer) const {
  writer.beginObject();
  writer.key("size").integer(size);
  writer.key("modificationDate").number(modificationDate);
  writer.endObject();
}

FileFingerprint FileFingerprint::fromJson(const Json& value) {
  requireObject(value, "fingerprint");
  return {readInt64(value, "size"), readDate(value, "modificationDate")};
}

FileMetadata::FileMetadata(FileURL url_, Fields f)
    : url(std::move(url_)),
      name(f.name ? std::move(*f.name) : url.lastPathComponent()),
      pathExtension(f.pathExtension ? std::move(*f.pathExtension)
                                    : lowercased(url.pathExtension())),
      size(f.size),
      creationDate(f.creationDate),
      modificationDate(f.modificationDate),
      contentTypeIdentifier(std::move(f.contentTypeIdentifier)),
      isDirectory(f.isDirectory),
      isRegularFile(f.isRegularFile ? *f.isRegularFile
                                    : !f.isDirectory && !f.isPackage && !f.isSymbolicLink),
      isPackage(f.isPackage),
      isSymbolicLink(f.isSymbolicLink),
      isAliasFile(f.isAliasFile),
      isHidden(f.isHidden),
      ubiquitousDownloadingStatus(f.ubiquitousDownloadingStatus),
      whereFroms(std::move(f.whereFroms)),
      volumeID(std::move(f.volumeID)) {}

}  // namespace rozuzed

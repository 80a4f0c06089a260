// Snapshots and small facts about files: what the rest of the engine decides
// everything from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rozuzed/support/dates.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/hashing.h"
#include "rozuzed/support/json.h"

namespace rozuzed {

// The cloud download state of an item. Linux has no cloud placeholders, so
// the live file system never reports one; the type stays for the plan format.
enum class UbiquitousStatus { current, downloaded, notDownloaded };

std::string toText(UbiquitousStatus status);
std::optional<UbiquitousStatus> ubiquitousStatusFromText(const std::string& text);

// The volume an item lives on: the mount that holds it and the device it
// lies on there. Two items are on one volume only when both agree, since a
// rename fails across either: bind mounts share a device, btrfs subvolumes
// share a mount point. Never stored, so the fields may grow.
struct VolumeID {
  std::string mountPoint = "/";
  // The item's device number; 0 where only the mount point is known.
  uint64_t device = 0;
  bool operator==(const VolumeID&) const = default;
};

// SHA-256 of a file's bytes as 64 lower-case hexadecimal digits.
struct ContentHash {
  std::string sha256;
  bool operator==(const ContentHash&) const = default;
};

struct FileFingerprint {
  static constexpr double timestampTolerance = 0.001;

  int64_t size = 0;
  Date modificationDate = kDistantPast;

  // Same size and dates at most `tolerance` seconds apart, inclusive.
  bool matches(const FileFingerprint& other, double tolerance = timestampTolerance) const;

  bool operator==(const FileFingerprint&) const = default;

  // {"size": integer, "modificationDate": seconds since 1970}. Writing
  // throws JsonEncodingError for a date that is not finite.
  void write(JsonWriter& writer) const;
  static FileFingerprint fromJson(const Json& value);
};

// What a snapshot is made from: only the URL is required. Left-out values
// are derived from the URL (name, extension), from the flags
// (isRegularFile) or take their defaults.
struct FileMetadataFields {
  std::optional<std::string> name;
  std::optional<std::string> pathExtension;
  int64_t size = 0;
  Date creationDate = kDistantPast;
  Date modificationDate = kDistantPast;
  std::optional<std::string> contentTypeIdentifier;
  bool isDirectory = false;
  std::optional<bool> isRegularFile;
  bool isPackage = false;
  bool isSymbolicLink = false;
  bool isAliasFile = false;
  bool isHidden = false;
  std::optional<UbiquitousStatus> ubiquitousDownloadingStatus;
  std::vector<std::string> whereFroms;
  VolumeID volumeID;
};

// A snapshot of one directory entry at one moment.
struct FileMetadata {
  using Fields = FileMetadataFields;

  explicit FileMetadata(FileURL url, Fields fields = {});

  FileFingerprint fingerprint() const { return {size, modificationDate}; }

  bool operator==(const FileMetadata&) const = default;

  FileURL url;
  std::string name;
  std::string pathExtension;
  int64_t size;
  Date creationDate;
  Date modificationDate;
  std::optional<std::string> contentTypeIdentifier;
  bool isDirectory;
  bool isRegularFile;
  bool isPackage;
  bool isSymbolicLink;
  bool isAliasFile;
  bool isHidden;
  std::optional<UbiquitousStatus> ubiquitousDownloadingStatus;
  std::vector<std::string> whereFroms;
  VolumeID volumeID;
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::VolumeID> {
  std::size_t operator()(const rozuzed::VolumeID& v) const noexcept {
    std::size_t seed = std::hash<std::string>{}(v.mountPoint);
    rozuzed::hashCombine(seed, std::hash<uint64_t>{}(v.device));
    return seed;
  }
};

template <>
struct std::hash<rozuzed::FileFingerprint> {
  std::size_t operator()(const rozuzed::FileFingerprint& f) const noexcept {
    std::size_t seed = std::hash<int64_t>{}(f.size);
    rozuzed::hashCombine(seed, rozuzed::hashDouble(f.modificationDate));
    return seed;
  }
};

template <>
struct std::hash<rozuzed::ContentHash> {
  std::size_t operator()(const rozuzed::ContentHash& v) const noexcept {
    return std::hash<std::string>{}(v.sha256);
  }
};

#include "sortappkit/folder_access/security_scoped_bookmarks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "rozuzed/support/text.h"

namespace sortappkit {
namespace {

using rozuzed::FileURL;

constexpr char kMagic[4] = {'O', 'M', 'B', 'K'};
constexpr uint8_t kVersion = 1;
constexpr std::size_t kHeaderSize = sizeof(kMagic) + 1 + 8 + 8 + 4;

void putUInt(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint64_t getUInt(const std::string& in, std::size_t at, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    value |= static_cast<uint64_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
  }
  return value;
}

struct FolderStat {
  uint64_t device;
  uint64_t inode;
};

FolderStat statFolder(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw BookmarkFailure(rozuzed::errnoDescription(errno));
  if (!S_ISDIR(st.st_mode)) throw BookmarkFailure(rozuzed::errnoDescription(ENOTDIR));
  return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

class LiveBookmarks final : public SecurityScopedBookmarks {
 public:
  std::string bookmarkData(const FileURL& url) const override {
    const std::string path = url.standardized().path();
    FolderStat st = statFolder(path);
    std::string out(kMagic, sizeof(kMagic));
    out.push_back(static_cast<char>(kVersion));
    putUInt(out, st.device, 8);
    putUInt(out, st.inode, 8);
    putUInt(out, path.size(), 4);
    return out + path;
  }

  Resolved resolve(const std::string& bookmark) const override {
    if (bookmark.size() < kHeaderSize ||
        bookmark.compare(0, sizeof(kMagic), kMagic, sizeof(kMagic)) != 0) {
      throw BookmarkFailure("The bookmark data is not a folder bookmark.");
    }
    if (static_cast<uint8_t>(bookmark[sizeof(kMagic)]) != kVersion) {
      throw BookmarkFailure("The bookmark data is of an unknown version.");
    }
    const uint64_t device = getUInt(bookmark, sizeof(kMagic) + 1, 8);
    const uint64_t inode = getUInt(bookmark, sizeof(kMagic) + 9, 8);
    const uint64_t length = getUInt(bookmark, sizeof(kMagic) + 17, 4);
    if (bookmark.size() - kHeaderSize != length || length == 0 || bookmark[kHeaderSize] != '/') {
      throw BookmarkFailure("The bookmark data is damaged.");
    }
    const std::string path = bookmark.substr(kHeaderSize);
    FolderStat now = statFolder(path);
    return {FileURL::fromPath(path, true), now.device != device || now.inode != inode};
  }

  bool startAccessing(const FileURL& url) override {
    struct stat st {};
    const std::string path = url.path();
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path.c_str(), R_OK | W_OK | X_OK) == 0;
  }

  // Linux keeps no grant that would need giving back.
  void stopAccessing(const FileURL&) override {}
};

}  // namespace

std::shared_ptr<SecurityScopedBookmarks> SecurityScopedBookmarks::live() {
  static const auto shared = std::make_shared<LiveBookmarks>();
  return shared;
}

}  // namespace sortappkit

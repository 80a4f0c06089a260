#include "rozuzed/filesystem/content_hashing.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>
#include <vector>

#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/text.h"

namespace rozuzed {
namespace {

struct DigestContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

std::string hexString(const unsigned char* bytes, std::size_t count) {
  static const char* digits = "0123456789abcdef";
  std::string text;
  text.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    text.push_back(digits[bytes[i] >> 4]);
    text.push_back(digits[bytes[i] & 0xF]);
  }
  return text;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { ::close(fd_); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

ContentHash digestOf(int folder, const std::string& path, int flags, const FileURL& fileAt) {
  // O_NONBLOCK makes opening a FIFO return at once instead of waiting for a
  // writer; the type check below then refuses it before any read.
  int fd = ::openat(folder, path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags);
  if (fd < 0) throw SortError::hashUnreadable(fileAt, errnoDescription(errno));
  FileDescriptor file(fd);

  struct stat status {};
  if (::fstat(file.get(), &status) != 0) {
    throw SortError::hashUnreadable(fileAt, errnoDescription(errno));
  }
  if (S_ISDIR(status.st_mode)) throw SortError::hashUnreadable(fileAt, errnoDescription(EISDIR));
  if (!S_ISREG(status.st_mode)) throw SortError::hashUnreadable(fileAt, "Not a regular file");
  ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

  DigestContext context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    throw std::bad_alloc();
  }
  std::vector<unsigned char> chunk(ContentHashing::chunkSize);
  for (;;) {
    ssize_t count = ::read(file.get(), chunk.data(), chunk.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      throw SortError::hashUnreadable(fileAt, errnoDescription(errno));
    }
    if (count == 0) break;
    EVP_DigestUpdate(context.get(), chunk.data(), static_cast<std::size_t>(count));
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context.get(), digest, &length);
  return ContentHash{hexString(digest, length)};
}

}  // namespace

ContentHash ContentHashing::sha256(const FileURL& fileAt) {
  return digestOf(AT_FDCWD, fileAt.path(), 0, fileAt);
}

ContentHash ContentHashing::sha256(int folder, const std::string& name, const FileURL& fileAt) {
  return digestOf(folder, name, O_NOFOLLOW, fileAt);
}

ContentHash ContentHashing::sha256(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
    throw std::bad_alloc();
  }
  return ContentHash{hexString(digest, length)};
}

}  // namespace rozuzed

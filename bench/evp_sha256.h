// The floor set beside the engine's own hashing: SHA-256 of a file by
// read(2) straight into OpenSSL's EVP interface.
#pragma once

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

namespace bench {

// The digest of the file at `path`, read in chunks the size of `buffer`,
// which the caller makes beforehand; absent when the file cannot be read.
inline std::optional<std::vector<unsigned char>> evpSha256(const std::string& path,
                                                           std::vector<char>& buffer) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  bool ok = context != nullptr && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
  for (ssize_t count; ok && (count = ::read(fd, buffer.data(), buffer.size())) != 0;) {
    ok =
        count > 0 && EVP_DigestUpdate(context, buffer.data(), static_cast<std::size_t>(count)) == 1;
  }
  std::vector<unsigned char> digest(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  ok = ok && EVP_DigestFinal_ex(context, digest.data(), &length) == 1;
  EVP_MD_CTX_free(context);
  ::close(fd);
  if (!ok) return std::nullopt;
  digest.resize(length);
  return digest;
}

}  // namespace bench

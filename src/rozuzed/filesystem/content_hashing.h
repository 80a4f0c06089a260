// SHA-256 digests of file contents and of bytes in memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "rozuzed/model/file_metadata.h"
#include "rozuzed/support/file_url.h"

namespace rozuzed {

// Stateless; every call may run on any thread.
struct ContentHashing {
  // The most one read takes from a file; a file is hashed in one sequential
  // pass holding no more than this many of its bytes.
  static constexpr std::size_t chunkSize = 1 << 20;

  // The digest of the bytes of the regular file at `fileAt`, links followed.
  // Anything that is not a regular file (a FIFO, a device, a folder) is
  // refused without reading, so the call never blocks on one. Throws
  // SortError::hashUnreadable with the URL when the file cannot be opened or
  // read.
  static ContentHash sha256(const FileURL& fileAt);

  // As sha256(fileAt), for the file `name` in the open folder `folder`; a
  // final link is not followed. Failures name `fileAt`.
  static ContentHash sha256(int folder, const std::string& name, const FileURL& fileAt);

  // The digest of `bytes`; never fails.
  static ContentHash sha256(std::string_view bytes);
};

}  // namespace rozuzed

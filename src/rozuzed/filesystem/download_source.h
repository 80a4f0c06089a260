// Where a downloaded file came from, as browsers and download tools record
// it on Linux: the extended attributes user.xdg.origin.url and
// user.xdg.referrer.url.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "rozuzed/support/file_url.h"

namespace rozuzed {

struct WhereFroms {
  // Read in this order; the origin is the file's own address, the referrer
  // the page it was fetched from.
  static constexpr std::array<const char*, 2> attributeNames = {"user.xdg.origin.url",
                                                                "user.xdg.referrer.url"};

  // The recorded addresses in the order above, links followed. An attribute
  // that is missing, empty, unreadable, changed while read, or not valid
  // UTF-8 is left out; never fails.
  static std::vector<std::string> read(const FileURL& at);
};

}  // namespace rozuzed

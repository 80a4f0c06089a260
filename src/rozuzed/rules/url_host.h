// The host of a URL read strictly by RFC 3986, standing in for the platform
// URL-components parser the rule engine was designed around.
#pragma once

#include <optional>
#include <string>

namespace rozuzed {

// The percent-decoded host of `text` as a URI reference ("scheme://host/..."
// or "//host/..."), brackets of an IP literal removed. Absent when the text
// is not a well-formed URI reference (a space, a non-ASCII character, a
// stray "@" or "[", a bad escape, a port with other than digits), when it
// has no authority (no "//", as in "example.com/path"), or when the host is
// empty or does not decode to UTF-8. Case is kept.
std::optional<std::string> urlHost(const std::string& text);

}  // namespace rozuzed

#include "rozuzed/rules/url_host.h"

#include <string_view>

#include "rozuzed/support/file_url.h"
#include "rozuzed/support/unicode.h"

namespace rozuzed {
namespace {

bool isAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isHex(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool isUnreserved(char c) {
  return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool isSubDelim(char c) {
  return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
}

// Every character is unreserved, a sub-delimiter, one of `extra`, or part of
// a "%" escape with two hexadecimal digits.
bool consistsOf(std::string_view text, std::string_view extra) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return false;
      if (!isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
      i += 2;
      continue;
    }
    if (!isUnreserved(c) && !isSubDelim(c) && extra.find(c) == std::string_view::npos) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> urlHost(const std::string& text) {
  std::string_view rest = text;

  std::size_t colon = rest.find(':');
  std::size_t delimiter = rest.find_first_of("/?#");
  if (colon != std::string_view::npos && colon < delimiter) {
    std::string_view scheme = rest.substr(0, colon);
    if (scheme.empty() || !isAlpha(scheme.front())) return std::nullopt;
    for (char c : scheme) {
      if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
    }
    rest.remove_prefix(colon + 1);
  }
  if (rest.substr(0, 2) != "//") return std::nullopt;
  rest.remove_prefix(2);

  std::size_t authorityEnd = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, authorityEnd);
  std::string_view tail =
      authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);

  std::size_t fragmentStart = tail.find('#');
  std::string_view beforeFragment = tail.substr(0, fragmentStart);
  if (!consistsOf(beforeFragment, ":@/?")) return std::nullopt;
  if (fragmentStart != std::string_view::npos &&
      !consistsOf(tail.substr(fragmentStart + 1), ":@/?")) {
    return std::nullopt;
  }

  std::size_t at = authority.find('@');
  if (at != std::string_view::npos) {
    if (!consistsOf(authority.substr(0, at), ":")) return std::nullopt;
    authority.remove_prefix(at + 1);
  }

  std::string_view host;
  std::string_view port;
  if (!authority.empty() && authority.front() == '[') {
    std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = authority.substr(1, close - 1);
    if (!consistsOf(host, ":")) return std::nullopt;
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return std::nullopt;
      port = after.substr(1);
    }
  } else {
    std::size_t portStart = authority.find(':');
    host = authority.substr(0, portStart);
    if (!consistsOf(host, "")) return std::nullopt;
    if (portStart != std::string_view::npos) port = authority.substr(portStart + 1);
  }
  for (char c : port) {
    if (!isDigit(c)) return std::nullopt;
  }

  if (host.empty()) return std::nullopt;
  auto decoded = percentDecode(std::string(host));
  if (!decoded || decoded->empty() || !isValidUtf8(*decoded)) return std::nullopt;
  return decoded;
}

}  // namespace rozuzed

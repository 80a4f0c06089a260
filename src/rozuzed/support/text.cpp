#include "rozuzed/support/text.h"

#include <system_error>

namespace rozuzed {

std::string quotedForm(const std::string& text) {
  static const char* digits = "0123456789ABCDEF";
  std::string out = "\"";
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\'': out += "\\'"; break;
      case '\0': out += "\\0"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\u{";
          out.push_back(digits[c >> 4]);
          out.push_back(digits[c & 0xF]);
          out += "}";
        } else {
          out.push_back(ch);
        }
    }
  }
  out += "\"";
  return out;
}

std::string errnoDescription(int error) {
  return std::error_code(error, std::generic_category()).message();
}

}  // namespace rozuzed

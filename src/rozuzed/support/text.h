// Text forms shared by every message the engine builds.
#pragma once

#include <cstdint>
#include <string>

namespace rozuzed {

// The text in double quotes with backslash escapes for backslash, quotes,
// apostrophe, NUL, line feed, carriage return and tab, and \u{XX} for the
// other control characters and DEL. Everything else stays as it is.
std::string quotedForm(const std::string& text);

// The localized description of a platform error number.
std::string errnoDescription(int error);

}  // namespace rozuzed

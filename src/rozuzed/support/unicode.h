// Unicode text helpers over ICU. Texts are UTF-8 std::strings throughout.
#pragma once

#include <cstddef>
#include <string>

namespace rozuzed {

bool isValidUtf8(const std::string& text);

// Canonical composition (NFC). Invalid UTF-8 is returned unchanged.
std::string nfc(const std::string& text);

// Equal when canonically equivalent.
bool canonicallyEqual(const std::string& a, const std::string& b);
// Agrees with canonicallyEqual.
std::size_t canonicalHash(const std::string& text);

// Full Unicode lower-casing with the root locale, never the process locale.
// Invalid UTF-8 is lower-cased in its ASCII bytes only.
std::string lowercased(const std::string& text);

// Length in UTF-16 code units of the canonical decomposition (NFD).
std::size_t decomposedUtf16Length(const std::string& text);

// Number of user-perceived characters (extended grapheme clusters).
std::size_t graphemeCount(const std::string& text);

// Removes leading and trailing white space and line breaks (Unicode).
std::string trimmedWhitespace(const std::string& text);

}  // namespace rozuzed

#include "rozuzed/support/unicode.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace rozuzed {

bool isValidUtf8(const std::string& text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  int32_t length = static_cast<int32_t>(text.size());
  int32_t i = 0;
  while (i < length) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

std::string nfc(const std::string& text) {
  if (!isValidUtf8(text)) return text;
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status)) return text;
  icu::UnicodeString source = icu::UnicodeString::fromUTF8(text);
  if (normalizer->isNormalized(source, status) && U_SUCCESS(status)) return text;
  status = U_ZERO_ERROR;
  icu::UnicodeString normalized = normalizer->normalize(source, status);
  if (U_FAILURE(status)) return text;
  std::string out;
  normalized.toUTF8String(out);
  return out;
}

bool canonicallyEqual(const std::string& a, const std::string& b) {
  return a == b || nfc(a) == nfc(b);
}

std::size_t canonicalHash(const std::string& text) { return std::hash<std::string>{}(nfc(text)); }

std::string lowercased(const std::string& text) {
  bool ascii = std::all_of(text.begin(), text.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii || !isValidUtf8(text)) {
    std::string out = text;
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  icu::UnicodeString value = icu::UnicodeString::fromUTF8(text);
  value.toLower(icu::Locale::getRoot());
  std::string out;
  value.toUTF8String(out);
  return out;
}

std::size_t decomposedUtf16Length(const std::string& text) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* normalizer = icu::Normalizer2::getNFDInstance(status);
  icu::UnicodeString source = icu::UnicodeString::fromUTF8(text);
  if (U_FAILURE(status)) return static_cast<std::size_t>(source.length());
  icu::UnicodeString decomposed = normalizer->normalize(source, status);
  if (U_FAILURE(status)) return static_cast<std::size_t>(source.length());
  return static_cast<std::size_t>(decomposed.length());
}

std::size_t graphemeCount(const std::string& text) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> breaks(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  icu::UnicodeString source = icu::UnicodeString::fromUTF8(text);
  if (U_FAILURE(status)) return static_cast<std::size_t>(source.countChar32());
  breaks->setText(source);
  std::size_t count = 0;
  for (int32_t p = breaks->next(); p != icu::BreakIterator::DONE; p = breaks->next()) ++count;
  return count;
}

std::string trimmedWhitespace(const std::string& text) {
  icu::UnicodeString value = icu::UnicodeString::fromUTF8(text);
  int32_t start = 0;
  int32_t end = value.length();
  while (start < end && u_isUWhiteSpace(value.char32At(start))) start = value.moveIndex32(start, 1);
  while (end > start) {
    int32_t previous = value.moveIndex32(end, -1);
    if (!u_isUWhiteSpace(value.char32At(previous))) break;
    end = previous;
  }
  std::string out;
  value.tempSubStringBetween(start, end).toUTF8String(out);
  return out;
}

}  // namespace rozuzed

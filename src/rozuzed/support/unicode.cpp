#include "rozuzed/support/unicode.h"

#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>

namespace rozuzed {
namespace {

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

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
  // ASCII has no composable characters.
  if (isAscii(text) || !isValidUtf8(text)) return text;
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
  if (a == b) return true;
  // Other characters can compose to ASCII (U+212A KELVIN SIGN is "K"), so
  // only two ASCII texts are settled by their bytes.
  if (isAscii(a) && isAscii(b)) return false;
  return nfc(a) == nfc(b);
}

std::size_t canonicalHash(const std::string& text) {
  return std::hash<std::string>{}(nfc(text));
}

std::string lowercased(const std::string& text) {
  if (isAscii(text) || !isValidUtf8(text)) {
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

namespace {

// The user's collation locale from the environment, as ICU names it; "" (the
// root locale) when unset or C/POSIX.
std::string collationLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') continue;
    std::string name(value);
    name = name.substr(0, name.find_first_of(".@"));
    if (name == "C" || name == "POSIX") return "";
    return name;
  }
  return "";
}

}  // namespace

struct LocalizedStandardOrder::Collator {
  std::unique_ptr<icu::Collator> collator;
};

LocalizedStandardOrder::LocalizedStandardOrder() : collator_(std::make_unique<Collator>()) {
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale locale(collationLocaleName().c_str());
  collator_->collator.reset(icu::Collator::createInstance(locale, status));
  if (U_FAILURE(status) || !collator_->collator) {
    status = U_ZERO_ERROR;
    collator_->collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
  }
  if (U_FAILURE(status) || !collator_->collator) {
    collator_->collator.reset();
    return;
  }
  collator_->collator->setStrength(icu::Collator::SECONDARY);
  collator_->collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
}

LocalizedStandardOrder::~LocalizedStandardOrder() = default;

int LocalizedStandardOrder::compare(const std::string& a, const std::string& b) const {
  if (collator_->collator) {
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult result = collator_->collator->compareUTF8(a, b, status);
    if (U_SUCCESS(status) && result != UCOL_EQUAL) return result == UCOL_LESS ? -1 : 1;
  }
  // UTF-8 byte order is code point order.
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

std::string LocalizedStandardOrder::sortKey(const std::string& text) const {
  std::string key;
  appendSortKey(text, key);
  return key;
}

void LocalizedStandardOrder::appendSortKey(std::string_view text, std::string& keys) const {
  if (!collator_->collator) return;
  // Most names are short and ASCII: their UTF-16 is their bytes widened,
  // with no conversion and no allocation.
  constexpr std::size_t shortName = 128;
  char16_t widened[shortName];
  icu::UnicodeString converted;
  const char16_t* source = widened;
  int32_t sourceLength = static_cast<int32_t>(text.size());
  if (text.size() <= shortName && isAscii(text)) {
    std::copy(text.begin(), text.end(), widened);
  } else {
    converted = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    source = converted.getBuffer();
    sourceLength = converted.length();
  }
  const std::size_t start = keys.size();
  constexpr std::size_t room = 64;
  keys.resize(start + room);
  int32_t length = collator_->collator->getSortKey(source, sourceLength,
                                                   reinterpret_cast<uint8_t*>(keys.data() + start),
                                                   static_cast<int32_t>(room));
  if (length > static_cast<int32_t>(room)) {
    keys.resize(start + static_cast<std::size_t>(length));
    length = collator_->collator->getSortKey(
        source, sourceLength, reinterpret_cast<uint8_t*>(keys.data() + start), length);
  }
  keys.resize(start + static_cast<std::size_t>(std::max(length, 0)));
}

}  // namespace rozuzed

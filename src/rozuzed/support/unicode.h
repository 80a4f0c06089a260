// Unicode text helpers over ICU. Texts are UTF-8 std::strings throughout.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

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

// The order in which a file manager lists names for this user: the ICU
// collator of the user's locale (LC_ALL, LC_COLLATE, LANG; the root locale
// when none is set or it is C/POSIX), runs of digits compared by their
// numeric value, letter case and width ignored, and the code points as the
// final tie-break, so two distinct texts never compare equal ("file2" before
// "file10"). Building one sets up a collator: build it once per sort, not per
// comparison. Comparing is const and may run on several threads at once.
class LocalizedStandardOrder {
 public:
  LocalizedStandardOrder();
  ~LocalizedStandardOrder();
  LocalizedStandardOrder(const LocalizedStandardOrder&) = delete;
  LocalizedStandardOrder& operator=(const LocalizedStandardOrder&) = delete;

  // Negative, zero or positive as `a` comes before, is, or comes after `b`.
  int compare(const std::string& a, const std::string& b) const;
  bool operator()(const std::string& a, const std::string& b) const { return compare(a, b) < 0; }

  // A key whose byte order is this order up to the tie-break: two texts
  // compare as their keys do, and as their own bytes when the keys are
  // equal. For sorting many texts, one key each instead of a collation per
  // comparison.
  std::string sortKey(const std::string& text) const;
  // Appends sortKey(text) to `keys`: many keys in one buffer.
  void appendSortKey(std::string_view text, std::string& keys) const;

 private:
  struct Collator;
  std::unique_ptr<Collator> collator_;
};

}  // namespace rozuzed

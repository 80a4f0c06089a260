// The condition a rule puts on a file, and the file-name pattern it may use.
// Values are normalised when they are read (extensions lower-cased without
// their leading dot, sizes in bytes, patterns compiled), never when a file
// is judged; judging is the rule engine's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rozuzed/support/json.h"

namespace rozuzed {

// A regular expression in ICU syntax, compiled once when the value is made.
// Only compiled patterns exist. Immutable; copies share the compiled form,
// and any thread may match with it.
class RegexPattern {
 public:
  // Throws SortError::invalidRegularExpression with the compiler's reason.
  explicit RegexPattern(std::string pattern, bool isCaseInsensitive = true);

  const std::string& pattern() const { return pattern_; }
  bool isCaseInsensitive() const { return isCaseInsensitive_; }

  enum class Outcome { found, notFound, timedOut };

  // Whether the expression finds a match anywhere in `text`. Unanchored: a
  // pattern that matches the empty text matches everything. A search that
  // runs out of its time limit, which counts steps of the match engine and
  // so ends alike on every run, is timedOut.
  Outcome search(const std::string& text) const;
  // A time-out counts as no match.
  bool matches(const std::string& text) const { return search(text) == Outcome::found; }

  // By pattern text (canonical equivalence) and flag; the compiled form
  // takes no part.
  bool operator==(const RegexPattern& other) const;

  // {"pattern": text, "caseInsensitive": flag}; on reading, a missing or
  // null "caseInsensitive" means true.
  Json toJson() const;
  static RegexPattern fromJson(const Json& object);

 private:
  struct Compiled;

  std::string pattern_;
  bool isCaseInsensitive_;
  std::shared_ptr<const Compiled> expression_;
};

// A recursive condition. `all`, `any` and `not_` hold further conditions up
// to `maxDepth` levels (a leaf is one level), which bounds every walk over
// the tree. Immutable.
class MatchCriteria {
 public:
  enum class Kind {
    fileExtension,
    conformsToType,
    nameMatches,
    olderThan,
    newerThan,
    largerThan,
    smallerThan,
    downloadedFrom,
    all,
    any,
    not_,
  };

  static constexpr int maxDepth = 256;

  // Values are kept as given: the factories normalise nothing.
  static MatchCriteria fileExtension(std::vector<std::string> values);
  static MatchCriteria conformsToType(std::string typeIdentifier);
  static MatchCriteria nameMatches(RegexPattern pattern);
  static MatchCriteria olderThan(double days);
  static MatchCriteria newerThan(double days);
  static MatchCriteria largerThan(int64_t bytes);
  static MatchCriteria smallerThan(int64_t bytes);
  static MatchCriteria downloadedFrom(std::string hostSuffix);
  // These three throw std::length_error when the result would nest deeper
  // than maxDepth.
  static MatchCriteria all(std::vector<MatchCriteria> members);
  static MatchCriteria any(std::vector<MatchCriteria> members);
  static MatchCriteria not_(MatchCriteria inner);

  Kind kind() const { return kind_; }
  // The values of each kind; an accessor of another kind gives an empty or
  // zero value, except pattern() and inner(), which throw std::logic_error.
  const std::vector<std::string>& extensions() const { return texts_; }
  const std::string& typeIdentifier() const { return text_; }
  const RegexPattern& pattern() const;
  double days() const { return days_; }
  int64_t bytes() const { return bytes_; }
  const std::string& hostSuffix() const { return text_; }
  // The list of `all` and `any`.
  const std::vector<MatchCriteria>& members() const { return members_; }
  // The condition inside `not_`.
  const MatchCriteria& inner() const;
  // 1 for a leaf, one more than the deepest member otherwise.
  int depth() const { return depth_; }

  // Same kind and equal values: lists element by element in order, texts by
  // canonical equivalence, numbers exactly.
  bool operator==(const MatchCriteria& other) const;

  // The rule file's condition object. Reading throws SortError
  // (unknownMatchCriteriaType, missingMatchCriteriaField,
  // invalidRegularExpression) or JsonDecodingError for any other malformed
  // value, including nesting beyond maxDepth. Whatever is written reads back
  // equal.
  Json toJson() const;
  static MatchCriteria fromJson(const Json& object);

 private:
  explicit MatchCriteria(Kind kind) : kind_(kind) {}
  static MatchCriteria combination(Kind kind, std::vector<MatchCriteria> members);
  static MatchCriteria read(const Json& object, int depth);

  Kind kind_;
  std::vector<std::string> texts_;
  std::string text_;
  std::optional<RegexPattern> pattern_;
  double days_ = 0;
  int64_t bytes_ = 0;
  std::vector<MatchCriteria> members_;
  int depth_ = 1;
};

// The "type" text of each kind in the rule file: "extension", "conformsTo",
// and the case name for the others ("not" for not_).
std::string typeText(MatchCriteria::Kind kind);
std::optional<MatchCriteria::Kind> matchCriteriaKindFromTypeText(const std::string& text);

// `text` without its first character when that is ".", unchanged otherwise.
std::string trimmingLeadingDot(const std::string& text);

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::RegexPattern> {
  std::size_t operator()(const rozuzed::RegexPattern& pattern) const noexcept;
};

template <>
struct std::hash<rozuzed::MatchCriteria> {
  std::size_t operator()(const rozuzed::MatchCriteria& criteria) const noexcept;
};

#include "rozuzed/model/match_criteria.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <unicode/utypes.h>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <utility>

#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/hashing.h"
#include "rozuzed/support/unicode.h"

namespace rozuzed {
namespace {

constexpr std::array<std::pair<MatchCriteria::Kind, const char*>, 11> kTypeTexts = {{
    {MatchCriteria::Kind::fileExtension, "extension"},
    {MatchCriteria::Kind::conformsToType, "conformsTo"},
    {MatchCriteria::Kind::nameMatches, "nameMatches"},
    {MatchCriteria::Kind::olderThan, "olderThan"},
    {MatchCriteria::Kind::newerThan, "newerThan"},
    {MatchCriteria::Kind::largerThan, "largerThan"},
    {MatchCriteria::Kind::smallerThan, "smallerThan"},
    {MatchCriteria::Kind::downloadedFrom, "downloadedFrom"},
    {MatchCriteria::Kind::all, "all"},
    {MatchCriteria::Kind::any, "any"},
    {MatchCriteria::Kind::not_, "not"},
}};

bool canonicallyEqualLists(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!canonicallyEqual(a[i], b[i])) return false;
  }
  return true;
}

// The unit keys in the order they are tried, with their factor to bytes.
constexpr std::array<std::pair<const char*, double>, 3> kSizeUnits = {{
    {"kilobytes", 1024.0},
    {"megabytes", 1024.0 * 1024.0},
    {"gigabytes", 1024.0 * 1024.0 * 1024.0},
}};

int64_t readByteSize(const Json& object) {
  if (auto bytes = readOptionalInt64(object, "bytes")) return *bytes;
  for (const auto& [key, factor] : kSizeUnits) {
    auto amount = readOptionalDouble(object, key);
    if (!amount) continue;
    double product = *amount * factor;
    // Converting a value outside int64_t's range (or NaN) is undefined, so
    // the range is checked on the double first; 2^63 itself is out.
    if (!(product >= -9223372036854775808.0 && product < 9223372036854775808.0)) {
      throw JsonDecodingError(key, "the size in bytes is out of range");
    }
    return static_cast<int64_t>(product);
  }
  throw SortError::missingMatchCriteriaField("bytes/kilobytes/megabytes/gigabytes");
}

// What is wrong with a pattern, in words a user can act on; ICU's own names
// for its errors are for developers.
std::string patternProblem(UErrorCode status) {
  switch (status) {
    case U_REGEX_RULE_SYNTAX:
      return "syntax error";
    case U_REGEX_BAD_ESCAPE_SEQUENCE:
      return "unknown or unfinished escape sequence";
    case U_REGEX_PROPERTY_SYNTAX:
      return "unknown character property";
    case U_REGEX_UNIMPLEMENTED:
      return "unsupported feature";
    case U_REGEX_MISMATCHED_PAREN:
      return "unbalanced parentheses";
    case U_REGEX_NUMBER_TOO_BIG:
      return "number too large";
    case U_REGEX_BAD_INTERVAL:
      return "malformed repetition count";
    case U_REGEX_MAX_LT_MIN:
      return "repetition maximum smaller than its minimum";
    case U_REGEX_INVALID_BACK_REF:
      return "reference to a group that does not exist";
    case U_REGEX_INVALID_FLAG:
      return "unknown mode flag";
    case U_REGEX_LOOK_BEHIND_LIMIT:
      return "look-behind without a bounded length";
    case U_REGEX_SET_CONTAINS_STRING:
      return "character set containing a string";
    case U_REGEX_MISSING_CLOSE_BRACKET:
      return "missing closing bracket";
    case U_REGEX_INVALID_RANGE:
      return "character range out of order";
    case U_REGEX_PATTERN_TOO_BIG:
      return "pattern too large";
    case U_REGEX_INVALID_CAPTURE_GROUP_NAME:
      return "invalid or repeated group name";
    case U_ILLEGAL_CHAR_FOUND:
      return "unknown character name";
    case U_MEMORY_ALLOCATION_ERROR:
      return "not enough memory";
    default:
      return "the pattern cannot be compiled";
  }
}

// In steps of ICU's match engine, each on the order of a millisecond: far
// beyond what any sound pattern needs on a name of at most 255 bytes.
constexpr int32_t kMatchStepLimit = 100;

}  // namespace

struct RegexPattern::Compiled {
  std::unique_ptr<icu::RegexPattern> regex;
};

RegexPattern::RegexPattern(std::string pattern, bool isCaseInsensitive)
    : pattern_(std::move(pattern)), isCaseInsensitive_(isCaseInsensitive) {
  UParseError position{};
  UErrorCode status = U_ZERO_ERROR;
  auto compiled = std::make_shared<Compiled>();
  compiled->regex.reset(icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(pattern_),
                                                   isCaseInsensitive_ ? UREGEX_CASE_INSENSITIVE : 0,
                                                   position, status));
  if (U_FAILURE(status) || !compiled->regex) {
    std::string reason = patternProblem(status);
    // ICU names the place, in characters from the start of its line, only
    // when it knows it (line 1 or later).
    if (position.line > 1 && position.offset >= 0) {
      reason += " at line " + std::to_string(position.line) + ", offset " +
                std::to_string(position.offset);
    } else if (position.line == 1 && position.offset >= 0) {
      reason += " at offset " + std::to_string(position.offset);
    }
    throw SortError::invalidRegularExpression(pattern_, reason);
  }
  expression_ = std::move(compiled);
}

RegexPattern::Outcome RegexPattern::search(const std::string& text) const {
  icu::UnicodeString subject = icu::UnicodeString::fromUTF8(text);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> matcher(expression_->regex->matcher(subject, status));
  if (U_FAILURE(status) || !matcher) return Outcome::notFound;
  // A pattern that backtracks without end would hold the scan, and with it
  // the run lock.
  matcher->setTimeLimit(kMatchStepLimit, status);
  bool found = matcher->find(status);
  if (status == U_REGEX_TIME_OUT) return Outcome::timedOut;
  return U_SUCCESS(status) && found ? Outcome::found : Outcome::notFound;
}

bool RegexPattern::operator==(const RegexPattern& other) const {
  return isCaseInsensitive_ == other.isCaseInsensitive_ &&
         canonicallyEqual(pattern_, other.pattern_);
}

Json RegexPattern::toJson() const {
  Json object = Json::object();
  object["pattern"] = pattern_;
  object["caseInsensitive"] = isCaseInsensitive_;
  return object;
}

RegexPattern RegexPattern::fromJson(const Json& object) {
  std::string pattern = readString(object, "pattern");
  bool isCaseInsensitive = readOptionalBool(object, "caseInsensitive").value_or(true);
  return RegexPattern(std::move(pattern), isCaseInsensitive);
}

std::string typeText(MatchCriteria::Kind kind) {
  for (const auto& [k, text] : kTypeTexts) {
    if (k == kind) return text;
  }
  return "";
}

std::optional<MatchCriteria::Kind> matchCriteriaKindFromTypeText(const std::string& text) {
  for (const auto& [kind, name] : kTypeTexts) {
    if (text == name) return kind;
  }
  return std::nullopt;
}

std::string trimmingLeadingDot(const std::string& text) {
  if (!text.empty() && text.front() == '.') return text.substr(1);
  return text;
}

MatchCriteria MatchCriteria::fileExtension(std::vector<std::string> values) {
  MatchCriteria c(Kind::fileExtension);
  c.texts_ = std::move(values);
  return c;
}

MatchCriteria MatchCriteria::conformsToType(std::string typeIdentifier) {
  MatchCriteria c(Kind::conformsToType);
  c.text_ = std::move(typeIdentifier);
  return c;
}

MatchCriteria MatchCriteria::nameMatches(RegexPattern pattern) {
  MatchCriteria c(Kind::nameMatches);
  c.pattern_ = std::move(pattern);
  return c;
}

MatchCriteria MatchCriteria::olderThan(double days) {
  MatchCriteria c(Kind::olderThan);
  c.days_ = days;
  return c;
}

MatchCriteria MatchCriteria::newerThan(double days) {
  MatchCriteria c(Kind::newerThan);
  c.days_ = days;
  return c;
}

MatchCriteria MatchCriteria::largerThan(int64_t bytes) {
  MatchCriteria c(Kind::largerThan);
  c.bytes_ = bytes;
  return c;
}

MatchCriteria MatchCriteria::smallerThan(int64_t bytes) {
  MatchCriteria c(Kind::smallerThan);
  c.bytes_ = bytes;
  return c;
}

MatchCriteria MatchCriteria::downloadedFrom(std::string hostSuffix) {
  MatchCriteria c(Kind::downloadedFrom);
  c.text_ = std::move(hostSuffix);
  return c;
}

MatchCriteria MatchCriteria::combination(Kind kind, std::vector<MatchCriteria> members) {
  MatchCriteria c(kind);
  for (const MatchCriteria& member : members) {
    c.depth_ = std::max(c.depth_, member.depth_ + 1);
  }
  if (c.depth_ > maxDepth) {
    throw std::length_error("match criteria nest deeper than " + std::to_string(maxDepth) +
                            " levels");
  }
  c.members_ = std::move(members);
  return c;
}

MatchCriteria MatchCriteria::all(std::vector<MatchCriteria> members) {
  return combination(Kind::all, std::move(members));
}

MatchCriteria MatchCriteria::any(std::vector<MatchCriteria> members) {
  return combination(Kind::any, std::move(members));
}

MatchCriteria MatchCriteria::not_(MatchCriteria inner) {
  std::vector<MatchCriteria> members;
  members.push_back(std::move(inner));
  return combination(Kind::not_, std::move(members));
}

const RegexPattern& MatchCriteria::pattern() const {
  if (!pattern_) throw std::logic_error("only a nameMatches condition has a pattern");
  return *pattern_;
}

const MatchCriteria& MatchCriteria::inner() const {
  if (kind_ != Kind::not_) throw std::logic_error("only a not condition has an inner condition");
  return members_.front();
}

bool MatchCriteria::operator==(const MatchCriteria& other) const {
  if (kind_ != other.kind_) return false;
  switch (kind_) {
    case Kind::fileExtension:
      return canonicallyEqualLists(texts_, other.texts_);
    case Kind::conformsToType:
    case Kind::downloadedFrom:
      return canonicallyEqual(text_, other.text_);
    case Kind::nameMatches:
      return *pattern_ == *other.pattern_;
    case Kind::olderThan:
    case Kind::newerThan:
      return days_ == other.days_;
    case Kind::largerThan:
    case Kind::smallerThan:
      return bytes_ == other.bytes_;
    case Kind::all:
    case Kind::any:
    case Kind::not_:
      return members_ == other.members_;
  }
  return false;
}

Json MatchCriteria::toJson() const {
  Json object = Json::object();
  object["type"] = typeText(kind_);
  switch (kind_) {
    case Kind::fileExtension:
      object["values"] = texts_;
      break;
    case Kind::conformsToType:
      object["uti"] = text_;
      break;
    case Kind::nameMatches:
      object["pattern"] = pattern_->pattern();
      object["caseInsensitive"] = pattern_->isCaseInsensitive();
      break;
    case Kind::olderThan:
    case Kind::newerThan:
      object["days"] = days_;
      break;
    case Kind::largerThan:
    case Kind::smallerThan:
      object["bytes"] = bytes_;
      break;
    case Kind::downloadedFrom:
      object["hostSuffix"] = text_;
      break;
    case Kind::all:
    case Kind::any: {
      Json members = Json::array();
      for (const MatchCriteria& member : members_) members.push_back(member.toJson());
      object["of"] = std::move(members);
      break;
    }
    case Kind::not_:
      object["criteria"] = members_.front().toJson();
      break;
  }
  return object;
}

MatchCriteria MatchCriteria::fromJson(const Json& object) {
  return read(object, 1);
}

MatchCriteria MatchCriteria::read(const Json& object, int depth) {
  std::string type = readString(object, "type");
  auto kind = matchCriteriaKindFromTypeText(type);
  if (!kind) throw SortError::unknownMatchCriteriaType(type);

  auto readMember = [depth](const Json& value, const std::string& where) {
    if (!value.is_object()) throw JsonDecodingError(where, "expected an object");
    if (depth >= maxDepth) {
      throw JsonDecodingError(
          where, "match criteria nest deeper than " + std::to_string(maxDepth) + " levels");
    }
    return withinJson(where, [&] { return read(value, depth + 1); });
  };

  switch (*kind) {
    case Kind::fileExtension: {
      const Json& values = readArray(object, "values");
      std::vector<std::string> extensions;
      extensions.reserve(values.size());
      for (std::size_t i = 0; i < values.size(); ++i) {
        std::string value = asString(values[i], "values[" + std::to_string(i) + "]");
        extensions.push_back(trimmingLeadingDot(lowercased(value)));
      }
      return fileExtension(std::move(extensions));
    }
    case Kind::conformsToType:
      return conformsToType(readString(object, "uti"));
    case Kind::nameMatches:
      return nameMatches(RegexPattern::fromJson(object));
    case Kind::olderThan:
      return olderThan(readDouble(object, "days"));
    case Kind::newerThan:
      return newerThan(readDouble(object, "days"));
    case Kind::largerThan:
      return largerThan(readByteSize(object));
    case Kind::smallerThan:
      return smallerThan(readByteSize(object));
    case Kind::downloadedFrom:
      return downloadedFrom(readString(object, "hostSuffix"));
    case Kind::all:
    case Kind::any: {
      const Json& of = readArray(object, "of");
      std::vector<MatchCriteria> members;
      members.reserve(of.size());
      for (std::size_t i = 0; i < of.size(); ++i) {
        members.push_back(readMember(of[i], "of[" + std::to_string(i) + "]"));
      }
      return combination(*kind, std::move(members));
    }
    case Kind::not_:
      return not_(readMember(requireKey(object, "criteria"), "criteria"));
  }
  throw SortError::unknownMatchCriteriaType(type);
}

}  // namespace rozuzed

std::size_t std::hash<rozuzed::RegexPattern>::operator()(
    const rozuzed::RegexPattern& pattern) const noexcept {
  std::size_t seed = rozuzed::canonicalHash(pattern.pattern());
  rozuzed::hashCombine(seed, pattern.isCaseInsensitive() ? 1 : 0);
  return seed;
}

std::size_t std::hash<rozuzed::MatchCriteria>::operator()(
    const rozuzed::MatchCriteria& criteria) const noexcept {
  using Kind = rozuzed::MatchCriteria::Kind;
  std::size_t seed = static_cast<std::size_t>(criteria.kind());
  switch (criteria.kind()) {
    case Kind::fileExtension:
      for (const auto& value : criteria.extensions()) {
        rozuzed::hashCombine(seed, rozuzed::canonicalHash(value));
      }
      break;
    case Kind::conformsToType:
    case Kind::downloadedFrom:
      rozuzed::hashCombine(seed, rozuzed::canonicalHash(criteria.hostSuffix()));
      break;
    case Kind::nameMatches:
      rozuzed::hashCombine(seed, std::hash<rozuzed::RegexPattern>{}(criteria.pattern()));
      break;
    case Kind::olderThan:
    case Kind::newerThan:
      rozuzed::hashCombine(seed, rozuzed::hashDouble(criteria.days()));
      break;
    case Kind::largerThan:
    case Kind::smallerThan:
      rozuzed::hashCombine(seed, std::hash<int64_t>{}(criteria.bytes()));
      break;
    case Kind::all:
    case Kind::any:
    case Kind::not_:
      for (const auto& member : criteria.members()) rozuzed::hashCombine(seed, operator()(member));
      break;
  }
  return seed;
}

#include "rozuzed/model/sort_error.h"

#include <functional>
#include <tuple>

#include "rozuzed/support/hashing.h"
#include "rozuzed/support/text.h"

namespace rozuzed {
namespace {

std::string nameOf(const FileURL& url) {
  return url.lastPathComponent();
}

}  // namespace

VerificationFailure VerificationFailure::sizeMismatch(int64_t expected, int64_t found) {
  VerificationFailure f;
  f.kind = Kind::sizeMismatch;
  f.expectedSize = expected;
  f.foundSize = found;
  return f;
}

VerificationFailure VerificationFailure::hashMismatch(std::string expected, std::string found) {
  VerificationFailure f;
  f.kind = Kind::hashMismatch;
  f.expectedHash = std::move(expected);
  f.foundHash = std::move(found);
  return f;
}

VerificationFailure VerificationFailure::destinationMissing() {
  return {};
}

std::string VerificationFailure::reasonText() const {
  switch (kind) {
    case Kind::sizeMismatch:
      return "sizeMismatch(expected: " + std::to_string(expectedSize) +
             ", found: " + std::to_string(foundSize) + ")";
    case Kind::hashMismatch:
      return "hashMismatch(expected: " + quotedForm(expectedHash) +
             ", found: " + quotedForm(foundHash) + ")";
    case Kind::destinationMissing:
      break;
  }
  return "destinationMissing";
}

std::string rawValue(RuleDiagnostic::Severity severity) {
  return severity == RuleDiagnostic::Severity::error ? "error" : "warning";
}

std::string RuleDiagnostic::description() const {
  std::string text = rawValue(severity) + ": ";
  if (ruleID) text += "[" + *ruleID + "] ";
  return text + message;
}

SortError&& SortError::finish() && {
  switch (case_) {
    case Case::invalidRegularExpression:
      message_ = "Invalid regular expression " + quotedForm(text_) + ": " + underlying_;
      break;
    case Case::unknownMatchCriteriaType:
      message_ = "Unknown match criteria type " + quotedForm(text_);
      break;
    case Case::missingMatchCriteriaField:
      message_ = "Match criteria is missing a required field: " + text_;
      break;
    case Case::ruleSetUnsupportedVersion:
      message_ = "Rule file is version " + std::to_string(first_) +
                 "; this build understands version " + std::to_string(second_);
      break;
    case Case::ruleSetInvalid: {
      message_ = "Rule file is invalid:\n";
      for (std::size_t i = 0; i < diagnostics_.size(); ++i) {
        if (i > 0) message_ += "\n";
        message_ += "  " + diagnostics_[i].description();
      }
      break;
    }
    case Case::ruleFileUnreadable:
      message_ = "Could not read rule file at " + location_.path() + ": " + underlying_;
      break;
    case Case::sourceNotADirectory:
      message_ = location_.path() + " is not a directory";
      break;
    case Case::sourceUnreadable:
      message_ = "Could not read " + location_.path() + ": " + underlying_;
      break;
    case Case::collisionUnresolvable:
      message_ = "Could not find a free name for " + nameOf(location_) + " after " +
                 std::to_string(first_) + " attempts";
      break;
    case Case::sourceMissing:
      message_ = location_.path() + " no longer exists";
      break;
    case Case::sourceChangedSincePlanning:
      message_ = location_.path() + " changed after the plan was made \u2014 refusing to move it";
      break;
    case Case::refusedToOverwrite:
      message_ = "Refusing to overwrite " + location_.path();
      break;
    case Case::destinationNotCreatable:
      message_ = "Could not create " + location_.path() + ": " + underlying_;
      break;
    case Case::moveFailed:
      message_ =
          "Could not move " + nameOf(location_) + " to " + destination_.path() + ": " + underlying_;
      break;
    case Case::copyFailed:
      message_ =
          "Could not copy " + nameOf(location_) + " to " + destination_.path() + ": " + underlying_;
      break;
    case Case::copyVerificationFailed:
      message_ = "Copy of " + nameOf(location_) + " failed verification (" + reason_.reasonText() +
                 ") \u2014 the original was left untouched";
      break;
    case Case::trashFailed:
      message_ = "Could not move " + location_.path() + " to the Trash: " + underlying_;
      break;
    case Case::hashUnreadable:
      message_ = "Could not hash " + location_.path() + ": " + underlying_;
      break;
    case Case::journalUnavailable:
      message_ = "Journal unavailable: " + text_;
      break;
    case Case::planNotFound:
      message_ = "No plan with id " + identifier_.text();
      break;
    case Case::batchNotFound:
      message_ = "No journal batch with id " + identifier_.text();
      break;
    case Case::batchAlreadyUndone:
      message_ = "Batch " + identifier_.text() + " has already been undone";
      break;
    case Case::sourceChangedDuringMove:
      message_ = nameOf(location_) + " changed while it was being moved; it was left where it was";
      break;
    case Case::sourceInTrash:
      message_ =
          location_.path() + " is in the Trash \u2014 choose a folder outside the Trash to sort";
      break;
    case Case::destinationInTrash:
      message_ = location_.path() +
                 " is in the Trash \u2014 choose a destination outside the Trash for its files";
      break;
  }
  return std::move(*this);
}

SortError SortError::invalidRegularExpression(std::string pattern, std::string underlying) {
  SortError e(Case::invalidRegularExpression);
  e.text_ = std::move(pattern);
  e.underlying_ = std::move(underlying);
  return std::move(e).finish();
}

SortError SortError::unknownMatchCriteriaType(std::string type) {
  SortError e(Case::unknownMatchCriteriaType);
  e.text_ = std::move(type);
  return std::move(e).finish();
}

SortError SortError::missingMatchCriteriaField(std::string field) {
  SortError e(Case::missingMatchCriteriaField);
  e.text_ = std::move(field);
  return std::move(e).finish();
}

SortError SortError::ruleSetUnsupportedVersion(int64_t found, int64_t supported) {
  SortError e(Case::ruleSetUnsupportedVersion);
  e.first_ = found;
  e.second_ = supported;
  return std::move(e).finish();
}

SortError SortError::ruleSetInvalid(std::vector<RuleDiagnostic> diagnostics) {
  SortError e(Case::ruleSetInvalid);
  e.diagnostics_ = std::move(diagnostics);
  return std::move(e).finish();
}

SortError SortError::ruleFileUnreadable(FileURL location, std::string underlying) {
  SortError e(Case::ruleFileUnreadable);
  e.location_ = std::move(location);
  e.underlying_ = std::move(underlying);
  return std::move(e).finish();
}

SortError SortError::sourceNotADirectory(FileURL location) {
  SortError e(Case::sourceNotADirectory);
  e.location_ = std::move(location);
  return std::move(e).finish();
}

SortError SortError::sourceUnreadable(FileURL location, std::string underlying) {
  SortError e(Case::sourceUnreadable);
  e.location_ = std::move(location);
  e.underlying_ = std::move(underlying);
  return std::move(e).finish();
}

SortError SortError::collisionUnresolvable(FileURL location, int64_t attempts) {
  SortError e(Case::collisionUnresolvable);
  e.location_ = std::move(location);
  e.first_ = attempts;
  return std::move(e).finish();
}

SortError SortError::sourceMissing(FileURL location) {
  SortError e(Case::sourceMissing);
  e.location_ = std::move(location);
  return std::move(e).finish();
}

SortError SortError::sourceChangedSincePlanning(FileURL location) {
  SortError e(Case::sourceChangedSincePlanning);
  e.location_ = std::move(location);
  return std::move(e).finish();
}

SortError SortError::refusedToOverwrite(FileURL location) {
  SortError e(Case::refusedToOverwrite);
  e.location_ = std::move(location);
  return std::move(e).finish();
}

SortError SortError::destinationNotCreatable(FileURL location, std::string underlying) {
  SortError e(Case::destinationNotCreatable);
  e.location_ = std::move(location);
  e.underlying_ = std::move(underlying);
  return std::move(e).finish();
}

SortError SortError::moveFailed(FileURL source, FileURL destination, std::string underlying) {
  SortError e(Case::moveFailed);
  e.location_ = std::move(source);
  e.destination_ = std::move(destination);
  e.underlying_ = std::move(underlying);
  return std::move(e).finish();
}

SortError SortError::copyFailed(FileURL source, FileURL destination, std::string underlying) {
  SortError e(Case::copyFailed);
  e.location_ = std::move(source);
  e.destination_ = std::move(destination);
  e.underlying_ = std::move(underlying);
  return std::move(e).finish();
}

SortError SortError::copyVerificationFailed(FileURL source, FileURL destination,
                                            VerificationFailure reason) {
  SortError e(Case::copyVerificationFailed);
  e.location_ = std::move(source);
  e.destination_ = std::move(destination);
  e.reason_ = std::move(reason);
  return std::move(e).finish();
}

SortError SortError::trashFailed(FileURL location, std::string underlying) {
  SortError e(Case::trashFailed);
  e.location_ = std::move(location);
  e.underlying_ = std::move(underlying);
  return std::move(e).finish();
}

SortError SortError::hashUnreadable(FileURL location, std::string underlying) {
  SortError e(Case::hashUnreadable);
  e.location_ = std::move(location);
  e.underlying_ = std::move(underlying);
  return std::move(e).finish();
}

SortError SortError::journalUnavailable(std::string text) {
  SortError e(Case::journalUnavailable);
  e.text_ = std::move(text);
  return std::move(e).finish();
}

SortError SortError::planNotFound(Uuid id) {
  SortError e(Case::planNotFound);
  e.identifier_ = id;
  return std::move(e).finish();
}

SortError SortError::batchNotFound(Uuid id) {
  SortError e(Case::batchNotFound);
  e.identifier_ = id;
  return std::move(e).finish();
}

SortError SortError::batchAlreadyUndone(Uuid id) {
  SortError e(Case::batchAlreadyUndone);
  e.identifier_ = id;
  return std::move(e).finish();
}

SortError SortError::sourceChangedDuringMove(FileURL location) {
  SortError e(Case::sourceChangedDuringMove);
  e.location_ = std::move(location);
  return std::move(e).finish();
}

SortError SortError::sourceInTrash(FileURL location) {
  SortError e(Case::sourceInTrash);
  e.location_ = std::move(location);
  return std::move(e).finish();
}

SortError SortError::destinationInTrash(FileURL location) {
  SortError e(Case::destinationInTrash);
  e.location_ = std::move(location);
  return std::move(e).finish();
}

bool SortError::operator==(const SortError& other) const {
  // Values a case does not use stay at their defaults, so comparing them all
  // compares exactly the case's own values.
  return std::tie(case_, text_, underlying_, location_, destination_, first_, second_, diagnostics_,
                  reason_, identifier_) == std::tie(other.case_, other.text_, other.underlying_,
                                                    other.location_, other.destination_,
                                                    other.first_, other.second_, other.diagnostics_,
                                                    other.reason_, other.identifier_);
}

std::size_t SortError::hash() const {
  std::size_t seed = static_cast<std::size_t>(case_);
  hashCombine(seed, std::hash<std::string>{}(text_));
  hashCombine(seed, std::hash<std::string>{}(underlying_));
  hashCombine(seed, std::hash<FileURL>{}(location_));
  hashCombine(seed, std::hash<FileURL>{}(destination_));
  hashCombine(seed, std::hash<int64_t>{}(first_));
  hashCombine(seed, std::hash<int64_t>{}(second_));
  for (const auto& d : diagnostics_) hashCombine(seed, std::hash<RuleDiagnostic>{}(d));
  hashCombine(seed, static_cast<std::size_t>(reason_.kind));
  hashCombine(seed, std::hash<int64_t>{}(reason_.expectedSize));
  hashCombine(seed, std::hash<int64_t>{}(reason_.foundSize));
  hashCombine(seed, std::hash<std::string>{}(reason_.expectedHash));
  hashCombine(seed, std::hash<std::string>{}(reason_.foundHash));
  hashCombine(seed, std::hash<Uuid>{}(identifier_));
  return seed;
}

}  // namespace rozuzed

std::size_t std::hash<rozuzed::RuleDiagnostic>::operator()(
    const rozuzed::RuleDiagnostic& d) const noexcept {
  std::size_t seed = static_cast<std::size_t>(d.severity);
  rozuzed::hashCombineOptional(seed, d.ruleID, std::hash<std::string>{});
  rozuzed::hashCombine(seed, std::hash<std::string>{}(d.message));
  return seed;
}

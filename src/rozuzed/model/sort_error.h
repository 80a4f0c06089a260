// The engine's one error type and the values that travel inside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "rozuzed/support/file_url.h"
#include "rozuzed/support/uuid.h"

namespace rozuzed {

// Why a copy made across volumes was rejected.
struct VerificationFailure {
  enum class Kind { sizeMismatch, hashMismatch, destinationMissing };

  static VerificationFailure sizeMismatch(int64_t expected, int64_t found);
  static VerificationFailure hashMismatch(std::string expected, std::string found);
  static VerificationFailure destinationMissing();

  // The case name, then for the cases with values
  // "(expected: …, found: …)"; digests in their quoted form.
  std::string reasonText() const;

  bool operator==(const VerificationFailure&) const = default;

  Kind kind = Kind::destinationMissing;
  int64_t expectedSize = 0;
  int64_t foundSize = 0;
  std::string expectedHash;
  std::string foundHash;
};

// One finding of the rule validator.
struct RuleDiagnostic {
  enum class Severity { error, warning };

  Severity severity = Severity::error;
  std::optional<std::string> ruleID;
  std::string message;

  // "error: [id] message"; the brackets appear whenever ruleID is present.
  std::string description() const;

  bool operator==(const RuleDiagnostic&) const = default;
};

std::string rawValue(RuleDiagnostic::Severity severity);

// Every engine failure is exactly one of these cases. The message is built
// from the case's values and is the only text the error has.
class SortError : public std::exception {
 public:
  enum class Case {
    invalidRegularExpression,
    unknownMatchCriteriaType,
    missingMatchCriteriaField,
    ruleSetUnsupportedVersion,
    ruleSetInvalid,
    ruleFileUnreadable,
    sourceNotADirectory,
    sourceUnreadable,
    collisionUnresolvable,
    sourceMissing,
    sourceChangedSincePlanning,
    refusedToOverwrite,
    destinationNotCreatable,
    moveFailed,
    copyFailed,
    copyVerificationFailed,
    trashFailed,
    hashUnreadable,
    journalUnavailable,
    planNotFound,
    batchNotFound,
    batchAlreadyUndone,
    sourceChangedDuringMove,
    sourceInTrash,
    destinationInTrash,
  };

  static SortError invalidRegularExpression(std::string pattern, std::string underlying);
  static SortError unknownMatchCriteriaType(std::string type);
  static SortError missingMatchCriteriaField(std::string field);
  static SortError ruleSetUnsupportedVersion(int64_t found, int64_t supported);
  static SortError ruleSetInvalid(std::vector<RuleDiagnostic> diagnostics);
  static SortError ruleFileUnreadable(FileURL location, std::string underlying);
  static SortError sourceNotADirectory(FileURL location);
  static SortError sourceUnreadable(FileURL location, std::string underlying);
  static SortError collisionUnresolvable(FileURL location, int64_t attempts);
  static SortError sourceMissing(FileURL location);
  static SortError sourceChangedSincePlanning(FileURL location);
  static SortError refusedToOverwrite(FileURL location);
  static SortError destinationNotCreatable(FileURL location, std::string underlying);
  static SortError moveFailed(FileURL source, FileURL destination, std::string underlying);
  static SortError copyFailed(FileURL source, FileURL destination, std::string underlying);
  static SortError copyVerificationFailed(FileURL source, FileURL destination,
                                          VerificationFailure reason);
  static SortError trashFailed(FileURL location, std::string underlying);
  static SortError hashUnreadable(FileURL location, std::string underlying);
  static SortError journalUnavailable(std::string text);
  static SortError planNotFound(Uuid id);
  static SortError batchNotFound(Uuid id);
  static SortError batchAlreadyUndone(Uuid id);
  // The file at `location` was edited or replaced while it was being moved
  // across volumes, so it stayed where it was.
  static SortError sourceChangedDuringMove(FileURL location);
  // The folder chosen to sort is a Trash folder or lies inside one.
  static SortError sourceInTrash(FileURL location);
  // A folder files were to go to is a Trash folder or lies inside one, by
  // its path or through a link or a bind mount.
  static SortError destinationInTrash(FileURL location);

  Case errorCase() const { return case_; }

  // The message; present for every case and value.
  const std::string& errorDescription() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

  // The case's values. Which are meaningful depends on the case: `text()` is
  // the pattern, condition type, field or journal text; `location()` the one
  // unlabelled location or the source; `destination()` the second location;
  // `found()`/`attempts()` and `supported()` the integers; `identifier()` the
  // plan or batch id.
  const std::string& text() const { return text_; }
  const std::string& underlying() const { return underlying_; }
  const FileURL& location() const { return location_; }
  const FileURL& source() const { return location_; }
  const FileURL& destination() const { return destination_; }
  int64_t found() const { return first_; }
  int64_t attempts() const { return first_; }
  int64_t supported() const { return second_; }
  const std::vector<RuleDiagnostic>& diagnostics() const { return diagnostics_; }
  const VerificationFailure& reason() const { return reason_; }
  const Uuid& identifier() const { return identifier_; }

  bool operator==(const SortError& other) const;
  std::size_t hash() const;

 private:
  explicit SortError(Case c) : case_(c) {}
  SortError&& finish() &&;

  Case case_;
  std::string text_;
  std::string underlying_;
  FileURL location_;
  FileURL destination_;
  int64_t first_ = 0;
  int64_t second_ = 0;
  std::vector<RuleDiagnostic> diagnostics_;
  VerificationFailure reason_;
  Uuid identifier_;
  std::string message_;
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::SortError> {
  std::size_t operator()(const rozuzed::SortError& error) const noexcept { return error.hash(); }
};

template <>
struct std::hash<rozuzed::RuleDiagnostic> {
  std::size_t operator()(const rozuzed::RuleDiagnostic& d) const noexcept;
};

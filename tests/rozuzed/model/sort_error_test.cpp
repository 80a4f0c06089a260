#include "rozuzed/model/sort_error.h"

#include <gtest/gtest.h>

#include "rozuzed/testing/equality_table.h"

namespace rozuzed {
namespace {

const Uuid kId = *Uuid::parse("0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d");

FileURL url(const std::string& path) {
  return FileURL::fromPath(path);
}

struct MessageCase {
  const char* label;
  SortError error;
  std::string message;
};

TEST(SortErrorTest, EveryCaseHasItsMessage) {
  std::vector<MessageCase> cases = {
      {"regex", SortError::invalidRegularExpression("a\"b\\c'd\te", "bad"),
       "Invalid regular expression \"a\\\"b\\\\c\\'d\\te\": bad"},
      {"regex control chars",
       SortError::invalidRegularExpression(std::string("\0\n\r\x01\x7f", 5), ""),
       "Invalid regular expression \"\\0\\n\\r\\u{01}\\u{7F}\": "},
      {"unknown type empty", SortError::unknownMatchCriteriaType(""),
       "Unknown match criteria type \"\""},
      {"unknown type non-ascii", SortError::unknownMatchCriteriaType("größe"),
       "Unknown match criteria type \"größe\""},
      {"missing field", SortError::missingMatchCriteriaField("minBytes|maxBytes"),
       "Match criteria is missing a required field: minBytes|maxBytes"},
      {"version", SortError::ruleSetUnsupportedVersion(2, 1),
       "Rule file is version 2; this build understands version 1"},
      {"negative version", SortError::ruleSetUnsupportedVersion(-7, 1),
       "Rule file is version -7; this build understands version 1"},
      {"invalid empty", SortError::ruleSetInvalid({}), "Rule file is invalid:\n"},
      {"invalid two",
       SortError::ruleSetInvalid(
           {{RuleDiagnostic::Severity::error, "photos", "Rule has an empty name."},
            {RuleDiagnostic::Severity::error, std::nullopt, "A rule has an empty id."}}),
       "Rule file is invalid:\n  error: [photos] Rule has an empty name.\n  error: A rule has an "
       "empty id."},
      {"invalid blank id",
       SortError::ruleSetInvalid({{RuleDiagnostic::Severity::warning, "", "m"}}),
       "Rule file is invalid:\n  warning: [] m"},
      {"rule file", SortError::ruleFileUnreadable(url("/r/rules file.json"), "gone"),
       "Could not read rule file at /r/rules file.json: gone"},
      {"not a directory trailing slash", SortError::sourceNotADirectory(url("/home/u/Downloads/")),
       "/home/u/Downloads is not a directory"},
      {"unreadable", SortError::sourceUnreadable(url("/home/ü ß"), "Permission denied"),
       "Could not read /home/ü ß: Permission denied"},
      {"collision", SortError::collisionUnresolvable(url("/d/Images/a.jpg"), 5),
       "Could not find a free name for a.jpg after 5 attempts"},
      {"missing", SortError::sourceMissing(url("/d/a")), "/d/a no longer exists"},
      {"changed", SortError::sourceChangedSincePlanning(url("/d/a")),
       "/d/a changed after the plan was made \u2014 refusing to move it"},
      {"overwrite", SortError::refusedToOverwrite(url("/d/a")), "Refusing to overwrite /d/a"},
      {"create", SortError::destinationNotCreatable(url("/d/x/"), "No space"),
       "Could not create /d/x: No space"},
      {"move", SortError::moveFailed(url("/s/a.txt"), url("/d/b.txt"), "EXDEV"),
       "Could not move a.txt to /d/b.txt: EXDEV"},
      {"copy", SortError::copyFailed(url("/s/a.txt"), url("/d/b.txt"), "EIO"),
       "Could not copy a.txt to /d/b.txt: EIO"},
      {"verify missing",
       SortError::copyVerificationFailed(url("/s/a.jpg"), url("/d/a.jpg"),
                                         VerificationFailure::destinationMissing()),
       "Copy of a.jpg failed verification (destinationMissing) \u2014 the original was left "
       "untouched"},
      {"verify size",
       SortError::copyVerificationFailed(url("/s/report.pdf"), url("/d/r.pdf"),
                                         VerificationFailure::sizeMismatch(120, 64)),
       "Copy of report.pdf failed verification (sizeMismatch(expected: 120, found: 64)) \u2014 the "
       "original was left untouched"},
      {"verify hash",
       SortError::copyVerificationFailed(url("/s/a"), url("/d/a"),
                                         VerificationFailure::hashMismatch("ab", "cd")),
       "Copy of a failed verification (hashMismatch(expected: \"ab\", found: \"cd\")) \u2014 the "
       "original "
       "was left untouched"},
      {"trash", SortError::trashFailed(url("/s/a b"), "x"),
       "Could not move /s/a b to the Trash: x"},
      {"hash", SortError::hashUnreadable(url("/s/fifo"), "not a regular file"),
       "Could not hash /s/fifo: not a regular file"},
      {"journal", SortError::journalUnavailable("disk full"), "Journal unavailable: disk full"},
      {"plan", SortError::planNotFound(kId),
       "No plan with id 0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"},
      {"batch", SortError::batchNotFound(kId),
       "No journal batch with id 0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"},
      {"undone", SortError::batchAlreadyUndone(kId),
       "Batch 0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D has already been undone"},
      {"root", SortError::sourceMissing(url("/")), "/ no longer exists"},
      {"changed while moving", SortError::sourceChangedDuringMove(url("/s/log.txt")),
       "log.txt changed while it was being moved; it was left where it was"},
      {"in the Trash", SortError::sourceInTrash(url("/home/u/.local/share/Trash/files/")),
       "/home/u/.local/share/Trash/files is in the Trash \u2014 choose a folder outside the Trash "
       "to sort"},
      {"destination in the Trash",
       SortError::destinationInTrash(url("/home/u/.local/share/Trash/files/Documents/")),
       "/home/u/.local/share/Trash/files/Documents is in the Trash \u2014 choose a destination "
       "outside the Trash for its files"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.error.errorDescription(), c.message) << c.label;
    EXPECT_STREQ(c.error.what(), c.message.c_str()) << c.label;
  }
}

TEST(SortErrorTest, EqualityAndHashTakeTheCaseAndEachOfItsValues) {
  const RuleDiagnostic d1{RuleDiagnostic::Severity::error, "a", "x"};
  const RuleDiagnostic d2{RuleDiagnostic::Severity::warning, std::nullopt, "y"};
  using Failure = VerificationFailure;
  auto copy = [](Failure reason) {
    return SortError::copyVerificationFailed(url("/a"), url("/b"), std::move(reason));
  };
  testing::expectDistinctValuesAndHashes<SortError>({
      {"pattern", SortError::invalidRegularExpression("a", "bad")},
      {"other pattern", SortError::invalidRegularExpression("b", "bad")},
      {"other reason", SortError::invalidRegularExpression("a", "worse")},
      {"same text, other case", SortError::unknownMatchCriteriaType("a")},
      {"versions", SortError::ruleSetUnsupportedVersion(2, 1)},
      {"other found", SortError::ruleSetUnsupportedVersion(3, 1)},
      {"other supported", SortError::ruleSetUnsupportedVersion(2, 2)},
      {"diagnostics", SortError::ruleSetInvalid({d1, d2})},
      {"diagnostics reordered", SortError::ruleSetInvalid({d2, d1})},
      {"fewer diagnostics", SortError::ruleSetInvalid({d1})},
      {"attempts", SortError::collisionUnresolvable(url("/d/a"), 5)},
      {"other attempts", SortError::collisionUnresolvable(url("/d/a"), 6)},
      {"other location", SortError::collisionUnresolvable(url("/d/b"), 5)},
      {"location", SortError::sourceMissing(url("/d/a"))},
      {"same location, other case", SortError::sourceChangedSincePlanning(url("/d/a"))},
      {"move", SortError::moveFailed(url("/a"), url("/b"), "x")},
      {"other destination", SortError::moveFailed(url("/a"), url("/c"), "x")},
      {"sizes", copy(Failure::sizeMismatch(1, 2))},
      {"sizes swapped", copy(Failure::sizeMismatch(2, 1))},
      {"other found size", copy(Failure::sizeMismatch(1, 3))},
      {"digests", copy(Failure::hashMismatch("aa", "bb"))},
      {"digests swapped", copy(Failure::hashMismatch("bb", "aa"))},
      {"other found digest", copy(Failure::hashMismatch("aa", "cc"))},
      {"destination missing", copy(Failure::destinationMissing())},
      {"plan", SortError::planNotFound(kId)},
      {"same id, other case", SortError::batchNotFound(kId)},
      {"other plan", SortError::planNotFound(Uuid{})},
  });
}

TEST(RuleDiagnosticTest, EqualityAndHashTakeEveryField) {
  const RuleDiagnostic base{RuleDiagnostic::Severity::error, "a", "x"};
  auto with = [&](auto change) { return testing::changed(base, change); };
  testing::expectDistinctValuesAndHashes<RuleDiagnostic>({
      {"base", base},
      {"severity", with([](auto& d) { d.severity = RuleDiagnostic::Severity::warning; })},
      {"ruleID", with([](auto& d) { d.ruleID = "b"; })},
      {"empty ruleID", with([](auto& d) { d.ruleID = ""; })},
      {"no ruleID", {RuleDiagnostic::Severity::error, std::nullopt, "x"}},
      {"message", with([](auto& d) { d.message = "y"; })},
  });
}

}  // namespace
}  // namespace rozuzed

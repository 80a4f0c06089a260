#include "rozuzed/rules/rule_validator.h"

#include <gtest/gtest.h>

namespace rozuzed {
namespace {

using Severity = RuleDiagnostic::Severity;

SortRule rule(std::string id, MatchCriteria match = MatchCriteria::fileExtension({"pdf"}),
              Destination destination = Destination::relative(DestinationRoot::sourceFolder, "PDF"),
              std::string name = "A rule") {
  return SortRule{.id = std::move(id),
                  .name = std::move(name),
                  .match = std::move(match),
                  .destination = std::move(destination)};
}

Destination relative(std::string path) {
  return Destination::relative(DestinationRoot::home, std::move(path));
}

RuleDiagnostic error(std::optional<std::string> id, std::string message) {
  return {.severity = Severity::error, .ruleID = std::move(id), .message = std::move(message)};
}

RuleDiagnostic warning(std::optional<std::string> id, std::string message) {
  return {.severity = Severity::warning, .ruleID = std::move(id), .message = std::move(message)};
}

const char* kEmptyPath = "Destination path is empty.";
const char* kDotDot = "Destination path contains \"..\", which would escape its root.";

struct Case {
  const char* name;
  RuleSet ruleSet;
  std::vector<RuleDiagnostic> expected;
};

TEST(RuleValidatorTest, ReportsEachFindingWithItsTextSeverityAndRule) {
  const Case cases[] = {
      {"no rules",
       RuleSet{},
       {warning(std::nullopt, "Rule set contains no rules; nothing will ever move.")}},
      {"a sound rule", RuleSet{.rules = {rule("ok")}}, {}},
      {"blank id: no rule id on its own finding, the blank id on later ones",
       RuleSet{.rules = {rule(" \t", MatchCriteria::fileExtension({}))}},
       {error(std::nullopt, "A rule has an empty id."), error(" \t", "Extension list is empty.")}},
      {"two blank ids are never duplicates",
       RuleSet{.rules = {rule(""), rule("")}},
       {error(std::nullopt, "A rule has an empty id."),
        error(std::nullopt, "A rule has an empty id.")}},
      {"duplicates from the second on; case and trailing space make other ids",
       RuleSet{.rules = {rule("a"), rule("a"), rule("A"), rule("a "), rule("a")}},
       {error("a", "Duplicate rule id."), error("a", "Duplicate rule id.")}},
      {"canonically equivalent ids are one id",
       RuleSet{.rules = {rule("caf\xC3\xA9"), rule("cafe\xCC\x81")}},
       {error("cafe\xCC\x81", "Duplicate rule id.")}},
      {"blank names: spaces, tabs and other space separators, not line breaks",
       RuleSet{.rules = {rule("a", MatchCriteria::fileExtension({"x"}), relative("X"),
                              " \t\xE3\x80\x80\xC2\xA0"),
                         rule("b", MatchCriteria::fileExtension({"x"}), relative("X"), "\n"),
                         rule("c", MatchCriteria::fileExtension({"x"}), relative("X"), "")}},
       {error("a", "Rule has an empty name."), error("c", "Rule has an empty name.")}},
      {"relative paths",
       RuleSet{
           .rules = {rule("slash-dots", MatchCriteria::fileExtension({"x"}), relative("/../x")),
                     rule("blank", MatchCriteria::fileExtension({"x"}), relative("  ")),
                     rule("empty", MatchCriteria::fileExtension({"x"}), relative("")),
                     rule("dotted-name", MatchCriteria::fileExtension({"x"}), relative("a/..b")),
                     rule("inner", MatchCriteria::fileExtension({"x"}), relative("a//..//b")),
                     rule("alone", MatchCriteria::fileExtension({"x"}), relative("..")),
                     rule("trailing", MatchCriteria::fileExtension({"x"}), relative("a/../"))}},
       {error("slash-dots",
              "Relative destination \"/../x\" starts with a slash; use \"absolute\" instead."),
        error("slash-dots", kDotDot), error("blank", kEmptyPath), error("empty", kEmptyPath),
        error("inner", kDotDot), error("alone", kDotDot), error("trailing", kDotDot)}},
      {"absolute paths: only the leading slash is judged",
       RuleSet{
           .rules = {rule("empty", MatchCriteria::fileExtension({"x"}), Destination::absolute("")),
                     rule("dots", MatchCriteria::fileExtension({"x"}),
                          Destination::absolute("/x/../y")),
                     rule("quoted", MatchCriteria::fileExtension({"x"}),
                          Destination::absolute("it's \"here\""))}},
       {error("empty", "Absolute destination \"\" is not an absolute path."),
        error("quoted", "Absolute destination \"it\\'s \\\"here\\\"\" is not an absolute path.")}},
      {"extension lists, judged as held after reading",
       RuleSet{
           .rules = {rule("e", MatchCriteria::fileExtension({})),
                     rule("p", MatchCriteria::fileExtension({"jpg", ".jpg", "", "*", "tar.gz"}))}},
       {error("e", "Extension list is empty."),
        warning("p", "Extension \".jpg\" looks like a pattern; extensions are matched literally."),
        warning("p", "Extension \"*\" looks like a pattern; extensions are matched literally."),
        warning("p",
                "Extension \"tar.gz\" looks like a pattern; extensions are matched literally.")}},
      {"unknown type identifiers",
       RuleSet{.rules = {rule("t", MatchCriteria::conformsToType("com.example.nonsense")),
                         rule("k", MatchCriteria::conformsToType("public.image"))}},
       {warning("t",
                "Unknown type identifier \"com.example.nonsense\"; this rule may never match.")}},
      {"negative ages and sizes in any unit, blank hosts",
       RuleSet{.rules = {rule("old", MatchCriteria::olderThan(-0.5)),
                         rule("new", MatchCriteria::newerThan(-1)),
                         rule("zero", MatchCriteria::olderThan(0)),
                         rule("big", MatchCriteria::largerThan(-1)),
                         rule("small", MatchCriteria::smallerThan(-1536)),
                         rule("host", MatchCriteria::downloadedFrom(" ")),
                         rule("none", MatchCriteria::downloadedFrom("")),
                         rule("nl", MatchCriteria::downloadedFrom("\n"))}},
       {error("old", "Age in days must not be negative."),
        error("new", "Age in days must not be negative."),
        error("big", "Size in bytes must not be negative."),
        error("small", "Size in bytes must not be negative."),
        error("host", "Download source host is empty."),
        error("none", "Download source host is empty.")}},
      {"empty combinations",
       RuleSet{.rules = {rule("all", MatchCriteria::all({})), rule("any", MatchCriteria::any({})),
                         rule("not", MatchCriteria::not_(MatchCriteria::any({})))}},
       {error("all", "Empty \"all\" matches every file; that is almost never intended."),
        warning("any", "Empty \"any\" never matches; this rule is dead."),
        warning("not", "Empty \"any\" never matches; this rule is dead.")}},
      {"members depth first, in order, and no finding for a non-empty all",
       RuleSet{.rules = {rule("tree",
                              MatchCriteria::all({MatchCriteria::fileExtension({}),
                                                  MatchCriteria::any({MatchCriteria::olderThan(-1),
                                                                      MatchCriteria::all({})}),
                                                  MatchCriteria::largerThan(-2)}))}},
       {error("tree", "Extension list is empty."),
        error("tree", "Age in days must not be negative."),
        error("tree", "Empty \"all\" matches every file; that is almost never intended."),
        error("tree", "Size in bytes must not be negative.")}},
      {"rule by rule: id, name, destination, criteria",
       RuleSet{.rules = {rule("r1", MatchCriteria::any({}), relative(""), ""),
                         rule("r1", MatchCriteria::olderThan(-1), relative("/a"))}},
       {error("r1", "Rule has an empty name."), error("r1", kEmptyPath),
        warning("r1", "Empty \"any\" never matches; this rule is dead."),
        error("r1", "Duplicate rule id."),
        error("r1", "Relative destination \"/a\" starts with a slash; use \"absolute\" instead."),
        error("r1", "Age in days must not be negative.")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RuleValidator::validate(c.ruleSet), c.expected);
  }
}

TEST(RuleValidatorTest, DisabledRulesAreCheckedLikeEnabledOnes) {
  SortRule disabled = rule("off", MatchCriteria::fileExtension({}));
  disabled.isEnabled = false;
  EXPECT_EQ(RuleValidator::validate(RuleSet{.rules = {disabled}}),
            (std::vector<RuleDiagnostic>{error("off", "Extension list is empty.")}));
}

TEST(RuleValidatorTest, DiagnosticsPrintAsTheErrorShowsThem) {
  auto diagnostics = RuleValidator::validate(
      RuleSet{.rules = {rule("", MatchCriteria::fileExtension({"x"}), relative("X"), "")}});
  EXPECT_EQ(SortError::ruleSetInvalid(diagnostics).errorDescription(),
            "Rule file is invalid:\n"
            "  error: A rule has an empty id.\n"
            "  error: [] Rule has an empty name.");
}

}  // namespace
}  // namespace rozuzed

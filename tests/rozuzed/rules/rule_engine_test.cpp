#include "rozuzed/rules/rule_engine.h"

#include <gtest/gtest.h>

#include <optional>

#include "rozuzed/model/sort_error.h"
#include "rozuzed/testing/fixed_date_provider.h"

namespace rozuzed {
namespace {

using testing::FixedDateProvider;

constexpr Date kNow = 1'700'000'000;
constexpr double kDay = 86400;

SortRule rule(std::string id, MatchCriteria match, int64_t priority = 100, bool enabled = true) {
  Destination destination = Destination::relative(DestinationRoot::sourceFolder, "to-" + id);
  return SortRule{.id = id,
                  .name = "Rule " + id,
                  .isEnabled = enabled,
                  .priority = priority,
                  .match = std::move(match),
                  .destination = std::move(destination)};
}

FileMetadata file(const std::string& name, FileMetadataFields fields = {}) {
  return FileMetadata(FileURL::fromPath("/sort/" + name), std::move(fields));
}

RuleEngine engine(std::vector<SortRule> rules) {
  return RuleEngine(RuleSet{.rules = std::move(rules)}, "",
                    std::make_shared<FixedDateProvider>(kNow));
}

std::optional<std::string> matchedID(const RuleEngine& engine, const FileMetadata& f) {
  auto match = engine.match(f);
  if (!match) return std::nullopt;
  return match->ruleID;
}

TEST(RuleEngineTest, RefusesASetWithErrorsAndReportsOnlyTheErrors) {
  SortRule disabledFaulty = rule("off", MatchCriteria::all({}), 1, false);
  RuleSet set{.rules = {rule("ok", MatchCriteria::any({})), disabledFaulty,
                        rule("", MatchCriteria::olderThan(-1))}};
  try {
    RuleEngine refused(set);
    FAIL() << "built";
  } catch (const SortError& error) {
    EXPECT_EQ(
        error,
        SortError::ruleSetInvalid(
            {{.severity = RuleDiagnostic::Severity::error,
              .ruleID = "off",
              .message = "Empty \"all\" matches every file; that is almost never intended."},
             {.severity = RuleDiagnostic::Severity::error, .message = "A rule has an empty id."},
             {.severity = RuleDiagnostic::Severity::error,
              .ruleID = "",
              .message = "Age in days must not be negative."}}));
  }
}

TEST(RuleEngineTest, WarningsDoNotStopAnEngine) {
  for (const RuleSet& set :
       {RuleSet{}, RuleSet{.rules = {rule("dead", MatchCriteria::any({}))}},
        RuleSet{.rules = {rule("unknown", MatchCriteria::conformsToType("com.example.nope"))}},
        RuleSet{.rules = {rule("off", MatchCriteria::fileExtension({"pdf"}), 100, false)}}}) {
    RuleEngine built(set, "hash");
    EXPECT_EQ(built.match(file("a.pdf", {.contentTypeIdentifier = "com.adobe.pdf"})), std::nullopt);
    EXPECT_EQ(built.ruleSetHash(), "hash");
  }
}

TEST(RuleEngineTest, TriesEnabledRulesByPriorityThenFileOrderAndTheFirstWins) {
  RuleEngine rules = engine({
      rule("late", MatchCriteria::fileExtension({"pdf"}), 10),
      rule("early", MatchCriteria::fileExtension({"pdf", "txt"}), 5),
      rule("off", MatchCriteria::fileExtension({"txt", "md"}), 0, false),
      rule("first-of-equals", MatchCriteria::fileExtension({"md"}), 50),
      rule("second-of-equals", MatchCriteria::fileExtension({"md", "doc"}), 50),
  });
  EXPECT_EQ(matchedID(rules, file("a.pdf")), "early");
  EXPECT_EQ(matchedID(rules, file("a.txt")), "early");
  EXPECT_EQ(matchedID(rules, file("a.md")), "first-of-equals");
  EXPECT_EQ(matchedID(rules, file("a.doc")), "second-of-equals");
  EXPECT_EQ(matchedID(rules, file("a.png")), std::nullopt);
  EXPECT_EQ(
      rules.match(file("a.pdf")),
      (RuleMatch{.ruleID = "early",
                 .ruleName = "Rule early",
                 .destination = Destination::relative(DestinationRoot::sourceFolder, "to-early")}));

  std::vector<std::string> destinations;
  for (const auto& d : rules.allDestinations()) destinations.push_back(d.description());
  EXPECT_EQ(destinations, (std::vector<std::string>{"sourceFolder/to-early", "sourceFolder/to-late",
                                                    "sourceFolder/to-first-of-equals",
                                                    "sourceFolder/to-second-of-equals"}));
}

TEST(RuleEngineTest, AllDestinationsKeepsRepeats) {
  SortRule a = rule("a", MatchCriteria::fileExtension({"a"}));
  SortRule b = rule("b", MatchCriteria::fileExtension({"b"}));
  b.destination = a.destination;
  EXPECT_EQ(engine({a, b}).allDestinations(),
            (std::vector<Destination>{a.destination, a.destination}));
}

TEST(RuleEngineTest, BuildsFromALoadedSetWithItsHash) {
  LoadedRuleSet loaded{.ruleSet = RuleSet{.rules = {rule("a", MatchCriteria::olderThan(1))}},
                       .sourceHash = std::string(64, 'a')};
  EXPECT_EQ(RuleEngine(loaded).ruleSetHash(), std::string(64, 'a'));
}

struct EvaluationCase {
  const char* what;
  MatchCriteria criteria;
  FileMetadata file;
  bool holds;
};

// Each case is judged alone and by an engine, which looks types up ahead of
// the files: as its one rule and nested in combinations, whose members the
// looked-up facts must follow. A condition the validator refuses is judged
// alone only.
void expectEvaluations(const std::vector<EvaluationCase>& cases) {
  RuleEngine rules = engine({});
  const MatchCriteria never = MatchCriteria::smallerThan(0);
  const MatchCriteria always = MatchCriteria::not_(never);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(rules.evaluate(c.criteria, c.file), c.holds);
    MatchCriteria nested = MatchCriteria::all(
        {always,
         MatchCriteria::any({never, MatchCriteria::not_(MatchCriteria::not_(c.criteria))})});
    for (const MatchCriteria& condition : {c.criteria, nested}) {
      std::optional<RuleEngine> single;
      try {
        single.emplace(engine({rule("only", condition)}));
      } catch (const SortError&) {
        continue;
      }
      EXPECT_EQ(matchedID(*single, c.file).has_value(), c.holds);
    }
  }
}

TEST(RuleEngineTest, ExtensionsCompareTheLastExtensionExactly) {
  expectEvaluations({
      {"listed", MatchCriteria::fileExtension({"jpg", "png"}), file("a.png"), true},
      {"not listed", MatchCriteria::fileExtension({"jpg"}), file("a.jpeg"), false},
      {"held lower-cased by the snapshot", MatchCriteria::fileExtension({"jpg"}), file("photo.JPG"),
       true},
      {"the empty text takes names without one", MatchCriteria::fileExtension({""}),
       file("Makefile"), true},
      {"only the last extension", MatchCriteria::fileExtension({"tar.gz"}), file("archive.tar.gz"),
       false},
      {"canonically equivalent", MatchCriteria::fileExtension({"caf\xC3\xA9"}),
       file("menu.cafe\xCC\x81"), true},
  });
}

TEST(RuleEngineTest, AgesCompareWithTheClockInWholeDays) {
  auto modified = [](double secondsAgo) {
    return file("f.txt", {.modificationDate = kNow - secondsAgo});
  };
  expectEvaluations({
      {"older than 0: a second ago", MatchCriteria::olderThan(0), modified(1), true},
      {"older than 0: exactly now", MatchCriteria::olderThan(0), modified(0), false},
      {"newer than 0: exactly now", MatchCriteria::newerThan(0), modified(0), true},
      {"newer than 0: in the future", MatchCriteria::newerThan(0), modified(-60), true},
      {"older than 1: exactly a day", MatchCriteria::olderThan(1), modified(kDay), false},
      {"newer than 1: exactly a day", MatchCriteria::newerThan(1), modified(kDay), true},
      {"older than 1: a day and a second", MatchCriteria::olderThan(1), modified(kDay + 1), true},
      {"newer than 0.5: a day", MatchCriteria::newerThan(0.5), modified(kDay), false},
      {"undated files are very old", MatchCriteria::olderThan(36500), file("x"), true},
      {"an enormous day count", MatchCriteria::olderThan(1e306), modified(kDay), false},
  });
}

TEST(RuleEngineTest, ReadsTheClockAtEveryAgeComparison) {
  auto clock = std::make_shared<FixedDateProvider>(kNow);
  RuleEngine rules(RuleSet{.rules = {rule("old", MatchCriteria::olderThan(1))}}, "", clock);
  FileMetadata f = file("f.txt", {.modificationDate = kNow});
  EXPECT_EQ(matchedID(rules, f), std::nullopt);
  clock->advance(kDay + 1);
  EXPECT_EQ(matchedID(rules, f), "old");
}

TEST(RuleEngineTest, SizesAreStrictBounds) {
  expectEvaluations({
      {"larger: equal", MatchCriteria::largerThan(1024), file("a", {.size = 1024}), false},
      {"smaller: equal", MatchCriteria::smallerThan(1024), file("a", {.size = 1024}), false},
      {"larger", MatchCriteria::largerThan(1024), file("a", {.size = 1025}), true},
      {"smaller", MatchCriteria::smallerThan(1024), file("a", {.size = 1023}), true},
  });
}

TEST(RuleEngineTest, DownloadSourcesMatchTheHostOrItsSubdomainsOnly) {
  auto from = [](std::vector<std::string> sources) {
    return file("setup.deb", {.whereFroms = std::move(sources)});
  };
  auto example = MatchCriteria::downloadedFrom("Example.COM");
  expectEvaluations({
      {"the host itself", example, from({"https://example.com/setup.deb"}), true},
      {"a subdomain", example, from({"https://dl.EXAMPLE.com/setup.deb"}), true},
      {"letters without a dot", example, from({"https://badexample.com/x"}), false},
      {"a hyphenated look-alike", example, from({"https://evil-example.com/x"}), false},
      {"the name further left", example, from({"https://example.com.evil.net/x"}), false},
      {"the name in the query", example, from({"https://evil.net/?from=example.com"}), false},
      {"the name as user info", example, from({"https://example.com@evil.net/x"}), false},
      {"no scheme and no //", example, from({"example.com/setup.deb"}), false},
      {"a later entry", example, from({"not a url", "https://evil.net/", "http://example.com"}),
       true},
      {"no sources", example, from({}), false},
      {"a leading dot", MatchCriteria::downloadedFrom(".example.com"),
       from({"https://example.com/", "https://dl.example.com/"}), false},
      {"surrounding spaces", MatchCriteria::downloadedFrom(" example.com "),
       from({"https://example.com/"}), false},
  });
}

TEST(RuleEngineTest, DownloadSourcesAreReadOnlyWhenAConditionFirstAsksForThem) {
  RuleEngine rules = engine({
      rule("documents", MatchCriteria::fileExtension({"pdf"}), 1),
      rule("trusted",
           MatchCriteria::all({MatchCriteria::fileExtension({"deb"}),
                               MatchCriteria::downloadedFrom("Example.COM")}),
           2),
      rule("untainted", MatchCriteria::not_(MatchCriteria::downloadedFrom("evil.net")), 3),
  });
  struct Case {
    const char* name;
    std::vector<std::string> sources;
    std::optional<std::string> matched;
    int reads;
  };
  const Case cases[] = {
      {"a.pdf", {"https://example.com/a.pdf"}, "documents", 0},
      {"setup.deb", {"https://dl.example.com/setup.deb"}, "trusted", 1},
      {"tool.deb", {"https://evil.net/tool.deb"}, std::nullopt, 1},
      {"notes.txt", {}, "untainted", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int reads = 0;
    auto match = rules.match(file(c.name), [&] {
      ++reads;
      return c.sources;
    });
    EXPECT_EQ(match ? std::optional(match->ruleID) : std::nullopt, c.matched);
    EXPECT_EQ(reads, c.reads);
    // The same verdict as for a snapshot that holds its sources.
    EXPECT_EQ(matchedID(rules, file(c.name, {.whereFroms = c.sources})), c.matched);
  }

  RuleEngine withoutSources = engine({rule("any", MatchCriteria::fileExtension({"deb"}))});
  bool read = false;
  EXPECT_TRUE(withoutSources.match(file("setup.deb"), [&] {
    read = true;
    return std::vector<std::string>();
  }));
  EXPECT_FALSE(read);
}

TEST(RuleEngineTest, TypesConformThroughTheRegistry) {
  expectEvaluations({
      {"a kind of image", MatchCriteria::conformsToType("public.image"),
       file("a.jpg", {.contentTypeIdentifier = "public.jpeg"}), true},
      {"itself", MatchCriteria::conformsToType("public.jpeg"),
       file("a.jpg", {.contentTypeIdentifier = "public.jpeg"}), true},
      {"not the other way round", MatchCriteria::conformsToType("public.jpeg"),
       file("a.jpg", {.contentTypeIdentifier = "public.image"}), false},
      {"no type", MatchCriteria::conformsToType("public.image"), file("a.jpg"), false},
      {"an unknown rule type", MatchCriteria::conformsToType("com.example.nope"),
       file("a.jpg", {.contentTypeIdentifier = "public.jpeg"}), false},
      {"an unknown file type", MatchCriteria::conformsToType("public.image"),
       file("a.jpg", {.contentTypeIdentifier = "com.example.nope"}), false},
  });
}

TEST(RuleEngineTest, CombinationsAndNames) {
  auto pdf = MatchCriteria::fileExtension({"pdf"});
  auto invoice = MatchCriteria::nameMatches(RegexPattern("invoice"));
  expectEvaluations({
      {"empty all", MatchCriteria::all({}), file("a"), true},
      {"empty any", MatchCriteria::any({}), file("a"), false},
      {"not of empty any", MatchCriteria::not_(MatchCriteria::any({})), file("a"), true},
      {"all holding", MatchCriteria::all({pdf, invoice}), file("Invoice-3.pdf"), true},
      {"all failing", MatchCriteria::all({pdf, invoice}), file("report.pdf"), false},
      {"any", MatchCriteria::any({invoice, pdf}), file("report.pdf"), true},
      {"not", MatchCriteria::not_(pdf), file("report.pdf"), false},
      {"the name includes its extension", MatchCriteria::nameMatches(RegexPattern("\\.pdf$")),
       file("report.pdf"), true},
  });
}

TEST(RuleEngineTest, ANameThatRunsAPatternOutOfTimeDoesNotMatchAndTheScanGoesOn) {
  // Nested repeats backtrack exponentially on a name they almost match.
  const auto runaway = MatchCriteria::nameMatches(RegexPattern("^(a+)+$"));
  const FileMetadata almost = file(std::string(36, 'a') + ".txt");
  ASSERT_EQ(almost.name.size(), 40u);

  RuleEngine rules =
      engine({rule("runaway", runaway, 1), rule("text", MatchCriteria::fileExtension({"txt"}), 2)});
  EXPECT_FALSE(rules.evaluate(runaway, almost));
  EXPECT_EQ(matchedID(rules, almost), "text") << "the next rule is still tried";
  EXPECT_EQ(matchedID(rules, file(std::string(40, 'a'))), "runaway");
}

// Within one session a pattern that ran out of time is not run again, and
// an evaluation made ahead of an earlier file's time-out is refused when it
// rests on that pattern; a new session runs the pattern again.
TEST(RuleEngineTest, APatternThatRunsOutOfTimeIsGivenUpForTheRestOfTheSession) {
  const auto runaway = MatchCriteria::nameMatches(RegexPattern("^(a+)+$"));
  const FileMetadata almost = file(std::string(36, 'a') + ".txt");
  const FileMetadata fits = file("aaaa");
  RuleEngine rules =
      engine({rule("plain", MatchCriteria::nameMatches(RegexPattern("^b")), 1),
              rule("runaway", runaway, 2), rule("text", MatchCriteria::fileExtension({"txt"}), 3)});
  const RuleEngine::DownloadSources noSources = [] { return std::vector<std::string>{}; };

  struct Judged {
    std::optional<std::string> ruleID;
    std::size_t patternRuns;
    bool operator==(const Judged&) const = default;
  };
  auto judge = [&](MatchSession& session, const FileMetadata& f) {
    MatchTrace trace;
    auto match = rules.match(f, noSources, session, trace);
    EXPECT_TRUE(session.settle(trace)) << f.name;
    return Judged{match ? std::optional(match->ruleID) : std::nullopt, trace.runs.size()};
  };

  MatchSession session(rules);
  EXPECT_EQ(judge(session, fits), (Judged{"runaway", 2}));
  EXPECT_TRUE(session.timedOutRules().empty());
  EXPECT_EQ(judge(session, almost), (Judged{"text", 2}));
  EXPECT_EQ(judge(session, fits), (Judged{std::nullopt, 1})) << "only the sound pattern runs";
  EXPECT_EQ(judge(session, almost), (Judged{"text", 1}));
  EXPECT_EQ(judge(session, file("bbb")), (Judged{"plain", 1}));
  ASSERT_EQ(session.timedOutRules().size(), 1u);
  EXPECT_EQ(session.timedOutRules()[0]->id, "runaway");

  MatchSession next(rules);
  EXPECT_EQ(judge(next, fits), (Judged{"runaway", 2}));

  // Evaluated ahead, in the order almost, fits, "aab", then settled in that
  // order: "fits" found with the pattern that timed out on "almost" before
  // it, so it is evaluated again; "aab" was not found by it, which holds
  // whether the pattern ran or not.
  MatchSession ahead(rules);
  MatchTrace first, second, third;
  rules.match(almost, noSources, ahead, first);
  EXPECT_TRUE(rules.match(fits, noSources, ahead, second).has_value());
  rules.match(file("aab"), noSources, ahead, third);
  EXPECT_TRUE(ahead.settle(first));
  EXPECT_FALSE(ahead.settle(second));
  EXPECT_EQ(rules.match(fits, noSources, ahead, second), std::nullopt);
  EXPECT_TRUE(ahead.settle(second));
  EXPECT_TRUE(ahead.settle(third));
}

}  // namespace
}  // namespace rozuzed

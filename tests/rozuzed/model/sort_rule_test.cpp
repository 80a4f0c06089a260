#include "rozuzed/model/sort_rule.h"

#include <gtest/gtest.h>

#include "rozuzed/model/sort_error.h"
#include "rozuzed/testing/equality_table.h"

namespace rozuzed {
namespace {

SortRule rule(std::string id, int64_t priority = 100, bool enabled = true) {
  return SortRule{.id = id,
                  .name = "Rule " + id,
                  .isEnabled = enabled,
                  .priority = priority,
                  .match = MatchCriteria::fileExtension({"pdf"}),
                  .destination = Destination::relative(DestinationRoot::sourceFolder, id)};
}

std::vector<std::string> ids(const std::vector<SortRule>& rules) {
  std::vector<std::string> out;
  for (const auto& r : rules) out.push_back(r.id);
  return out;
}

TEST(RuleSetTest, EvaluationOrderIsPriorityThenFilePosition) {
  RuleSet set{.rules = {rule("r1", 100), rule("r2", 50), rule("r3", 100), rule("r4", -5)}};
  EXPECT_EQ(ids(set.evaluationOrder()), (std::vector<std::string>{"r4", "r2", "r1", "r3"}));

  RuleSet extremes{.rules = {rule("max", INT64_MAX), rule("min", INT64_MIN), rule("zero", 0),
                             rule("min2", INT64_MIN)}};
  EXPECT_EQ(ids(extremes.evaluationOrder()),
            (std::vector<std::string>{"min", "min2", "zero", "max"}));

  // Many equal priorities keep their file order whatever the sort does.
  RuleSet many;
  for (int i = 0; i < 100; ++i) many.rules.push_back(rule(std::to_string(i), i % 3));
  auto ordered = many.evaluationOrder();
  for (std::size_t i = 1; i < ordered.size(); ++i) {
    const auto& a = ordered[i - 1];
    const auto& b = ordered[i];
    EXPECT_TRUE(a.priority < b.priority ||
                (a.priority == b.priority && std::stoi(a.id) < std::stoi(b.id)));
  }

  RuleSet disabled{.rules = {rule("a", 1, false), rule("b", 0, false)}};
  EXPECT_EQ(ids(disabled.evaluationOrder()), (std::vector<std::string>{"b", "a"}));
}

TEST(SortRuleTest, ReadsDefaultsAndIgnoresUnknownKeys) {
  const char* base = R"("id":"r","name":"R","match":{"type":"extension","values":["a"]},)"
                     R"("destination":{"path":"A"})";
  for (std::string extra :
       {"", R"(,"enabled":null,"priority":null)", R"(,"isEnabled":false,"comment":"x")"}) {
    SCOPED_TRACE(extra);
    SortRule r = SortRule::fromJson(parseJson("{" + std::string(base) + extra + "}"));
    EXPECT_TRUE(r.isEnabled);
    EXPECT_EQ(r.priority, 100);
  }
  SortRule r =
      SortRule::fromJson(parseJson("{" + std::string(base) + R"(,"enabled":false,"priority":-7})"));
  EXPECT_FALSE(r.isEnabled);
  EXPECT_EQ(r.priority, -7);
}

TEST(SortRuleTest, ReadsKeysInOrderAndStopsAtTheFirstFault) {
  struct Case {
    const char* json;
    const char* message;
  };
  const Case cases[] = {
      {R"({"name":"n","match":{"type":"bogus"}})", "id: missing key"},
      {R"({"id":"r","match":{"type":"bogus"}})", "name: missing key"},
      {R"({"id":"r","name":"n","enabled":"yes"})", "enabled: expected true or false"},
      {R"({"id":"r","name":"n","priority":1.5})", "priority: expected an integer"},
      {R"({"id":"r","name":"n","priority":100.0})", "priority: expected an integer"},
      {R"({"id":"r","name":"n","priority":1e300})", "priority: expected an integer"},
      {R"({"id":"r","name":"n","destination":{"path":"x"}})", "match: missing key"},
      {R"({"id":"r","name":"n","match":"pdf"})", "match: expected an object"},
      {R"({"id":"r","name":"n","match":{"type":"extension"}})", "match.values: missing key"},
      {R"({"id":"r","name":"n","match":{"type":"extension","values":[]}})",
       "destination: missing key"},
      {R"({"id":"r","name":"n","match":{"type":"extension","values":[]},"destination":{}})",
       "destination.path: missing key"},
      {R"({"id":7,"name":"n"})", "id: expected a string"},
      {R"(["r"])", "expected a rule object"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    try {
      SortRule::fromJson(parseJson(c.json));
      FAIL() << "read";
    } catch (const JsonDecodingError& error) {
      EXPECT_EQ(std::string(error.what()), c.message);
    }
  }
  // The match is read before the destination, so its engine error wins.
  try {
    SortRule::fromJson(parseJson(R"({"id":"r","name":"n","match":{"type":"bogus"}})"));
    FAIL() << "read";
  } catch (const SortError& error) {
    EXPECT_EQ(error, SortError::unknownMatchCriteriaType("bogus"));
  }
}

TEST(RuleSetTest, ReadsTheTopLevel) {
  RuleSet empty = RuleSet::fromJson(parseJson(R"({"rules":[],"version":1,"author":"x"})"));
  EXPECT_EQ(empty, RuleSet{});
}

TEST(RuleSetTest, TopLevelFaultsNameTheirPlace) {
  struct Case {
    const char* json;
    const char* message;
  };
  const Case cases[] = {
      {R"({"version":1})", "rules: missing key"},
      {R"({"version":1,"rules":{}})", "rules: expected an array"},
      {R"({"version":"1","rules":[]})", "version: expected an integer"},
      {R"({"version":1,"rules":[{"id":"a","name":"A","match":{"type":"all","of":[7]}}]})",
       "rules[0].match.of[0]: expected an object"},
      {R"({"version":1,"rules":[{"id":"a","name":"A","match":{"type":"all","of":[]},)"
       R"("destination":{"path":"x"}},{"id":"b"}]})",
       "rules[1].name: missing key"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    try {
      RuleSet::fromJson(parseJson(c.json));
      FAIL() << "read";
    } catch (const JsonDecodingError& error) {
      EXPECT_EQ(std::string(error.what()), c.message);
    }
  }
}

TEST(RuleSetTest, WritesEveryKeyAndReadsBackEqual) {
  RuleSet set{.rules = {rule("docs"), rule("late", 300, false)}};
  set.rules[1].destination = Destination::absolute("/srv/late");
  Json written = set.toJson();
  EXPECT_EQ(dumpJson(written.at("rules").at(0)),
            R"({"id":"docs","name":"Rule docs","enabled":true,"priority":100,)"
            R"("match":{"type":"extension","values":["pdf"]},)"
            R"("destination":{"root":"sourceFolder","path":"docs"}})");
  EXPECT_EQ(dumpJson(written).substr(0, 22), R"({"version":1,"rules":[)");
  EXPECT_EQ(RuleSet::fromJson(written), set);
}

TEST(SortRuleTest, EqualityAndHashTakeEveryField) {
  const SortRule base = rule("a");
  auto with = [&](auto change) { return testing::changed(base, change); };
  testing::expectDistinctValuesAndHashes<SortRule>({
      {"base", base},
      {"id", with([](SortRule& r) { r.id = "b"; })},
      {"name", with([](SortRule& r) { r.name = "other"; })},
      {"isEnabled", with([](SortRule& r) { r.isEnabled = false; })},
      {"priority", with([](SortRule& r) { r.priority = 99; })},
      {"match", with([](SortRule& r) { r.match = MatchCriteria::fileExtension({"png"}); })},
      {"destination", with([](SortRule& r) { r.destination = Destination::absolute("/a"); })},
  });
  // Canonically equivalent spellings of the id and the name are the same.
  testing::expectEqualWithEqualHashes(with([](SortRule& r) { r.name = "caf\u00e9"; }),
                                      with([](SortRule& r) { r.name = "cafe\u0301"; }));
  testing::expectEqualWithEqualHashes(with([](SortRule& r) { r.id = "caf\u00e9"; }),
                                      with([](SortRule& r) { r.id = "cafe\u0301"; }));
}

TEST(RuleSetTest, EqualityAndHashTakeTheVersionAndTheRulesInOrder) {
  testing::expectDistinctValuesAndHashes<RuleSet>({
      {"base", RuleSet{.rules = {rule("a"), rule("b")}}},
      {"reordered", RuleSet{.rules = {rule("b"), rule("a")}}},
      {"a rule fewer", RuleSet{.rules = {rule("a")}}},
      {"a rule changed", RuleSet{.rules = {rule("a"), rule("b", 99)}}},
      {"version", RuleSet{.version = 2, .rules = {rule("a"), rule("b")}}},
  });
}

}  // namespace
}  // namespace rozuzed

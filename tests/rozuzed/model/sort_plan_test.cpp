#include "rozuzed/model/sort_plan.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "rozuzed/model/plan_coding.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/testing/equality_table.h"

namespace rozuzed {
namespace {

const Uuid kPlanID = *Uuid::parse("6F1C2A9E-4B3D-4E8F-9A1B-2C3D4E5F6A7B");
const Uuid kMoveID = *Uuid::parse("0b9e8d7c-6a5f-4e3d-8c2b-1a0f9e8d7c6b");
const std::string kHash(64, 'a');

// Invoice.pdf goes to Documents/Invoices, where its name is taken; a hidden
// file stays.
SortPlan invoicePlan() {
  SortPlan plan;
  plan.id = kPlanID;
  plan.createdAt = 1718000000.123456;
  plan.sourceDirectory = FileURL::fromPath("/Users/me/Downloads", true);
  plan.ruleSetHash = kHash;
  PlannedMove move;
  move.id = kMoveID;
  move.planSequence = 0;
  move.source = FileURL::fromPath("/Users/me/Downloads/Invoice.pdf");
  move.destinationDirectory = FileURL::fromPath("/Users/me/Documents/Invoices", true);
  move.destinationURL = FileURL::fromPath("/Users/me/Documents/Invoices/Invoice 2.pdf");
  move.collisionSuffix = 2;
  move.matchedRuleID = "invoices";
  move.matchedRuleName = "Invoices";
  move.fingerprint = {734, 1717990000.5};
  move.strategy = MoveStrategy::sameVolumeMove;
  plan.moves.push_back(move);
  plan.skipped.push_back(
      {FileURL::fromPath("/Users/me/Downloads/.notes.txt"), SkipReason::isHidden()});
  return plan;
}

std::vector<std::string> keysOf(const Json& object) {
  std::vector<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.push_back(it.key());
  return keys;
}

TEST(SortPlanTest, PayloadLayoutKeyForKey) {
  std::string text = PlanCoding::encode(invoicePlan());
  EXPECT_EQ(text.find_first_of(" \n"), std::string::npos) << "compact output";
  Json payload = parseJson(text);
  using Keys = std::vector<std::string>;
  EXPECT_EQ(keysOf(payload), (Keys{"version", "id", "createdAt", "sourceDirectory", "ruleSetHash",
                                   "moves", "skipped"}));
  EXPECT_EQ(payload["version"], 1);
  EXPECT_EQ(payload["id"], "6F1C2A9E-4B3D-4E8F-9A1B-2C3D4E5F6A7B");
  EXPECT_EQ(payload["createdAt"], 1718000000.123456);
  EXPECT_EQ(payload["sourceDirectory"], "file:///Users/me/Downloads/");
  EXPECT_EQ(payload["ruleSetHash"], kHash);

  const Json& move = payload["moves"].at(0);
  EXPECT_EQ(keysOf(move), (Keys{"id", "planSequence", "source", "destinationDirectory",
                                "destinationURL", "collisionSuffix", "matchedRuleID",
                                "matchedRuleName", "fingerprint", "strategy"}));
  EXPECT_EQ(move["id"], "0B9E8D7C-6A5F-4E3D-8C2B-1A0F9E8D7C6B");
  EXPECT_EQ(move["planSequence"], 0);
  EXPECT_EQ(move["source"], "file:///Users/me/Downloads/Invoice.pdf");
  EXPECT_EQ(move["destinationDirectory"], "file:///Users/me/Documents/Invoices/");
  EXPECT_EQ(move["destinationURL"], "file:///Users/me/Documents/Invoices/Invoice%202.pdf");
  EXPECT_EQ(move["collisionSuffix"], 2);
  EXPECT_EQ(move["matchedRuleID"], "invoices");
  EXPECT_EQ(move["matchedRuleName"], "Invoices");
  EXPECT_EQ(keysOf(move["fingerprint"]), (Keys{"size", "modificationDate"}));
  EXPECT_EQ(move["fingerprint"]["size"], 734);
  EXPECT_EQ(move["fingerprint"]["modificationDate"], 1717990000.5);
  EXPECT_EQ(move["strategy"], "sameVolumeMove");

  const Json& skipped = payload["skipped"].at(0);
  EXPECT_EQ(keysOf(skipped), (Keys{"url", "reason"}));
  EXPECT_EQ(skipped["url"], "file:///Users/me/Downloads/.notes.txt");
  EXPECT_EQ(dumpJson(skipped["reason"]), R"({"isHidden":{}})");

  SortPlan back = PlanCoding::decode<SortPlan>(text);
  EXPECT_EQ(back, invoicePlan());
  EXPECT_EQ(back.hash(), invoicePlan().hash());
  EXPECT_EQ(PlanCoding::encode(back), text);
}

// Stored plans are read by older and newer builds alike: the text is
// pinned to the byte, escapes, percent-encoding and number spelling
// included.
TEST(SortPlanTest, PayloadTextToTheByte) {
  SortPlan plan = invoicePlan();
  PlannedMove odd = plan.moves.front();
  odd.id = kPlanID;
  odd.planSequence = 1;
  odd.source = FileURL::fromPath("/Users/me/Downloads/Caf\xC3\xA9 \"draft\"\t#1%.pdf");
  odd.destinationURL = FileURL::fromPath("/Users/me/Documents/Invoices/[a]?b<c>.pdf");
  odd.collisionSuffix.reset();
  odd.matchedRuleName = "Q\"\\\x01\x1f/\xC3\xA9\n";
  odd.fingerprint = {0, 1600000000.0};
  odd.strategy = MoveStrategy::crossVolumeCopyVerifyTrash;
  plan.moves.push_back(odd);
  plan.skipped.push_back(
      {FileURL::fromPath("/Users/me/Downloads/new", true), SkipReason::recentlyModified(0.25)});
  EXPECT_EQ(
      PlanCoding::encode(plan),
      std::string_view(
          R"x({"version":1,"id":"6F1C2A9E-4B3D-4E8F-9A1B-2C3D4E5F6A7B","createdAt":1718000000.123456,"sourceDirectory":"file:///Users/me/Downloads/","ruleSetHash":"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",)x"
          R"x("moves":[{"id":"0B9E8D7C-6A5F-4E3D-8C2B-1A0F9E8D7C6B","planSequence":0,"source":"file:///Users/me/Downloads/Invoice.pdf","destinationDirectory":"file:///Users/me/Documents/Invoices/","destinationURL":"file:///Users/me/Documents/Invoices/Invoice%202.pdf","collisionSuffix":2,"matchedRuleID":"invoices","matchedRuleName":"Invoices","fingerprint":{"size":734,"modificationDate":1717990000.5},"strategy":"sameVolumeMove")x"
          R"x(},{"id":"6F1C2A9E-4B3D-4E8F-9A1B-2C3D4E5F6A7B","planSequence":1,"source":"file:///Users/me/Downloads/Caf%C3%A9%20%22draft%22%09%231%25.pdf","destinationDirectory":"file:///Users/me/Documents/Invoices/","destinationURL":"file:///Users/me/Documents/Invoices/%5Ba%5D%3Fb%3Cc%3E.pdf","matchedRuleID":"invoices","matchedRuleName":"Q\"\\\u0001\u001f/)x"
          "\xC3\xA9"
          R"x(\n","fingerprint":{"size":0,"modificationDate":1600000000.0},"strategy":"crossVolumeCopyVerifyTrash"}],)x"
          R"x("skipped":[{"url":"file:///Users/me/Downloads/.notes.txt","reason":{"isHidden":{}}},{"url":"file:///Users/me/Downloads/new/","reason":{"recentlyModified":{"secondsAgo":0.25}}}]})x"));
}

TEST(SortPlanTest, ReadsBackEveryValueExactly) {
  SortPlan plan = invoicePlan();
  plan.createdAt = 0.1 + 0.2;
  plan.sourceDirectory = FileURL::fromPath("/home/ü/a b%c#?", true);
  PlannedMove second = plan.moves[0];
  second.id = Uuid::random();
  second.planSequence = 7;
  second.collisionSuffix.reset();
  second.fingerprint = {0, kDistantPast};
  second.strategy = MoveStrategy::crossVolumeCopyVerifyTrash;
  plan.moves.push_back(second);
  plan.skipped.push_back({FileURL::fromPath("/x/y.part"), SkipReason::recentlyModified(1.0 / 3)});
  plan.skipped.push_back(
      {FileURL::fromPath("/x/Pkg.app/", true), SkipReason::isPackage(std::nullopt)});

  std::string text = PlanCoding::encode(plan);
  SortPlan back = PlanCoding::decode<SortPlan>(text);
  EXPECT_EQ(back, plan);
  EXPECT_EQ(back.createdAt, 0.1 + 0.2);
  EXPECT_EQ(back.sourceDirectory.path(), "/home/ü/a b%c#?");
  EXPECT_FALSE(back.moves[1].collisionSuffix);
  EXPECT_EQ(parseJson(text)["moves"][1].count("collisionSuffix"), 0u);
}

TEST(SortPlanTest, VersionRule) {
  Json payload = invoicePlan().toJson();

  payload.erase("version");
  EXPECT_EQ(SortPlan::fromJson(payload).version, 1);
  payload["version"] = nullptr;
  EXPECT_EQ(SortPlan::fromJson(payload).version, 1);

  payload["version"] = 0;
  SortPlan zero = SortPlan::fromJson(payload);
  EXPECT_EQ(zero.version, 0);
  EXPECT_EQ(zero.toJson()["version"], 0);
  payload["version"] = -3;
  EXPECT_EQ(SortPlan::fromJson(payload).version, -3);

  for (const std::string& text : {dumpJson(Json{{"version", 2}}), dumpJson([] {
                                    Json p = invoicePlan().toJson();
                                    p["version"] = 2;
                                    return p;
                                  }())}) {
    try {
      PlanCoding::decode<SortPlan>(text);
      ADD_FAILURE() << "read";
    } catch (const SortError& error) {
      EXPECT_EQ(error.errorCase(), SortError::Case::journalUnavailable);
      EXPECT_EQ(error.text(), "stored plan is version 2; this build understands 1");
      EXPECT_STREQ(error.what(),
                   "Journal unavailable: stored plan is version 2; this build understands 1");
    }
  }
  payload["version"] = "1";
  EXPECT_THROW(SortPlan::fromJson(payload), JsonDecodingError);
  payload["version"] = 1.5;
  EXPECT_THROW(SortPlan::fromJson(payload), JsonDecodingError);

  SortPlan a = invoicePlan();
  SortPlan b = a;
  b.version = 0;
  EXPECT_NE(a, b);
}

TEST(SortPlanTest, OptionalMoveKeys) {
  Json payload = invoicePlan().toJson();
  Json& move = payload["moves"][0];
  move.erase("planSequence");
  move.erase("collisionSuffix");
  move["unknown"] = {{"deep", true}};
  payload["unknown"] = 1;
  payload["skipped"][0]["extra"] = nullptr;
  SortPlan plan = SortPlan::fromJson(payload);
  EXPECT_EQ(plan.moves[0].planSequence, 0);
  EXPECT_FALSE(plan.moves[0].collisionSuffix);
  Json written = plan.toJson()["moves"][0];
  EXPECT_EQ(written["planSequence"], 0);
  EXPECT_EQ(written.count("collisionSuffix"), 0u);

  move["planSequence"] = nullptr;
  move["collisionSuffix"] = nullptr;
  plan = SortPlan::fromJson(payload);
  EXPECT_EQ(plan.moves[0].planSequence, 0);
  EXPECT_FALSE(plan.moves[0].collisionSuffix);
}

TEST(SortPlanTest, EmptyListsAreWrittenAndRequired) {
  SortPlan plan = invoicePlan();
  plan.moves.clear();
  plan.skipped.clear();
  Json payload = parseJson(PlanCoding::encode(plan));
  EXPECT_EQ(dumpJson(payload["moves"]), "[]");
  EXPECT_EQ(dumpJson(payload["skipped"]), "[]");
  EXPECT_EQ(SortPlan::fromJson(payload), plan);
  for (const char* key : {"moves", "skipped"}) {
    Json missing = payload;
    missing.erase(key);
    EXPECT_THROW(SortPlan::fromJson(missing), JsonDecodingError) << key;
  }
}

TEST(SortPlanTest, MalformedPayloadsFailWithTheReadersError) {
  struct Case {
    const char* label;
    std::function<void(Json&)> damage;
  };
  std::vector<Case> cases = {
      {"id missing", [](Json& p) { p.erase("id"); }},
      {"id null", [](Json& p) { p["id"] = nullptr; }},
      {"id not a UUID", [](Json& p) { p["id"] = "6F1C2A9E"; }},
      {"createdAt text", [](Json& p) { p["createdAt"] = "now"; }},
      {"source not a URL", [](Json& p) { p["sourceDirectory"] = "/Users/me"; }},
      {"hash number", [](Json& p) { p["ruleSetHash"] = 1; }},
      {"moves object", [](Json& p) { p["moves"] = Json::object(); }},
      {"move not object", [](Json& p) { p["moves"][0] = 1; }},
      {"strategy case", [](Json& p) { p["moves"][0]["strategy"] = "SameVolumeMove"; }},
      {"strategy missing", [](Json& p) { p["moves"][0].erase("strategy"); }},
      {"suffix fraction", [](Json& p) { p["moves"][0]["collisionSuffix"] = 2.5; }},
      {"fingerprint missing", [](Json& p) { p["moves"][0].erase("fingerprint"); }},
      {"fingerprint size missing", [](Json& p) { p["moves"][0]["fingerprint"].erase("size"); }},
      {"rule name null", [](Json& p) { p["moves"][0]["matchedRuleName"] = nullptr; }},
      {"skipped reason missing", [](Json& p) { p["skipped"][0].erase("reason"); }},
      {"skipped reason bad",
       [](Json& p) {
         p["skipped"][0]["reason"] = {{"isHidden", 1}};
       }},
      {"skipped url http", [](Json& p) { p["skipped"][0]["url"] = "http://x/y"; }},
  };
  for (const auto& c : cases) {
    Json payload = invoicePlan().toJson();
    c.damage(payload);
    EXPECT_THROW(PlanCoding::decode<SortPlan>(dumpJson(payload)), JsonDecodingError) << c.label;
  }
  for (const char* text : {"", "not json", "[]", "null", "{\"version\":1"}) {
    EXPECT_THROW(PlanCoding::decode<SortPlan>(text), JsonDecodingError) << text;
  }
}

// Moves are read as they arrive, before the keys that judge the whole
// payload may have come; the verdict is still the one those keys give.
TEST(SortPlanTest, WhereTheKeysStandChangesNoVerdict) {
  Json plan = invoicePlan().toJson();
  auto reordered = [&](std::vector<std::string> order) {
    std::string text = "{";
    for (const std::string& key : order) {
      if (text.size() > 1) text += ",";
      text += dumpJson(key) + ":" + dumpJson(plan[key]);
    }
    return text + "}";
  };
  const std::vector<std::string> movesFirst = {
      "moves", "skipped", "id", "createdAt", "sourceDirectory", "ruleSetHash", "version"};
  EXPECT_EQ(PlanCoding::decode<SortPlan>(reordered(movesFirst)), invoicePlan());

  plan["moves"][0]["strategy"] = "teleport";
  plan["version"] = 2;
  try {
    PlanCoding::decode<SortPlan>(reordered(movesFirst));
    ADD_FAILURE() << "read";
  } catch (const SortError& error) {
    EXPECT_EQ(error.text(), "stored plan is version 2; this build understands 1");
  }
  plan["version"] = 1;
  plan["id"] = "not an id";
  try {
    PlanCoding::decode<SortPlan>(reordered(movesFirst));
    ADD_FAILURE() << "read";
  } catch (const JsonDecodingError& error) {
    EXPECT_STREQ(error.what(), "id: expected a UUID");
  }

  // A key given twice counts with its later value, moves included.
  Json twice = invoicePlan().toJson();
  std::string text = dumpJson(twice);
  text.insert(1, R"("moves":[1,2,3],)");
  EXPECT_EQ(PlanCoding::decode<SortPlan>(text), invoicePlan());
  text = dumpJson(twice);
  text.insert(text.size() - 1, R"(,"moves":[])");
  EXPECT_TRUE(PlanCoding::decode<SortPlan>(text).moves.empty());
}

TEST(SortPlanTest, StrategyText) {
  for (auto s : {MoveStrategy::sameVolumeMove, MoveStrategy::crossVolumeCopyVerifyTrash}) {
    EXPECT_EQ(moveStrategyFromText(toText(s)), s);
  }
  EXPECT_EQ(toText(MoveStrategy::crossVolumeCopyVerifyTrash), "crossVolumeCopyVerifyTrash");
  EXPECT_FALSE(moveStrategyFromText("samevolumemove"));
  EXPECT_FALSE(moveStrategyFromText(""));
}

TEST(SortPlanTest, NewValuesHaveNewIds) {
  EXPECT_NE(PlannedMove().id, PlannedMove().id);
  EXPECT_NE(SortPlan().id, SortPlan().id);
  EXPECT_EQ(SortPlan().version, SortPlan::currentVersion);
}

TEST(PlannedMoveTest, EqualityAndHashTakeEveryFieldExactly) {
  const PlannedMove base = invoicePlan().moves[0];
  const FileURL elsewhere = FileURL::fromPath("/Users/me/Other");
  auto with = [&](auto change) { return testing::changed(base, change); };
  testing::expectDistinctValuesAndHashes<PlannedMove>({
      {"base", base},
      {"id", with([](PlannedMove& m) { m.id = kPlanID; })},
      {"planSequence", with([](PlannedMove& m) { m.planSequence = 1; })},
      {"source", with([&](PlannedMove& m) { m.source = elsewhere; })},
      {"destinationDirectory", with([&](PlannedMove& m) { m.destinationDirectory = elsewhere; })},
      {"destinationURL", with([&](PlannedMove& m) { m.destinationURL = elsewhere; })},
      {"collisionSuffix", with([](PlannedMove& m) { m.collisionSuffix = 3; })},
      {"no collisionSuffix", with([](PlannedMove& m) { m.collisionSuffix.reset(); })},
      {"matchedRuleID", with([](PlannedMove& m) { m.matchedRuleID = "receipts"; })},
      {"matchedRuleName", with([](PlannedMove& m) { m.matchedRuleName = "Receipts"; })},
      {"fingerprint size", with([](PlannedMove& m) { m.fingerprint.size = 735; })},
      // Fingerprints compare exactly, not within their tolerance.
      {"fingerprint date", with([](PlannedMove& m) { m.fingerprint.modificationDate += 0.0005; })},
      {"strategy",
       with([](PlannedMove& m) { m.strategy = MoveStrategy::crossVolumeCopyVerifyTrash; })},
  });
}

TEST(SkippedFileTest, EqualityAndHashTakeTheUrlAndTheReason) {
  const SkippedFile base{FileURL::fromPath("/a"), SkipReason::metadataUnreadable("x")};
  testing::expectDistinctValuesAndHashes<SkippedFile>({
      {"base", base},
      {"url", {FileURL::fromPath("/b"), base.reason}},
      {"reason", {base.url, SkipReason::metadataUnreadable("y")}},
  });
  testing::expectEqualWithEqualHashes(
      SkippedFile{FileURL::fromPath("/a"), SkipReason::metadataUnreadable("cafe\u0301")},
      SkippedFile{FileURL::fromPath("/a"), SkipReason::metadataUnreadable("caf\u00e9")});
}

TEST(SortPlanTest, EqualityAndHashTakeEveryField) {
  const SortPlan base = invoicePlan();
  auto with = [&](auto change) { return testing::changed(base, change); };
  testing::expectDistinctValuesAndHashes<SortPlan>({
      {"base", base},
      {"version", with([](SortPlan& p) { p.version = 2; })},
      {"id", with([](SortPlan& p) { p.id = kMoveID; })},
      {"createdAt", with([](SortPlan& p) { p.createdAt += 1e-6; })},
      {"sourceDirectory",
       with([](SortPlan& p) { p.sourceDirectory = FileURL::fromPath("/", true); })},
      {"ruleSetHash", with([](SortPlan& p) { p.ruleSetHash = std::string(64, 'b'); })},
      {"a move", with([](SortPlan& p) { p.moves[0].planSequence = 1; })},
      {"no moves", with([](SortPlan& p) { p.moves.clear(); })},
      {"a skipped item",
       with([](SortPlan& p) { p.skipped[0].reason = SkipReason::isDirectory(); })},
      {"nothing skipped", with([](SortPlan& p) { p.skipped.clear(); })},
  });
}

TEST(PlanCodingTest, RefusesWhatJsonCannotHold) {
  SortPlan plan = invoicePlan();
  plan.createdAt = std::numeric_limits<double>::infinity();
  EXPECT_THROW(PlanCoding::encode(plan), JsonEncodingError);
  plan = invoicePlan();
  plan.ruleSetHash = "\xff\xfe";
  EXPECT_THROW(PlanCoding::encode(plan), JsonEncodingError);
  plan = invoicePlan();
  // A name that is not UTF-8 still codes: the URL text is percent-encoded.
  plan.skipped[0].url = FileURL::fromPath("/d/\xff.txt");
  SortPlan back = PlanCoding::decode<SortPlan>(PlanCoding::encode(plan));
  EXPECT_EQ(back.skipped[0].url.path(), "/d/\xff.txt");
}

// A long list of moves is coded in runs on several threads: the text is
// byte for byte the one a move-after-move writing gives, and a move that
// cannot be coded still fails the whole coding.
TEST(PlanCodingTest, ManyMovesCodeAsOneAfterAnother) {
  SortPlan plan = invoicePlan();
  const PlannedMove model = plan.moves.front();
  plan.moves.clear();
  for (int i = 0; i < 5000; ++i) {
    PlannedMove move = model;
    move.id = Uuid::random();
    move.planSequence = i;
    move.source = FileURL::fromPath("/Users/me/Downloads/file " + std::to_string(i) + ".pdf");
    move.fingerprint.size = i;
    plan.moves.push_back(move);
  }
  std::string oneAfterAnother;
  JsonWriter writer([&](std::string_view piece) { oneAfterAnother += piece; });
  writer.beginArray();
  for (const PlannedMove& move : plan.moves) move.write(writer);
  writer.endArray();
  writer.finish();

  const std::string text = PlanCoding::encode(plan);
  EXPECT_NE(text.find("\"moves\":" + oneAfterAnother + ",\"skipped\":"), std::string::npos);
  EXPECT_EQ(PlanCoding::decode<SortPlan>(text), plan);

  plan.moves[3217].matchedRuleName = "\xff";
  EXPECT_THROW(PlanCoding::encode(plan), JsonEncodingError);
}

}  // namespace
}  // namespace rozuzed

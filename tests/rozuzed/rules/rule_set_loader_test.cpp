#include "rozuzed/rules/rule_set_loader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "rozuzed/model/sort_error.h"
#include "rozuzed/rules/rule_engine.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

using testing::TemporaryFolder;
using testing::writeFile;

const FileURL kRulesURL = FileURL::fromPath("/etc/ombrix/rules.json");

std::string ruleFile(const std::string& rules, const std::string& version = "1") {
  return R"({"version":)" + version + R"(,"rules":[)" + rules + "]}";
}

std::string ruleWithMatch(const std::string& match) {
  return R"({"id":"r","name":"R","match":)" + match + R"(,"destination":{"path":"R"}})";
}

std::string nested(int levels) {
  std::string open;
  std::string close;
  for (int i = 1; i < levels; ++i) {
    open += R"({"type":"not","criteria":)";
    close += "}";
  }
  return open + R"({"type":"extension","values":["a"]})" + close;
}

SortError loadFailure(const std::string& bytes, std::optional<FileURL> url = kRulesURL) {
  try {
    RuleSetLoader::load(bytes, url);
  } catch (const SortError& error) {
    return error;
  }
  ADD_FAILURE() << "loaded " << bytes.substr(0, 200);
  return SortError::journalUnavailable("no failure");
}

const std::string kUnreadable = "Could not read rule file at /etc/ombrix/rules.json: ";
const std::string kProbe = kUnreadable + "missing or invalid \"version\": ";

TEST(RuleSetLoaderTest, MalformedFilesFailWithTheirExactMessage) {
  struct Case {
    const char* what;
    std::string bytes;
    std::string message;
  };
  const Case cases[] = {
      {"unknown type", ruleFile(ruleWithMatch(R"({"type":"Extension","values":["a"]})")),
       "Unknown match criteria type \"Extension\""},
      {"missing size key", ruleFile(ruleWithMatch(R"({"type":"largerThan","bites":3})")),
       "Match criteria is missing a required field: bytes/kilobytes/megabytes/gigabytes"},
      {"version 2, rules never read", ruleFile("7", "2"),
       "Rule file is version 2; this build understands version 1"},
      {"version 0", ruleFile("", "0"), "Rule file is version 0; this build understands version 1"},
      {"negative version", ruleFile("", "-3"),
       "Rule file is version -3; this build understands version 1"},
      {"version as a string", ruleFile("", "\"1\""), kProbe + "version: expected an integer"},
      {"version with a fraction", ruleFile("", "1.0"), kProbe + "version: expected an integer"},
      {"version too large for an integer", ruleFile("", "99999999999999999999"),
       kProbe + "version: expected an integer"},
      {"version missing", R"({"rules":[]})", kProbe + "version: missing key"},
      {"version null", R"({"version":null,"rules":[]})", kProbe + "version: expected an integer"},
      {"missing rules", R"({"version":1})", kUnreadable + "rules: missing key"},
      {"rules of the wrong type", R"({"version":1,"rules":"all"})",
       kUnreadable + "rules: expected an array"},
      {"a string where a boolean belongs", ruleFile(R"({"id":"r","name":"R","enabled":"yes"})"),
       kUnreadable + "rules[0].enabled: expected true or false"},
      {"a fraction where an integer belongs", ruleFile(R"({"id":"r","name":"R","priority":1.5})"),
       kUnreadable + "rules[0].priority: expected an integer"},
      {"a fractional byte count", ruleFile(ruleWithMatch(R"({"type":"largerThan","bytes":0.5})")),
       kUnreadable + "rules[0].match.bytes: expected an integer"},
      {"a byte count past 2^63",
       ruleFile(ruleWithMatch(R"({"type":"largerThan","bytes":9223372036854775808})")),
       kUnreadable + "rules[0].match.bytes: integer out of range"},
      {"a unit size past 2^63",
       ruleFile(ruleWithMatch(R"({"type":"smallerThan","gigabytes":1e10})")),
       kUnreadable + "rules[0].match.gigabytes: the size in bytes is out of range"},
      {"an unknown root",
       ruleFile(R"({"id":"r","name":"R","match":{"type":"any","of":[]},)"
                R"("destination":{"root":"Desktop","path":"x"}})"),
       kUnreadable + "rules[0].destination.root: unknown destination root \"Desktop\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(loadFailure(c.bytes).errorDescription(), c.message);
  }
}

TEST(RuleSetLoaderTest, DocumentsThatAreNotJsonFailTheVersionProbe) {
  const std::string cases[] = {
      "",
      " \n\t",
      "[1]",
      R"("version")",
      ruleFile("") + "x",
      R"({"version":1,"rules":[{"id":"a",}]})",  // a syntax error far below the version
      R"({"version":1,"rules":[],"n":1e400})",   // a number no double holds
      "{\"version\":1,\"rules\":[],\"n\":\"\xFF\"}",
      std::string(300, '[') + std::string(300, ']'),
      ruleFile(ruleWithMatch(nested(300))),
  };
  for (const auto& bytes : cases) {
    SCOPED_TRACE(bytes.substr(0, 80));
    SortError error = loadFailure(bytes);
    EXPECT_EQ(error.errorCase(), SortError::Case::ruleFileUnreadable);
    EXPECT_EQ(error.location(), kRulesURL);
    EXPECT_TRUE(error.errorDescription().starts_with(kProbe)) << error.errorDescription();
  }
  EXPECT_NE(loadFailure(ruleFile(ruleWithMatch(nested(300)))).underlying().find("deeper than 256"),
            std::string::npos);
}

TEST(RuleSetLoaderTest, FaultsReadInPlainWords) {
  struct Case {
    std::string bytes;
    std::string message;
  };
  const Case cases[] = {
      {"", kProbe + "syntax error at line 1, column 1: unexpected end of input"},
      {"{\"version\":1,\n\"rules\":[}",
       kProbe + "syntax error at line 2, column 10: unexpected '}'"},
      {R"({"version":1,"rules":[tru]})",
       kProbe + "syntax error at line 1, column 26: invalid literal"},
      {ruleFile("") + "x", kProbe + "syntax error at line 1, column 25: invalid literal"},
      {"{\"version\":1,\"rules\":[],\"n\":\"\xFF\"}",
       kProbe + "syntax error at line 1, column 30: invalid string: ill-formed UTF-8 byte"},
      {R"({"version":1,"rules":[7]})", kUnreadable + "rules[0]: expected a rule object"},
      {R"({"version":1,"rules":[{"id":"a","name":"A","match":{"type":"all","of":[]},)"
       R"("destination":{"path":"x"}},[]]})",
       kUnreadable + "rules[1]: expected a rule object"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    std::string message = loadFailure(c.bytes).errorDescription();
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(message.find("json.exception"), std::string::npos);
  }
}

TEST(RuleSetLoaderTest, ABadPatternComesOutAsItself) {
  SortError error =
      loadFailure(ruleFile(ruleWithMatch(R"({"type":"nameMatches","pattern":"([a-z]"})")));
  EXPECT_EQ(error.errorCase(), SortError::Case::invalidRegularExpression);
  EXPECT_EQ(error.text(), "([a-z]");
  EXPECT_EQ(error.errorDescription(),
            "Invalid regular expression \"([a-z]\": unbalanced parentheses at offset 6");
}

TEST(RuleSetLoaderTest, NamesDataWithoutAFileAfterTheCurrentFolder) {
  SortError error = loadFailure("{}", std::nullopt);
  EXPECT_EQ(error.location(),
            FileURL::fromPath(std::filesystem::current_path().string() + "/<data>"));
}

TEST(RuleSetLoaderTest, DeepButBoundedNestingLoadsAndEvaluates) {
  LoadedRuleSet loaded = RuleSetLoader::load(ruleFile(ruleWithMatch(nested(250))), std::nullopt);
  ASSERT_EQ(loaded.ruleSet.rules.size(), 1u);
  EXPECT_EQ(loaded.ruleSet.rules[0].match.depth(), 250);
  RuleEngine engine(loaded);
  // 249 negations of "extension a": an odd count, so the condition is false
  // for a.a and true for anything else.
  EXPECT_FALSE(engine.match(FileMetadata(FileURL::fromPath("/x/f.a"))).has_value());
  EXPECT_TRUE(engine.match(FileMetadata(FileURL::fromPath("/x/f.b"))).has_value());
}

TEST(RuleSetLoaderTest, HashesTheExactBytes) {
  std::string bytes = R"({"version":1,"rules":[]})";
  LoadedRuleSet first = RuleSetLoader::load(bytes, kRulesURL);
  EXPECT_EQ(first.sourceHash, "6be6bac38f2d35217ca3cd98e36322f9e8fb6638564f5a87ff660589f6302103");
  EXPECT_EQ(first.sourceURL, kRulesURL);
  EXPECT_EQ(RuleSetLoader::load(bytes, kRulesURL), first);

  LoadedRuleSet spaced = RuleSetLoader::load(bytes + " ", kRulesURL);
  EXPECT_EQ(spaced.ruleSet, first.ruleSet);
  EXPECT_NE(spaced.sourceHash, first.sourceHash);
}

TEST(RuleSetLoaderTest, LoadsFilesAndRefusesWhatIsNotOne) {
  TemporaryFolder folder;
  std::string bytes = ruleFile(ruleWithMatch(R"({"type":"extension","values":[".PDF"]})"));
  writeFile(folder / "rules.json", bytes);
  FileURL url = FileURL::fromPath(folder / "rules.json");
  LoadedRuleSet loaded = RuleSetLoader::load(url);
  EXPECT_EQ(loaded.sourceURL, url);
  EXPECT_EQ(loaded, RuleSetLoader::load(bytes, url));
  EXPECT_EQ(loaded.ruleSet.rules.at(0).match.extensions(), std::vector<std::string>{"pdf"});

  FileURL missing = FileURL::fromPath(folder / "missing.json");
  EXPECT_EQ(loadFailure("", missing).location(), missing);
  try {
    RuleSetLoader::load(missing);
    FAIL() << "loaded";
  } catch (const SortError& error) {
    EXPECT_EQ(error, SortError::ruleFileUnreadable(missing, "No such file or directory"));
  }
  try {
    RuleSetLoader::load(folder.url());
    FAIL() << "loaded";
  } catch (const SortError& error) {
    EXPECT_EQ(error, SortError::ruleFileUnreadable(folder.url(), "Is a directory"));
  }
  // Nobody writes to this FIFO; reading it must not wait for a writer.
  ASSERT_EQ(::mkfifo((folder / "fifo.json").c_str(), 0600), 0);
  FileURL fifo = FileURL::fromPath(folder / "fifo.json");
  try {
    RuleSetLoader::load(fifo);
    FAIL() << "loaded";
  } catch (const SortError& error) {
    EXPECT_EQ(error, SortError::ruleFileUnreadable(fifo, "not a regular file"));
  }
}

TEST(RuleSetLoaderTest, ValidationIsLeftToTheEngine) {
  LoadedRuleSet loaded = RuleSetLoader::load(
      ruleFile(R"({"id":"","name":"","match":{"type":"all","of":[]},"destination":{"path":""}})"),
      std::nullopt);
  EXPECT_EQ(loaded.ruleSet.rules.size(), 1u);
  EXPECT_THROW(RuleEngine{loaded}, SortError);
}

}  // namespace
}  // namespace rozuzed

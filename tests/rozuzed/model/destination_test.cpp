#include "rozuzed/model/destination.h"

#include <gtest/gtest.h>

#include "rozuzed/testing/equality_table.h"

namespace rozuzed {
namespace {

TEST(DestinationRootTest, TextValuesRoundTripExactly) {
  for (DestinationRoot root : kAllDestinationRoots) {
    EXPECT_EQ(destinationRootFromRawValue(rawValue(root)), root);
  }
  EXPECT_EQ(rawValue(DestinationRoot::sourceFolder), "sourceFolder");
  EXPECT_EQ(destinationRootFromRawValue("Downloads"), std::nullopt);
  EXPECT_EQ(destinationRootFromRawValue("desktop"), std::nullopt);
  EXPECT_EQ(destinationRootFromRawValue(" home"), std::nullopt);
}

TEST(DestinationTest, DescriptionKeepsThePathAsWritten) {
  EXPECT_EQ(Destination::relative(DestinationRoot::downloads, "Installers").description(),
            "downloads/Installers");
  EXPECT_EQ(Destination::relative(DestinationRoot::home, "").description(), "home/");
  EXPECT_EQ(Destination::relative(DestinationRoot::sourceFolder, "Screenshots").description(),
            "sourceFolder/Screenshots");
  EXPECT_EQ(Destination::absolute("relative/x").description(), "relative/x");
}

TEST(DestinationTest, EqualityAndHashNeedTheSameCaseRootAndPath) {
  testing::expectDistinctValuesAndHashes<Destination>({
      {"home/a", Destination::relative(DestinationRoot::home, "a")},
      {"absolute a", Destination::absolute("a")},
      {"documents/a", Destination::relative(DestinationRoot::documents, "a")},
      {"home/A", Destination::relative(DestinationRoot::home, "A")},
  });
  // Composed and decomposed spellings of the same name are one path.
  testing::expectEqualWithEqualHashes(Destination::relative(DestinationRoot::home, "Caf\xC3\xA9"),
                                      Destination::relative(DestinationRoot::home, "Cafe\xCC\x81"));
}

struct ReadCase {
  const char* json;
  Destination expected;
};

TEST(DestinationTest, ReadsEveryAcceptedForm) {
  const ReadCase cases[] = {
      {R"({"path":"Invoices"})", Destination::relative(DestinationRoot::sourceFolder, "Invoices")},
      {R"({"root":null,"path":"x"})", Destination::relative(DestinationRoot::sourceFolder, "x")},
      {R"({"root":"downloads","path":"My Files/inner"})",
       Destination::relative(DestinationRoot::downloads, "My Files/inner")},
      {R"({"absolute":"/srv/x","root":"home","path":5})", Destination::absolute("/srv/x")},
      {R"({"absolute":null,"path":"y"})",
       Destination::relative(DestinationRoot::sourceFolder, "y")},
      {R"({"path":""})", Destination::relative(DestinationRoot::sourceFolder, "")},
      {R"({"absolute":"not/absolute"})", Destination::absolute("not/absolute")},
      {R"({"Root":"home","path":"z"})", Destination::relative(DestinationRoot::sourceFolder, "z")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    EXPECT_EQ(Destination::fromJson(parseJson(c.json)), c.expected);
  }
}

TEST(DestinationTest, RefusesMalformedObjects) {
  const char* cases[] = {
      R"({"root":"Downloads","path":"x"})",  // letter case matters
      R"({"root":"desktop","path":"x"})",
      R"({"root":"home"})",
      R"({})",
      R"({"path":null})",
      R"({"path":3})",
      R"({"absolute":7})",
      R"({"root":1,"path":"x"})",
      R"("downloads")",
  };
  for (const char* json : cases) {
    SCOPED_TRACE(json);
    EXPECT_THROW(Destination::fromJson(parseJson(json)), JsonDecodingError);
  }
}

TEST(DestinationTest, WritesRootAlwaysAndReadsBackEqual) {
  auto relative = Destination::relative(DestinationRoot::sourceFolder, "Invoices");
  EXPECT_EQ(dumpJson(relative.toJson()), R"({"root":"sourceFolder","path":"Invoices"})");
  auto absolute = Destination::absolute("/mnt/archive");
  EXPECT_EQ(dumpJson(absolute.toJson()), R"({"absolute":"/mnt/archive"})");
  for (const auto& d : {relative, absolute, Destination::relative(DestinationRoot::music, "")}) {
    EXPECT_EQ(Destination::fromJson(d.toJson()), d);
  }
}

}  // namespace
}  // namespace rozuzed

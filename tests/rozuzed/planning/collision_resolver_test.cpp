#include "rozuzed/planning/collision_resolver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/unicode.h"
#include "rozuzed/testing/in_memory_file_system.h"

namespace rozuzed {
namespace {

using testing::InMemoryFileSystem;

const FileURL kFolder = FileURL::fromPath("/dest", true);

TEST(CollisionResolverTest, FreeNameIsKeptAndClaimed) {
  InMemoryFileSystem fs;
  CollisionResolver resolver(fs);
  auto r = resolver.resolve("report.pdf", kFolder);
  EXPECT_EQ(r.url, kFolder.appendingPathComponent("report.pdf"));
  EXPECT_FALSE(r.suffix);
  EXPECT_EQ(resolver.claimed().count("/dest/report.pdf"), 1u);
}

TEST(CollisionResolverTest, NumberedNamesForTakenNames) {
  struct Case {
    const char* wanted;
    std::vector<const char*> taken;
    const char* expected;
    int64_t suffix;
  };
  std::vector<Case> cases = {
      {"report.pdf", {"report.pdf"}, "report 2.pdf", 2},
      {"report.pdf", {"report.pdf", "report 2.pdf"}, "report 3.pdf", 3},
      {"archive.tar.gz", {"archive.tar.gz"}, "archive.tar 2.gz", 2},
      {".scratch.tiff", {".scratch.tiff"}, ".scratch 2.tiff", 2},
      {"scratch..tiff", {"scratch..tiff"}, "scratch. 2.tiff", 2},
      {"README", {"README"}, "README 2", 2},
      {".profile", {".profile"}, ".profile 2", 2},
      {"a folder", {"a folder/inside"}, "a folder 2", 2},
  };
  for (const auto& c : cases) {
    InMemoryFileSystem fs;
    for (const char* name : c.taken) fs.addFile(std::string("/dest/") + name);
    CollisionResolver resolver(fs);
    auto r = resolver.resolve(c.wanted, kFolder);
    EXPECT_EQ(r.url.lastPathComponent(), c.expected) << c.wanted;
    EXPECT_EQ(r.suffix, c.suffix) << c.wanted;
  }
}

TEST(CollisionResolverTest, ClaimedNamesAreTurnedAwayWithoutTouchingTheDisk) {
  InMemoryFileSystem fs;
  CollisionResolver resolver(fs);
  EXPECT_EQ(resolver.resolve("a.txt", kFolder).url.lastPathComponent(), "a.txt");
  fs.clearCalls();
  auto second = resolver.resolve("a.txt", kFolder);
  EXPECT_EQ(second.url.lastPathComponent(), "a 2.txt");
  EXPECT_EQ(second.suffix, 2);
  ASSERT_EQ(fs.calls(InMemoryFileSystem::Operation::fileExists).size(), 1u);
  EXPECT_EQ(fs.calls()[0].url.lastPathComponent(), "a 2.txt");

  // Keys are lower-cased and standardized.
  EXPECT_EQ(resolver.resolve("Photo.JPG", kFolder).url.lastPathComponent(), "Photo.JPG");
  EXPECT_EQ(
      resolver.resolve("photo.jpg", FileURL::fromPath("/x/../dest/", true)).url.lastPathComponent(),
      "photo 2.jpg");
}

TEST(CollisionResolverTest, InAMissingFolderOnlyItsOwnClaimsAreAvoided) {
  InMemoryFileSystem fs;
  // The caller's word counts: nothing is asked of the disk.
  fs.addFile("/dest/a.txt");
  CollisionResolver resolver(fs);
  fs.clearCalls();
  auto first = resolver.resolveInMissingFolder("a.txt", kFolder);
  auto second = resolver.resolveInMissingFolder("A.TXT", kFolder);
  EXPECT_EQ(first.url.path(), "/dest/a.txt");
  EXPECT_FALSE(first.suffix);
  EXPECT_EQ(second.url.path(), "/dest/A 2.TXT");
  EXPECT_EQ(second.suffix, 2);
  EXPECT_TRUE(fs.calls().empty());
  // Both ways share one set of claims.
  EXPECT_EQ(resolver.resolve("a.txt", kFolder).url.path(), "/dest/a 3.txt");
}

TEST(CollisionResolverTest, ClaimsAreThePathKeysOfTheDestinations) {
  struct Case {
    const char* folder;
    const char* name;
  };
  InMemoryFileSystem fs;
  CollisionResolver resolver(fs);
  for (const Case& c : {
           Case{"/dest", "Report.PDF"},
           Case{"/", "Top.txt"},
           Case{"/a/./b/../Dest", "x.txt"},
           Case{"/Ünïcode/ΟΔΟΣ", "Plain.TXT"},
           Case{"/ΑΣ", "'Quoted'.txt"},
           Case{"/dest", "Ärger.txt"},
           Case{"/dest", "ΣΑΣ.txt"},
       }) {
    auto r = resolver.resolve(c.name, FileURL::fromPath(c.folder, true));
    EXPECT_EQ(resolver.claimed().count(pathKey(r.url)), 1u) << c.folder << " " << c.name;
  }
  EXPECT_EQ(resolver.claimed().size(), 7u);
  // Another spelling of a folder is the same folder.
  for (const Case& c : {
           Case{"/DEST", "report.pdf"},
           Case{"/a/DEST/", "X.TXT"},
           Case{"/ünïcode/οδος/", "plain.txt"},
           Case{"/ας", "'quoted'.TXT"},
       }) {
    EXPECT_EQ(resolver.resolve(c.name, FileURL::fromPath(c.folder, true)).suffix, 2)
        << c.folder << " " << c.name;
  }
}

TEST(CollisionResolverTest, ManyAndLongClaimsAreAllKept) {
  InMemoryFileSystem fs;
  CollisionResolver resolver(fs);
  const FileURL deep = FileURL::fromPath("/" + std::string(70000, 'd'), true);
  std::vector<std::string> names;
  for (int i = 0; i < 3000; ++i)
    names.push_back("a rather long file name " + std::to_string(i) + ".txt");
  // Enough keys to fill several blocks, and a few longer than a block.
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_FALSE(resolver.resolve(names[i], kFolder).suffix);
    if (i % 1000 == 0) {
      EXPECT_FALSE(resolver.resolve(names[i], deep).suffix);
    }
  }
  EXPECT_EQ(resolver.claimed().size(), names.size() + 3);
  for (const std::string& name : names) {
    EXPECT_EQ(resolver.claimed().count("/dest/" + name), 1u) << name;
  }
  EXPECT_EQ(resolver.claimed().count("/dest/a rather long file name 3000.txt"), 0u);
  EXPECT_EQ(resolver.resolve(names.front(), deep).suffix, 2);
  EXPECT_EQ(resolver.resolve(names.back(), kFolder).suffix, 2);
}

TEST(CollisionResolverTest, DiskHitsAreNotClaimedAndLinksAreFollowed) {
  InMemoryFileSystem fs;
  fs.addFile("/dest/a.txt");
  fs.addSymbolicLink("/dest/gone.txt", "/nowhere/at/all");
  fs.addSymbolicLink("/dest/link.txt", "/dest/a.txt");
  CollisionResolver resolver(fs);
  EXPECT_EQ(resolver.resolve("gone.txt", kFolder).suffix, std::nullopt);
  EXPECT_EQ(resolver.resolve("link.txt", kFolder).suffix, 2);
  resolver.resolve("a.txt", kFolder);
  EXPECT_EQ(resolver.claimed().count("/dest/a.txt"), 0u);
  EXPECT_EQ(resolver.claimed().count("/dest/a 2.txt"), 1u);
}

TEST(CollisionResolverTest, NumberedNamesStayWithinTheLengthLimit) {
  std::string base251(251, 'a');
  auto two = CollisionResolver::name(base251, 2, "txt");
  ASSERT_TRUE(two);
  EXPECT_EQ(CollisionResolver::nameLength(*two), 255u);
  EXPECT_EQ(*two, std::string(249, 'a') + " 2.txt");
  EXPECT_EQ(*CollisionResolver::name(base251, 10, "txt"), std::string(248, 'a') + " 10.txt");
  EXPECT_EQ(*CollisionResolver::name("a", 1000, ""), "a 1000");

  // A precomposed letter counts two units; a letter with its marks or an
  // emoji with its modifier goes as one.
  EXPECT_EQ(CollisionResolver::nameLength("\u00e9"), 2u);
  EXPECT_EQ(CollisionResolver::nameLength("\U0001F600"), 2u);
  // U+0390 decomposes into three units but takes two bytes, so here the unit
  // count alone is over the limit.
  std::string greek = std::string(245, 'a') + "\u0390\u0390";
  EXPECT_EQ(*CollisionResolver::name(greek, 2, "txt"), std::string(245, 'a') + "\u0390 2.txt");
  std::string accented = std::string(248, 'a') + "e\u0301";
  EXPECT_EQ(*CollisionResolver::name(accented, 2, "txt"), std::string(248, 'a') + " 2.txt");
  std::string thumbs = std::string(246, 'a') + "\U0001F44D\U0001F3FD";
  EXPECT_EQ(*CollisionResolver::name(thumbs, 2, "txt"), std::string(246, 'a') + " 2.txt");

  // A tail that leaves no room for any base.
  EXPECT_TRUE(CollisionResolver::name("a", 2, std::string(251, 'x')));
  EXPECT_FALSE(CollisionResolver::name("a", 2, std::string(252, 'x')));
  EXPECT_FALSE(CollisionResolver::name("", 2, "txt"));
}

TEST(CollisionResolverTest, NumberedNamesStayWithin255Bytes) {
  // 100 CJK characters: 100 units but 300 bytes, over Linux's limit of 255.
  std::string base;
  for (int i = 0; i < 100; ++i) base += "\u6587";
  auto numbered = CollisionResolver::name(base, 2, "txt");
  ASSERT_TRUE(numbered);
  EXPECT_LE(numbered->size(), 255u);
  EXPECT_EQ(numbered->size(), 255u);  // 83 characters of 3 bytes, then " 2.txt"
  EXPECT_TRUE(isValidUtf8(*numbered));
  EXPECT_EQ(numbered->substr(numbered->size() - 6), " 2.txt");

  // Emoji with a modifier: 8 bytes per character, cut whole.
  std::string waves;
  for (int i = 0; i < 40; ++i) waves += "\U0001F44B\U0001F3FF";
  auto cut = CollisionResolver::name(waves, 12, "jpeg");
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->size(), 30 * 8 + std::string(" 12.jpeg").size());
  EXPECT_TRUE(isValidUtf8(*cut));
}

TEST(CollisionResolverTest, LongNames) {
  InMemoryFileSystem fs;
  std::string free300(296, 'b');
  free300 += ".txt";
  CollisionResolver resolver(fs);
  auto r = resolver.resolve(free300, kFolder);
  EXPECT_EQ(r.url.lastPathComponent(), free300) << "the unchanged name is not measured";

  std::string taken = std::string(251, 'c') + ".txt";
  fs.addFile("/dest/" + taken);
  auto numbered = resolver.resolve(taken, kFolder);
  EXPECT_EQ(numbered.url.lastPathComponent(), std::string(249, 'c') + " 2.txt");
}

TEST(CollisionResolverTest, Unresolvable) {
  {
    InMemoryFileSystem fs;
    std::string longExt = "a." + std::string(252, 'x');
    fs.addFile("/dest/" + longExt);
    CollisionResolver resolver(fs);
    try {
      resolver.resolve(longExt, kFolder);
      ADD_FAILURE() << "resolved";
    } catch (const SortError& error) {
      EXPECT_EQ(error.errorCase(), SortError::Case::collisionUnresolvable);
      EXPECT_EQ(error.attempts(), 1000);
      EXPECT_EQ(error.location(), kFolder.appendingPathComponent(longExt));
    }
    EXPECT_TRUE(resolver.claimed().empty());
  }
  InMemoryFileSystem fs;
  fs.addFile("/dest/x.txt");
  for (int n = 2; n <= 1000; ++n) fs.addFile("/dest/x " + std::to_string(n) + ".txt");
  CollisionResolver resolver(fs);
  resolver.resolve("other.txt", kFolder);
  try {
    resolver.resolve("x.txt", kFolder);
    ADD_FAILURE() << "resolved";
  } catch (const SortError& error) {
    EXPECT_EQ(error.location(), kFolder.appendingPathComponent("x.txt"));
    EXPECT_EQ(error.attempts(), 1000);
    EXPECT_STREQ(error.what(), "Could not find a free name for x.txt after 1000 attempts");
  }
  EXPECT_EQ(resolver.claimed().size(), 1u);
}

}  // namespace
}  // namespace rozuzed

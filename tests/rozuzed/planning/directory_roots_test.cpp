#include "rozuzed/planning/directory_roots.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "rozuzed/testing/equality_table.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

using testing::ScopedEnvironment;

TEST(DirectoryRootsTest, StandardFoldersBelowHome) {
  DirectoryRoots roots(FileURL::fromPath("/Users/a", true));
  EXPECT_EQ(roots.home.absoluteString(), "file:///Users/a/");
  EXPECT_EQ(roots.documents.absoluteString(), "file:///Users/a/Documents/");
  EXPECT_EQ(roots.pictures.absoluteString(), "file:///Users/a/Pictures/");
  EXPECT_EQ(roots.downloads.absoluteString(), "file:///Users/a/Downloads/");
  EXPECT_EQ(roots.movies.absoluteString(), "file:///Users/a/Movies/");
  EXPECT_EQ(roots.music.absoluteString(), "file:///Users/a/Music/");

  FileURL unstandardized = FileURL::fromPath("/x/./y/../z");
  EXPECT_EQ(roots.url(DestinationRoot::sourceFolder, unstandardized), unstandardized);
  EXPECT_EQ(roots.url(DestinationRoot::home, unstandardized), roots.home);
  EXPECT_EQ(roots.url(DestinationRoot::documents, unstandardized), roots.documents);
  EXPECT_EQ(roots.url(DestinationRoot::pictures, unstandardized), roots.pictures);
  EXPECT_EQ(roots.url(DestinationRoot::downloads, unstandardized), roots.downloads);
  EXPECT_EQ(roots.url(DestinationRoot::movies, unstandardized), roots.movies);
  EXPECT_EQ(roots.url(DestinationRoot::music, unstandardized), roots.music);
}

TEST(DirectoryRootsTest, EqualityAndHashTakeEveryRoot) {
  const DirectoryRoots roots(FileURL::fromPath("/Users/a", true));
  testing::expectEqualWithEqualHashes(roots, DirectoryRoots(FileURL::fromPath("/Users/a/", true)));
  const FileURL elsewhere = FileURL::fromPath("/Volumes/x", true);
  auto with = [&](auto change) { return testing::changed(roots, change); };
  testing::expectDistinctValuesAndHashes<DirectoryRoots>({
      {"roots", roots},
      {"home", with([&](DirectoryRoots& r) { r.home = elsewhere; })},
      {"documents", with([&](DirectoryRoots& r) { r.documents = elsewhere; })},
      {"pictures", with([&](DirectoryRoots& r) { r.pictures = elsewhere; })},
      {"downloads", with([&](DirectoryRoots& r) { r.downloads = elsewhere; })},
      {"movies", with([&](DirectoryRoots& r) { r.movies = elsewhere; })},
      {"music", with([&](DirectoryRoots& r) { r.music = elsewhere; })},
  });
}

TEST(DirectoryRootsTest, CurrentHomeFromTheEnvironmentElseTheUserDatabase) {
  {
    ScopedEnvironment home("HOME", "/srv/someone");
    EXPECT_EQ(DirectoryRoots::current(), DirectoryRoots(FileURL::fromPath("/srv/someone", true)));
  }
  passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  DirectoryRoots fromDatabase(FileURL::fromPath(entry->pw_dir, true));
  {
    ScopedEnvironment home("HOME", std::nullopt);
    EXPECT_EQ(DirectoryRoots::current(), fromDatabase);
  }
  {
    ScopedEnvironment home("HOME", "");
    EXPECT_EQ(DirectoryRoots::current(), fromDatabase);
  }
}

}  // namespace
}  // namespace rozuzed

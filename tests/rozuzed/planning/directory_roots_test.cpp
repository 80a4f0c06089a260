#include "rozuzed/planning/directory_roots.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

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

  DirectoryRoots same(FileURL::fromPath("/Users/a/", true));
  EXPECT_EQ(same, roots);
  EXPECT_EQ(same.hash(), roots.hash());
  DirectoryRoots other = roots;
  other.music = FileURL::fromPath("/Volumes/Music", true);
  EXPECT_NE(other, roots);
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

#include "sortappkit/folder_access/granted_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "rozuzed/testing/temporary_folder.h"
#include "sortappkit/app_error.h"
#include "sortappkit/fake_bookmarks.h"
#include "sortappkit/folder_access/scoped_access.h"

namespace sortappkit {
namespace {

using rozuzed::FileURL;
using rozuzed::testing::TemporaryFolder;
using sortappkit::testing::FakeBookmarks;

std::string makeFolder(const TemporaryFolder& temp, const std::string& name) {
  std::filesystem::create_directories(temp / name);
  return temp / name;
}

TEST(GrantedFolderTest, CountsEveryStartAndReleasesThemAll) {
  auto platform = std::make_shared<FakeBookmarks>();
  GrantedFolder folder(FileURL::fromPath("/srv/Inbox/", true), "data", platform);
  EXPECT_FALSE(folder.isActive());
  EXPECT_EQ(folder.displayName(), "Inbox");

  folder.stopAccessing();
  EXPECT_EQ(platform->stops, 0) << "stopping at count 0 must not reach the platform";

  EXPECT_TRUE(folder.startAccessing());
  EXPECT_TRUE(folder.startAccessing());
  EXPECT_TRUE(folder.isActive());
  folder.releaseAll();
  EXPECT_EQ(platform->stops, 2);
  EXPECT_FALSE(folder.isActive());
  folder.releaseAll();
  EXPECT_EQ(platform->stops, 2);

  EXPECT_TRUE(folder.startAccessing());
  folder.stopAccessing();
  EXPECT_EQ(platform->stops, 3);
  EXPECT_FALSE(folder.isActive());

  platform->refuseAccess = true;
  EXPECT_FALSE(folder.startAccessing());
  EXPECT_FALSE(folder.isActive());
  folder.releaseAll();
  EXPECT_EQ(platform->stops, 3) << "a refused start is not counted";
}

TEST(GrantedFolderTest, BookmarkRoundTripsToTheSameFolder) {
  TemporaryFolder temp;
  const std::string path = makeFolder(temp, "Down loads ü");
  const std::string bookmark = GrantedFolder::makeBookmark(FileURL::fromPath(path));

  auto resolved = GrantedFolder::resolve(bookmark);
  EXPECT_FALSE(resolved.isStale);
  EXPECT_EQ(resolved.folder->url().path(), path);
  EXPECT_TRUE(resolved.folder->url().hasDirectoryPath());
  EXPECT_EQ(resolved.folder->bookmark(), bookmark);
  EXPECT_EQ(resolved.folder->displayName(), "Down loads ü");
  EXPECT_FALSE(resolved.folder->isActive()) << "resolving starts no access";
  EXPECT_TRUE(resolved.folder->startAccessing());
  resolved.folder->releaseAll();
}

TEST(GrantedFolderTest, MakingABookmarkOfNoFolderFails) {
  TemporaryFolder temp;
  rozuzed::testing::writeFile(temp / "file.txt", "x");
  for (const std::string relative : {"missing", "file.txt"}) {
    SCOPED_TRACE(relative);
    try {
      GrantedFolder::makeBookmark(FileURL::fromPath(temp / relative));
      FAIL() << "expected bookmarkNotCreated";
    } catch (const AppError& error) {
      EXPECT_EQ(error.errorCase(), AppError::Case::bookmarkNotCreated);
      EXPECT_EQ(error.folder(), FileURL::fromPath(temp / relative));
      EXPECT_FALSE(error.underlying().empty());
      EXPECT_EQ(error.errorDescription(),
                "Could not remember access to " + relative + ": " + error.underlying());
    }
  }
}

TEST(GrantedFolderTest, ABookmarkThatCannotBeResolvedIsUnreadable) {
  TemporaryFolder temp;
  const std::string gone = makeFolder(temp, "gone");
  const std::string goneBookmark = GrantedFolder::makeBookmark(FileURL::fromPath(gone));
  std::filesystem::remove(gone);
  const std::string good = GrantedFolder::makeBookmark(temp.url());

  std::string wrongVersion = good;
  wrongVersion[4] = 2;
  std::string wrongLength = good;
  wrongLength[21] = static_cast<char>(wrongLength[21] + 1);
  std::string relativePath = good;
  relativePath[25] = 'x';

  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"not ours", "bookmark"},
      {"wrong version", wrongVersion},
      {"truncated header", good.substr(0, 20)},
      {"truncated path", good.substr(0, good.size() - 1)},
      {"trailing bytes", good + "x"},
      {"length mismatch", wrongLength},
      {"relative path", relativePath},
      {"folder gone", goneBookmark},
  };
  for (const auto& [label, data] : cases) {
    SCOPED_TRACE(label);
    try {
      GrantedFolder::resolve(data);
      FAIL() << "expected bookmarkUnreadable";
    } catch (const AppError& error) {
      EXPECT_EQ(error.errorCase(), AppError::Case::bookmarkUnreadable);
      EXPECT_FALSE(error.text().empty());
    }
  }

  rozuzed::testing::writeFile(gone, "now a file");
  EXPECT_THROW(GrantedFolder::resolve(goneBookmark), AppError) << "a file where the folder was";
}

TEST(GrantedFolderTest, AReplacedFolderIsStaleAndGetsAFreshBookmark) {
  TemporaryFolder temp;
  const std::string path = makeFolder(temp, "Inbox");
  const std::string old = GrantedFolder::makeBookmark(FileURL::fromPath(path));
  // The old folder stays on disk so its inode cannot be reused by the new one.
  std::filesystem::rename(path, temp / "Inbox-old");
  makeFolder(temp, "Inbox");

  auto resolved = GrantedFolder::resolve(old);
  EXPECT_TRUE(resolved.isStale);
  EXPECT_EQ(resolved.folder->url().path(), path);
  EXPECT_NE(resolved.folder->bookmark(), old);
  EXPECT_FALSE(GrantedFolder::resolve(resolved.folder->bookmark()).isStale);

  auto platform = std::make_shared<FakeBookmarks>();
  platform->refuseBookmarksAfterResolving = true;
  auto kept = GrantedFolder::resolve(old, platform);
  EXPECT_TRUE(kept.isStale) << "a failed refresh is no error and still reports staleness";
  EXPECT_EQ(kept.folder->bookmark(), old);
}

TEST(GrantedFolderTest, LiveAccessNeedsTheFolderToBeThere) {
  TemporaryFolder temp;
  const std::string path = makeFolder(temp, "Inbox");
  GrantedFolder folder(FileURL::fromPath(path, true), "");
  EXPECT_TRUE(folder.startAccessing());
  folder.releaseAll();
  std::filesystem::remove(path);
  EXPECT_FALSE(folder.startAccessing());
  EXPECT_FALSE(folder.isActive());
}

TEST(ScopedAccessTest, StartsAccessOnlyWhenTheFolderIsInactiveAndKeepsIt) {
  auto platform = std::make_shared<FakeBookmarks>();
  auto folder =
      std::make_shared<GrantedFolder>(FileURL::fromPath("/srv/Inbox/", true), "", platform);
  ScopedAccess access(folder);
  int runs = 0;

  access.withAccess(FileURL::fromPath("/elsewhere/entirely"), [&] { ++runs; });
  EXPECT_EQ(platform->starts, 1);
  EXPECT_TRUE(folder->isActive()) << "access stays started after the body";

  access.withAccess(FileURL::fromPath("/srv/Inbox/a.txt"), [&] { ++runs; });
  EXPECT_EQ(platform->starts, 1) << "an active folder is not started again";
  EXPECT_EQ(runs, 2);

  folder->releaseAll();
  EXPECT_THROW(access.withAccess(folder->url(), [] { throw std::runtime_error("body"); }),
               std::runtime_error);
  EXPECT_EQ(platform->starts, 2);
  EXPECT_TRUE(folder->isActive()) << "a failing body leaves access started";
  folder->releaseAll();
}

TEST(ScopedAccessTest, RefusedAccessThrowsWithoutRunningTheBody) {
  auto platform = std::make_shared<FakeBookmarks>();
  platform->refuseAccess = true;
  auto folder =
      std::make_shared<GrantedFolder>(FileURL::fromPath("/srv/Inbox/", true), "", platform);
  bool ran = false;
  try {
    ScopedAccess(folder).withAccess(FileURL::fromPath("/other"), [&] { ran = true; });
    FAIL() << "expected folderAccessLost";
  } catch (const AppError& error) {
    EXPECT_EQ(error, AppError::folderAccessLost(folder->url()));
  }
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace sortappkit

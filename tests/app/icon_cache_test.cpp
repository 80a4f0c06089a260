#include "app/common/icon_cache.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <filesystem>

#include "app/common/file_icon.h"
#include "app/common/texts.h"
#include "rozuzed/testing/temporary_folder.h"
#include "testing/window_fixture.h"

namespace ombrix {
namespace {

using rozuzed::FileURL;

IconCache& cache() {
  return IconCache::shared();
}

// Waits until the item at `path` has its own icon and gives it.
QIcon resolvedIcon(const std::string& path) {
  const QString key = qs(path);
  cache().iconForPath(key);
  EXPECT_TRUE(testing::waitUntil([&] { return cache().hasIconForPath(key); })) << path;
  return cache().iconForPath(key);
}

TEST(IconCacheTest, AnExtensionIsOneEntryWhateverItsCase) {
  const QIcon upper = cache().iconForExtension(QStringLiteral("PDF"));
  const QIcon lower = cache().iconForExtension(QStringLiteral("pdf"));
  EXPECT_FALSE(upper.isNull());
  EXPECT_EQ(upper.cacheKey(), lower.cacheKey());
  EXPECT_EQ(FileIcon::icon(FileURL::fromPath("/x/Report.Pdf")).cacheKey(), lower.cacheKey());
}

TEST(IconCacheTest, KindsGetTheirThemeIconsAndTheUnknownGetsPlainData) {
  struct Case {
    const char* extension;
    const char* iconName;
  };
  // Adwaita draws only generic kinds, so the MIME type's generic icon is the
  // one that shows, except where that would make a disc image blank data
  // or a package an archive.
  const Case cases[] = {
      {"jpg", "image-x-generic"},
      {"zip", "package-x-generic"},
      {"txt", "text-x-generic"},
      {"pdf", "x-office-document"},
      {"iso", "media-optical"},
      {"dmg", "media-optical"},
      {"deb", "system-software-install"},
      {"rpm", "system-software-install"},
      {"msi", "system-software-install"},
      {"exe", "application-x-executable"},
      {"AppImage", "application-x-executable"},
      {"sh", "text-x-script"},
      {"py", "text-x-generic"},
      {"epub", "x-office-document"},
      {"azw3", "x-office-document"},
      {"qqunknown", "application-x-generic"},
      {"", "application-x-generic"},
  };
  for (const auto& c : cases) {
    const QIcon icon = cache().iconForExtension(QString::fromLatin1(c.extension));
    EXPECT_FALSE(icon.isNull()) << c.extension;
    EXPECT_EQ(icon.name(), QString::fromLatin1(c.iconName)) << c.extension;
  }
  EXPECT_EQ(cache().iconForExtension(QStringLiteral("qqunknown")).cacheKey(),
            cache().iconForExtension(QStringLiteral("QQUNKNOWN")).cacheKey());
}

TEST(IconCacheTest, ANameTheThemeLacksFallsBackToQtsOwnIcon) {
  const QString theme = QIcon::themeName();
  const QString fallback = QIcon::fallbackThemeName();
  QIcon::setThemeName(QStringLiteral("ombrix-no-such-theme"));
  QIcon::setFallbackThemeName(QStringLiteral("ombrix-no-such-theme"));
  const QIcon icon = cache().iconForExtension(QStringLiteral("qqnotheme"));
  QIcon::setThemeName(theme);
  QIcon::setFallbackThemeName(fallback);
  EXPECT_FALSE(icon.isNull());
  EXPECT_FALSE(icon.pixmap(16, 16).isNull());
}

TEST(IconCacheTest, APathIsAnsweredAtOnceByItsExtensionThenByTheItem) {
  rozuzed::testing::TemporaryFolder folder;
  std::filesystem::create_directory(folder.path() + "/Holiday.jpg");
  const QString path = qs(folder.path() + "/Holiday.jpg");

  QSignalSpy ready(&cache(), &IconCache::pathIconReady);
  // Nothing has run on the worker's behalf yet, so the main thread cannot
  // have waited for it.
  EXPECT_EQ(cache().iconForPath(path).cacheKey(),
            cache().iconForExtension(QStringLiteral("jpg")).cacheKey());
  EXPECT_FALSE(cache().hasIconForPath(path));

  const QIcon own = resolvedIcon(folder.path() + "/Holiday.jpg");
  EXPECT_NE(own.cacheKey(), cache().iconForExtension(QStringLiteral("jpg")).cacheKey());
  EXPECT_EQ(own.cacheKey(), cache().iconForPath(path).cacheKey());
  EXPECT_EQ(ready.count(), 1);
  EXPECT_EQ(ready.at(0).at(0).toString(), path);
}

TEST(IconCacheTest, EachItemGetsTheIconOfWhatItIs) {
  rozuzed::testing::TemporaryFolder folder;
  const std::string base = folder.path();
  std::filesystem::create_directory(base + "/Photos");
  rozuzed::testing::writeFile(base + "/notes", "plain words\n");
  std::filesystem::create_symlink(base + "/notes", base + "/shortcut.txt");

  EXPECT_EQ(resolvedIcon(base + "/Photos").cacheKey(), resolvedIcon(base + "/Photos").cacheKey());
  EXPECT_EQ(resolvedIcon(base + "/notes").name(), QStringLiteral("text-x-generic"));
  EXPECT_EQ(resolvedIcon(base + "/shortcut.txt").name(), QStringLiteral("inode-symlink"));
  EXPECT_FALSE(resolvedIcon(base + "/Photos").isNull());
  // An item that is gone still gets an icon, from its name.
  EXPECT_FALSE(resolvedIcon(base + "/gone.zip").isNull());
}

TEST(IconCacheTest, PathsThatDifferInCaseAreTwoEntries) {
  rozuzed::testing::TemporaryFolder folder;
  rozuzed::testing::writeFile(folder.path() + "/a.txt", "a");
  rozuzed::testing::writeFile(folder.path() + "/A.TXT", "A");
  resolvedIcon(folder.path() + "/a.txt");
  EXPECT_FALSE(cache().hasIconForPath(qs(folder.path() + "/A.TXT")));
  resolvedIcon(folder.path() + "/A.TXT");
}

TEST(FileIconTest, DrawsSixteenPixelsByDefault) {
  const FileIcon small(FileURL::fromPath("/x/a.pdf"));
  const FileIcon large(FileURL::fromPath("/x/a.pdf"), false, 48);
  EXPECT_EQ(small.sizeHint(), QSize(16, 16));
  EXPECT_EQ(large.size(), QSize(48, 48));
}

}  // namespace
}  // namespace ombrix

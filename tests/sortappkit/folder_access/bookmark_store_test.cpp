#include "sortappkit/folder_access/bookmark_store.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <memory>

#include "rozuzed/testing/temporary_folder.h"
#include "sortappkit/folder_access/user_defaults_bookmark_store.h"

namespace sortappkit {
namespace {

using rozuzed::testing::TemporaryFolder;

const std::string kKey = "ombrix.folder.bookmark";
const std::string kBytes("OMBK\x01\x00\xff/a b", 11);

class BookmarkStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(settingsFolder_.path()));
  }

  TemporaryFolder settingsFolder_;
};

TEST_F(BookmarkStoreTest, EachStoreSavesReplacesAndRemoves) {
  std::vector<std::pair<const char*, std::unique_ptr<BookmarkStore>>> stores;
  stores.emplace_back("memory", std::make_unique<InMemoryBookmarkStore>());
  stores.emplace_back("defaults", std::make_unique<UserDefaultsBookmarkStore>());
  for (auto& [label, store] : stores) {
    SCOPED_TRACE(label);
    EXPECT_EQ(store->data(kKey), std::nullopt);
    store->save("first", kKey);
    store->save(kBytes, kKey);
    EXPECT_EQ(store->data(kKey), kBytes) << "bytes survive unchanged, NUL and 0xFF included";
    EXPECT_EQ(store->data("other"), std::nullopt);
    store->remove(kKey);
    EXPECT_EQ(store->data(kKey), std::nullopt);
    store->remove(kKey);
  }
}

TEST_F(BookmarkStoreTest, InMemoryStoreStartsFromItsSeed) {
  InMemoryBookmarkStore store({{kKey, "seed"}});
  EXPECT_EQ(store.data(kKey), "seed");
}

TEST_F(BookmarkStoreTest, DefaultsAreSharedAndPersistAcrossInstances) {
  UserDefaultsBookmarkStore(std::nullopt).save(kBytes, kKey);
  EXPECT_EQ(UserDefaultsBookmarkStore(std::string()).data(kKey), kBytes)
      << "an unusable suite name falls back to the standard defaults";
  EXPECT_EQ(UserDefaultsBookmarkStore().data(kKey), kBytes);
  EXPECT_EQ(UserDefaultsBookmarkStore(std::string("OmbrixTests")).data(kKey), std::nullopt)
      << "a suite keeps values of its own";

  QSettings("Ombrix", "Ombrix").setValue(QString::fromStdString(kKey), QString("not bytes"));
  EXPECT_EQ(UserDefaultsBookmarkStore().data(kKey), std::nullopt);
}

}  // namespace
}  // namespace sortappkit

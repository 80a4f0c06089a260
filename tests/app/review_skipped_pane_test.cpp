#include "app/review/skipped_pane.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QListView>
#include <QSignalSpy>
#include <filesystem>

#include "app/common/icon_cache.h"
#include "app/common/texts.h"
#include "rozuzed/testing/temporary_folder.h"
#include "testing/window_fixture.h"

namespace ombrix {
namespace {

using rozuzed::FileURL;
using sortappkit::SkippedRow;
using sortappkit::SkipSection;

SkippedRow skipped(const std::string& path, const std::string& label) {
  const auto url = FileURL::fromPath(path);
  return SkippedRow(path, url, url.lastPathComponent(), label, "why " + url.lastPathComponent());
}

QStringList listed(const SkippedPane& pane) {
  QStringList rows;
  const QAbstractItemModel* model = pane.list()->model();
  for (int r = 0; r < model->rowCount(); ++r) {
    const QModelIndex at = model->index(r, 0);
    const QString explanation = at.data(Qt::AccessibleDescriptionRole).toString();
    rows << (explanation.isEmpty() ? at.data().toString()
                                   : at.data().toString() + QStringLiteral(" | ") + explanation);
  }
  return rows;
}

TEST(SkippedPaneTest, ShowsItsHeaderAndEitherTheLineOrTheSections) {
  struct Case {
    const char* name;
    std::vector<SkipSection> sections;
    int64_t total;
    const char* title;
    bool listShown;
    QStringList rows;
  };
  const Case cases[] = {
      {"nothing", {}, 0, "Nothing left alone", false, {}},
      // The total decides, whatever the sections hold.
      {"sections but no total",
       {{"folder", {skipped("/d/Projects", "folder")}}},
       0,
       "Nothing left alone",
       false,
       {}},
      {"one file",
       {{"folder", {skipped("/d/Projects", "folder")}}},
       1,
       "1 file left alone",
       true,
       {"folder · 1", "Projects | why Projects"}},
      {"two reasons in the order given",
       {{"alias", {skipped("/d/link", "alias")}},
        {"folder", {skipped("/d/A", "folder"), skipped("/d/B", "folder")}}},
       3,
       "3 files left alone",
       true,
       {"alias · 1", "link | why link", "folder · 2", "A | why A", "B | why B"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SkippedPane pane;
    pane.setRows(c.sections, c.total);
    EXPECT_EQ(pane.titleLabel()->text(), QString::fromUtf8(c.title));
    EXPECT_EQ(pane.isListShown(), c.listShown);
    EXPECT_EQ(pane.emptyLabel()->text(),
              QStringLiteral("Every file in this folder matched a rule."));
    EXPECT_EQ(listed(pane), c.rows);
  }
}

TEST(SkippedPaneTest, ARowTakesItsItemsOwnIconOnceItIsKnown) {
  rozuzed::testing::TemporaryFolder folder;
  std::filesystem::create_directory(folder.path() + "/Projects.zip");
  SkippedPane pane;
  QSignalSpy changed(pane.list()->model(), &QAbstractItemModel::dataChanged);
  pane.setRows({{"folder", {skipped(folder.path() + "/Projects.zip", "folder")}}}, 1);
  const QModelIndex row = pane.list()->model()->index(1, 0);
  // Until the item is looked at, its name's kind stands in.
  EXPECT_EQ(qvariant_cast<QIcon>(row.data(Qt::DecorationRole)).cacheKey(),
            IconCache::shared().iconForExtension(QStringLiteral("zip")).cacheKey());
  ASSERT_TRUE(testing::waitUntil([&] { return changed.count() > 0; }));
  EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>(), row);
  EXPECT_EQ(qvariant_cast<QIcon>(row.data(Qt::DecorationRole)).cacheKey(),
            IconCache::shared().iconForPath(qs(folder.path() + "/Projects.zip")).cacheKey());
}

}  // namespace
}  // namespace ombrix

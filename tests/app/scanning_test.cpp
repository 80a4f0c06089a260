#include "app/start/scanning_view.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>

namespace ombrix {
namespace {

TEST(ScanningTest, NamesTheFolderBeingLookedThrough) {
  struct Case {
    std::optional<std::string> folderName;
    QString shown;
  };
  const Case cases[] = {
      {"Downloads", "Looking through Downloads…"},
      {std::nullopt, "Looking through the folder…"},
      {"Fotos 2024 (été)", "Looking through Fotos 2024 (été)…"},
      {"100%1 done", "Looking through 100%1 done…"},
  };
  ScanningView view;
  for (const Case& c : cases) {
    view.setFolderName(c.folderName);
    const auto labels = view.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front()->text(), c.shown);
  }
}

TEST(ScanningTest, TheSpinnerReadsAsABusyIndicator) {
  ScanningView view;
  auto* spinner = view.findChild<BusySpinner*>();
  ASSERT_NE(spinner, nullptr);
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(spinner);
  ASSERT_NE(accessible, nullptr);
  EXPECT_EQ(accessible->role(), QAccessible::ProgressBar);
  EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty());
}

}  // namespace
}  // namespace ombrix

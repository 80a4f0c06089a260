#include "sortappkit/view_models/plan_view_model.h"

#include <gtest/gtest.h>

#include "sortappkit/view_models/selection.h"

namespace sortappkit {
namespace {

using rozuzed::FileURL;
using rozuzed::PlannedMove;
using rozuzed::SkippedFile;
using rozuzed::SkipReason;
using rozuzed::SortPlan;

const FileURL kFolder = FileURL::fromPath("/Users/ann/Downloads/", true);

PlannedMove move(const std::string& source, const std::string& destinationFolder,
                 const std::string& finalName = "", int64_t size = 1) {
  PlannedMove m;
  m.source = FileURL::fromPath(source);
  m.destinationDirectory = FileURL::fromPath(destinationFolder, true);
  m.destinationURL = m.destinationDirectory.appendingPathComponent(
      finalName.empty() ? m.source.lastPathComponent() : finalName);
  m.matchedRuleID = "images";
  m.matchedRuleName = "Images";
  m.fingerprint.size = size;
  return m;
}

SortPlan planWith(std::vector<PlannedMove> moves, std::vector<SkippedFile> skipped = {}) {
  SortPlan plan;
  plan.createdAt = 1000;
  plan.sourceDirectory = kFolder;
  plan.moves = std::move(moves);
  plan.skipped = std::move(skipped);
  return plan;
}

std::vector<std::string> rowNames(const DestinationGroup& group) {
  std::vector<std::string> names;
  for (const auto& row : group.rows) names.push_back(row.name);
  return names;
}

TEST(PlanViewModelTest, AnEmptyPlanHasNothing) {
  PlanViewModel model(planWith({}));
  EXPECT_TRUE(model.groups.empty());
  EXPECT_EQ(model.moveCount(), 0u);
  EXPECT_TRUE(model.isEmpty());
  EXPECT_EQ(model.totalBytes(), 0);
  EXPECT_TRUE(model.allKeys().empty());
  EXPECT_TRUE(model.allMoveIDs().empty());
  EXPECT_TRUE(model.idsByKey().empty());
  EXPECT_TRUE(model.skipped.empty());
  EXPECT_TRUE(model.skipsByReason().empty());
}

TEST(PlanViewModelTest, GroupsByDestinationAndOrdersLikeAFileManager) {
  SortPlan plan = planWith({
      move("/Users/ann/Downloads/file10.jpg", "/Users/ann/Downloads/Images", "", 10),
      move("/Users/ann/Downloads/report.pdf", "/Users/ann/Downloads/Documents/PDF", "", 100),
      move("/Users/ann/Downloads/file2.jpg", "/Users/ann/Downloads/images", "", 2),
      move("/Users/ann/Downloads/Apple.jpg", "/Users/ann/Downloads/Images/", "Apple (2).jpg", 3),
      move("/Users/ann/Downloads/song.mp3", "/Users/ann/Music", "", 5),
  });
  plan.moves[1].strategy = rozuzed::MoveStrategy::crossVolumeCopyVerifyTrash;
  plan.moves[3].collisionSuffix = 2;
  PlanViewModel model(plan);

  EXPECT_EQ(model.id, plan.id);
  EXPECT_EQ(model.folder, kFolder);
  EXPECT_EQ(model.createdAt, 1000);
  ASSERT_EQ(model.groups.size(), 3u);
  // Full paths (starting "/") come before relative names in every locale.
  EXPECT_EQ(model.groups[0].displayName, "/Users/ann/Music");
  EXPECT_EQ(model.groups[1].displayName, "Documents/PDF");
  EXPECT_EQ(model.groups[2].displayName, "Images");

  const DestinationGroup& images = model.groups[2];
  EXPECT_EQ(images.id, "/users/ann/downloads/images");
  EXPECT_EQ(images.destinationURL, plan.moves[0].destinationDirectory)
      << "the earlier move in plan order names a group whose folders differ only in case";
  EXPECT_EQ(rowNames(images), (std::vector<std::string>{"Apple.jpg", "file2.jpg", "file10.jpg"}));
  EXPECT_EQ(images.totalBytes(), 15);
  EXPECT_EQ(images.keys(),
            (std::vector<MoveKey>{MoveKey(plan.moves[3].source), MoveKey(plan.moves[2].source),
                                  MoveKey(plan.moves[0].source)}));

  EXPECT_EQ(images.rows[0].renamedTo(), "Apple (2).jpg");
  EXPECT_EQ(images.rows[1].renamedTo(), std::nullopt);
  EXPECT_TRUE(model.groups[1].rows[0].isCrossVolume);
  EXPECT_FALSE(images.rows[0].isCrossVolume);
  EXPECT_EQ(images.rows[0].ruleName, "Images");
  EXPECT_EQ(images.rows[0].size, 3);

  EXPECT_EQ(model.moveCount(), 5u);
  EXPECT_EQ(model.totalBytes(), 120);
  EXPECT_EQ(model.allMoveIDs(),
            (std::vector<rozuzed::Uuid>{plan.moves[4].id, plan.moves[1].id, plan.moves[3].id,
                                        plan.moves[2].id, plan.moves[0].id}));
  EXPECT_EQ(model.allKeys().size(), 5u);
  EXPECT_EQ(model.idsByKey().at(MoveKey(plan.moves[1].source)),
            std::vector<rozuzed::Uuid>{plan.moves[1].id});
  EXPECT_FALSE(model.sharesKeys);
}

TEST(PlanViewModelTest, SourcesThatDifferOnlyInCaseKeepEveryId) {
  SortPlan plan = planWith({move("/Users/ann/Downloads/A.jpg", "/Users/ann/Downloads/Images"),
                            move("/Users/ann/Downloads/a.jpg", "/Users/ann/Downloads/Images")});
  PlanViewModel model(plan);
  auto ids = model.idsByKey().at(MoveKey(plan.moves[0].source));
  EXPECT_EQ(ids.size(), 2u);
  EXPECT_NE(std::find(ids.begin(), ids.end(), plan.moves[0].id), ids.end());
  EXPECT_NE(std::find(ids.begin(), ids.end(), plan.moves[1].id), ids.end());
  EXPECT_TRUE(model.sharesKeys);
}

TEST(PlanViewModelTest, DisplayNameIsRelativeOnlyStrictlyInsideTheFolder) {
  struct Case {
    const char* url;
    const char* base;
    const char* expected;
  };
  const Case cases[] = {
      {"/Users/ann/Downloads/Images/", "/Users/ann/Downloads/", "Images"},
      {"/Users/ann/Downloads/Documents/PDF", "/Users/ann/Downloads", "Documents/PDF"},
      {"/Users/ann/Downloads/./Images/../Video", "/Users/ann/Downloads", "Video"},
      {"/Users/ann/Pictures", "/Users/ann/Downloads", "/Users/ann/Pictures"},
      {"/Users/ann/Downloads", "/Users/ann/Downloads/", "/Users/ann/Downloads"},
      {"/x/Downloads/A", "/x/Down", "/x/Downloads/A"},
      {"/users/ann/downloads/Images", "/Users/ann/Downloads", "/users/ann/downloads/Images"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(PlanViewModel::displayName(FileURL::fromPath(c.url), FileURL::fromPath(c.base)),
              c.expected);
  }
}

TEST(PlanViewModelTest, SkippedRowsSortByNameAndByReasonInPlainOrder) {
  auto skip = [](const std::string& name, SkipReason reason) {
    return SkippedFile{FileURL::fromPath("/Users/ann/Downloads/" + name), std::move(reason)};
  };
  PlanViewModel model(planWith(
      {}, {skip("file2.txt", SkipReason::noMatchingRule()),
           skip("apple", SkipReason::noMatchingRule()), skip("Zebra", SkipReason::noMatchingRule()),
           skip("file10.txt", SkipReason::noMatchingRule()), skip("Sub", SkipReason::isDirectory()),
           skip(".hidden", SkipReason::isHidden())}));

  std::vector<std::string> names;
  for (const auto& row : model.skipped) names.push_back(row.name);
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "apple", "file2.txt", "file10.txt", "Sub",
                                             "Zebra"}));

  const SkippedRow& first = model.skipped[0];
  EXPECT_EQ(first.id, "/Users/ann/Downloads/.hidden");
  EXPECT_EQ(first.reasonLabel, "hidden");
  EXPECT_EQ(first.explanation, "hidden file");

  auto sections = model.skipsByReason();
  ASSERT_EQ(sections.size(), 3u);
  EXPECT_EQ(sections[0].label, "folder");
  EXPECT_EQ(sections[1].label, "hidden");
  EXPECT_EQ(sections[2].label, "no matching rule");
  names.clear();
  for (const auto& row : sections[2].rows) names.push_back(row.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Zebra", "apple", "file10.txt", "file2.txt"}));
}

TEST(SelectionTest, IsAnOptOutSetOfKeys) {
  const MoveKey a(FileURL::fromPath("/d/A.jpg"));
  const MoveKey b(FileURL::fromPath("/d/b.jpg"));
  const MoveKey c(FileURL::fromPath("/d/c.jpg"));
  EXPECT_EQ(a, MoveKey(FileURL::fromPath("/d/./x/../a.JPG")));

  Selection selection;
  EXPECT_TRUE(selection.isSelected(a));
  EXPECT_EQ(selection.state({}), GroupSelectionState::none);
  EXPECT_EQ(selection.state({a, b}), GroupSelectionState::all);

  selection.toggle(a);
  EXPECT_FALSE(selection.isSelected(a));
  EXPECT_EQ(selection.state({a, b}), GroupSelectionState::mixed);
  EXPECT_TRUE(isMixed(selection.state({a, b})));
  EXPECT_EQ(selection.state({a}), GroupSelectionState::none);
  EXPECT_EQ(selection.selected({b, a, c, b}), (std::vector<MoveKey>{b, c, b}));
  EXPECT_EQ(selection.selectedCount({b, a, c, b}), 3u);

  selection.toggle(a);
  EXPECT_EQ(selection, Selection()) << "toggling twice restores the selection";
  EXPECT_FALSE(selection.setSelected(true, {a, b})) << "nothing to change";
  EXPECT_EQ(selection, Selection());

  EXPECT_TRUE(selection.setSelected(false, {a, b}));
  EXPECT_FALSE(selection.setSelected(false, {b}));
  EXPECT_TRUE(selection.setSelected(true, {a, b, c}));
  EXPECT_TRUE(isOn(selection.state({a, b, c})));
}

TEST(SelectionTest, PruningKeepsDeselectionsOfMovesStillPlanned) {
  const MoveKey a(FileURL::fromPath("/d/a.jpg"));
  const MoveKey b(FileURL::fromPath("/d/b.jpg"));
  Selection selection;
  selection.setSelected(false, {a, b});

  selection.pruning({MoveKey(FileURL::fromPath("/d/A.JPG"))});
  EXPECT_FALSE(selection.isSelected(a)) << "the same key after the source's case changed";
  EXPECT_TRUE(selection.isSelected(b));

  selection.pruning({b});
  EXPECT_TRUE(selection.isSelected(a)) << "a key that was absent from one plan is selected again";
}

}  // namespace
}  // namespace sortappkit

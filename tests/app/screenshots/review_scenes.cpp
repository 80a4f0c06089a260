// The review screen: a plan with both marks, a mixed group and a long name,
// and a plan without moves.
#include <filesystem>

#include "app/review/moves_table_model.h"
#include "app/review/moves_table_view.h"
#include "app/review/review_view.h"
#include "review_plans.h"
#include "screenshots/scene.h"

namespace ombrix::screenshots {
namespace {

using testing::WindowFixture;

// Shows the review of the fixture's folder, keeping what it needs.
QWidget* review(WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep,
                const std::function<void(sortappkit::AppModel&)>& arrange = nullptr) {
  auto model = fixture.makeModel();
  fixture.chooseAndScan(*model);
  if (arrange) arrange(*model);
  return keepScreen<ReviewView>(std::move(model), keep);
}

const sortappkit::MoveRow* rowNamed(const sortappkit::AppModel& model, const std::string& name) {
  for (const auto& group : model.plan().get()->groups) {
    for (const auto& row : group.rows) {
      if (row.name == name) return &row;
    }
  }
  return nullptr;
}

Registration withMarks{Scene{
    "review", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) -> QWidget* {
      std::shared_ptr<rozuzed::testing::TemporaryFolder> elsewhere =
          testing::otherVolumeFolder(fixture);
      if (elsewhere) {
        keep.push_back(elsewhere);
        testing::sendPapersTo(fixture, elsewhere->path() + "/Papers");
        std::filesystem::create_directory(elsewhere->path() + "/Papers");
        rozuzed::testing::writeFile(elsewhere->path() + "/Papers/Tax return.pdf", "old");
      }
      fixture.addFile("Tax return.pdf", std::string(86000, 't'));
      fixture.addFile(
          "Minutes of the annual general meeting of the allotment society, with the treasurer's "
          "accounts and every appendix (final).pdf",
          std::string(412000, 'm'));
      fixture.addFile("a.jpg", std::string(1200000, 'a'));
      fixture.addFile("Images/a.jpg");
      fixture.addFile("beach.jpg", std::string(3100000, 'b'));
      fixture.addFile("holiday.png", std::string(2400000, 'p'));
      fixture.addFile("backup.zip", std::string(18000, 'z'));
      fixture.addFile("song.mp3", std::string(5300000, 'm'));
      fixture.addFile("notes");
      std::filesystem::create_directory(fixture.folder() + "/Projects");
      std::filesystem::create_symlink(fixture.folder() + "/beach.jpg",
                                      fixture.folder() + "/beach shortcut.jpg");
      auto* view = static_cast<ReviewView*>(review(fixture, keep, [](sortappkit::AppModel& model) {
        model.toggle(*rowNamed(model, "beach.jpg"));
      }));
      // One row highlighted, as after a click.
      const QModelIndexList holiday = view->tableModel()->match(
          view->tableModel()->index(0, MovesTableModel::nameColumn), Qt::DisplayRole,
          QStringLiteral("holiday.png"), 1, Qt::MatchRecursive);
      if (!holiday.isEmpty()) {
        view->table()->selectionModel()->select(
            holiday[0], QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      }
      return view;
    }}};

Registration withoutMoves{
    Scene{"review-no-moves",
          [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) -> QWidget* {
            fixture.addFile("notes");
            fixture.addFile("Images/a.jpg");
            std::filesystem::create_directory(fixture.folder() + "/Projects");
            return review(fixture, keep);
          }}};

}  // namespace
}  // namespace ombrix::screenshots

// The result screen after a sort that went well, one with failures, and one
// whose undo could not put every file back.
#include <filesystem>

#include "app/result/result_view.h"
#include "screenshots/scene.h"
#include "testing/model_operations.h"

namespace ombrix::screenshots {
namespace {

using sortappkit::AppModel;
using testing::WindowFixture;

std::shared_ptr<AppModel> reviewFolder(WindowFixture& fixture) {
  for (const char* name :
       {"beach.jpg", "holiday.png", "song.mp3", "Tax return.pdf", "backup.zip",
        "Minutes of the annual general meeting of the allotment society, with the treasurer's "
        "accounts, the chairman's letter, the plans for the new shed and every appendix "
        "(final, approved).pdf"}) {
    fixture.addFile(name);
  }
  auto model = fixture.makeModel();
  fixture.chooseAndScan(*model);
  return model;
}

QWidget* result(std::shared_ptr<AppModel> model, std::vector<std::shared_ptr<void>>& keep) {
  return keepScreen<ResultView>(std::move(model), keep);
}

Registration success{
    Scene{"result", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
            auto model = reviewFolder(fixture);
            testing::sortAll(*model);
            return result(model, keep);
          }}};

Registration failures{Scene{
    "result-failures", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
      auto model = reviewFolder(fixture);
      // A file stands where the images' folder should go, and one file
      // went away after the scan.
      fixture.addFile("Images", "not a folder");
      std::filesystem::rename(fixture.folder() + "/backup.zip", fixture.home() + "/backup.zip");
      testing::sortAll(*model);
      return result(model, keep);
    }}};

Registration undoSummary{Scene{
    "result-undo-summary", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
      auto model = reviewFolder(fixture);
      const rozuzed::Uuid run = testing::sortAll(*model);
      std::filesystem::rename(fixture.folder() + "/Images/beach.jpg",
                              fixture.home() + "/beach.jpg");
      testing::undoRun(*model, run);
      testing::undoRun(*model, rozuzed::Uuid::random());
      model->problem().set(std::nullopt);
      return result(model, keep);
    }}};

}  // namespace
}  // namespace ombrix::screenshots

// The history sheet with runs and without.
#include <filesystem>

#include "app/history/history_view.h"
#include "screenshots/scene.h"
#include "testing/model_operations.h"

namespace ombrix::screenshots {
namespace {

using sortappkit::AppModel;
using testing::WindowFixture;

QWidget* history(std::shared_ptr<AppModel> model, std::vector<std::shared_ptr<void>>& keep) {
  auto sheet = std::make_shared<HistoryView>(model);
  sheet->show();
  testing::runToEnd([&](auto done) { model->loadHistory(done); });
  // The sheet goes before the model it watches.
  keep.push_back(sheet);
  keep.push_back(model);
  return sheet.get();
}

Registration withRuns{
    Scene{"history", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
            auto model = fixture.makeModel();
            fixture.addFile("beach.jpg");
            fixture.chooseAndScan(*model);
            testing::sortAll(*model);
            for (const char* name : {"holiday.png", "song.mp3", "Tax return.pdf"}) {
              fixture.addFile(name);
            }
            testing::runToEnd([&](auto done) { model->scan(done); });
            const rozuzed::Uuid partly = testing::sortAll(*model);
            std::filesystem::rename(fixture.folder() + "/Images/holiday.png",
                                    fixture.home() + "/holiday.png");
            testing::undoRun(*model, partly);
            fixture.addFile("backup.zip");
            fixture.addFile("notes.txt");
            testing::runToEnd([&](auto done) { model->scan(done); });
            const rozuzed::Uuid undone = testing::sortAll(*model);
            testing::undoRun(*model, undone);
            return history(model, keep);
          }}};

Registration empty{
    Scene{"history-empty", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
            return history(fixture.makeModel(), keep);
          }}};

}  // namespace
}  // namespace ombrix::screenshots

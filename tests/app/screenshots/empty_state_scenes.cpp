// The empty state, on a first start and with earlier runs still to undo, and
// the folder picker it opens.
#include <QFileDialog>
#include <filesystem>

#include "app/start/empty_state_view.h"
#include "app/start/folder_picker.h"
#include "screenshots/scene.h"
#include "testing/model_operations.h"

namespace ombrix::screenshots {
namespace {

using testing::WindowFixture;

QWidget* emptyState(std::shared_ptr<sortappkit::AppModel> model,
                    std::vector<std::shared_ptr<void>>& keep) {
  return keepScreen<EmptyStateView>(std::move(model), keep);
}

Registration firstStart{
    Scene{"empty-state", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
            return emptyState(fixture.makeModel(), keep);
          }}};

Registration earlierRuns{
    Scene{"empty-state-earlier-runs",
          [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
            auto model = fixture.makeModel();
            fixture.addFile("beach.jpg");
            fixture.chooseAndScan(*model);
            testing::sortAll(*model);
            fixture.addFile("song.mp3");
            testing::runToEnd([&](auto done) { model->scan(done); });
            testing::sortAll(*model);
            // The folder was forgotten, as when it could not be opened again.
            model->forgetFolder();
            return emptyState(model, keep);
          }}};

Registration picker{
    Scene{"folder-picker", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
            for (const char* folder : {"Desktop", "Documents", "Music", "Pictures", "Videos"}) {
              std::filesystem::create_directories(fixture.home() + "/" + folder);
            }
            for (const char* folder : {"Invoices 2024", "Holiday photos", "Installers"}) {
              std::filesystem::create_directories(fixture.folder() + "/" + folder);
            }
            std::shared_ptr<QFileDialog> dialog = FolderPicker::makeDialog(nullptr);
            keep.push_back(dialog);
            return static_cast<QWidget*>(dialog.get());
          }}};

}  // namespace
}  // namespace ombrix::screenshots

// The progress overlay, with a long file name, over a screen.
#include "app/result/result_view.h"
#include "app/shell/progress_overlay.h"
#include "screenshots/scene.h"
#include "testing/model_operations.h"

namespace ombrix::screenshots {
namespace {

using testing::WindowFixture;

Registration overlay{Scene{
    "progress-overlay", [](WindowFixture& fixture, std::vector<std::shared_ptr<void>>& keep) {
      auto model = fixture.makeModel();
      for (const char* name : {"beach.jpg", "holiday.png", "song.mp3", "Tax return.pdf"}) {
        fixture.addFile(name);
      }
      fixture.chooseAndScan(*model);
      testing::sortAll(*model);
      ResultView* screen = keepScreen<ResultView>(model, keep);
      auto* card = new ProgressOverlay(screen);
      const std::string name =
          "Minutes of the annual general meeting of the allotment society, with the treasurer's "
          "accounts and every appendix (final).pdf";
      card->setState(QStringLiteral("Sorting…"),
                     rozuzed::ExecutionProgress{
                         3, 10, rozuzed::FileURL::fromPath(fixture.folder() + "/" + name, false)});
      card->show();
      return screen;
    }}};

}  // namespace
}  // namespace ombrix::screenshots

// The scanning screen.
#include "app/start/scanning_view.h"
#include "screenshots/scene.h"

namespace ombrix::screenshots {
namespace {

Registration scanning{
    Scene{"scanning", [](testing::WindowFixture&, std::vector<std::shared_ptr<void>>& keep) {
            auto view = std::make_shared<ScanningView>();
            view->setFolderName("Downloads");
            view->resize(960, 640);
            keep.push_back(view);
            return view.get();
          }}};

}  // namespace
}  // namespace ombrix::screenshots

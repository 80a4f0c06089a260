#include "testing/window_fixture.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTest>
#include <filesystem>
#include <stdexcept>

#include "app/start/folder_picker.h"
#include "rozuzed/support/dates.h"

namespace ombrix::testing {

using sortappkit::AppModel;

WindowFixture::WindowFixture(bool openJournal)
    : dataHome_("XDG_DATA_HOME", root_ / "data"),
      configHome_("XDG_CONFIG_HOME", root_ / "config"),
      home_("HOME", root_ / "home") {
  std::filesystem::create_directories(folder());
  std::filesystem::create_directories(root_ / "config");
  // QSettings names its folder once per process; point it here for each test.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                     QString::fromStdString(root_ / "config"));
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                     QString::fromStdString(root_ / "config"));
  if (openJournal) {
    store = sortappkit::SortEngine::defaultStore();
    engine = std::make_shared<sortappkit::SortEngine>(store, std::nullopt);
  }
}

WindowFixture::~WindowFixture() {
  FolderPicker::replace(nullptr);
  // Lets the engine's last completions reach a model that is going away.
  settle();
}

std::shared_ptr<AppModel> WindowFixture::makeModel(
    std::optional<AppModel::Problem> startupProblem) {
  return AppModel::create(engine, std::make_shared<QtDispatcher>(), std::move(startupProblem));
}

std::string WindowFixture::folder() const {
  return root_ / "home/Downloads";
}

rozuzed::FileURL WindowFixture::folderURL() const {
  return rozuzed::FileURL::fromPath(folder(), true);
}

std::string WindowFixture::addFile(const std::string& relative, const std::string& contents) const {
  const std::string path = folder() + "/" + relative;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  rozuzed::testing::writeFile(path, contents, rozuzed::currentDate() - 3600);
  return path;
}

bool WindowFixture::exists(const std::string& relative) const {
  return rozuzed::testing::pathExists(folder() + "/" + relative);
}

void WindowFixture::replacePicker(std::optional<rozuzed::FileURL> chosen) {
  auto calls = pickerCalls_;
  FolderPicker::replace([chosen, calls](QWidget*) {
    ++*calls;
    return chosen;
  });
}

void WindowFixture::chooseAndScan(AppModel& model) {
  bool done = false;
  model.chooseFolder(folderURL(), [&done] { done = true; });
  if (!waitUntil([&] { return done; })) throw std::runtime_error("the scan never finished");
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
  return QTest::qWaitFor(condition, timeoutMs);
}

void settle() {
  for (int i = 0; i < 3; ++i) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
}

}  // namespace ombrix::testing

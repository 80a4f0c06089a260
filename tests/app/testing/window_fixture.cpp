#include "testing/window_fixture.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "app/start/folder_picker.h"
#include "rozuzed/support/dates.h"

namespace ombrix::testing {

using sortappkit::AppModel;

namespace {

// A home of the caller's choosing, emptied, else one in the scratch folder.
std::filesystem::path chosenHome(const rozuzed::testing::TemporaryFolder& root) {
  const char* chosen = std::getenv("OMBRIX_FIXTURE_HOME");
  if (chosen == nullptr || *chosen == '\0') return root / "home";
  const std::filesystem::path home(chosen);
  std::filesystem::create_directories(home);
  for (const auto& entry : std::filesystem::directory_iterator(home)) {
    std::filesystem::remove_all(entry.path());
  }
  return home;
}

// The data and settings folders: a real home's own when the home is chosen,
// else beside the scratch home.
std::string dataFolder(const rozuzed::testing::TemporaryFolder& root,
                       const std::filesystem::path& home, const char* own, const char* scratch) {
  return home == std::filesystem::path(root / "home") ? root / scratch : (home / own).string();
}

}  // namespace

WindowFixture::WindowFixture(bool openJournal)
    : homePath_(chosenHome(root_)),
      dataHome_("XDG_DATA_HOME", dataFolder(root_, homePath_, ".local/share", "data")),
      configHome_("XDG_CONFIG_HOME", dataFolder(root_, homePath_, ".config", "config")),
      home_("HOME", homePath_.string()),
      runtimeDir_("XDG_RUNTIME_DIR", root_ / "runtime") {
  const std::string config = dataFolder(root_, homePath_, ".config", "config");
  std::filesystem::create_directories(folder());
  std::filesystem::create_directories(config);
  std::filesystem::create_directories(root_ / "runtime");
  // QSettings names its folder once per process; point it here for each test.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(config));
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(config));
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
  return (homePath_ / "Downloads").string();
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

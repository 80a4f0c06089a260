// The window's world for tests and screenshots: a real engine with its
// SQLite journal, a real application model with Qt's dispatcher, and a
// folder to sort, all under scratch folders that go when the fixture goes.
#pragma once

#include <QSize>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/shell/qt_dispatcher.h"
#include "rozuzed/journal/sqlite_journal_store.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/testing/temporary_folder.h"
#include "sortappkit/app_model.h"
#include "sortappkit/sort_engine.h"

namespace ombrix::testing {

// XDG_DATA_HOME, XDG_CONFIG_HOME, HOME and XDG_RUNTIME_DIR point into the
// scratch folder, and QSettings writes there, so the journal, the run lock
// (also where it falls back to) and the remembered folder are the test's
// own. The folder picker stays the real one unless a test replaces it.
class WindowFixture {
 public:
  // `openJournal` false leaves `store` empty, for tests that build their own.
  explicit WindowFixture(bool openJournal = true);
  ~WindowFixture();
  WindowFixture(const WindowFixture&) = delete;
  WindowFixture& operator=(const WindowFixture&) = delete;

  // The model over a new engine on `store`; `startupProblem` as the entry
  // would give it.
  std::shared_ptr<sortappkit::AppModel> makeModel(
      std::optional<sortappkit::AppModel::Problem> startupProblem = std::nullopt);

  // The home folder: in the scratch folder, or where OMBRIX_FIXTURE_HOME
  // says (the screenshot tool's, in a home of its own), emptied first.
  std::string home() const { return homePath_.string(); }
  // The folder to sort ("Downloads" in the home folder).
  std::string folder() const;
  rozuzed::FileURL folderURL() const;
  // A file in the folder, an hour old so it does not count as still being
  // written; folders on the way are made.
  std::string addFile(const std::string& relative, const std::string& contents = "x") const;
  bool exists(const std::string& relative) const;
  std::string root() const { return root_.path(); }

  // The folder picker answers with `folder` (or cancels with none) until the
  // fixture goes; counts how often it was asked.
  void replacePicker(std::optional<rozuzed::FileURL> folder);
  int pickerCalls() const { return *pickerCalls_; }

  // Chooses the folder through the model and waits for its review; throws
  // std::runtime_error when the scan never ends.
  void chooseAndScan(sortappkit::AppModel& model);

  rozuzed::testing::TemporaryFolder root_;
  std::filesystem::path homePath_;
  rozuzed::testing::ScopedEnvironment dataHome_;
  rozuzed::testing::ScopedEnvironment configHome_;
  rozuzed::testing::ScopedEnvironment home_;
  rozuzed::testing::ScopedEnvironment runtimeDir_;
  std::shared_ptr<rozuzed::SQLiteJournalStore> store;
  std::shared_ptr<sortappkit::SortEngine> engine;

 private:
  std::shared_ptr<int> pickerCalls_ = std::make_shared<int>(0);
};

// Runs the event loop until `condition` holds; false when it did not within
// a generous time (only a hung operation waits that long).
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 60000);

// Runs the event loop until every task already posted has run.
void settle();

}  // namespace ombrix::testing

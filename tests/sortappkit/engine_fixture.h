// A real engine on real folders: a folder to sort and a SQLite journal under
// a temporary XDG_DATA_HOME, with the run lock beside the journal.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "rozuzed/journal/sqlite_journal_store.h"
#include "rozuzed/rules/rule_set_loader.h"
#include "rozuzed/support/dates.h"
#include "rozuzed/testing/temporary_folder.h"
#include "sortappkit/sort_engine.h"

namespace sortappkit::testing {

// A rule set that fails validation: its destination climbs out of its root.
inline rozuzed::LoadedRuleSet invalidRules() {
  return rozuzed::RuleSetLoader::load(
      R"({"version": 1, "rules": [{"id": "bad", "name": "Bad", "enabled": true, "priority": 1,
          "match": {"type": "extension", "values": ["jpg"]},
          "destination": {"root": "sourceFolder", "path": "../Out"}}]})",
      std::nullopt);
}

class EngineFixture {
 public:
  EngineFixture() {
    std::filesystem::create_directories(folder());
    store = SortEngine::defaultStore();
    engine = makeEngine();
  }

  std::shared_ptr<SortEngine> makeEngine(
      SortEngine::RuleSource rules = rozuzed::RuleSetLoader::bundledDefault) {
    return std::make_shared<SortEngine>(store, std::nullopt, SortEngine::liveFileSystem(),
                                        SortEngine::systemDates(),
                                        rozuzed::DirectoryRoots::current(), std::move(rules));
  }

  std::string folder() const { return root / "Downloads"; }
  rozuzed::FileURL folderURL() const { return rozuzed::FileURL::fromPath(folder(), true); }
  std::string lockPath() const { return root / "data/RozuZed/run.lock"; }
  std::string databasePath() const { return root / "data/RozuZed/rozuzed.sqlite"; }

  // A file in the folder, old enough not to count as still being written.
  std::string addFile(const std::string& name, const std::string& contents = "x") const {
    const std::string path = folder() + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    rozuzed::testing::writeFile(path, contents, rozuzed::currentDate() - 3600);
    return path;
  }
  bool exists(const std::string& relative) const {
    return rozuzed::testing::pathExists(folder() + "/" + relative);
  }

  rozuzed::testing::TemporaryFolder root;
  rozuzed::testing::ScopedEnvironment dataHome{"XDG_DATA_HOME", root / "data"};
  rozuzed::testing::ScopedEnvironment home{"HOME", root / "home"};
  // Where the lock falls back to when the journal's folder cannot hold it.
  rozuzed::testing::ScopedEnvironment runtime{"XDG_RUNTIME_DIR", root / "runtime"};
  std::shared_ptr<rozuzed::SQLiteJournalStore> store;
  std::shared_ptr<SortEngine> engine;
};

}  // namespace sortappkit::testing

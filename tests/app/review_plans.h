// Plans for the review screen's tests and pictures, made by the real engine
// from real files.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "rozuzed/rules/rule_set_loader.h"
#include "rozuzed/testing/temporary_folder.h"
#include "sortappkit/sort_engine.h"
#include "testing/window_fixture.h"

namespace ombrix::testing {

// A folder on another volume than the fixture's (/dev/shm, which is memory),
// or none where there is no such place.
inline std::unique_ptr<rozuzed::testing::TemporaryFolder> otherVolumeFolder(
    const WindowFixture& fixture) {
  if (!rozuzed::testing::secondVolumeBeside(fixture.folder())) return nullptr;
  return std::make_unique<rozuzed::testing::TemporaryFolder>("/dev/shm");
}

// Gives the fixture an engine whose rules are the default ones with one in
// front: PDF files go to `papers`, an absolute folder.
inline void sendPapersTo(WindowFixture& fixture, const std::string& papers) {
  fixture.engine = std::make_shared<sortappkit::SortEngine>(
      fixture.store, std::nullopt, sortappkit::SortEngine::liveFileSystem(),
      sortappkit::SortEngine::systemDates(), rozuzed::DirectoryRoots::current(), [papers] {
        rozuzed::Json rules = rozuzed::RuleSetLoader::bundledDefault().ruleSet.toJson();
        rozuzed::Json rule = {{"id", "papers"},
                              {"name", "Papers"},
                              {"enabled", true},
                              {"priority", 1},
                              {"match", {{"type", "extension"}, {"values", {"pdf"}}}},
                              {"destination", {{"absolute", papers}}}};
        rules["rules"].insert(rules["rules"].begin(), rule);
        return rozuzed::RuleSetLoader::load(rules.dump(), std::nullopt);
      });
}

}  // namespace ombrix::testing

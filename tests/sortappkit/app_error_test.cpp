#include "sortappkit/app_error.h"

#include <gtest/gtest.h>

#include "rozuzed/testing/equality_table.h"

namespace sortappkit {
namespace {

using rozuzed::FileURL;

struct TextCase {
  const char* label;
  AppError error;
  std::string description;
  std::optional<std::string> suggestion;
};

TEST(AppErrorTest, EveryCaseHasItsTexts) {
  const FileURL downloads = FileURL::fromPath("/home/ann/Down loads/", true);
  std::vector<TextCase> cases = {
      {"not created", AppError::bookmarkNotCreated(downloads, "Permission denied"),
       "Could not remember access to Down loads: Permission denied", std::nullopt},
      {"unreadable hides its payload", AppError::bookmarkUnreadable("damaged"),
       "The saved folder could not be opened again.", "Choose the folder again to restore access."},
      {"access lost", AppError::folderAccessLost(downloads), "Access to Down loads was lost.",
       "Choose the folder again."},
      {"engine", AppError::engineFailed("The plan could not be found."),
       "The plan could not be found.", std::nullopt},
      {"no folder", AppError::noFolderChosen(), "No folder has been chosen yet.", std::nullopt},
      {"other process", AppError::anotherProcessIsRunning(),
       "Another copy of Ombrix is working on these files.",
       "Wait for it to finish, then try again."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.error.errorDescription(), c.description);
    EXPECT_STREQ(c.error.what(), c.description.c_str());
    EXPECT_EQ(c.error.recoverySuggestion(), c.suggestion);
  }
}

TEST(AppErrorTest, EqualityAndHashTakeTheCaseAndItsValues) {
  const FileURL a = FileURL::fromPath("/a/", true);
  const FileURL b = FileURL::fromPath("/b/", true);
  rozuzed::testing::expectDistinctValuesAndHashes<AppError>({
      {"access lost", AppError::folderAccessLost(a)},
      {"access lost elsewhere", AppError::folderAccessLost(b)},
      {"not created", AppError::bookmarkNotCreated(a, "x")},
      {"not created otherwise", AppError::bookmarkNotCreated(a, "y")},
      {"not created elsewhere", AppError::bookmarkNotCreated(b, "x")},
      {"unreadable", AppError::bookmarkUnreadable("x")},
      {"unreadable otherwise", AppError::bookmarkUnreadable("y")},
      {"same text, other case", AppError::engineFailed("x")},
      {"no folder", AppError::noFolderChosen()},
      {"other process", AppError::anotherProcessIsRunning()},
  });
}

}  // namespace
}  // namespace sortappkit

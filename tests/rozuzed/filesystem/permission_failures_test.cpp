// Failures that only the permissions of a real disk give. Root passes every
// permission check, so each case runs in a child process that permissions
// bind, and says what it met in its answer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "rozuzed/filesystem/live_file_system.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/testing/no_replace_rename_refusal.h"
#include "rozuzed/testing/subprocess.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

using testing::pathExists;
using testing::readFile;
using testing::writeFile;

const std::string kDenied = "Permission denied";

std::string failureOf(const std::function<void()>& body) {
  try {
    body();
    return "no failure";
  } catch (const SortError& error) {
    return error.errorDescription();
  }
}

// The names in the folder, in order.
std::string listing(const std::string& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    names.insert(entry.path().filename().string());
  }
  if (error) return "unreadable";
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : " ") + name;
  return "[" + text + "]";
}

std::string lines(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) joined += text + "\n";
  return joined;
}

// The scratch folder lies where any user can reach it and belongs to the
// user the child becomes, who makes everything in it.
class PermissionFailuresTest : public ::testing::Test {
 protected:
  PermissionFailuresTest() {
    if (::geteuid() == 0) {
      testing::UnprivilegedUser user = testing::unprivilegedUser();
      if (::chown(scratch_.path().c_str(), user.uid, user.gid) != 0) {
        ADD_FAILURE() << "cannot hand the scratch folder over";
      }
    }
  }

  // Each case of a test in a folder of its own, since what a child locked
  // only root could remove: paths below are relative to it.
  void inCaseFolder(const std::string& name) { caseFolder_ = name + "/"; }
  std::string path(const std::string& relative) const {
    return scratch_ / (caseFolder_ + relative);
  }
  FileURL url(const std::string& relative) const { return FileURL::fromPath(path(relative)); }
  void folder(const std::string& relative) const {
    std::filesystem::create_directories(path(relative));
  }

  testing::TemporaryFolder scratch_;
  std::string caseFolder_;
  LiveFileSystem fileSystem_;
};

TEST_F(PermissionFailuresTest, AFolderThatCannotBeWrittenTakesNothingInAndLetsNothingOut) {
  struct Case {
    std::string what;
    bool renameMayReplace;
  };
  for (const Case& c : {Case{"rename", false}, Case{"link and unlink", true}}) {
    SCOPED_TRACE(c.what);
    inCaseFolder(c.renameMayReplace ? "linking" : "renaming");
    auto answer = testing::inUnprivilegedChild([&] {
      std::optional<testing::ScopedNoReplaceRenameRefusal> renameRefused;
      if (c.renameMayReplace) renameRefused.emplace();
      folder("inbox");
      folder("locked");
      writeFile(path("inbox/a.txt"), "a");
      writeFile(path("inbox/b.txt"), "b");
      folder("kept");
      writeFile(path("kept/c.txt"), "c");
      ::chmod(path("locked").c_str(), 0500);
      ::chmod(path("kept").c_str(), 0500);
      return lines({
          failureOf([&] { fileSystem_.moveItem(url("inbox/a.txt"), url("locked/a.txt")); }),
          failureOf([&] { fileSystem_.copyItem(url("inbox/b.txt"), url("locked/b.txt")); }),
          failureOf([&] { fileSystem_.createDirectory(url("locked/new")); }),
          failureOf([&] { fileSystem_.moveItem(url("kept/c.txt"), url("inbox/c.txt")); }),
          listing(path("inbox")),
          listing(path("locked")),
          listing(path("kept")),
      });
    });
    if (!answer) GTEST_SKIP() << "cannot give up root's privileges here";
    EXPECT_EQ(*answer,
              lines({
                  SortError::moveFailed(url("inbox/a.txt"), url("locked/a.txt"), kDenied)
                      .errorDescription(),
                  SortError::copyFailed(url("inbox/b.txt"), url("locked/b.txt"), kDenied)
                      .errorDescription(),
                  SortError::destinationNotCreatable(url("locked/new"), kDenied).errorDescription(),
                  SortError::moveFailed(url("kept/c.txt"), url("inbox/c.txt"), kDenied)
                      .errorDescription(),
                  "[a.txt b.txt]",
                  "[]",
                  "[c.txt]",
              }));
  }
}

TEST_F(PermissionFailuresTest, AFileThatCannotBeReadIsNeitherHashedNorCopied) {
  auto answer = testing::inUnprivilegedChild([&] {
    folder("album");
    writeFile(path("album/open.jpg"), "open");
    writeFile(path("album/secret.jpg"), "secret");
    ::chmod(path("album/secret.jpg").c_str(), 0200);
    return lines({
        failureOf([&] { fileSystem_.contentHash(url("album/secret.jpg")); }),
        failureOf([&] { fileSystem_.copyItem(url("album/secret.jpg"), url("secret-copy.jpg")); }),
        failureOf([&] { fileSystem_.copyItem(url("album"), url("album-copy")); }),
        listing(path("")),
    });
  });
  if (!answer) GTEST_SKIP() << "cannot give up root's privileges here";
  EXPECT_EQ(*answer,
            lines({
                SortError::hashUnreadable(url("album/secret.jpg"), kDenied).errorDescription(),
                SortError::copyFailed(url("album/secret.jpg"), url("secret-copy.jpg"), kDenied)
                    .errorDescription(),
                SortError::copyFailed(url("album"), url("album-copy"), kDenied).errorDescription(),
                "[album]",
            }))
      << "no partial copy stays behind";
}

TEST_F(PermissionFailuresTest, AFolderThatCannotBeListedIsUnreadable) {
  auto answer = testing::inUnprivilegedChild([&] {
    folder("inbox/private");
    writeFile(path("inbox/private/diary.txt"), "diary");
    ::chmod(path("inbox/private").c_str(), 0300);
    return lines({
        std::to_string(fileSystem_.contentsOfDirectory(url("inbox")).size()),
        failureOf([&] { fileSystem_.contentsOfDirectory(url("inbox/private")); }),
        failureOf([&] { fileSystem_.copyItem(url("inbox"), url("inbox-copy")); }),
        std::to_string(pathExists(path("inbox-copy"))),
    });
  });
  if (!answer) GTEST_SKIP() << "cannot give up root's privileges here";
  EXPECT_EQ(*answer,
            lines({
                "1",
                SortError::sourceUnreadable(url("inbox/private"), kDenied).errorDescription(),
                SortError::copyFailed(url("inbox"), url("inbox-copy"), kDenied).errorDescription(),
                "0",
            }));
}

// The item stays where it was and no record of it is left in the Trash.
TEST_F(PermissionFailuresTest, ATrashThatRefusesLeavesTheItemInPlace) {
  struct Case {
    std::string what;
    std::string locked;
  };
  for (const Case& c : {Case{"files cannot be written", "share/Trash/files"},
                        Case{"info cannot be written", "share/Trash/info"},
                        Case{"the item's folder cannot be written", "inbox"}}) {
    SCOPED_TRACE(c.what);
    inCaseFolder(c.what);
    auto answer = testing::inUnprivilegedChild([&] {
      ::setenv("XDG_DATA_HOME", path("share").c_str(), 1);
      folder("share/Trash/files");
      folder("share/Trash/info");
      folder("inbox");
      writeFile(path("inbox/report.pdf"), "report");
      ::chmod(path(c.locked).c_str(), 0500);
      return lines({
          failureOf([&] { fileSystem_.trashItem(url("inbox/report.pdf")); }),
          readFile(path("inbox/report.pdf")).value_or("gone"),
          listing(path("share/Trash/files")),
          listing(path("share/Trash/info")),
      });
    });
    if (!answer) GTEST_SKIP() << "cannot give up root's privileges here";
    EXPECT_EQ(*answer,
              lines({
                  SortError::trashFailed(url("inbox/report.pdf"), kDenied).errorDescription(),
                  "report",
                  "[]",
                  "[]",
              }));
  }
}

}  // namespace
}  // namespace rozuzed

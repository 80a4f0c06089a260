#include "rozuzed/filesystem/trash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>

#include "rozuzed/filesystem/live_file_system.h"
#include "rozuzed/filesystem/mount_table.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/unicode.h"
#include "rozuzed/support/uuid.h"
#include "rozuzed/testing/no_replace_rename_refusal.h"
#include "rozuzed/testing/subprocess.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

using testing::pathExists;
using testing::readFile;
using testing::ScopedEnvironment;
using testing::TemporaryFolder;
using testing::writeFile;

std::string buildTree() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path().string();
}

std::string resolved(const std::string& path) {
  return std::filesystem::canonical(path).string();
}

struct TrashInfo {
  std::string path;
  std::string deletionDate;
};

// The record beside a trashed item, parsed as a file manager reads it.
std::optional<TrashInfo> infoFor(const FileURL& trashed) {
  std::string trash = trashed.deletingLastPathComponent().deletingLastPathComponent().path();
  auto text = readFile(trash + "/info/" + trashed.lastPathComponent() + ".trashinfo");
  if (!text) return std::nullopt;
  const std::string header = "[Trash Info]\nPath=";
  const std::string dateKey = "\nDeletionDate=";
  auto dateAt = text->find(dateKey);
  bool wellFormed = text->rfind(header, 0) == 0 && dateAt != std::string::npos &&
                    text->size() == dateAt + dateKey.size() + 20 && text->back() == '\n';
  std::string date = wellFormed ? text->substr(dateAt + dateKey.size(), 19) : "";
  // YYYY-MM-DDThh:mm:ss
  for (std::size_t i = 0; i < date.size(); ++i) {
    char expected = i == 4 || i == 7 ? '-' : i == 10 ? 'T' : i == 13 || i == 16 ? ':' : '0';
    if (expected == '0' ? !std::isdigit(static_cast<unsigned char>(date[i]))
                        : date[i] != expected) {
      wellFormed = false;
    }
  }
  if (!wellFormed) {
    ADD_FAILURE() << "malformed record: " << *text;
    return std::nullopt;
  }
  auto path = percentDecode(text->substr(header.size(), dateAt - header.size()));
  return TrashInfo{path.value_or("?"), date};
}

// Every test gets a home trash of its own, under a data folder that does not
// exist yet.
class TrashTest : public ::testing::Test {
 protected:
  TemporaryFolder data_{buildTree()};
  ScopedEnvironment dataHome_{"XDG_DATA_HOME", data_ / "share"};
  TemporaryFolder items_{buildTree()};
  std::string homeTrash_ = data_ / "share/Trash";
};

TEST_F(TrashTest, HomeTrashPathFollowsTheEnvironment) {
  ScopedEnvironment home("HOME", "/home/someone");
  struct Case {
    std::optional<std::string> dataHome;
    const char* trash;
  };
  for (const Case& c : {
           Case{"/data/home", "/data/home/Trash"},
           Case{"/data/home/", "/data/home/Trash"},
           Case{std::nullopt, "/home/someone/.local/share/Trash"},
           Case{"", "/home/someone/.local/share/Trash"},
           Case{"relative/share", "/home/someone/.local/share/Trash"},
       }) {
    ScopedEnvironment dataHome("XDG_DATA_HOME", c.dataHome);
    EXPECT_EQ(Trash::homeTrashPath(), c.trash) << c.dataHome.value_or("(unset)");
  }
}

TEST_F(TrashTest, AnItemOnTheHomeMountGoesToTheHomeTrashWithItsRecord) {
  writeFile(items_ / "Report 2024 ü.pdf", "report");
  FileURL trashed = Trash::trashItem(FileURL::fromPath(items_ / "Report 2024 ü.pdf"));

  EXPECT_EQ(trashed.path(), homeTrash_ + "/files/Report 2024 ü.pdf");
  EXPECT_EQ(readFile(trashed.path()), "report");
  EXPECT_FALSE(pathExists(items_ / "Report 2024 ü.pdf"));
  auto info = infoFor(trashed);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->path, resolved(items_.path()) + "/Report 2024 ü.pdf");
  auto text = readFile(homeTrash_ + "/info/Report 2024 ü.pdf.trashinfo");
  EXPECT_NE(text->find("Path=" + percentEncodePath(info->path) + "\n"), std::string::npos)
      << "the path is percent-encoded";
  struct stat trash {};
  ASSERT_EQ(::stat(homeTrash_.c_str(), &trash), 0);
  EXPECT_EQ(trash.st_mode & 0777, 0700u);
}

TEST_F(TrashTest, ATakenNameGetsANumberAndNothingIsReplaced) {
  ASSERT_EQ(::mkdir((items_ / "a").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir((items_ / "b").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir((items_ / "c").c_str(), 0700), 0);
  writeFile(items_ / "a/photo.jpg", "first");
  writeFile(items_ / "b/photo.jpg", "second");
  writeFile(items_ / "c/photo.jpg", "third");

  FileURL first = Trash::trashItem(FileURL::fromPath(items_ / "a/photo.jpg"));
  // A leftover without its record still holds its name.
  writeFile(homeTrash_ + "/files/photo.2.jpg", "leftover");
  FileURL second = Trash::trashItem(FileURL::fromPath(items_ / "b/photo.jpg"));
  FileURL third = Trash::trashItem(FileURL::fromPath(items_ / "c/photo.jpg"));

  EXPECT_EQ(first.lastPathComponent(), "photo.jpg");
  EXPECT_EQ(second.lastPathComponent(), "photo.3.jpg");
  EXPECT_EQ(third.lastPathComponent(), "photo.4.jpg");
  EXPECT_EQ(readFile(first.path()), "first");
  EXPECT_EQ(readFile(second.path()), "second");
  EXPECT_EQ(readFile(third.path()), "third");
  EXPECT_EQ(readFile(homeTrash_ + "/files/photo.2.jpg"), "leftover");
  EXPECT_FALSE(pathExists(homeTrash_ + "/info/photo.2.jpg.trashinfo"));
  EXPECT_EQ(infoFor(second)->path, resolved(items_ / "b") + "/photo.jpg");
}

TEST_F(TrashTest, FoldersLinksAndLongNames) {
  ASSERT_EQ(::mkdir((items_ / "album").c_str(), 0700), 0);
  writeFile(items_ / "album/inside", "i");
  writeFile(items_ / "target", "t");
  ASSERT_EQ(::symlink("target", (items_ / "link").c_str()), 0);
  // 254 bytes: too long to have ".trashinfo" appended.
  std::string validLong = "a";
  for (int i = 0; i < 124; ++i) validLong += "é";
  validLong += ".text";
  writeFile(items_ / validLong, "long");

  FileURL folder = Trash::trashItem(FileURL::fromPath(items_ / "album"));
  EXPECT_TRUE(folder.hasDirectoryPath());
  EXPECT_EQ(readFile(folder.path() + "/inside"), "i");

  FileURL link = Trash::trashItem(FileURL::fromPath(items_ / "link"));
  EXPECT_EQ(std::filesystem::read_symlink(link.path()), "target");
  EXPECT_EQ(readFile(items_ / "target"), "t");

  FileURL trashedLong = Trash::trashItem(FileURL::fromPath(items_ / validLong));
  EXPECT_LE(trashedLong.lastPathComponent().size() + 10, 255u);
  EXPECT_TRUE(isValidUtf8(trashedLong.lastPathComponent())) << "shortened between characters";
  EXPECT_EQ(trashedLong.pathExtension(), "text");
  EXPECT_EQ(readFile(trashedLong.path()), "long");
  EXPECT_EQ(infoFor(trashedLong)->path, resolved(items_.path()) + "/" + validLong);
}

TEST_F(TrashTest, AnItemOnAnotherMountGoesToThatMountsOwnTrash) {
  TemporaryFolder shm("/dev/shm");
  if (MountTable::shared().mountPoint(resolved(shm.path())) ==
      MountTable::shared().mountPoint(resolved(data_.path()))) {
    GTEST_SKIP() << "/dev/shm and the home trash share one mount";
  }
  writeFile(shm / "clip.mov", "movie");
  const std::string trash = "/dev/shm/.Trash-" + std::to_string(::getuid());
  // Other tests and programs share this Trash; only one made here is new.
  struct stat before {};
  const bool existed = ::lstat(trash.c_str(), &before) == 0;
  FileURL trashed = Trash::trashItem(FileURL::fromPath(shm / "clip.mov"));

  EXPECT_EQ(trashed.deletingLastPathComponent().path(), trash + "/files");
  EXPECT_EQ(readFile(trashed.path()), "movie");
  EXPECT_FALSE(pathExists(shm / "clip.mov"));
  auto info = infoFor(trashed);
  ASSERT_TRUE(info);
  EXPECT_EQ("/dev/shm/" + info->path, resolved(shm.path()) + "/clip.mov")
      << "relative to the mount's top folder";
  struct stat status {};
  ASSERT_EQ(::lstat(trash.c_str(), &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
  EXPECT_EQ(status.st_mode & 0777, existed ? before.st_mode & 0777 : 0700u);
  EXPECT_FALSE(pathExists(homeTrash_)) << "nothing went to the home trash";

  // The shared trash folder stays; only this test's entry goes.
  std::filesystem::remove(trashed.path());
  std::filesystem::remove(trash + "/info/" + trashed.lastPathComponent() + ".trashinfo");
}

// A mount of its own, laid out in a scratch folder: the mount table is told
// that everything inside `topdir` lies on a mount whose top folder it is.
class TrashOnAMountTest : public TrashTest {
 protected:
  TrashOnAMountTest() {
    Trash::mountPointSeam() = [top = topdir_](const std::string& real) {
      return isAtOrBelow(real, top) ? std::optional<std::string>(top) : std::nullopt;
    };
  }
  ~TrashOnAMountTest() override { Trash::mountPointSeam() = nullptr; }

  // Trashes a file of the mount and checks that it went to `trash` (relative
  // to the top folder) with a record relative to it, and that taking it back
  // drops the record; with `trash` empty, that it was refused and stayed.
  void expectTrashedTo(const std::string& trash) {
    std::filesystem::create_directories(topdir_ + "/Movies");
    const FileURL item = FileURL::fromPath(topdir_ + "/Movies/clip.mov");
    writeFile(item.path(), "movie");
    if (trash.empty()) {
      try {
        Trash::trashItem(item);
        ADD_FAILURE() << "trashed";
      } catch (const SortError& error) {
        EXPECT_EQ(error.errorCase(), SortError::Case::trashFailed);
      }
      EXPECT_EQ(readFile(item.path()), "movie");
      EXPECT_FALSE(pathExists(topdir_ + "/elsewhere/files"));
    } else {
      FileURL trashed = Trash::trashItem(item);
      EXPECT_EQ(trashed.path(), topdir_ + "/" + trash + "/files/clip.mov");
      EXPECT_EQ(readFile(trashed.path()), "movie");
      EXPECT_EQ(infoFor(trashed)->path, "Movies/clip.mov") << "relative to the top folder";
      struct stat status {};
      EXPECT_EQ(::lstat((topdir_ + "/" + trash).c_str(), &status), 0);
      EXPECT_TRUE(S_ISDIR(status.st_mode));
      EXPECT_EQ(status.st_uid, ::getuid());
      EXPECT_EQ(status.st_mode & 0777, 0700u);
      EXPECT_TRUE(Trash::contains(trashed));

      EXPECT_EQ(::rename(trashed.path().c_str(), item.path().c_str()), 0);
      Trash::forgetTrashedItem(trashed, item);
      EXPECT_FALSE(pathExists(topdir_ + "/" + trash + "/info/clip.mov.trashinfo"));
    }
    EXPECT_FALSE(pathExists(homeTrash_)) << "nothing went to the home trash";
    std::filesystem::remove(item.path());
  }

  TemporaryFolder mount_{buildTree()};
  std::string topdir_ = resolved(mount_.path());
  std::string uid_ = std::to_string(::getuid());
};

TEST_F(TrashOnAMountTest, AnItemGoesToItsMountsTrashButNeverThroughALink) {
  auto folder = [](const std::string& at, mode_t mode) {
    std::filesystem::create_directories(at);
    ASSERT_EQ(::chmod(at.c_str(), mode), 0);
  };
  auto link = [](const std::string& target, const std::string& at) {
    ASSERT_EQ(::symlink(target.c_str(), at.c_str()), 0);
  };
  struct Case {
    std::string what;
    std::function<void(const std::string& topdir)> layOut;
    std::string trash;
  };
  const std::vector<Case> cases = {
      {"no trash folder yet", [](const std::string&) {}, ".Trash-" + uid_},
      {"a shared sticky .Trash", [&](const std::string& top) { folder(top + "/.Trash", 01777); },
       ".Trash/" + uid_},
      {"a shared .Trash without the sticky bit",
       [&](const std::string& top) { folder(top + "/.Trash", 0777); }, ".Trash-" + uid_},
      {"a .Trash that is a link to a sticky folder",
       [&](const std::string& top) {
         folder(top + "/elsewhere", 01777);
         link("elsewhere", top + "/.Trash");
       },
       ".Trash-" + uid_},
      {"a link in the shared .Trash where this user's folder belongs",
       [&](const std::string& top) {
         folder(top + "/.Trash", 01777);
         folder(top + "/elsewhere", 0700);
         link("../elsewhere", top + "/.Trash/" + uid_);
       },
       ".Trash-" + uid_},
      {"a .Trash-$uid that is a link",
       [&](const std::string& top) {
         folder(top + "/elsewhere", 0700);
         link("elsewhere", top + "/.Trash-" + uid_);
       },
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& laidOut :
         {std::string(".Trash"), ".Trash-" + uid_, std::string("elsewhere")}) {
      std::filesystem::remove_all(topdir_ + "/" + laidOut);
    }
    c.layOut(topdir_);
    expectTrashedTo(c.trash);
  }
}

TEST_F(TrashOnAMountTest, AnotherUsersTrashFolderIsNeverUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
  const testing::UnprivilegedUser other = testing::unprivilegedUser();
  const std::string own = topdir_ + "/.Trash-" + uid_;
  ASSERT_EQ(::mkdir(own.c_str(), 0700), 0);
  ASSERT_EQ(::chown(own.c_str(), other.uid, other.gid), 0);
  expectTrashedTo("");
  EXPECT_FALSE(pathExists(own + "/files"));
}

// Where the file system cannot rename without replacing, a file goes into
// the Trash, and back out of it, by a hard link; a folder stays.
TEST_F(TrashTest, WhereRenameMayReplaceAFileGoesByALinkAndAFolderStays) {
  testing::ScopedNoReplaceRenameRefusal renameRefused;
  writeFile(items_ / "note.txt", "note");
  struct stat before {};
  ASSERT_EQ(::lstat((items_ / "note.txt").c_str(), &before), 0);
  FileURL trashed = Trash::trashItem(FileURL::fromPath(items_ / "note.txt"));
  EXPECT_EQ(trashed.path(), homeTrash_ + "/files/note.txt");
  struct stat after {};
  ASSERT_EQ(::lstat(trashed.path().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_nlink, 1u);
  EXPECT_FALSE(pathExists(items_ / "note.txt"));
  EXPECT_EQ(infoFor(trashed)->path, resolved(items_.path()) + "/note.txt");

  // A leftover without its record holds its name: the link is refused and
  // the next name taken.
  writeFile(homeTrash_ + "/files/other.txt", "leftover");
  writeFile(items_ / "other.txt", "other");
  EXPECT_EQ(Trash::trashItem(FileURL::fromPath(items_ / "other.txt")).lastPathComponent(),
            "other.2.txt");
  EXPECT_EQ(readFile(homeTrash_ + "/files/other.txt"), "leftover");

  ASSERT_EQ(::mkdir((items_ / "album").c_str(), 0700), 0);
  writeFile(items_ / "album/photo.jpg", "jpeg");
  try {
    Trash::trashItem(FileURL::fromPath(items_ / "album"));
    ADD_FAILURE() << "trashed a folder";
  } catch (const SortError& error) {
    EXPECT_EQ(error, SortError::trashFailed(FileURL::fromPath(items_ / "album"),
                                            "This file system cannot move a folder without the "
                                            "risk of replacing another item"));
  }
  EXPECT_EQ(readFile(items_ / "album/photo.jpg"), "jpeg");
  EXPECT_FALSE(pathExists(homeTrash_ + "/info/album.trashinfo"));

  // Edited in the instant before it went: it comes back the same way.
  writeFile(items_ / "draft.txt", "draft");
  const FileURL draft = FileURL::fromPath(items_ / "draft.txt");
  Trash::beforeMoveSeam() = [](const std::string& path) {
    std::ofstream(path, std::ios::app) << "!";
  };
  try {
    Trash::trashItemIfUnchanged(draft, *identityOfPath(draft.path()));
    ADD_FAILURE() << "a changed item went to the Trash";
  } catch (const SortError& error) {
    EXPECT_EQ(error, SortError::sourceChangedDuringMove(draft));
  }
  Trash::beforeMoveSeam() = nullptr;
  EXPECT_EQ(readFile(draft.path()), "draft!");
  EXPECT_FALSE(pathExists(homeTrash_ + "/files/draft.txt"));
  EXPECT_FALSE(pathExists(homeTrash_ + "/info/draft.txt.trashinfo"));
  EXPECT_GT(renameRefused.calls, 0);
}

TEST_F(TrashTest, FailureNamesTheItem) {
  FileURL missing = FileURL::fromPath(items_ / "missing");
  try {
    Trash::trashItem(missing);
    ADD_FAILURE() << "trashed a missing item";
  } catch (const SortError& error) {
    EXPECT_EQ(error.errorCase(), SortError::Case::trashFailed);
    EXPECT_EQ(error.location(), missing);
    EXPECT_EQ(error.underlying(), "No such file or directory");
  }
}

TEST_F(TrashTest, OnlyTheReturnOfThatItemDropsItsRecord) {
  LiveFileSystem fileSystem;
  const FileURL original = FileURL::fromPath(items_ / "letter.odt");
  writeFile(original.path(), "letter");
  FileURL trashed = *fileSystem.trashItem(original);
  const std::string record = homeTrash_ + "/info/letter.odt.trashinfo";
  ASSERT_TRUE(pathExists(record));

  fileSystem.forgetTrashedItem(trashed, original);
  EXPECT_TRUE(pathExists(record)) << "the item is still in the Trash";

  fileSystem.moveItem(trashed, original);
  EXPECT_TRUE(pathExists(record)) << "a move removes nothing else";

  fileSystem.forgetTrashedItem(trashed, FileURL::fromPath(items_ / "other.odt"));
  EXPECT_TRUE(pathExists(record)) << "the record names another place";

  fileSystem.forgetTrashedItem(trashed, original);
  EXPECT_FALSE(pathExists(record));
  EXPECT_EQ(readFile(original.path()), "letter");

  // A later item of the same name takes the name in the Trash; its record
  // is its own.
  ASSERT_EQ(::mkdir((items_ / "later").c_str(), 0700), 0);
  writeFile(items_ / "later/letter.odt", "later");
  ASSERT_EQ(fileSystem.trashItem(FileURL::fromPath(items_ / "later/letter.odt")), trashed);
  fileSystem.forgetTrashedItem(trashed, original);
  EXPECT_TRUE(pathExists(record));
}

TEST_F(TrashTest, AReturnFromAMountsTrashDropsItsRelativeRecord) {
  TemporaryFolder shm("/dev/shm");
  if (MountTable::shared().mountPoint(resolved(shm.path())) ==
      MountTable::shared().mountPoint(resolved(data_.path()))) {
    GTEST_SKIP() << "/dev/shm and the home trash share one mount";
  }
  LiveFileSystem fileSystem;
  const FileURL original = FileURL::fromPath(shm / ("clip-" + Uuid::random().text() + ".mov"));
  writeFile(original.path(), "movie");
  FileURL trashed = *fileSystem.trashItem(original);
  const std::string record =
      trashed.deletingLastPathComponent().deletingLastPathComponent().path() + "/info/" +
      trashed.lastPathComponent() + ".trashinfo";
  ASSERT_TRUE(pathExists(record));

  fileSystem.moveItem(trashed, original);
  fileSystem.forgetTrashedItem(trashed, original);
  EXPECT_FALSE(pathExists(record));
  EXPECT_EQ(readFile(original.path()), "movie");
}

// Folders laid out like a Trash that are not one: not at the top of a
// mount, and not the home trash. Moving their files out leaves every file
// of theirs where it is.
TEST_F(TrashTest, AFolderThatOnlyLooksLikeATrashKeepsItsFiles) {
  LiveFileSystem fileSystem;
  const std::string uid = std::to_string(::getuid());
  for (const std::string& trash : {std::string("x"), ".Trash-" + uid, ".Trash/" + uid}) {
    SCOPED_TRACE(trash);
    std::filesystem::create_directories(items_ / (trash + "/files"));
    std::filesystem::create_directories(items_ / (trash + "/info"));
    writeFile(items_ / (trash + "/files/a"), "a");
    writeFile(items_ / (trash + "/info/a.trashinfo"), "mine");
    fileSystem.moveItem(FileURL::fromPath(items_ / (trash + "/files/a")),
                        FileURL::fromPath(items_ / "a"));
    EXPECT_EQ(readFile(items_ / (trash + "/info/a.trashinfo")), "mine");
    std::filesystem::remove(items_ / "a");
  }
}

TEST_F(TrashTest, TrashFoldersAreKnownWhereverTheyLie) {
  const std::string uid = std::to_string(::getuid());
  std::filesystem::create_directories(homeTrash_ + "/files");
  ASSERT_EQ(::symlink(homeTrash_.c_str(), (items_ / "trash-link").c_str()), 0);
  struct Case {
    std::string path;
    bool inTrash;
  };
  std::vector<Case> cases = {
      {homeTrash_, true},
      {homeTrash_ + "/files/album/photo.jpg", true},
      {items_ / "trash-link/files", true},
      {homeTrash_ + "-not", false},
      {data_ / "share", false},
      {items_.path(), false},
      {items_ / (".Trash-" + uid + "/files"), false},
  };
  if (MountTable::shared().mountPoint("/dev/shm") == "/dev/shm") {
    for (const std::string& trash :
         {".Trash-" + uid, ".Trash-" + uid + "/files/a", std::string(".Trash-0"),
          std::string(".Trash"), ".Trash/" + uid + "/files"}) {
      cases.push_back({"/dev/shm/" + trash, true});
    }
    for (const char* other : {".Trash-x", ".Trashy", "Trash-1000", "folder/.Trash-1000"}) {
      cases.push_back({std::string("/dev/shm/") + other, false});
    }
  }
  for (const auto& c : cases) {
    EXPECT_EQ(Trash::contains(FileURL::fromPath(c.path, true)), c.inTrash) << c.path;
  }
}

TEST_F(TrashTest, AnItemGoesOnlyWhileItIsStillTheFileExpected) {
  const FileURL item = FileURL::fromPath(items_ / "draft.txt");
  auto identity = [&] { return *identityOfPath(item.path()); };
  auto expectLeftAlone = [&](const std::string& contents) {
    try {
      Trash::trashItemIfUnchanged(item, identity());
      ADD_FAILURE() << "a changed item went to the Trash";
    } catch (const SortError& error) {
      EXPECT_EQ(error, SortError::sourceChangedDuringMove(item));
    }
    EXPECT_EQ(readFile(item.path()), contents);
    EXPECT_TRUE(std::filesystem::is_empty(homeTrash_ + "/files"));
    EXPECT_TRUE(std::filesystem::is_empty(homeTrash_ + "/info")) << "its record is gone again";
  };

  writeFile(item.path(), "draft", 1'600'000'000);
  FileIdentity unchanged = identity();
  FileURL trashed = Trash::trashItemIfUnchanged(item, unchanged);
  EXPECT_EQ(readFile(trashed.path()), "draft");
  ASSERT_EQ(::rename(trashed.path().c_str(), item.path().c_str()), 0);
  std::filesystem::remove(homeTrash_ + "/info/draft.txt.trashinfo");

  // Edited since its identity was taken.
  std::ofstream(item.path(), std::ios::app) << "!";
  try {
    Trash::trashItemIfUnchanged(item, unchanged);
    ADD_FAILURE() << "an edited item went to the Trash";
  } catch (const SortError& error) {
    EXPECT_EQ(error, SortError::sourceChangedDuringMove(item));
  }
  EXPECT_EQ(readFile(item.path()), "draft!");
  EXPECT_TRUE(std::filesystem::is_empty(homeTrash_ + "/info"));

  // Edited in the very instant before the move, where no check can see: it
  // comes back from the Trash.
  Trash::beforeMoveSeam() = [](const std::string& path) {
    std::ofstream(path, std::ios::app) << " and more";
  };
  expectLeftAlone("draft! and more");
  // Swapped for another file in that instant: the one moved comes back.
  Trash::beforeMoveSeam() = [](const std::string& path) {
    std::filesystem::rename(path, path + ".old");
    writeFile(path, "another", 1'600'000'000);
  };
  expectLeftAlone("another");
  Trash::beforeMoveSeam() = nullptr;
  EXPECT_EQ(readFile(item.path() + ".old"), "draft! and more");
}

}  // namespace
}  // namespace rozuzed

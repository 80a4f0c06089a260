#include "rozuzed/filesystem/live_file_system.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "rozuzed/support/unicode.h"
#include "rozuzed/testing/no_replace_rename_refusal.h"
#include "rozuzed/testing/subprocess.h"
#include "rozuzed/testing/temporary_folder.h"

// The existence check before a move or copy and the move or copy itself are
// two system calls. To put a new item between them the way another process
// could, this test executable supplies its own stat(): after the real call it
// runs a hook armed for one path, once.
namespace {
std::string armedPath;
std::function<void()> armedHook;
}  // namespace

extern "C" int stat(const char* path, struct stat* status) noexcept {
  using Real = int (*)(const char*, struct stat*);
  static Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "stat"));
  int result = real(path, status);
  if (armedHook && armedPath == path) {
    int saved = errno;
    std::exchange(armedHook, nullptr)();
    errno = saved;
  }
  return result;
}

namespace rozuzed {
namespace {

using testing::readFile;
using testing::TemporaryFolder;
using testing::writeFile;

std::string buildTree() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path().string();
}

std::string linkTarget(const std::string& path) {
  std::error_code error;
  return std::filesystem::read_symlink(path, error).string();
}

void afterExistenceCheckOf(const std::string& path, std::function<void()> hook) {
  armedPath = path;
  armedHook = std::move(hook);
}

std::optional<std::string> attribute(const std::string& path, const std::string& name) {
  std::string value(65536, '\0');
  ssize_t size = ::lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
  if (size < 0) return std::nullopt;
  value.resize(static_cast<std::size_t>(size));
  return value;
}

void setAttribute(const std::string& path, const std::string& name, const std::string& value) {
  if (::setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) != 0) {
    throw std::runtime_error("cannot set " + name + " on " + path);
  }
}

// A POSIX ACL in the form Linux keeps it as an extended attribute: the mode's
// three classes, one named user with `namedUserPermissions`, and the mask.
std::string aclGranting(uint32_t namedUser, uint16_t namedUserPermissions) {
  std::string bytes;
  auto append = [&](uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  };
  append(2, 4);
  const uint32_t none = 0xFFFFFFFF;
  for (auto [tag, permissions, id] : {std::tuple<uint16_t, uint16_t, uint32_t>{0x01, 6, none},
                                      {0x02, namedUserPermissions, namedUser},
                                      {0x04, 4, none},
                                      {0x10, 6, none},
                                      {0x20, 0, none}}) {
    append(tag, 2);
    append(permissions, 2);
    append(id, 4);
  }
  return bytes;
}

template <typename Body>
SortError thrownBy(Body body) {
  try {
    body();
  } catch (const SortError& error) {
    return error;
  }
  ADD_FAILURE() << "no error";
  return SortError::journalUnavailable("nothing thrown");
}

class LiveFileSystemTest : public ::testing::Test {
 protected:
  FileURL url(const std::string& relative) const { return FileURL::fromPath(folder_ / relative); }
  std::string path(const std::string& relative) const { return folder_ / relative; }

  LiveFileSystem fileSystem_;
  TemporaryFolder folder_{buildTree()};
};

TEST_F(LiveFileSystemTest, ListingGivesEveryDirectChildUnderTheFolderAsSpelled) {
  EXPECT_TRUE(fileSystem_.contentsOfDirectory(folder_.url()).empty());

  writeFile(path("a.txt"), "a");
  writeFile(path(".hidden"), "h");
  ASSERT_EQ(::mkdir(path("sub").c_str(), 0700), 0);
  writeFile(path("sub/inner.txt"), "i");
  ASSERT_EQ(::mkdir(path("Tool.app").c_str(), 0700), 0);
  writeFile(path("Tool.app/Info.plist"), "");
  ASSERT_EQ(::symlink("a.txt", path("link").c_str()), 0);
  ASSERT_EQ(::symlink(folder_.path().c_str(), path("self").c_str()), 0);

  for (const FileURL& folder : {folder_.url(), FileURL::fromPath(path("self"), true)}) {
    std::set<std::string> found;
    for (const FileURL& child : fileSystem_.contentsOfDirectory(folder)) {
      EXPECT_EQ(child.deletingLastPathComponent().path(), folder.path());
      found.insert(child.lastPathComponent());
    }
    EXPECT_EQ(found,
              (std::set<std::string>{"a.txt", ".hidden", "sub", "Tool.app", "link", "self"}));
  }
  auto children = fileSystem_.contentsOfDirectory(folder_.url());
  EXPECT_NE(std::find(children.begin(), children.end(),
                      folder_.url().appendingPathComponent("sub", true)),
            children.end())
      << "a folder's URL carries the directory mark";

  writeFile(path("plain"), "");
  for (const FileURL& notAFolder : {url("missing"), url("plain")}) {
    SortError error = thrownBy([&] { fileSystem_.contentsOfDirectory(notAFolder); });
    EXPECT_EQ(error.errorCase(), SortError::Case::sourceUnreadable);
    EXPECT_EQ(error.location(), notAFolder);
  }
}

TEST_F(LiveFileSystemTest, SnapshotOfARegularFile) {
  writeFile(path("Holiday.JPG"), "12345");
  const timespec times[2] = {{1'600'000'000, 0}, {1'700'000'000, 123'456'789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path("Holiday.JPG").c_str(), times, 0), 0);

  FileMetadata m = fileSystem_.metadata(url("Holiday.JPG"));
  EXPECT_EQ(m.url, url("Holiday.JPG"));
  EXPECT_EQ(m.name, "Holiday.JPG");
  EXPECT_EQ(m.pathExtension, "jpg");
  EXPECT_EQ(m.size, 5);
  EXPECT_DOUBLE_EQ(m.modificationDate, 1'700'000'000.123456789);
  EXPECT_EQ(m.contentTypeIdentifier, "public.jpeg");
  EXPECT_TRUE(m.isRegularFile);
  EXPECT_FALSE(m.isDirectory || m.isPackage || m.isSymbolicLink || m.isAliasFile || m.isHidden);
  EXPECT_FALSE(m.ubiquitousDownloadingStatus);
  EXPECT_EQ(m.volumeID, fileSystem_.volumeID(folder_.url()));
  if (m.creationDate != kDistantPast) {
    EXPECT_NEAR(m.creationDate, currentDate(), 600) << "the birth time, when the disk keeps one";
  }

  writeFile(path(".profile"), "");
  writeFile(path("notes.unknownext"), "");
  writeFile(path("README"), "");
  EXPECT_TRUE(fileSystem_.metadata(url(".profile")).isHidden);
  for (const char* name : {".profile", "notes.unknownext", "README"}) {
    EXPECT_EQ(fileSystem_.metadata(url(name)).contentTypeIdentifier, "public.data") << name;
  }
}

TEST_F(LiveFileSystemTest, SnapshotsOfFoldersPackagesAndSpecialFiles) {
  ASSERT_EQ(::mkdir(path("Photos").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(path("Game.XCODEPROJ").c_str(), 0700), 0);
  writeFile(path("NotAFolder.app"), "");
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);

  FileMetadata folder = fileSystem_.metadata(url("Photos"));
  EXPECT_TRUE(folder.isDirectory);
  EXPECT_FALSE(folder.isRegularFile || folder.isPackage);
  EXPECT_EQ(folder.size, 0);
  EXPECT_EQ(folder.contentTypeIdentifier, "public.folder");

  FileMetadata package = fileSystem_.metadata(url("Game.XCODEPROJ"));
  EXPECT_TRUE(package.isDirectory && package.isPackage);
  EXPECT_EQ(package.contentTypeIdentifier, "com.apple.package");

  FileMetadata file = fileSystem_.metadata(url("NotAFolder.app"));
  EXPECT_TRUE(file.isRegularFile);
  EXPECT_FALSE(file.isPackage);

  FileMetadata pipe = fileSystem_.metadata(url("pipe"));
  EXPECT_FALSE(pipe.isRegularFile || pipe.isDirectory || pipe.isSymbolicLink);
  EXPECT_EQ(pipe.contentTypeIdentifier, std::nullopt);
}

TEST_F(LiveFileSystemTest, SnapshotOfALinkDescribesTheLinkWhateverItsTarget) {
  writeFile(path("target.pdf"), "pdf");
  ASSERT_EQ(::mkdir(path("folder").c_str(), 0700), 0);
  ASSERT_EQ(::symlink("target.pdf", path("to-file.pdf").c_str()), 0);
  ASSERT_EQ(::symlink("folder", path("to-folder").c_str()), 0);
  ASSERT_EQ(::symlink("missing", path("dangling.pdf").c_str()), 0);
  ASSERT_EQ(::symlink("/dev/shm", path("elsewhere").c_str()), 0);

  for (const char* name : {"to-file.pdf", "to-folder", "dangling.pdf", "elsewhere"}) {
    FileMetadata m = fileSystem_.metadata(url(name));
    EXPECT_TRUE(m.isSymbolicLink) << name;
    EXPECT_FALSE(m.isRegularFile || m.isDirectory || m.isPackage || m.isHidden) << name;
    EXPECT_EQ(m.size, 0) << name;
    EXPECT_EQ(m.creationDate, kDistantPast) << name;
    EXPECT_EQ(m.modificationDate, kDistantPast) << name;
    EXPECT_EQ(m.contentTypeIdentifier, std::nullopt) << name;
    EXPECT_TRUE(m.whereFroms.empty()) << name;
    EXPECT_EQ(m.volumeID, fileSystem_.volumeID(folder_.url())) << name << ": the link's folder's";
  }
}

TEST_F(LiveFileSystemTest, SnapshotFailures) {
  SortError vanished = thrownBy([&] { fileSystem_.metadata(url("gone.txt")); });
  EXPECT_EQ(vanished.errorCase(), SortError::Case::sourceUnreadable);
  EXPECT_EQ(vanished.location(), url("gone.txt"));
  EXPECT_EQ(vanished.underlying(), "No such file or directory");
}

// Whether two ways of taking facts agree: the same snapshot, or the same
// failure.
void expectSameFacts(const std::function<FileMetadata()>& expected,
                     const std::function<FileMetadata()>& actual, const std::string& what) {
  std::optional<FileMetadata> wanted;
  std::optional<SortError> wantedError;
  try {
    wanted = expected();
  } catch (const SortError& error) {
    wantedError = error;
  }
  if (wantedError) {
    SortError error = thrownBy(actual);
    EXPECT_EQ(error.errorCase(), wantedError->errorCase()) << what;
    EXPECT_EQ(error.location(), wantedError->location()) << what;
    EXPECT_EQ(error.underlying(), wantedError->underlying()) << what;
  } else {
    EXPECT_EQ(actual(), *wanted) << what;
  }
}

TEST_F(LiveFileSystemTest, FactsWithinAFolderAreTheFactsOfEachPath) {
  writeFile(path("Holiday.JPG"), "12345");
  writeFile(path(".hidden"), "");
  writeFile(path("caf\xe9.txt"), "latin-1");
  ASSERT_EQ(::mkdir(path("Photos").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(path("Game.xcodeproj").c_str(), 0700), 0);
  writeFile(path("Photos/inside.png"), "png");
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("Holiday.JPG", path("to-file.jpg").c_str()), 0);
  ASSERT_EQ(::symlink("Photos", path("to-folder").c_str()), 0);
  ASSERT_EQ(::symlink("missing", path("dangling.pdf").c_str()), 0);

  std::vector<FileURL> asked = fileSystem_.contentsOfDirectory(folder_.url());
  ASSERT_EQ(asked.size(), 9u);
  // Gone since the listing; and two that the folder does not hold by name.
  for (const char* relative : {"gone.txt", "Photos/inside.png", "to-folder/inside.png"}) {
    asked.push_back(url(relative));
  }
  auto within = fileSystem_.factsWithin(folder_.url());
  for (const FileURL& item : asked) {
    expectSameFacts([&] { return fileSystem_.facts(item); }, [&] { return within->facts(item); },
                    item.path());
  }

  // The folder seen through a link to it, and a folder that is not there.
  for (const char* relative : {"to-folder", "nowhere"}) {
    auto through = fileSystem_.factsWithin(url(relative));
    FileURL item = url(std::string(relative) + "/inside.png");
    expectSameFacts([&] { return fileSystem_.facts(item); }, [&] { return through->facts(item); },
                    item.path());
  }
}

TEST_F(LiveFileSystemTest, AnArrivalIsTheFactsFingerprintAndTheIdentityOfTheItem) {
  writeFile(path("Holiday.JPG"), "12345");
  ASSERT_EQ(::mkdir(path("Photos").c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("Holiday.JPG", path("to-file.jpg").c_str()), 0);
  ASSERT_EQ(::symlink("missing", path("dangling.pdf").c_str()), 0);
  auto held = fileSystem_.holdFolder(folder_.url());

  for (const char* name : {"Holiday.JPG", "Photos", "pipe", "to-file.jpg", "dangling.pdf"}) {
    SCOPED_TRACE(name);
    FileSystem::Arrival arrival = fileSystem_.arrivalIn(*held, name);
    ASSERT_TRUE(arrival.fingerprint);
    EXPECT_EQ(*arrival.fingerprint, fileSystem_.facts(url(name)).fingerprint());
    EXPECT_EQ(arrival.identity, fileSystem_.identity(url(name)));
  }
  FileSystem::Arrival gone = fileSystem_.arrivalIn(*held, "gone.txt");
  EXPECT_FALSE(gone.fingerprint);
  EXPECT_FALSE(gone.identity);
}

TEST_F(LiveFileSystemTest, ANameThatIsNotUtf8IsListedButNotDescribed) {
  const std::string name = "caf\xe9.txt";
  writeFile(path(name), "latin-1");
  auto children = fileSystem_.contentsOfDirectory(folder_.url());
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0].lastPathComponent(), name);
  EXPECT_TRUE(isValidUtf8(children[0].absoluteString()));
  SortError error = thrownBy([&] { fileSystem_.metadata(children[0]); });
  EXPECT_EQ(error.errorCase(), SortError::Case::sourceUnreadable);
  EXPECT_EQ(error.location(), children[0]);
  EXPECT_EQ(readFile(path(name)), "latin-1");
}

TEST_F(LiveFileSystemTest, ExistenceFollowsLinksAndNeverFails) {
  writeFile(path("file"), "");
  ASSERT_EQ(::mkdir(path("folder").c_str(), 0700), 0);
  ASSERT_EQ(::symlink("file", path("link").c_str()), 0);
  ASSERT_EQ(::symlink("missing", path("dangling").c_str()), 0);
  ASSERT_EQ(::symlink("loop", path("loop").c_str()), 0);
  for (const char* name : {"file", "folder", "link"})
    EXPECT_TRUE(fileSystem_.fileExists(url(name))) << name;
  for (const char* name : {"dangling", "loop", "missing", "file/below"}) {
    EXPECT_FALSE(fileSystem_.fileExists(url(name))) << name;
  }
}

TEST_F(LiveFileSystemTest, VolumeIsTheMountPointOfTheRealPath) {
  TemporaryFolder shm("/dev/shm");
  EXPECT_EQ(fileSystem_.volumeID(shm.url()).mountPoint, "/dev/shm");
  EXPECT_EQ(fileSystem_.volumeID(FileURL::fromPath("/proc/self/status")).mountPoint, "/proc");
  std::string shmFile = shm.path() + "/file.txt";
  ASSERT_EQ(::close(::open(shmFile.c_str(), O_CREAT | O_WRONLY, 0644)), 0);
  EXPECT_EQ(fileSystem_.metadata(FileURL::fromPath(shmFile)).volumeID.mountPoint, "/dev/shm");
  EXPECT_EQ(fileSystem_.metadata(folder_.url()).volumeID, fileSystem_.volumeID(folder_.url()));
  ASSERT_EQ(::symlink(shm.path().c_str(), path("shm-link").c_str()), 0);
  EXPECT_EQ(fileSystem_.volumeID(url("shm-link")).mountPoint, "/dev/shm")
      << "a folder reached through a link is on its target's volume";
  ASSERT_EQ(::symlink("missing", path("dangling").c_str()), 0);
  EXPECT_EQ(fileSystem_.volumeID(url("dangling")), fileSystem_.volumeID(folder_.url()));

  SortError error = thrownBy([&] { fileSystem_.volumeID(url("missing")); });
  EXPECT_EQ(error.errorCase(), SortError::Case::sourceUnreadable);
  EXPECT_EQ(error.location(), url("missing"));
}

// A mount point alone does not name a volume: btrfs subvolumes share one,
// and a rename between them fails.
TEST_F(LiveFileSystemTest, AVolumeIsItsMountTogetherWithTheItemsDevice) {
  TemporaryFolder shm("/dev/shm");
  writeFile(shm / "file.txt", "");
  writeFile(path("file.txt"), "");
  for (const std::string& at : {shm.path(), shm / "file.txt", folder_.path(), path("file.txt")}) {
    SCOPED_TRACE(at);
    struct stat status {};
    ASSERT_EQ(::stat(at.c_str(), &status), 0);
    const FileURL item = FileURL::fromPath(at);
    EXPECT_EQ(fileSystem_.volumeID(item).device, status.st_dev);
    EXPECT_EQ(fileSystem_.metadata(item).volumeID, fileSystem_.volumeID(item));
  }
  const VolumeID pool = fileSystem_.volumeID(folder_.url());
  const VolumeID subvolume{pool.mountPoint, pool.device + 1};
  EXPECT_NE(pool, subvolume);
  EXPECT_NE(std::hash<VolumeID>{}(pool), std::hash<VolumeID>{}(subvolume));
}

// Staged for real where this machine can make a btrfs and mount it in a
// mount namespace of its own: top volume, subvolumes "a" and "b", and a file
// in each volume.
TEST_F(LiveFileSystemTest, BtrfsSubvolumesAreVolumesOfTheirOwnWithTrashesOfTheirOwn) {
  const std::string image = path("btrfs.img");
  const std::string pool = path("pool");
  ASSERT_EQ(::mkdir(pool.c_str(), 0700), 0);
  const std::string probe = "'" + testing::builtProgram("volume_probe") + "'";
  auto in = [&](const std::string& relative) { return "'" + pool + "/" + relative + "'"; };
  const std::string inNamespace =
      "mount --make-rprivate / && mount -o loop '" + image + "' " + in("") +
      " && btrfs -q subvolume create " + in("a") + " && btrfs -q subvolume create " + in("b") +
      " && mkdir " + in("a/folder") + " && touch " + in("top.txt") + " " + in("a/folder/a.txt") +
      " && " + probe + " " + in("a") + " " + in("a/folder") + " " + in("b") + " " + in(".") +
      " && " + probe + " --trash " + in("top.txt") + " " + in("a/folder/a.txt");
  auto staged =
      testing::runProcess({"/bin/sh", "-c",
                           "truncate -s 160M '" + image + "' && mkfs.btrfs -q '" + image +
                               "' >/dev/null && exec unshare -m sh -c \"" + inNamespace + "\""},
                          {{"XDG_DATA_HOME", folder_ / "share"}});
  if (staged.standardOutput.empty()) {
    GTEST_SKIP() << "cannot mount a btrfs here: " << staged.standardError;
  }
  const std::string uid = std::to_string(::getuid());
  EXPECT_EQ(staged.standardOutput, "same volume\nother volume\nother volume\n" + pool + "/.Trash-" +
                                       uid + "/files/top.txt\n" + pool + "/a/.Trash-" + uid +
                                       "/files/a.txt\n")
      << "a subvolume is its own volume, even beside another one or below the top one, and "
         "its files go to a trash on it";
}

TEST_F(LiveFileSystemTest, CreatingFolders) {
  fileSystem_.createDirectory(url("a/b/c"));
  struct stat status {};
  ASSERT_EQ(::stat(path("a/b/c").c_str(), &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
  fileSystem_.createDirectory(url("a/b/c"));
  fileSystem_.createDirectory(FileURL::fromPath(path("a/b"), true));

  writeFile(path("file"), "keep");
  for (const char* relative : {"file", "file/sub"}) {
    SortError error = thrownBy([&] { fileSystem_.createDirectory(url(relative)); });
    EXPECT_EQ(error.errorCase(), SortError::Case::destinationNotCreatable) << relative;
    EXPECT_EQ(error.location(), url(relative));
  }
  EXPECT_EQ(readFile(path("file")), "keep");
}

TEST_F(LiveFileSystemTest, MovesRenameFilesFoldersAndLinksThemselves) {
  writeFile(path("a.txt"), "a");
  fileSystem_.moveItem(url("a.txt"), url("b.txt"));
  EXPECT_FALSE(testing::pathExists(path("a.txt")));
  EXPECT_EQ(readFile(path("b.txt")), "a");

  ASSERT_EQ(::mkdir(path("dir").c_str(), 0700), 0);
  writeFile(path("dir/inner"), "i");
  fileSystem_.createDirectory(url("into"));
  fileSystem_.moveItem(url("dir"), url("into/dir"));
  EXPECT_EQ(readFile(path("into/dir/inner")), "i");

  ASSERT_EQ(::symlink("b.txt", path("link").c_str()), 0);
  fileSystem_.moveItem(url("link"), url("into/link"));
  EXPECT_EQ(linkTarget(path("into/link")), "b.txt");
  EXPECT_EQ(readFile(path("b.txt")), "a");
}

// Whatever occupies the destination, and whenever it got there, a move or a
// copy refuses and leaves both items as they were.
TEST_F(LiveFileSystemTest, MovesAndCopiesNeverReplaceAnything) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> occupy;
    bool raceAfterCheck;
  };
  const std::vector<Case> cases = {
      {"an existing file", [](const std::string& at) { writeFile(at, "theirs"); }, false},
      {"an existing folder", [](const std::string& at) { ::mkdir(at.c_str(), 0700); }, false},
      {"a dangling link", [](const std::string& at) { ::symlink("nowhere", at.c_str()); }, false},
      {"a link to itself", [](const std::string& at) { ::symlink(at.c_str(), at.c_str()); }, false},
      {"a file made after the check", [](const std::string& at) { writeFile(at, "theirs"); }, true},
  };
  auto snapshot = [](const std::string& at) {
    struct stat status {};
    if (::lstat(at.c_str(), &status) != 0) return std::string("absent");
    if (S_ISLNK(status.st_mode)) return "link to " + linkTarget(at);
    if (S_ISDIR(status.st_mode)) return std::string("folder");
    return "file " + readFile(at).value_or("?");
  };
  enum class Act { move, moveWhereRenameMayReplace, copy, moveIntoHeld, linkIntoHeld };
  for (const Act act : {Act::move, Act::moveWhereRenameMayReplace, Act::copy, Act::moveIntoHeld,
                        Act::linkIntoHeld}) {
    const bool copying = act == Act::copy;
    const bool intoHeld = act == Act::moveIntoHeld || act == Act::linkIntoHeld;
    for (const Case& c : cases) {
      // Into a held folder the move itself is the only look at the name.
      if (intoHeld && c.raceAfterCheck) continue;
      SCOPED_TRACE(std::string(copying                                 ? "copy onto "
                               : act == Act::moveWhereRenameMayReplace ? "link-and-unlink onto "
                               : act == Act::moveIntoHeld ? "move into a held folder onto "
                               : act == Act::linkIntoHeld
                                   ? "link-and-unlink into a held folder onto "
                                   : "move onto ") +
                   c.what);
      std::optional<testing::ScopedNoReplaceRenameRefusal> renameRefused;
      if (act == Act::moveWhereRenameMayReplace || act == Act::linkIntoHeld) {
        renameRefused.emplace();
      }
      TemporaryFolder scratch(buildTree());
      const std::string source = scratch / "ours.txt";
      const std::string destination = scratch / "theirs.txt";
      writeFile(source, "ours");
      if (c.raceAfterCheck) {
        afterExistenceCheckOf(destination, [&] { c.occupy(destination); });
      } else {
        c.occupy(destination);
      }
      const std::string before = c.raceAfterCheck ? "file theirs" : snapshot(destination);

      SortError error = thrownBy([&] {
        if (copying) {
          fileSystem_.copyItem(FileURL::fromPath(source), FileURL::fromPath(destination));
        } else if (intoHeld) {
          fileSystem_.moveInto(FileURL::fromPath(source),
                               *fileSystem_.holdFolder(FileURL::fromPath(scratch.path(), true)),
                               "theirs.txt");
        } else {
          fileSystem_.moveItem(FileURL::fromPath(source), FileURL::fromPath(destination));
        }
      });
      EXPECT_FALSE(armedHook) << "the race was not staged";
      EXPECT_EQ(error.errorCase(), SortError::Case::refusedToOverwrite);
      EXPECT_EQ(error.location(), FileURL::fromPath(destination));
      EXPECT_EQ(readFile(source), "ours");
      EXPECT_EQ(snapshot(destination), before);
    }
  }
}

// NFS, CIFS and some FUSE file systems cannot rename without replacing:
// there a file moves by a hard link, which never replaces, and an unlink.
TEST_F(LiveFileSystemTest, WhereRenameMayReplaceAFileMovesByALink) {
  testing::ScopedNoReplaceRenameRefusal renameRefused;
  writeFile(path("a.txt"), "a");
  ASSERT_EQ(::symlink("missing", path("dangling").c_str()), 0);
  struct stat before {};
  ASSERT_EQ(::lstat(path("a.txt").c_str(), &before), 0);
  fileSystem_.createDirectory(url("into"));

  fileSystem_.moveItem(url("a.txt"), url("into/a.txt"));
  fileSystem_.moveItem(url("dangling"), url("into/dangling"));
  EXPECT_EQ(renameRefused.calls, 2);
  EXPECT_FALSE(testing::pathExists(path("a.txt")));
  EXPECT_FALSE(testing::pathExists(path("dangling")));
  struct stat after {};
  ASSERT_EQ(::lstat(path("into/a.txt").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "the file itself, not a copy";
  EXPECT_EQ(after.st_nlink, 1u);
  EXPECT_EQ(readFile(path("into/a.txt")), "a");
  EXPECT_EQ(linkTarget(path("into/dangling")), "missing") << "a link moves as itself";
}

TEST_F(LiveFileSystemTest, WhereRenameMayReplaceAFolderStays) {
  testing::ScopedNoReplaceRenameRefusal renameRefused;
  ASSERT_EQ(::mkdir(path("album").c_str(), 0700), 0);
  writeFile(path("album/photo.jpg"), "jpeg");
  fileSystem_.createDirectory(url("into"));

  EXPECT_EQ(thrownBy([&] { fileSystem_.moveItem(url("album"), url("into/album")); }),
            SortError::moveFailed(url("album"), url("into/album"),
                                  "This file system cannot move a folder without the risk of "
                                  "replacing another item"));
  EXPECT_EQ(thrownBy([&] { fileSystem_.moveItem(url("album"), url("album/album")); }),
            SortError::moveFailed(url("album"), url("album/album"), "Invalid argument"))
      << "a folder moved into itself is refused as the kernel refuses it";
  EXPECT_EQ(readFile(path("album/photo.jpg")), "jpeg");
  EXPECT_FALSE(testing::pathExists(path("into/album")));
  EXPECT_FALSE(testing::pathExists(path("album/album")));
}

TEST_F(LiveFileSystemTest, AMoveAcrossMountsFailsAndLeavesTheSourceInPlace) {
  TemporaryFolder shm("/dev/shm");
  if (fileSystem_.volumeID(shm.url()) == fileSystem_.volumeID(folder_.url())) {
    GTEST_SKIP() << "/dev/shm and the build tree share one mount";
  }
  writeFile(path("file"), "data");
  SortError error =
      thrownBy([&] { fileSystem_.moveItem(url("file"), FileURL::fromPath(shm / "file")); });
  EXPECT_EQ(error.errorCase(), SortError::Case::moveFailed);
  EXPECT_EQ(error.source(), url("file"));
  EXPECT_EQ(error.destination(), FileURL::fromPath(shm / "file"));
  EXPECT_EQ(error.underlying(), "Invalid cross-device link");
  EXPECT_EQ(readFile(path("file")), "data");
  EXPECT_FALSE(testing::pathExists(shm / "file"));

  SortError missing = thrownBy([&] { fileSystem_.moveItem(url("missing"), url("elsewhere")); });
  EXPECT_EQ(missing.errorCase(), SortError::Case::moveFailed);
}

TEST_F(LiveFileSystemTest, ACopyKeepsContentsModeAndTimesToTheNanosecond) {
  TemporaryFolder shm("/dev/shm");
  writeFile(path("report.pdf"), std::string(3 << 20, 'x') + "end");
  ASSERT_EQ(::chmod(path("report.pdf").c_str(), 0640), 0);
  const timespec times[2] = {{1'600'000'000, 5}, {1'650'000'000, 987'654'321}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path("report.pdf").c_str(), times, 0), 0);

  for (const std::string& destination : {path("copy.pdf"), shm / "copy.pdf"}) {
    SCOPED_TRACE(destination);
    fileSystem_.copyItem(url("report.pdf"), FileURL::fromPath(destination));
    EXPECT_EQ(readFile(destination), readFile(path("report.pdf")));
    struct stat copy {};
    ASSERT_EQ(::stat(destination.c_str(), &copy), 0);
    EXPECT_EQ(copy.st_mode & 07777, 0640u);
    EXPECT_EQ(copy.st_mtim.tv_sec, 1'650'000'000);
    EXPECT_EQ(copy.st_mtim.tv_nsec, 987'654'321);
    EXPECT_EQ(fileSystem_.metadata(FileURL::fromPath(destination)).fingerprint(),
              fileSystem_.metadata(url("report.pdf")).fingerprint());
  }
}

// A file the engine made is removed only as that file: another program may
// put its own file under the name at any moment after the engine looked,
// and that one must survive. Both ways in, by path and through a held
// folder.
TEST_F(LiveFileSystemTest, RemovingOwnFileRemovesNothingElse) {
  const std::string aside = ".ombrix-tmp-00000000-0000-4000-8000-000000000000";
  struct Case {
    std::string name;
    std::function<void()> stage;  // just before the file goes
    std::optional<SortError::Case> error;
    std::string left;  // what is under the name afterwards; empty: nothing
  };
  const std::vector<Case> cases = {
      {"left alone", nullptr, std::nullopt, ""},
      {"replaced as it is about to go",
       [&] {
         std::filesystem::remove(path("copy.pdf"));
         writeFile(path("copy.pdf"), "the user's own");
       },
       SortError::Case::sourceChangedDuringMove, "the user's own"},
      {"its hidden name taken", [&] { writeFile(path(aside), "other"); },
       SortError::Case::refusedToOverwrite, "ours"},
  };
  for (bool held : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name + (held ? ", in a held folder" : ", by path"));
      std::filesystem::remove(path(aside));
      writeFile(path("copy.pdf"), "ours");
      const FileIdentity made = fileSystem_.identity(url("copy.pdf"));
      LiveFileSystem::ownFileCheckedSeam() = c.stage;
      std::optional<SortError::Case> error;
      try {
        if (held) {
          fileSystem_.removeOwnFileIn(*fileSystem_.holdFolder(folder_.url()), "copy.pdf", made,
                                      aside);
        } else {
          fileSystem_.removeOwnFile(url("copy.pdf"), made, aside);
        }
      } catch (const SortError& failure) {
        error = failure.errorCase();
        EXPECT_EQ(failure.location(), url("copy.pdf"));
      }
      LiveFileSystem::ownFileCheckedSeam() = nullptr;

      EXPECT_EQ(error, c.error);
      if (c.left.empty()) {
        EXPECT_FALSE(std::filesystem::exists(path("copy.pdf")));
      } else {
        EXPECT_EQ(readFile(path("copy.pdf")), c.left);
      }
      // Nothing is left under the hidden name but what was there before.
      EXPECT_EQ(std::filesystem::exists(path(aside)),
                c.error == SortError::Case::refusedToOverwrite);
    }
  }
}

// Crash tests stop a copy partway through its seam: it is called after each
// piece, and the copy goes on from where it was, on one volume or across two.
TEST_F(LiveFileSystemTest, AWatchedCopyGoesInPiecesAndStaysWhole) {
  const std::size_t piece = LiveFileSystem::copyPieceSize;
  const std::string bytes = std::string(5 * piece, 'x') + "seven!!";
  writeFile(path("large.bin"), bytes);
  TemporaryFolder shm("/dev/shm");
  for (const std::string& destination : {path("copy.bin"), shm / "copy.bin"}) {
    SCOPED_TRACE(destination);
    std::vector<std::uintmax_t> written;
    LiveFileSystem::copyPieceSeam() = [&] {
      written.push_back(std::filesystem::file_size(destination));
    };
    fileSystem_.copyItem(url("large.bin"), FileURL::fromPath(destination));
    LiveFileSystem::copyPieceSeam() = nullptr;

    EXPECT_EQ(readFile(destination), bytes);
    ASSERT_EQ(written.size(), 6u);
    for (std::size_t at = 0; at < written.size(); ++at) {
      EXPECT_EQ(written[at], std::min((at + 1) * piece, bytes.size())) << "piece " << at + 1;
    }
  }
}

// A disk image or a virtual machine's drive is mostly holes: a copy that
// wrote them out would fill the destination's volume with zeros.
TEST_F(LiveFileSystemTest, ACopyOfASparseFileKeepsItsHoles) {
  TemporaryFolder shm("/dev/shm");
  constexpr off_t kSize = 64 << 20;
  const std::string source = path("disk.img");
  {
    int fd = ::open(source.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "head", 4, 0), 4);
    ASSERT_EQ(::pwrite(fd, "middle", 6, kSize / 2), 6);
    // Ends in a hole: only the size says where the file ends.
    ASSERT_EQ(::ftruncate(fd, kSize), 0);
    ::close(fd);
  }
  struct stat original {};
  ASSERT_EQ(::stat(source.c_str(), &original), 0);
  if (original.st_blocks * 512 >= kSize) GTEST_SKIP() << "this file system keeps no holes";

  for (const std::string& destination : {path("copy.img"), shm / "copy.img"}) {
    SCOPED_TRACE(destination);
    fileSystem_.copyItem(url("disk.img"), FileURL::fromPath(destination));
    struct stat copy {};
    ASSERT_EQ(::stat(destination.c_str(), &copy), 0);
    EXPECT_EQ(copy.st_size, kSize);
    // Room for the two blocks of data, whatever size each volume's blocks are.
    EXPECT_LE(copy.st_blocks * 512, 2 << 20);
    EXPECT_EQ(fileSystem_.contentHash(FileURL::fromPath(destination)),
              fileSystem_.contentHash(url("disk.img")));
  }
}

// Download sources and every other user.* attribute travel with a file to
// another volume, as they do with a rename.
TEST_F(LiveFileSystemTest, ACopyKeepsTheUserAttributesOnAnyVolume) {
  TemporaryFolder shm("/dev/shm");
  writeFile(shm / "probe", "");
  writeFile(path("probe"), "");
  if (::setxattr((shm / "probe").c_str(), "user.probe", "1", 1, 0) != 0 ||
      ::setxattr(path("probe").c_str(), "user.probe", "1", 1, 0) != 0) {
    GTEST_SKIP() << "the build tree or /dev/shm keeps no user attributes here";
  }
  const std::map<std::string, std::string> attributes = {
      {"user.xdg.origin.url", "https://example.org/paper.pdf"},
      {"user.xdg.referrer.url", "https://example.org/"},
      {"user.empty", ""},
      {"user.large", std::string(3000, 'v')},
  };
  writeFile(path("paper.pdf"), "pdf");
  for (const auto& [name, value] : attributes) setAttribute(path("paper.pdf"), name, value);
  ASSERT_EQ(::mkdir(path("album").c_str(), 0700), 0);
  writeFile(path("album/photo.jpg"), "jpeg");
  setAttribute(path("album"), "user.tag", "holiday");
  setAttribute(path("album/photo.jpg"), "user.xdg.origin.url", "https://example.org/photo.jpg");

  for (const std::string& into : {path("copies"), shm / "copies"}) {
    SCOPED_TRACE(into);
    ASSERT_EQ(::mkdir(into.c_str(), 0700), 0);
    fileSystem_.copyItem(url("paper.pdf"), FileURL::fromPath(into + "/paper.pdf"));
    for (const auto& [name, value] : attributes) {
      EXPECT_EQ(attribute(into + "/paper.pdf", name), value) << name;
    }
    EXPECT_EQ(fileSystem_.metadata(FileURL::fromPath(into + "/paper.pdf")).whereFroms,
              (std::vector<std::string>{"https://example.org/paper.pdf", "https://example.org/"}));

    fileSystem_.copyItem(url("album"), FileURL::fromPath(into + "/album"));
    EXPECT_EQ(attribute(into + "/album", "user.tag"), "holiday");
    EXPECT_EQ(attribute(into + "/album/photo.jpg", "user.xdg.origin.url"),
              "https://example.org/photo.jpg");
  }
}

// The ACL's named user stands for anyone besides the owner.
TEST_F(LiveFileSystemTest, ACopyKeepsItsPosixACLsAndTakesNoneFromItsNewFolder) {
  TemporaryFolder shm("/dev/shm");
  const std::string access = "system.posix_acl_access";
  const std::string inherited = "system.posix_acl_default";
  writeFile(path("shared.txt"), "shared");
  writeFile(path("private.txt"), "private");
  ASSERT_EQ(::chmod(path("private.txt").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(path("album").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir((shm / "open").c_str(), 0700), 0);
  const std::string granting = aclGranting(65534, 4);
  if (::setxattr(path("shared.txt").c_str(), access.c_str(), granting.data(), granting.size(), 0) !=
          0 ||
      ::setxattr((shm / "open").c_str(), inherited.c_str(), granting.data(), granting.size(), 0) !=
          0) {
    GTEST_SKIP() << "the build tree or /dev/shm keeps no POSIX ACLs here";
  }
  setAttribute(path("album"), access, granting);
  setAttribute(path("album"), inherited, granting);
  writeFile(path("album/inside.txt"), "inside");
  ASSERT_EQ(::chmod(path("album/inside.txt").c_str(), 0600), 0);
  ::removexattr(path("album/inside.txt").c_str(), access.c_str());

  auto mode = [](const std::string& at) {
    struct stat status {};
    return ::lstat(at.c_str(), &status) == 0 ? status.st_mode & 07777 : 0u;
  };
  for (const char* name : {"shared.txt", "private.txt", "album", "album/inside.txt"}) {
    SCOPED_TRACE(name);
    if (std::string(name) != "album/inside.txt") {
      fileSystem_.copyItem(url(name), FileURL::fromPath(shm / "open/" + name));
    }
    const std::string copy = shm / "open/" + name;
    EXPECT_EQ(attribute(copy, access), attribute(path(name), access));
    EXPECT_EQ(attribute(copy, inherited), attribute(path(name), inherited));
    EXPECT_EQ(mode(copy), mode(path(name)));
  }
  EXPECT_EQ(attribute(shm / "open/private.txt", access), std::nullopt)
      << "the folder's default ACL would have let another user in";
}

// Whatever attribute the destination refuses, the file itself arrives.
TEST_F(LiveFileSystemTest, ADestinationThatRefusesAnAttributeStillGetsTheFile) {
  writeFile(path("paper.pdf"), "pdf", 1'650'000'000.25);
  ASSERT_EQ(::chmod(path("paper.pdf").c_str(), 0640), 0);
  const std::map<std::string, std::string> attributes = {
      {"user.xdg.origin.url", "https://example.org/paper.pdf"},
      {"user.xdg.referrer.url", "https://example.org/"},
      {"user.large", std::string(3000, 'v')},
  };
  try {
    for (const auto& [name, value] : attributes) setAttribute(path("paper.pdf"), name, value);
  } catch (const std::runtime_error& error) {
    GTEST_SKIP() << error.what();
  }
  struct Case {
    const char* what;
    std::map<std::string, int> refused;
  };
  for (const Case& c : {
           Case{"a value too large for it", {{"user.large", E2BIG}}},
           Case{"a name it does not allow", {{"user.xdg.referrer.url", EPERM}}},
           Case{"no room left for attributes", {{"user.xdg.origin.url", ENOSPC}}},
           Case{"no attributes at all",
                {{"user.xdg.origin.url", ENOTSUP},
                 {"user.xdg.referrer.url", ENOTSUP},
                 {"user.large", ENOTSUP}}},
       }) {
    SCOPED_TRACE(c.what);
    LiveFileSystem::setAttributeSeam() = [&](int fd, const char* name, const void* value,
                                             std::size_t size) {
      auto refusal = c.refused.find(name);
      if (refusal == c.refused.end()) return ::fsetxattr(fd, name, value, size, 0);
      errno = refusal->second;
      return -1;
    };
    TemporaryFolder into(buildTree());
    const FileURL copy = FileURL::fromPath(into / "paper.pdf");
    fileSystem_.copyItem(url("paper.pdf"), copy);
    LiveFileSystem::setAttributeSeam() = nullptr;

    EXPECT_EQ(readFile(copy.path()), "pdf");
    EXPECT_EQ(fileSystem_.metadata(copy).fingerprint(),
              fileSystem_.metadata(url("paper.pdf")).fingerprint());
    struct stat status {};
    ASSERT_EQ(::stat(copy.path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    for (const auto& [name, value] : attributes) {
      EXPECT_EQ(attribute(copy.path(), name),
                c.refused.count(name) ? std::nullopt : std::optional<std::string>(value))
          << name;
    }
  }
}

TEST_F(LiveFileSystemTest, ACopyOfAFolderTakesEverythingAndKeepsLinksAsLinks) {
  ASSERT_EQ(::mkdir(path("album").c_str(), 0750), 0);
  ASSERT_EQ(::mkdir(path("album/nested").c_str(), 0700), 0);
  writeFile(path("album/nested/photo.jpg"), "jpeg");
  writeFile(path("album/.hidden"), "h");
  ASSERT_EQ(::symlink("../outside", path("album/link").c_str()), 0);

  fileSystem_.copyItem(url("album"), url("copy"));
  EXPECT_EQ(readFile(path("copy/nested/photo.jpg")), "jpeg");
  EXPECT_EQ(readFile(path("copy/.hidden")), "h");
  EXPECT_EQ(linkTarget(path("copy/link")), "../outside");
  struct stat folder {};
  ASSERT_EQ(::stat(path("copy").c_str(), &folder), 0);
  EXPECT_EQ(folder.st_mode & 07777, 0750u);
  EXPECT_EQ(readFile(path("album/nested/photo.jpg")), "jpeg");
}

TEST_F(LiveFileSystemTest, CopyFailures) {
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
  for (const char* name : {"missing", "pipe"}) {
    SortError error = thrownBy([&] { fileSystem_.copyItem(url(name), url("copy")); });
    EXPECT_EQ(error.errorCase(), SortError::Case::copyFailed) << name;
    EXPECT_EQ(error.source(), url(name));
    EXPECT_EQ(error.destination(), url("copy"));
    EXPECT_FALSE(testing::pathExists(path("copy")));
  }
}

TEST_F(LiveFileSystemTest, ACopyThatFailsPartWayLeavesNothingBehind) {
  const std::string bytes(3 << 20, 'b');
  writeFile(path("big.bin"), bytes);
  ASSERT_EQ(::mkdir(path("album").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(path("album/nested").c_str(), 0700), 0);
  writeFile(path("album/a.txt"), "a");
  writeFile(path("album/nested/big.bin"), bytes);
  for (const char* source : {"big.bin", "album"}) {
    SCOPED_TRACE(source);
    SortError error = thrownBy([&] {
      testing::ScopedFileSizeLimit fullVolume(1 << 20);
      fileSystem_.copyItem(url(source), url("copy"));
    });
    EXPECT_EQ(error, SortError::copyFailed(url(source), url("copy"), "File too large"));
    EXPECT_FALSE(testing::pathExists(path("copy")));
  }
  EXPECT_EQ(readFile(path("big.bin")), bytes);
  EXPECT_EQ(readFile(path("album/nested/big.bin")), bytes);
}

TEST_F(LiveFileSystemTest, IdentityOfAnItemAndOfTheSourceACopyOpened) {
  writeFile(path("file"), "data", 1'600'000'000.5);
  ASSERT_EQ(::symlink("file", path("link").c_str()), 0);
  struct stat status {};
  ASSERT_EQ(::stat(path("file").c_str(), &status), 0);

  FileIdentity identity = fileSystem_.identity(url("file"));
  EXPECT_EQ(identity.device, status.st_dev);
  EXPECT_EQ(identity.inode, status.st_ino);
  EXPECT_EQ(identity.size, 4);
  EXPECT_EQ(identity.modificationTime, 1'600'000'000'500'000'000);
  EXPECT_NE(fileSystem_.identity(url("link")).inode, status.st_ino) << "a link is not followed";
  EXPECT_EQ(fileSystem_.copyItem(url("file"), url("copy")), identity);
  EXPECT_NE(fileSystem_.identity(url("copy")).inode, identity.inode);
  EXPECT_EQ(thrownBy([&] { fileSystem_.identity(url("missing")); }),
            SortError::sourceUnreadable(url("missing"), "No such file or directory"));
}

TEST_F(LiveFileSystemTest, SynchronizingAFileOrFolder) {
  writeFile(path("file"), "x");
  fileSystem_.synchronize(url("file"));
  fileSystem_.synchronize(folder_.url());
  SortError error = thrownBy([&] { fileSystem_.synchronize(url("missing")); });
  EXPECT_EQ(error.errorCase(), SortError::Case::copyFailed);
  EXPECT_EQ(error.location(), url("missing"));
}

TEST_F(LiveFileSystemTest, HashingPassesThrough) {
  writeFile(path("file"), "abc");
  EXPECT_EQ(fileSystem_.contentHash(url("file")).sha256,
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(thrownBy([&] { fileSystem_.contentHash(url("missing")); }).errorCase(),
            SortError::Case::hashUnreadable);
}

}  // namespace
}  // namespace rozuzed

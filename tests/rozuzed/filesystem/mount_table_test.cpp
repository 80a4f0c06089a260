#include "rozuzed/filesystem/mount_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

TEST(MountTableTest, ParsesMountPointsAndUndoesEscapes) {
  const char* mountinfo =
      "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
      "25 23 0:23 / /dev/shm rw,relatime - tmpfs tmpfs rw\n"
      "60 27 8:17 / /media/u/My\\040Disk rw - vfat /dev/sdb1 rw\n"
      "61 27 8:18 /sub /mnt/tab\\011and\\134slash rw - ext4 /dev/sdb2 rw\n"
      "garbage\n"
      "62 27 8:19 / relative rw - ext4 /dev/sdb3 rw\n"
      "\n"
      "63 27 8:20 / /mnt/last rw - ext4 /dev/sdb4 rw";
  EXPECT_EQ(MountTable::parse(mountinfo),
            (std::vector<std::string>{"/", "/dev/shm", "/media/u/My Disk", "/mnt/tab\tand\\slash",
                                      "/mnt/last"}));
}

TEST(MountTableTest, LongestMountPointThatHoldsThePath) {
  const std::vector<std::string> mounts = {"/", "/mnt/a", "/mnt/a b", "/mnt/a/b"};
  struct Case {
    const char* path;
    const char* mountPoint;
  };
  for (const Case& c : {
           Case{"/", "/"},
           Case{"/home/u/file", "/"},
           Case{"/mnt/a", "/mnt/a"},
           Case{"/mnt/a/file", "/mnt/a"},
           Case{"/mnt/ab", "/"},
           Case{"/mnt/a b/file", "/mnt/a b"},
           Case{"/mnt/a/b/c", "/mnt/a/b"},
           Case{"/mnt/a/bc", "/mnt/a"},
       }) {
    EXPECT_EQ(MountTable::longestPrefix(mounts, c.path), c.mountPoint) << c.path;
  }
  EXPECT_EQ(MountTable::longestPrefix({"/mnt"}, "/home"), "/");
}

TEST(MountTableTest, ThisProcessesMounts) {
  MountTable& table = MountTable::shared();
  EXPECT_EQ(table.mountPoint("/proc/self/status"), "/proc");
  EXPECT_EQ(table.mountPoint("/proc"), "/proc");
  EXPECT_EQ(&table, &MountTable::shared());
}

TEST(MountTableTest, RealLocationResolvesTheFoldersButNotTheItem) {
  testing::TemporaryFolder folder;
  char* real = ::realpath(folder.path().c_str(), nullptr);
  ASSERT_NE(real, nullptr);
  std::string resolved = real;
  std::free(real);
  ASSERT_EQ(::symlink(folder.path().c_str(), (folder / "up").c_str()), 0);
  ASSERT_EQ(::symlink("/proc", (folder / "proc").c_str()), 0);

  EXPECT_EQ(realLocation(folder / "up/proc"), resolved + "/proc");
  EXPECT_EQ(realLocation(folder / "up/missing"), resolved + "/missing");
  EXPECT_EQ(realLocation(folder / "up/."), resolved);
  EXPECT_EQ(realLocation("/"), "/");
  EXPECT_EQ(realLocation(folder / "missing/item"), std::nullopt);
}

}  // namespace
}  // namespace rozuzed

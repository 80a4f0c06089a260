#include "rozuzed/support/file_url.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "rozuzed/support/unicode.h"

namespace rozuzed {
namespace {

TEST(FileURLTest, PathsAndComponents) {
  auto url = FileURL::fromPath("/home/u//Downloads/Report.Final.PDF");
  EXPECT_EQ(url.path(), "/home/u/Downloads/Report.Final.PDF");
  EXPECT_EQ(url.lastPathComponent(), "Report.Final.PDF");
  EXPECT_EQ(url.pathExtension(), "PDF");
  EXPECT_EQ(url.deletingPathExtension().lastPathComponent(), "Report.Final");
  EXPECT_EQ(url.deletingLastPathComponent().path(), "/home/u/Downloads");
  EXPECT_EQ(FileURL::fromPath("/a/.bashrc").pathExtension(), "");
  EXPECT_EQ(FileURL::fromPath("/a/Makefile").pathExtension(), "");
  EXPECT_EQ(FileURL::fromPath("/").deletingLastPathComponent().path(), "/");
  EXPECT_EQ(FileURL::fromPath("/a").deletingLastPathComponent().path(), "/");
}

TEST(FileURLTest, AnEmptyOrRelativePathIsRefusedNotTakenAsTheWorkingDirectory) {
  for (const char* path : {"", ".", "./", "Downloads", "Downloads/", "../x", "~/x", " /x"}) {
    EXPECT_THROW(FileURL::fromPath(path), std::invalid_argument) << '"' << path << '"';
    EXPECT_THROW(FileURL::fromPath(path, true), std::invalid_argument) << '"' << path << '"';
  }
  EXPECT_FALSE(FileURL::fromAbsoluteString("file://Downloads")) << "a host, not a path";
}

TEST(FileURLTest, DirectoryMarkAndText) {
  auto dir = FileURL::fromPath("/home/u/My Files/");
  EXPECT_TRUE(dir.hasDirectoryPath());
  EXPECT_EQ(dir.path(), "/home/u/My Files");
  EXPECT_EQ(dir.absoluteString(), "file:///home/u/My%20Files/");
  EXPECT_NE(dir, FileURL::fromPath("/home/u/My Files"));
  EXPECT_EQ(FileURL::fromPath("/").absoluteString(), "file:///");
  EXPECT_EQ(FileURL::fromPath("/ü#?%").absoluteString(), "file:///%C3%BC%23%3F%25");
}

TEST(FileURLTest, InvalidUtf8IsPercentEncodedAndReadsBack) {
  std::string name = "/tmp/bad\xff\xfe.txt";
  auto url = FileURL::fromPath(name);
  EXPECT_EQ(url.absoluteString(), "file:///tmp/bad%FF%FE.txt");
  auto back = FileURL::fromAbsoluteString(url.absoluteString());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->path(), name);
}

TEST(FileURLTest, AbsoluteStringRoundTrips) {
  for (const char* path : {"/a b/c", "/x/ü/", "/", "/a+b=c;d@e"}) {
    auto url = FileURL::fromPath(path);
    auto back = FileURL::fromAbsoluteString(url.absoluteString());
    ASSERT_TRUE(back) << path;
    EXPECT_EQ(*back, url) << path;
  }
  EXPECT_FALSE(FileURL::fromAbsoluteString("http://x/y"));
  EXPECT_FALSE(FileURL::fromAbsoluteString("file:///a%2"));
  EXPECT_FALSE(FileURL::fromAbsoluteString("file:///a%zz"));
  EXPECT_FALSE(FileURL::fromAbsoluteString("file://"));
}

TEST(FileURLTest, StandardizedAndPathKey) {
  EXPECT_EQ(FileURL::fromPath("/a/./b/../c").standardized().path(), "/a/c");
  EXPECT_EQ(FileURL::fromPath("/../..").standardized().path(), "/");
  EXPECT_EQ(pathKey(FileURL::fromPath("/Home/Ä/Images/")), "/home/ä/images");
  EXPECT_EQ(pathKey(FileURL::fromPath("/a/b/../Images")), pathKey(FileURL::fromPath("/A/images")));
}

TEST(FileURLTest, AppendingAndStandardizingComponents) {
  struct Case {
    const char* folder;
    const char* component;
    const char* appended;
    const char* standardized;
  };
  for (const Case& c : {
           Case{"/", "a", "/a", "/a"},
           Case{"/x", "B.txt", "/x/B.txt", "/x/B.txt"},
           Case{"/x/y", "..", "/x/y/..", "/x"},
           Case{"/x", ".", "/x/.", "/x"},
           Case{"/x", "...", "/x/...", "/x/..."},
           Case{"/x", ".hidden", "/x/.hidden", "/x/.hidden"},
           Case{"/x", "a/b", "/x/a/b", "/x/a/b"},
           Case{"/x", "a//b/", "/x/a/b", "/x/a/b"},
           Case{"/x", "", "/x", "/x"},
           Case{"/x/./y", "z", "/x/./y/z", "/x/y/z"},
           Case{"/", "..", "/..", "/"},
       }) {
    FileURL url = FileURL::fromPath(c.folder, true).appendingPathComponent(c.component);
    EXPECT_EQ(url.path(), c.appended) << c.folder << " + " << c.component;
    EXPECT_EQ(url.standardized().path(), c.standardized) << c.folder << " + " << c.component;
    EXPECT_EQ(pathKey(url), lowercased(c.standardized)) << c.folder << " + " << c.component;
  }
  EXPECT_FALSE(FileURL::fromPath("/x").appendingPathComponent("a").hasDirectoryPath());
  EXPECT_TRUE(FileURL::fromPath("/x").appendingPathComponent("a", true).hasDirectoryPath());
  EXPECT_TRUE(FileURL::fromPath("/x").appendingPathComponent("a/").hasDirectoryPath());
  EXPECT_FALSE(FileURL::fromPath("/x/y").standardized().hasDirectoryPath());
  EXPECT_TRUE(FileURL::fromPath("/x/y/").standardized().hasDirectoryPath());
  EXPECT_TRUE(FileURL::fromPath("/x/..").standardized().hasDirectoryPath());
}

}  // namespace
}  // namespace rozuzed

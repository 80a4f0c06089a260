#include "rozuzed/filesystem/download_source.h"

#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>

#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

class WhereFromsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::writeFile(file_, "");
    if (::setxattr(file_.c_str(), "user.ombrix-probe", "x", 1, 0) != 0 && errno == ENOTSUP) {
      GTEST_SKIP() << "no user extended attributes on " << folder_.path();
    }
  }

  void set(const char* name, const std::string& value) {
    ASSERT_EQ(::setxattr(file_.c_str(), name, value.data(), value.size(), 0), 0) << name;
  }

  std::vector<std::string> read() { return WhereFroms::read(FileURL::fromPath(file_)); }

  testing::TemporaryFolder folder_;
  std::string file_ = folder_ / "download.zip";
};

TEST_F(WhereFromsTest, OriginThenReferrer) {
  EXPECT_TRUE(read().empty());
  set("user.xdg.referrer.url", "https://example.org/downloads");
  EXPECT_EQ(read(), (std::vector<std::string>{"https://example.org/downloads"}));
  set("user.xdg.origin.url", "https://cdn.example.org/a%20b.zip");
  EXPECT_EQ(read(), (std::vector<std::string>{"https://cdn.example.org/a%20b.zip",
                                              "https://example.org/downloads"}));
}

TEST_F(WhereFromsTest, UnusableValuesAreLeftOut) {
  set("user.xdg.origin.url", std::string("https://example.org/x\0", 21));
  set("user.xdg.referrer.url", "");
  EXPECT_EQ(read(), (std::vector<std::string>{"https://example.org/x"}))
      << "a stored terminator is dropped, an empty value left out";
  set("user.xdg.origin.url", "https://example.org/\xff");
  EXPECT_TRUE(read().empty()) << "not UTF-8";
}

TEST_F(WhereFromsTest, LinksAreFollowedAndMissingItemsGiveNothing) {
  set("user.xdg.origin.url", "https://example.org/x");
  ASSERT_EQ(::symlink(file_.c_str(), (folder_ / "link").c_str()), 0);
  EXPECT_EQ(WhereFroms::read(FileURL::fromPath(folder_ / "link")).size(), 1u);
  EXPECT_TRUE(WhereFroms::read(FileURL::fromPath(folder_ / "missing")).empty());
}

}  // namespace
}  // namespace rozuzed

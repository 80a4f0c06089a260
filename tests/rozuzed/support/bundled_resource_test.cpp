#include "rozuzed/support/bundled_resource.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "rozuzed/support/uuid.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

// The lookup starts from the running executable, so these tests place
// uniquely named files in the real candidate folders of the build tree and
// remove them again.
class BundledResourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    binFolder_ = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    buildFolder_ = std::filesystem::path(binFolder_).parent_path().string();
    resourceFolder_ = buildFolder_ + "/share/ombrix";
    std::filesystem::create_directories(resourceFolder_);
    name_ = "resource-test-" + Uuid::random().text();
  }

  void TearDown() override {
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
      std::error_code ignored;
      std::filesystem::remove(*it, ignored);
    }
  }

  std::string place(const std::string& folder, const std::string& relative) {
    std::filesystem::path path = std::filesystem::path(folder) / relative;
    for (auto parent = path.parent_path(); !std::filesystem::exists(parent);
         parent = parent.parent_path()) {
      created_.insert(created_.begin(), parent.string());
    }
    std::filesystem::create_directories(path.parent_path());
    testing::writeFile(path.string(), "{}");
    created_.push_back(path.string());
    return path.string();
  }

  std::optional<std::string> lookup(const std::string& extension = "json") {
    auto url = BundledResource::url(name_, extension);
    if (!url) return std::nullopt;
    return url->path();
  }

  std::string binFolder_;
  std::string buildFolder_;
  std::string resourceFolder_;
  std::string name_;
  std::vector<std::string> created_;
};

// A missing resource is named where it is read from, never at the working
// directory.
TEST_F(BundledResourceTest, NothingFoundIsNamedWhereItIsLookedForFirst) {
  EXPECT_EQ(lookup(), std::nullopt);
  EXPECT_EQ(BundledResource::expectedURL(name_, "json").path(),
            resourceFolder_ + "/" + name_ + ".json");
  std::string path = place(resourceFolder_, name_ + ".json");
  EXPECT_EQ(lookup(), path);
}

TEST_F(BundledResourceTest, EachCandidateFolderAndForm) {
  const std::string bundle = std::string(BundledResource::bundleName) + ".bundle/";
  struct Case {
    std::string folder;
    std::string relative;
  };
  for (const Case& c : std::vector<Case>{
           {resourceFolder_, ""},
           {resourceFolder_, bundle},
           {resourceFolder_, bundle + "Contents/Resources/"},
           {binFolder_, ""},
           {binFolder_, bundle},
           {buildFolder_, ""},
           {buildFolder_, bundle + "Contents/Resources/"},
       }) {
    std::string path = place(c.folder, c.relative + name_ + ".json");
    EXPECT_EQ(lookup(), path);
    TearDown();
    created_.clear();
  }
}

TEST_F(BundledResourceTest, EarlierFolderAndFormWin) {
  const std::string bundle = std::string(BundledResource::bundleName) + ".bundle/";
  place(buildFolder_, name_ + ".json");
  place(binFolder_, name_ + ".json");
  place(resourceFolder_, bundle + name_ + ".json");
  std::string direct = place(resourceFolder_, name_ + ".json");
  EXPECT_EQ(lookup(), direct);
}

TEST_F(BundledResourceTest, AnythingThatExistsCountsButADanglingLinkDoesNot) {
  std::string link = resourceFolder_ + "/" + name_ + ".json";
  ASSERT_EQ(::symlink((resourceFolder_ + "/" + name_ + ".missing").c_str(), link.c_str()), 0);
  created_.push_back(link);
  EXPECT_EQ(lookup(), std::nullopt);

  place(resourceFolder_, name_ + ".missing");
  EXPECT_EQ(lookup(), link) << "the link as formed, not its target";

  std::string folder = binFolder_ + "/" + name_ + ".dir";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  created_.push_back(folder);
  EXPECT_EQ(lookup("dir"), folder);
}

TEST_F(BundledResourceTest, AnEmptyExtensionStillGetsItsDot) {
  std::string path = place(resourceFolder_, name_ + ".");
  EXPECT_EQ(lookup(""), path);
}

}  // namespace
}  // namespace rozuzed

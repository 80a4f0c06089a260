#include "rozuzed/execution/cross_volume_move.h"

#include <set>

#include <gtest/gtest.h>

namespace rozuzed {
namespace {

TEST(StagingNameTest, IsAHiddenUpperCaseUuidNeverRepeated) {
  auto folder = FileURL::fromPath("/ext/Documents", true);
  std::set<std::string> names;
  for (int i = 0; i < 100; ++i) {
    FileURL staging = newStagingURL(folder);
    EXPECT_EQ(staging.deletingLastPathComponent().path(), "/ext/Documents");
    std::string name = staging.lastPathComponent();
    ASSERT_EQ(name.size(), 48u);
    EXPECT_TRUE(name.starts_with(".ombrix-tmp-"));
    auto id = Uuid::parse(name.substr(12));
    ASSERT_TRUE(id);
    EXPECT_EQ(id->text(), name.substr(12));
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 100u);
}

}  // namespace
}  // namespace rozuzed

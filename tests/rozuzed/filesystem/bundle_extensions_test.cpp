#include "rozuzed/filesystem/bundle_extensions.h"

#include <gtest/gtest.h>

namespace rozuzed {
namespace {

TEST(BundleExtensionsTest, KnownInAnyCaseButNeverTrimmed) {
  EXPECT_EQ(BundleExtensions::known().size(), 54u);
  for (const char* extension : {"app", "APP", "XcodeProj", "photoslibrary", "afphoto", "oo3"}) {
    EXPECT_TRUE(BundleExtensions::isKnownBundle(extension)) << extension;
  }
  for (const char* extension : {"", ".app", " app", "app ", "apps", "zip", "xcode"}) {
    EXPECT_FALSE(BundleExtensions::isKnownBundle(extension)) << extension;
  }
}

}  // namespace
}  // namespace rozuzed

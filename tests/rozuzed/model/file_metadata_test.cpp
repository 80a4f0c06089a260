#include "rozuzed/model/file_metadata.h"

#include <gtest/gtest.h>

namespace rozuzed {
namespace {

TEST(FileMetadataTest, SnapshotFromAUrlAlone) {
  FileMetadata m(FileURL::fromPath("/d/Report.PDF"));
  EXPECT_EQ(m.name, "Report.PDF");
  EXPECT_EQ(m.pathExtension, "pdf");
  EXPECT_EQ(m.size, 0);
  EXPECT_EQ(m.creationDate, kDistantPast);
  EXPECT_EQ(m.modificationDate, kDistantPast);
  EXPECT_TRUE(m.isRegularFile);
  EXPECT_FALSE(m.isDirectory || m.isPackage || m.isSymbolicLink || m.isAliasFile || m.isHidden);
  EXPECT_FALSE(m.contentTypeIdentifier);
  EXPECT_FALSE(m.ubiquitousDownloadingStatus);
  EXPECT_TRUE(m.whereFroms.empty());
  EXPECT_EQ(m.volumeID.mountPoint, "/");
  EXPECT_EQ(FileMetadata(FileURL::fromPath("/d/README")).pathExtension, "");
}

TEST(FileMetadataTest, RegularFileDerivation) {
  auto url = FileURL::fromPath("/d/x.JPG");
  EXPECT_EQ(FileMetadata(url, {.pathExtension = "JPG"}).pathExtension, "JPG");
  EXPECT_FALSE(FileMetadata(url, {.isSymbolicLink = true}).isRegularFile);
  EXPECT_FALSE(FileMetadata(url, {.isPackage = true}).isRegularFile);
  EXPECT_TRUE(FileMetadata(url, {.isAliasFile = true}).isRegularFile);
  EXPECT_TRUE(FileMetadata(url, {.isHidden = true}).isRegularFile);
  EXPECT_FALSE(FileMetadata(url, {.isRegularFile = false}).isRegularFile);
}

TEST(FileFingerprintTest, MatchingIsInclusiveAndSymmetric) {
  FileFingerprint a{10, 1000.0};
  FileFingerprint b{10, 1000.0005};
  EXPECT_TRUE(a.matches(b));
  EXPECT_NE(a, b);
  EXPECT_FALSE(a.matches({11, 1000.0}));
  EXPECT_TRUE(a.matches({10, 1000.5}, 0.5));
  EXPECT_TRUE(FileFingerprint({10, 1000.5}).matches(a, 0.5));
  EXPECT_FALSE(a.matches({10, 1000.501}, 0.5));
}

std::string written(const FileFingerprint& fingerprint) {
  std::string text;
  JsonWriter writer([&text](std::string_view piece) { text += piece; });
  fingerprint.write(writer);
  writer.finish();
  return text;
}

TEST(FileFingerprintTest, JsonRoundTripAndErrors) {
  FileFingerprint f{0, kDistantPast};
  EXPECT_EQ(FileFingerprint::fromJson(parseJson(written(f))), f);
  EXPECT_EQ(written({5, 1.5}), R"({"size":5,"modificationDate":1.5})");
  EXPECT_THROW(FileFingerprint::fromJson(parseJson(R"({"size":5})")), JsonDecodingError);
  EXPECT_THROW(FileFingerprint::fromJson(parseJson(R"({"size":"5","modificationDate":1})")),
               JsonDecodingError);
  EXPECT_EQ(FileFingerprint::fromJson(parseJson(R"({"size":5,"modificationDate":1,"x":0})")).size,
            5);
}

TEST(UbiquitousStatusTest, TextIsExact) {
  for (auto s :
       {UbiquitousStatus::current, UbiquitousStatus::downloaded, UbiquitousStatus::notDownloaded}) {
    EXPECT_EQ(ubiquitousStatusFromText(toText(s)), s);
  }
  EXPECT_FALSE(ubiquitousStatusFromText("Current"));
  EXPECT_FALSE(ubiquitousStatusFromText(""));
}

}  // namespace
}  // namespace rozuzed

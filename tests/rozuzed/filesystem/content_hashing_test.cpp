#include "rozuzed/filesystem/content_hashing.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "rozuzed/model/sort_error.h"
#include "rozuzed/testing/subprocess.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

using testing::TemporaryFolder;
using testing::writeFile;

constexpr const char* kEmptyDigest =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

TEST(ContentHashingTest, KnownDigestsInLowerCaseHex) {
  EXPECT_EQ(ContentHashing::sha256(std::string_view()).sha256, kEmptyDigest);
  EXPECT_EQ(ContentHashing::sha256("abc").sha256,
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(ContentHashing::sha256(std::string_view("\0\x0f\xff", 3)).sha256,
            "f93ef79d15d554b48372f11fc4f92b2e760a7dd72e5881a472f2bc7f783555d2")
      << "the digest of three bytes, not of a C string cut at the NUL";
}

TEST(ContentHashingTest, FileDigestMatchesTheInMemoryDigestAroundChunkBoundaries) {
  TemporaryFolder folder;
  constexpr std::size_t chunk = ContentHashing::chunkSize;
  for (std::size_t size :
       {std::size_t{0}, std::size_t{1}, chunk - 1, chunk, chunk + 1, 3 * chunk + 17}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + size) % 251);
    std::string path = folder / ("file-" + std::to_string(size));
    writeFile(path, bytes);
    EXPECT_EQ(ContentHashing::sha256(FileURL::fromPath(path)),
              ContentHashing::sha256(std::string_view(bytes)))
        << size << " bytes";
  }
  EXPECT_EQ(ContentHashing::sha256(FileURL::fromPath(folder / "file-0")).sha256, kEmptyDigest);
}

TEST(ContentHashingTest, FollowsALinkToTheFile) {
  TemporaryFolder folder;
  writeFile(folder / "target", "contents");
  ASSERT_EQ(::symlink((folder / "target").c_str(), (folder / "link").c_str()), 0);
  EXPECT_EQ(ContentHashing::sha256(FileURL::fromPath(folder / "link")),
            ContentHashing::sha256("contents"));
}

void expectUnreadable(const FileURL& url, const std::string& underlying) {
  try {
    ContentHashing::sha256(url);
    ADD_FAILURE() << "hashed " << url.path();
  } catch (const SortError& error) {
    EXPECT_EQ(error.errorCase(), SortError::Case::hashUnreadable);
    EXPECT_EQ(error.location(), url);
    EXPECT_EQ(error.underlying(), underlying);
  }
}

TEST(ContentHashingTest, WhatCannotBeReadAsAFileIsUnreadable) {
  TemporaryFolder folder;
  expectUnreadable(FileURL::fromPath(folder / "missing"), "No such file or directory");
  expectUnreadable(folder.url(), "Is a directory");
  ASSERT_EQ(::symlink((folder / "missing").c_str(), (folder / "dangling").c_str()), 0);
  expectUnreadable(FileURL::fromPath(folder / "dangling"), "No such file or directory");
}

// Root reads every file, so the reader is a child that permissions bind.
TEST(ContentHashingTest, AFileItsReaderMayNotOpenIsUnreadable) {
  TemporaryFolder folder;
  if (::geteuid() == 0) {
    testing::UnprivilegedUser user = testing::unprivilegedUser();
    ASSERT_EQ(::chown(folder.path().c_str(), user.uid, user.gid), 0);
  }
  const FileURL secret = FileURL::fromPath(folder / "private");
  auto answer = testing::inUnprivilegedChild([&]() -> std::string {
    writeFile(secret.path(), "secret");
    ::chmod(secret.path().c_str(), 0);
    try {
      return "hashed " + ContentHashing::sha256(secret).sha256;
    } catch (const SortError& error) {
      return error.errorDescription();
    }
  });
  if (!answer) GTEST_SKIP() << "cannot give up root's privileges here";
  EXPECT_EQ(*answer, SortError::hashUnreadable(secret, "Permission denied").errorDescription());
}

TEST(ContentHashingTest, AFifoFailsAtOnceInsteadOfWaitingForAWriter) {
  TemporaryFolder folder;
  std::string fifo = folder / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto hashing = std::async(
      std::launch::async, [&] { expectUnreadable(FileURL::fromPath(fifo), "Not a regular file"); });
  if (hashing.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    ADD_FAILURE() << "hashing a FIFO blocked";
    // Let the blocked reader see the end of the stream so the test can end.
    int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
  }
  hashing.get();
}

}  // namespace
}  // namespace rozuzed

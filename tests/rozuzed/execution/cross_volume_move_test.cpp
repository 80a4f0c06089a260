#include "rozuzed/execution/cross_volume_move.h"

#include <set>

#include <gtest/gtest.h>

#include "rozuzed/filesystem/content_hashing.h"
#include "rozuzed/testing/in_memory_file_system.h"

namespace rozuzed {
namespace {

using testing::InMemoryFileSystem;
using Op = InMemoryFileSystem::Operation;

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

class StandAloneMoveTest : public ::testing::Test {
 protected:
  void SetUp() override { fs.addFile("/src/a.bin", {.contents = bytes, .modificationDate = 50}); }

  CrossVolumeMove::Outcome move(FileFingerprint expecting = {9, 50}) {
    return CrossVolumeMove(fs).run(source, destination, expecting);
  }

  void expectFailure(const SortError& expected) {
    try {
      move();
      FAIL() << "the move went through";
    } catch (const SortError& error) {
      EXPECT_EQ(error, expected);
    }
    EXPECT_EQ(fs.contents("/src/a.bin"), bytes);
    EXPECT_FALSE(fs.exists("/ext/a.bin"));
  }

  InMemoryFileSystem fs{{"/ext"}};
  const std::string bytes = "nine byte";
  const FileURL source = FileURL::fromPath("/src/a.bin");
  const FileURL destination = FileURL::fromPath("/ext/a.bin");
};

TEST_F(StandAloneMoveTest, CopiesVerifiesAndTrashesTheOriginal) {
  auto outcome = move();
  EXPECT_EQ(outcome.hash, ContentHashing::sha256(bytes));
  ASSERT_TRUE(outcome.trashedOriginal);
  EXPECT_EQ(fs.contents(outcome.trashedOriginal->path()), bytes);
  EXPECT_EQ(fs.contents("/ext/a.bin"), bytes);
  EXPECT_FALSE(fs.exists("/src/a.bin"));
  // The copy and its name are durable before the original goes.
  std::vector<Op> order;
  for (const auto& call : fs.calls()) {
    if (call.operation == Op::synchronize || call.operation == Op::trashItem) {
      order.push_back(call.operation);
    }
  }
  EXPECT_EQ(order, (std::vector<Op>{Op::synchronize, Op::synchronize, Op::trashItem}));
}

TEST_F(StandAloneMoveTest, ACopyThatVanishedIsDestinationMissing) {
  fs.afterCall = [&](const InMemoryFileSystem::Call& call) {
    if (call.operation == Op::synchronize && call.url == destination) fs.remove("/ext/a.bin");
  };
  expectFailure(SortError::copyVerificationFailed(source, destination,
                                                  VerificationFailure::destinationMissing()));
  EXPECT_TRUE(fs.trashed().empty());
}

TEST_F(StandAloneMoveTest, ACopyOfAnotherSizeGoesToTheTrash) {
  fs.afterCall = [&](const InMemoryFileSystem::Call& call) {
    if (call.operation == Op::copyItem) fs.setContents("/ext/a.bin", "nine");
  };
  expectFailure(SortError::copyVerificationFailed(source, destination,
                                                  VerificationFailure::sizeMismatch(9, 4)));
  ASSERT_EQ(fs.trashed().size(), 1u);
  EXPECT_EQ(fs.contents(fs.trashed()[0].path()), "nine");
}

TEST_F(StandAloneMoveTest, ACopyWithOtherBytesGoesToTheTrash) {
  fs.afterCall = [&](const InMemoryFileSystem::Call& call) {
    if (call.operation == Op::copyItem) fs.setContents("/ext/a.bin", "NINE BYTE");
  };
  expectFailure(SortError::copyVerificationFailed(
      source, destination,
      VerificationFailure::hashMismatch(ContentHashing::sha256(bytes).sha256,
                                        ContentHashing::sha256(std::string("NINE BYTE")).sha256)));
  EXPECT_EQ(fs.trashed().size(), 1u);
}

TEST_F(StandAloneMoveTest, AFailedCopyLeavesNothingToTrash) {
  // The file system takes back what a failed copy wrote.
  fs.beforeCall = [&](const InMemoryFileSystem::Call& call) {
    if (call.operation == Op::copyItem) {
      throw SortError::copyFailed(source, destination, "No space left on device");
    }
  };
  expectFailure(SortError::copyFailed(source, destination, "No space left on device"));
  EXPECT_TRUE(fs.trashed().empty());
}

TEST_F(StandAloneMoveTest, TheTrashRefusingTheOriginalTakesTheCopyBack) {
  fs.beforeCall = [&](const InMemoryFileSystem::Call& call) {
    if (call.operation == Op::trashItem && call.url == source) {
      throw SortError::trashFailed(source, "Read-only file system");
    }
  };
  expectFailure(SortError::trashFailed(source, "Read-only file system"));
  ASSERT_EQ(fs.trashed().size(), 1u);
  EXPECT_EQ(fs.contents(fs.trashed()[0].path()), bytes);
}

TEST_F(StandAloneMoveTest, AnOriginalEditedAfterItWasCopiedStaysAndTheCopyGoes) {
  fs.afterCall = [&](const InMemoryFileSystem::Call& call) {
    if (call.operation == Op::copyItem) fs.setContents("/src/a.bin", "nine bytes and more");
  };
  try {
    move();
    FAIL() << "the move went through";
  } catch (const SortError& error) {
    EXPECT_EQ(error, SortError::sourceChangedDuringMove(source));
  }
  EXPECT_EQ(fs.contents("/src/a.bin"), "nine bytes and more");
  EXPECT_FALSE(fs.exists("/ext/a.bin"));
  ASSERT_EQ(fs.trashed().size(), 1u);
  EXPECT_EQ(fs.contents(fs.trashed()[0].path()), bytes);
}

TEST_F(StandAloneMoveTest, AnUnreadableSourceCopiesNothing) {
  fs.remove("/src/a.bin");
  EXPECT_THROW(move(), SortError);
  EXPECT_TRUE(fs.calls(Op::copyItem).empty());
}

}  // namespace
}  // namespace rozuzed

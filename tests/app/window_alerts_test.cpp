// The window's alerts: the interrupted-run notice and the current problem,
// on the roads where start-up goes wrong.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QDBusConnection>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "app/common/reveal_in_file_manager.h"
#include "app/review/review_view.h"
#include "app/shell/content_view.h"
#include "app/shell/ombrix_commands.h"
#include "app/start/empty_state_view.h"
#include "rozuzed/testing/subprocess.h"
#include "rozuzed/testing/temporary_folder.h"
#include "sortappkit/folder_access/granted_folder.h"
#include "sortappkit/folder_access/user_defaults_bookmark_store.h"
#include "sortappkit/lock_holder.h"
#include "testing/shell_fixture.h"

namespace ombrix {
namespace {

using sortappkit::AppModel;
using Phase = AppModel::Phase;
using testing::ShellFixture;

QString attentionLines(int count) {
  QString lines;
  for (int i = 1; i <= count; ++i) {
    lines += QStringLiteral("\n  /in/f%1.pdf\n    Could not be classified.").arg(i);
  }
  return lines;
}

TEST(RecoveryMessageTest, SaysWhatWasInterruptedAndWhereEveryFileIs) {
  struct Case {
    bool wasUndo;
    int64_t moved;
    int64_t untouched;
    int attention;
    QString expected;
  };
  const QString sorting = QStringLiteral("Ombrix was sorting when it stopped unexpectedly.\n\n");
  const QString accounted =
      QStringLiteral(" had already moved. They are all accounted for, and you can put them back.");
  const Case cases[] = {
      {false, 0, 0, 0, sorting + "No file had moved yet."},
      {false, 0, 2, 0, sorting + "No file had moved yet.\n2 files had not been touched."},
      {false, 1, 1, 0, sorting + "1 file" + accounted + "\n1 file had not been touched."},
      {false, 2, 0, 0, sorting + "2 files" + accounted},
      {true, 3, 0, 0,
       "Ombrix was putting files back when it stopped unexpectedly.\n\n3 files" + accounted},
      {false, 1, 0, 1,
       sorting + "1 file" + accounted +
           "\n\n1 file could not be accounted for and were left exactly as they are:" +
           attentionLines(1)},
      {false, 0, 0, 5,
       sorting +
           "No file had moved yet.\n\n5 files could not be accounted for and were left exactly as "
           "they are:" +
           attentionLines(5)},
      {false, 0, 0, 6,
       sorting +
           "No file had moved yet.\n\n6 files could not be accounted for and were left exactly as "
           "they are:" +
           attentionLines(5) + "\n  …and 1 more, listed in History."},
  };
  for (const Case& c : cases) {
    sortappkit::RecoverySummary summary{rozuzed::RecoveryReport{}};
    summary.wasUndo = c.wasUndo;
    summary.movedCount = c.moved;
    summary.untouchedCount = c.untouched;
    for (int i = 1; i <= c.attention; ++i) {
      sortappkit::AttentionRow row{rozuzed::JournalEntry{}};
      row.sourcePath = "/in/f" + std::to_string(i) + ".pdf";
      row.reason = "Could not be classified.";
      summary.needsAttention.push_back(row);
    }
    EXPECT_EQ(ContentView::recoveryMessage(summary).toStdString(), c.expected.toStdString());
  }
}

class WindowAlertsTest : public ::testing::Test {
 protected:
  void remember(const std::string& folder) {
    sortappkit::UserDefaultsBookmarkStore().save(
        sortappkit::GrantedFolder::makeBookmark(rozuzed::FileURL::fromPath(folder, true)),
        AppModel::defaultBookmarkKey);
  }

  // Runs the command-line driver on `folder` and kills it at `point`.
  void interruptedSort(const std::string& folder, const char* point, const char* nth) {
    auto killed = rozuzed::testing::runProcess(
        {rozuzed::testing::builtProgram("ombrix-driver"), "apply", folder},
        {{"ROZUZED_FAULT", point}, {"ROZUZED_FAULT_NTH", nth}});
    ASSERT_EQ(killed.signal, SIGKILL) << killed.standardError;
  }

  std::vector<QString> buttonTexts(QMessageBox* box) {
    std::vector<QString> texts;
    for (QAbstractButton* button : box->buttons()) texts.push_back(button->text());
    std::sort(texts.begin(), texts.end());
    return texts;
  }

  ShellFixture f;
};

TEST_F(WindowAlertsTest, AProblemShowsItsMessageAndSuggestionAndGoesWhenDismissed) {
  f.start();
  ASSERT_EQ(f.alert(), nullptr);

  f.model().problem().set(AppModel::Problem("Nothing to sort", "The plan could not be found."));
  ASSERT_TRUE(testing::waitUntil([&] { return f.alert() != nullptr; }));
  QMessageBox* box = f.alert();
  EXPECT_EQ(box->windowTitle(), "Nothing to sort");
  EXPECT_EQ(box->text(), "Nothing to sort");
  EXPECT_EQ(box->informativeText(), "The plan could not be found.");
  EXPECT_EQ(buttonTexts(box), std::vector<QString>{"OK"});
  EXPECT_EQ(box->defaultButton()->text(), "OK");
  EXPECT_EQ(box->windowModality(), Qt::WindowModal);

  // A later problem takes the place of the one on show.
  f.model().problem().set(AppModel::Problem("Sorting stopped",
                                            "Another copy of Ombrix is working on these files.",
                                            "Wait for it to finish, then try again."));
  testing::settle();
  box = f.alert();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), "Sorting stopped");
  EXPECT_EQ(box->informativeText(),
            "Another copy of Ombrix is working on these files.\n\nWait for it to finish, then try "
            "again.");

  f.press(Qt::Key_Return);
  ASSERT_TRUE(testing::waitUntil([&] { return f.alert() == nullptr; }));
  EXPECT_FALSE(f.model().problem().get());
}

// A journal cut to a third behind the log its last process left: the log
// answers for the first page, so the file opens as if whole.
void cutJournalBehindItsLog(const std::string& root, const std::string& journal) {
  const std::string whole = root + "/whole.sqlite";
  rozuzed::SQLiteJournalStore store(rozuzed::FileURL::fromPath(whole));
  rozuzed::RunRecord run{.startedAt = 1};
  std::vector<rozuzed::JournalEntry> many;
  for (int i = 0; i < 2000; ++i) {
    many.push_back(rozuzed::JournalEntry{
        .runID = run.id,
        .planSequence = i,
        .sourceURL = rozuzed::FileURL::fromPath(root + "/" + std::to_string(i))});
  }
  store.beginRun(run, many);
  store.checkpoint();
  store.beginRun(rozuzed::RunRecord{.startedAt = 2}, {});
  const std::string bytes = *rozuzed::testing::readFile(whole);
  std::filesystem::create_directories(std::filesystem::path(journal).parent_path());
  rozuzed::testing::writeFile(journal, bytes.substr(0, bytes.size() / 3));
  std::filesystem::copy_file(whole + "-wal", journal + "-wal");
}

// Whatever keeps the journal from opening, the start-up problem is the only
// alert, sorting and undoing work for the session, and a journal file that
// is there is left as it was found.
TEST(WindowJournalFallbackTest, AJournalThatCannotBeOpenedStillLetsTheUserSortAndUndo) {
  struct Case {
    const char* name;
    std::function<void(const std::string& root, const std::string& journal)> prepare;
    std::function<std::string(const std::string& root)> failure;
  };
  const Case cases[] = {
      {"its place taken by a folder",
       [](const std::string&, const std::string& journal) {
         std::filesystem::create_directories(journal);
       },
       [](const std::string&) { return std::string("unable to open database file"); }},
      {"cut short behind its log", cutJournalBehindItsLog,
       [](const std::string&) { return std::string("database disk image is malformed"); }},
      {"its folder a file",
       [](const std::string& root, const std::string&) {
         std::filesystem::create_directories(root + "/data");
         rozuzed::testing::writeFile(root + "/data/RozuZed", "");
       },
       [](const std::string& root) {
         return "could not create " + root + "/data/RozuZed: Not a directory";
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ShellFixture f;
    const std::string journal = f.root() + "/data/RozuZed/rozuzed.sqlite";
    c.prepare(f.root(), journal);
    const auto found = rozuzed::testing::readFile(journal);
    const auto foundLog = rozuzed::testing::readFile(journal + "-wal");
    f.addFile("a.jpg");
    f.addFile("b.pdf");
    f.replacePicker(f.folderURL());
    f.start();

    QMessageBox* box = f.alert();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Undo history is unavailable");
    EXPECT_EQ(box->informativeText().toStdString(),
              "Ombrix could not open its record of past moves, so anything you sort in this "
              "session can only be undone before you quit.\n\nJournal unavailable: " +
                  c.failure(f.root()) + "\n\nSorting still works, and nothing will be deleted.");
    f.answerAlert("OK");
    EXPECT_FALSE(f.model().problem().get());
    EXPECT_EQ(f.alert(), nullptr) << "no other alert follows";

    f.press(Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(testing::waitUntil([&] { return f.model().phase().get() == Phase::review; }));
    f.press(Qt::Key_Return);
    ASSERT_TRUE(testing::waitUntil([&] { return f.model().phase().get() == Phase::result; }));
    EXPECT_TRUE(f.exists("Images/a.jpg") && f.exists("Documents/b.pdf"));
    f.quiesce();
    EXPECT_EQ(f.window().commands()->undoAction()->text(), "Undo Sorting 2 Files");

    f.press(Qt::Key_Z, Qt::ControlModifier);
    f.quiesce();
    EXPECT_EQ(f.model().phase().get(), Phase::review);
    EXPECT_TRUE(f.exists("a.jpg") && f.exists("b.pdf"));
    EXPECT_FALSE(f.model().problem().get());
    EXPECT_EQ(f.alert(), nullptr);
    EXPECT_EQ(rozuzed::testing::readFile(journal), found);
    EXPECT_EQ(rozuzed::testing::readFile(journal + "-wal"), foundLog);
  }
}

TEST_F(WindowAlertsTest, ARememberedFolderThatIsGone) {
  const std::string gone = f.root() + "/home/Gone";
  std::filesystem::create_directories(gone);
  remember(gone);
  std::filesystem::remove(gone);
  f.start();

  QMessageBox* box = f.alert();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), "That folder could not be opened again");
  EXPECT_EQ(box->informativeText(),
            "The saved folder could not be opened again.\n\nChoose the folder again to restore "
            "access.");
  EXPECT_TRUE(qobject_cast<EmptyStateView*>(f.window().content()->screen()));
  EXPECT_FALSE(f.window().folderAction()->isVisible());
  EXPECT_FALSE(f.window().rescanAction()->isVisible());
  EXPECT_EQ(f.remembered(), "") << "forgotten, so the next launch does not ask again";
  f.answerAlert("OK");
  EXPECT_EQ(f.alert(), nullptr);
}

TEST_F(WindowAlertsTest, TheRunLockHeldByAnotherProcess) {
  f.addFile("a.jpg");
  remember(f.folder());
  sortappkit::testing::LockHolder holder(f.root() + "/data/RozuZed/run.lock");
  ASSERT_TRUE(holder.locked());
  f.start();

  // Checking for interrupted work failed first; the scan of the remembered
  // folder failed after it, and its problem is the one on show.
  QMessageBox* box = f.alert();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), "Could not read that folder");
  EXPECT_EQ(box->informativeText(),
            "Another copy of Ombrix is working on these files.\n\nWait for it to finish, then try "
            "again.");
  EXPECT_EQ(f.model().phase().get(), Phase::review);
  f.answerAlert("OK");

  holder.release();
  f.clickToolBar(f.window().rescanAction());
  f.quiesce();
  ASSERT_TRUE(f.model().plan().get());
  EXPECT_EQ(f.model().plan().get()->moveCount(), 1u);
  EXPECT_EQ(f.alert(), nullptr);

  // Held again while the user sorts: the sort stops, and the review screen
  // the user was looking at stays, highlight and all.
  sortappkit::testing::LockHolder again(f.root() + "/data/RozuZed/run.lock");
  ASSERT_TRUE(again.locked());
  QWidget* review = f.window().content()->screen();
  ASSERT_TRUE(qobject_cast<ReviewView*>(review));
  f.press(Qt::Key_Return);
  f.quiesce();
  box = f.alert();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), "Sorting stopped");
  EXPECT_EQ(f.model().phase().get(), Phase::review);
  EXPECT_EQ(f.window().content()->screen(), review);
  EXPECT_TRUE(f.exists("a.jpg"));
}

TEST_F(WindowAlertsTest, AnInterruptedSortPutBackWithUndoThem) {
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) f.addFile(name);
  interruptedSort(f.folder(), "afterOperationBeforeCommit", "2");
  ASSERT_TRUE(f.exists("Images/a.jpg") && f.exists("Images/b.jpg"));
  remember(f.folder());
  f.start();

  QMessageBox* box = f.alert();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->windowTitle(), "A previous run was interrupted");
  EXPECT_EQ(box->text(), "A previous run was interrupted");
  EXPECT_EQ(box->informativeText(),
            "Ombrix was sorting when it stopped unexpectedly.\n\n2 files had already moved. They "
            "are all accounted for, and you can put them back.\n2 files had not been touched.");
  EXPECT_EQ(buttonTexts(box), (std::vector<QString>{"Keep Them", "Undo Them"}));
  ASSERT_NE(box->escapeButton(), nullptr);
  EXPECT_EQ(box->escapeButton()->text(), "Keep Them");
  EXPECT_EQ(box->defaultButton()->text(), "Undo Them");

  f.answerAlert("Undo Them");
  f.quiesce();
  EXPECT_FALSE(f.model().recovery().get());
  EXPECT_FALSE(f.model().problem().get());
  EXPECT_EQ(f.alert(), nullptr);
  EXPECT_TRUE(f.exists("a.jpg") && f.exists("b.jpg"));
  EXPECT_FALSE(f.exists("Images/a.jpg"));
  EXPECT_EQ(f.model().plan().get()->moveCount(), 4u);
}

TEST_F(WindowAlertsTest, AnInterruptedSortKeptWithKeepThem) {
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) f.addFile(name);
  interruptedSort(f.folder(), "afterOperationBeforeCommit", "2");
  remember(f.folder());
  f.start();
  ASSERT_NE(f.alert(), nullptr);

  f.press(Qt::Key_Escape);
  ASSERT_TRUE(testing::waitUntil([&] { return f.alert() == nullptr; }));
  f.quiesce();
  EXPECT_FALSE(f.model().recovery().get());
  EXPECT_EQ(f.alert(), nullptr);
  EXPECT_TRUE(f.exists("Images/a.jpg") && f.exists("Images/b.jpg"));
  EXPECT_EQ(f.window().commands()->undoAction()->text(), "Undo Sorting 2 Files");
  EXPECT_TRUE(f.window().commands()->undoAction()->isEnabled());
}

TEST_F(WindowAlertsTest, AProblemAndANoticeAtOnceComeOneAfterTheOther) {
  // A run killed before it moved anything, and a remembered folder that is
  // gone by the next launch.
  f.addFile("a.jpg");
  interruptedSort(f.folder(), "afterIntentBeforeOperation", "1");
  const std::string gone = f.root() + "/home/Gone";
  std::filesystem::create_directories(gone);
  remember(gone);
  std::filesystem::remove(gone);
  f.start();

  ASSERT_TRUE(f.model().recovery().get());
  ASSERT_TRUE(f.model().problem().get());
  QMessageBox* first = f.alert();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->text(), "That folder could not be opened again");
  f.answerAlert("OK");

  QMessageBox* second = f.alert();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->text(), "A previous run was interrupted");
  EXPECT_EQ(second->informativeText(),
            "Ombrix was sorting when it stopped unexpectedly.\n\nNo file had moved yet.\n1 file "
            "had not been touched.");
  EXPECT_EQ(buttonTexts(second), std::vector<QString>{"OK"});
  f.answerAlert("OK");
  EXPECT_FALSE(f.model().recovery().get());
  EXPECT_FALSE(f.model().problem().get());
  EXPECT_EQ(f.alert(), nullptr);
  EXPECT_TRUE(f.exists("a.jpg"));
}

TEST_F(WindowAlertsTest, TheUntouchedLineCountsEveryFileOfTheRunStillInPlace) {
  // More files than several of the run's batches hold; it dies partway
  // through its second.
  for (int i = 0; i < 200; ++i) f.addFile("f" + std::to_string(1000 + i) + ".jpg");
  interruptedSort(f.folder(), "afterOperationBeforeCommit", "40");
  remember(f.folder());
  f.start();

  auto filesIn = [](const std::string& folder) {
    int count = 0;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
      count += item.is_regular_file() ? 1 : 0;
    }
    return count;
  };
  const int moved = filesIn(f.folder() + "/Images");
  const int untouched = filesIn(f.folder());
  ASSERT_EQ(moved + untouched, 200);
  ASSERT_EQ(moved, 40);
  QMessageBox* box = f.alert();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->informativeText().toStdString(),
            "Ombrix was sorting when it stopped unexpectedly.\n\n" + std::to_string(moved) +
                " files had already moved. They are all accounted for, and you can put them "
                "back.\n" +
                std::to_string(untouched) + " files had not been touched.");
}

TEST_F(WindowAlertsTest, UndoThemNeedsNoFolder) {
  // The remembered folder cannot be opened again after the crash; the
  // interrupted run's files can still go back.
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) f.addFile(name);
  interruptedSort(f.folder(), "afterOperationBeforeCommit", "2");
  const std::string gone = f.root() + "/home/Gone";
  std::filesystem::create_directories(gone);
  remember(gone);
  std::filesystem::remove(gone);
  f.start();
  ASSERT_NE(f.alert(), nullptr);
  EXPECT_EQ(f.alert()->text(), "That folder could not be opened again");
  f.answerAlert("OK");
  ASSERT_NE(f.alert(), nullptr);
  EXPECT_EQ(f.alert()->text(), "A previous run was interrupted");

  f.answerAlert("Undo Them");
  f.quiesce();
  EXPECT_EQ(f.alert(), nullptr);
  EXPECT_FALSE(f.model().problem().get());
  EXPECT_TRUE(f.exists("a.jpg") && f.exists("b.jpg") && f.exists("c.jpg"));
  EXPECT_FALSE(f.exists("Images/a.jpg"));
  EXPECT_EQ(f.model().phase().get(), Phase::empty);
  EXPECT_TRUE(qobject_cast<EmptyStateView*>(f.window().content()->screen()));
}

// With no file manager on the bus and nothing that opens a folder, the user
// is told instead of waiting for a window that never comes.
TEST(WindowRevealTest, RevealThatReachesNothingSaysSoInTheProblemAlert) {
  ShellFixture f;
  useBusForReveal(QDBusConnection(QStringLiteral("ombrix-no-bus")));
  const std::shared_ptr<void> restore(nullptr, [](void*) { useBusForReveal(std::nullopt); });
  f.addFile("a.jpg");
  f.replacePicker(f.folderURL());
  f.start();
  f.press(Qt::Key_O, Qt::ControlModifier);
  f.quiesce();
  auto* review = qobject_cast<ReviewView*>(f.window().content()->screen());
  ASSERT_NE(review, nullptr);
  QAction* reveal = nullptr;
  for (QAction* action : review->contextMenu()->actions()) {
    if (action->text() == "Reveal in File Manager") reveal = action;
  }
  ASSERT_NE(reveal, nullptr);
  reveal->trigger();
  ASSERT_TRUE(testing::waitUntil([&] { return f.alert() != nullptr; }));
  EXPECT_EQ(f.alert()->text(), "Could not open the File Manager");
  EXPECT_EQ(f.alert()->informativeText(),
            "No file manager answered, and the folder could not be opened.");
  f.answerAlert("OK");
  EXPECT_FALSE(f.model().problem().get());
  EXPECT_EQ(f.model().phase().get(), Phase::review);
}

}  // namespace
}  // namespace ombrix

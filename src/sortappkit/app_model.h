// The one observable object behind the window: everything a screen shows,
// and every user action as one operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

#include "rozuzed/execution/execution_records.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/uuid.h"
#include "sortappkit/folder_access/bookmark_store.h"
#include "sortappkit/folder_access/granted_folder.h"
#include "sortappkit/folder_access/security_scoped_bookmarks.h"
#include "sortappkit/main_thread_dispatcher.h"
#include "sortappkit/observable.h"
#include "sortappkit/outcome.h"
#include "sortappkit/sort_engine.h"
#include "sortappkit/view_models/attention_row.h"
#include "sortappkit/view_models/plan_view_model.h"
#include "sortappkit/view_models/recovery_summary.h"
#include "sortappkit/view_models/run_result.h"
#include "sortappkit/view_models/run_summary.h"
#include "sortappkit/view_models/selection.h"
#include "sortappkit/view_models/undo_result.h"

namespace sortappkit {

// Confined to the main thread: every property is read and written there, and
// every operation is called there. An asynchronous operation hands its engine
// work to the engine and goes on with its next step when the result comes
// back through the dispatcher; meanwhile the main thread is free and other
// operations may start, kept apart only by their guards. No operation fails
// to its caller: every failure becomes the one current `problem`. The `done`
// given to an asynchronous operation runs on the main thread once it has
// ended (at once when it ends without waiting), unless the model is gone.
//
// Beyond what the window needs, the model keeps two promises: a folder grant
// stays held until every scan, sort or undo begun with it has ended, even
// when another folder replaces it meanwhile; and a scan that ends after its
// folder was replaced or forgotten changes nothing.
class AppModel : public std::enable_shared_from_this<AppModel> {
 public:
  enum class Phase { empty, scanning, review, applying, result };

  // What the alert shows. Equal when all three fields are.
  struct Problem {
    Problem(std::string title, std::string message,
            std::optional<std::string> suggestion = std::nullopt)
        : title(std::move(title)), message(std::move(message)), suggestion(std::move(suggestion)) {}

    // Title and message joined without a separator.
    std::string id() const { return title + message; }

    bool operator==(const Problem&) const = default;

    std::string title;
    std::string message;
    std::optional<std::string> suggestion;
  };

  using Done = std::function<void()>;

  static constexpr const char* defaultBookmarkKey = "ombrix.folder.bookmark";

  // `startupProblem` is present from the start. `platform` is the source of
  // bookmarks and access for every folder the model grants.
  static std::shared_ptr<AppModel> create(
      std::shared_ptr<SortEngine> engine, std::shared_ptr<MainThreadDispatcher> dispatcher,
      std::optional<Problem> startupProblem, std::shared_ptr<BookmarkStore> bookmarks = nullptr,
      std::string bookmarkKey = defaultBookmarkKey,
      std::shared_ptr<SecurityScopedBookmarks> platform = SecurityScopedBookmarks::live());

  AppModel(const AppModel&) = delete;
  AppModel& operator=(const AppModel&) = delete;

  // Observable state. Only `selection` and `problem` may be written from
  // outside the model.
  const Observable<Phase>& phase() const { return phase_; }
  const Observable<std::shared_ptr<GrantedFolder>>& folder() const { return folder_; }
  const Observable<std::optional<PlanViewModel>>& plan() const { return plan_; }
  const Observable<std::optional<rozuzed::ExecutionProgress>>& progress() const {
    return progress_;
  }
  const Observable<std::string>& progressTitle() const { return progressTitle_; }
  const Observable<std::optional<RunResult>>& lastRun() const { return lastRun_; }
  const Observable<std::optional<UndoResult>>& lastUndo() const { return lastUndo_; }
  const Observable<std::vector<RunSummary>>& history() const { return history_; }
  const Observable<std::optional<RecoverySummary>>& recovery() const { return recovery_; }
  const Observable<std::vector<AttentionRow>>& unresolved() const { return unresolved_; }
  Observable<Selection>& selection() { return selection_; }
  const Observable<Selection>& selection() const { return selection_; }
  Observable<std::optional<Problem>>& problem() { return problem_; }
  const Observable<std::optional<Problem>>& problem() const { return problem_; }
  // What the last scan of the current folder reported when it failed, kept
  // after the alert has gone so the review screen can say why it holds no
  // plan. None after a scan that succeeded and for a new folder.
  const Observable<std::optional<Problem>>& scanFailure() const { return scanFailure_; }
  // A sort or an undo is under way, from the moment it is asked for until
  // it has ended; every Undo waits meanwhile.
  const Observable<bool>& busy() const { return busy_; }

  const std::shared_ptr<SortEngine>& engine() const { return engine_; }
  const std::string& bookmarkKey() const { return bookmarkKey_; }

  // Derived values, computed on each read.
  std::optional<std::string> folderName() const;
  std::size_t selectedCount() const;
  bool canApply() const;
  // The first history row that can still be undone.
  std::optional<RunSummary> undoableBatch() const;
  bool isSelected(const MoveRow& row) const;
  GroupSelectionState groupState(const DestinationGroup& group) const;

  void toggle(const MoveRow& row);
  void setGroup(const DestinationGroup& group, bool selected);
  void setAll(bool selected);
  void acknowledgeRecovery();
  void forgetFolder();

  // At launch: reconcile, then restore, grant and scan the remembered folder.
  void restoreFolder(Done done = nullptr);
  void reconcile(Done done = nullptr);
  void chooseFolder(rozuzed::FileURL url, Done done = nullptr);
  // A scan that fails drops the plan under review: the folder's files may
  // have moved on since, and a plan that is no longer the folder's must not
  // be sorted. Errors of the rules are reported as such.
  void scan(Done done = nullptr);
  void loadHistory(Done done = nullptr);
  // As loadHistory, except that a failure changes nothing and is not
  // reported: the window reads the history whenever it comes to the front,
  // and a journal that cannot be read must not raise an alert at each turn.
  void refreshHistory(Done done = nullptr);
  void clearUnresolved(Done done = nullptr);
  // Sorts the selected moves of the plan under review. Ignored while a sort
  // or an undo is under way. Runs that processes now gone left interrupted
  // are settled first; when any was, `recovery` and `unresolved` are filled
  // as at launch once the sort has ended, however it ended.
  void apply(Done done = nullptr);
  // Puts back the files of a past run. Ignored while a sort or an undo is
  // under way, so two runs never move files at once. Reads the history
  // again first; the engine refuses a run that another copy of the program
  // has put back meanwhile or still holds. Needs no folder: the rescan that
  // follows runs only when one is chosen, and without one the undo ends in
  // `empty`. Interrupted runs are settled first, as for `apply`.
  void undo(rozuzed::Uuid batchID, Done done = nullptr);
  // Reads the history again and undoes the run that `undoableBatch` named,
  // only while the fresh history still names it with the same count: the
  // menu's title said what would be put back. Otherwise nothing moves, and
  // the title follows the fresh history.
  void undoMostRecent(Done done = nullptr);
  // Keeps the notice when the undo would be ignored.
  void undoRecoveredRun(Done done = nullptr);
  // Asks the sort or undo under way to stop before its next file. What it
  // moved stays journaled and can be undone as usual; an undo that stopped
  // ends in `result` (in `empty` without a folder) without a rescan.
  // Nothing happens when none is under way.
  void stopRun();

 private:
  AppModel(std::shared_ptr<SortEngine> engine, std::shared_ptr<MainThreadDispatcher> dispatcher,
           std::optional<Problem> startupProblem, std::shared_ptr<BookmarkStore> bookmarks,
           std::string bookmarkKey, std::shared_ptr<SecurityScopedBookmarks> platform);

  template <class T>
  using Then = std::function<void(Outcome<T>)>;

  // Starts engine work with `start` and runs `then` on the main thread with
  // its outcome, unless the model is gone by then.
  template <class T, class Start>
  void await(Start start, Then<T> then);
  // As `await`, with the value first turned into a `U` by `convert` on the
  // engine's thread: the rows of a run over a whole folder take the main
  // thread long enough for the window to stall. `convert` is handed the
  // value to keep, so it may take what it keeps out of it.
  template <class T, class U, class Start, class Convert>
  void awaitConverted(Start start, Convert convert, Then<U> then);

  // What the engine settled before an apply or undo: written on the
  // engine's thread before the operation's completion is posted, read on the
  // main thread once that has arrived.
  using Settled = std::shared_ptr<std::optional<rozuzed::RecoveryOutcome>>;

  void report(std::exception_ptr error, const std::string& title,
              const std::optional<std::string>& detail = std::nullopt);
  // The notice for the first of `reports`, runs that can be undone first,
  // then the earliest interrupted.
  void showRecovered(const std::vector<rozuzed::RecoveryReport>& reports);
  void loadUnresolved(Done done);
  // As loadHistory, reporting a failure only when asked to; `then` hears
  // whether the history was read.
  void readHistory(bool reportFailure, std::function<void(bool read)> then);
  // Marks a sort or an undo under way, with a fresh way to stop it.
  void beginRun();
  void showUndoing();
  // The engine's part of an undo; `ended` runs once it is all over.
  void putBack(rozuzed::Uuid batchID, Done ended);
  // Shows what an apply or undo settled as launch shows it, then runs `next`.
  void showSettled(const Settled& settled, Done next);
  void adopt(std::shared_ptr<GrantedFolder> folder);
  void restoreFailed(std::exception_ptr error, Done done);
  SortEngine::ProgressCallback publishProgress();

  // A grant stays held while operations begun with it run; a grant that is
  // no longer the model's folder is released when its last one ends.
  void beginUsing(const std::shared_ptr<GrantedFolder>& grant);
  void endUsing(const std::shared_ptr<GrantedFolder>& grant);
  void retire(const std::shared_ptr<GrantedFolder>& grant);

  const std::shared_ptr<SortEngine> engine_;
  const std::shared_ptr<MainThreadDispatcher> dispatcher_;
  const std::shared_ptr<BookmarkStore> bookmarks_;
  const std::string bookmarkKey_;
  const std::shared_ptr<SecurityScopedBookmarks> platform_;

  Observable<Phase> phase_{Phase::empty};
  Observable<std::shared_ptr<GrantedFolder>> folder_{nullptr, true};
  Observable<std::optional<PlanViewModel>> plan_;
  Observable<std::optional<rozuzed::ExecutionProgress>> progress_;
  Observable<std::string> progressTitle_;
  Observable<std::optional<RunResult>> lastRun_;
  Observable<std::optional<UndoResult>> lastUndo_;
  Observable<std::vector<RunSummary>> history_;
  Observable<std::optional<RecoverySummary>> recovery_;
  Observable<std::vector<AttentionRow>> unresolved_;
  Observable<Selection> selection_;
  Observable<std::optional<Problem>> problem_;
  Observable<std::optional<Problem>> scanFailure_;

  Observable<bool> busy_{false};

  std::map<std::shared_ptr<GrantedFolder>, int> grantsInUse_;
  // Stops the sort or undo under way; a fresh one for each.
  std::stop_source stop_;
};

}  // namespace sortappkit

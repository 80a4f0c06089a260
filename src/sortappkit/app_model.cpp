#include "sortappkit/app_model.h"

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <unordered_set>

#include "rozuzed/model/sort_error.h"
#include "sortappkit/app_error.h"
#include "sortappkit/folder_access/scoped_access.h"
#include "sortappkit/folder_access/user_defaults_bookmark_store.h"

namespace sortappkit {

using rozuzed::FileURL;
using rozuzed::Uuid;

namespace {

constexpr int64_t kScanDepth = 1;

// The user's locale for times by the POSIX precedence of the variables; the
// root locale when none is set or it is C/POSIX.
icu::Locale timeLocale() {
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') continue;
    std::string name(value);
    name = name.substr(0, name.find_first_of(".@"));
    if (name == "C" || name == "POSIX") break;
    return icu::Locale(name.c_str());
  }
  return icu::Locale::getRoot();
}

// Hours, minutes and seconds in the user's standard time style; no date.
std::string timeOfDay(rozuzed::Date date) {
  std::unique_ptr<icu::DateFormat> format(
      icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, timeLocale()));
  if (!format) return {};
  icu::UnicodeString text;
  format->format(std::floor(date) * 1000.0, text);
  std::string out;
  text.toUTF8String(out);
  return out;
}

struct Described {
  std::string description;
  std::optional<std::string> suggestion;
};

Described describe(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const AppError& appError) {
    return {appError.errorDescription(), appError.recoverySuggestion()};
  } catch (const rozuzed::SortError& sortError) {
    return {sortError.errorDescription(), std::nullopt};
  } catch (const std::exception& other) {
    return {other.what(), std::nullopt};
  } catch (...) {
    return {"The operation could not be completed.", std::nullopt};
  }
}

// The rule set, not the folder, is at fault.
bool isRuleError(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const rozuzed::SortError& sortError) {
    using Case = rozuzed::SortError::Case;
    switch (sortError.errorCase()) {
      case Case::invalidRegularExpression:
      case Case::unknownMatchCriteriaType:
      case Case::missingMatchCriteriaField:
      case Case::ruleSetUnsupportedVersion:
      case Case::ruleSetInvalid:
      case Case::ruleFileUnreadable:
        return true;
      default:
        return false;
    }
  } catch (...) {
    return false;
  }
}

void finish(const AppModel::Done& done) {
  if (done) done();
}

}  // namespace

std::shared_ptr<AppModel> AppModel::create(std::shared_ptr<SortEngine> engine,
                                           std::shared_ptr<MainThreadDispatcher> dispatcher,
                                           std::optional<Problem> startupProblem,
                                           std::shared_ptr<BookmarkStore> bookmarks,
                                           std::string bookmarkKey,
                                           std::shared_ptr<SecurityScopedBookmarks> platform) {
  if (!bookmarks) bookmarks = std::make_shared<UserDefaultsBookmarkStore>();
  return std::shared_ptr<AppModel>(new AppModel(std::move(engine), std::move(dispatcher),
                                                std::move(startupProblem), std::move(bookmarks),
                                                std::move(bookmarkKey), std::move(platform)));
}

AppModel::AppModel(std::shared_ptr<SortEngine> engine,
                   std::shared_ptr<MainThreadDispatcher> dispatcher,
                   std::optional<Problem> startupProblem, std::shared_ptr<BookmarkStore> bookmarks,
                   std::string bookmarkKey, std::shared_ptr<SecurityScopedBookmarks> platform)
    : engine_(std::move(engine)),
      dispatcher_(std::move(dispatcher)),
      bookmarks_(std::move(bookmarks)),
      bookmarkKey_(std::move(bookmarkKey)),
      platform_(std::move(platform)),
      problem_(std::move(startupProblem)) {}

template <class T, class Start>
void AppModel::await(Start start, Then<T> then) {
  std::weak_ptr<AppModel> weak = weak_from_this();
  start([weak, dispatcher = dispatcher_, then = std::move(then)](Outcome<T> outcome) {
    // Moved on, not copied: a plan or a report covers a whole folder.
    dispatcher->post([weak, then, outcome = std::move(outcome)]() mutable {
      if (auto self = weak.lock()) then(std::move(outcome));
    });
  });
}

template <class T, class U, class Start, class Convert>
void AppModel::awaitConverted(Start start, Convert convert, Then<U> then) {
  std::weak_ptr<AppModel> weak = weak_from_this();
  start([weak, dispatcher = dispatcher_, convert = std::move(convert),
         then = std::move(then)](Outcome<T> outcome) {
    auto converted = std::make_shared<Outcome<U>>(Outcome<U>::failure(outcome.error()));
    if (outcome.succeeded()) {
      try {
        *converted = Outcome<U>::success(convert(std::move(outcome.value())));
      } catch (...) {
        *converted = Outcome<U>::failure(std::current_exception());
      }
    }
    dispatcher->post([weak, then, converted] {
      if (auto self = weak.lock()) then(std::move(*converted));
    });
  });
}

// Derived values

std::optional<std::string> AppModel::folderName() const {
  if (!folder_.get()) return std::nullopt;
  return folder_.get()->displayName();
}

std::size_t AppModel::selectedCount() const {
  if (!plan_.get()) return 0;
  return selection_.get().selectedCount(plan_.get()->allKeys());
}

bool AppModel::canApply() const {
  return phase_.get() == Phase::review && selectedCount() > 0;
}

std::optional<RunSummary> AppModel::undoableBatch() const {
  for (const auto& row : history_.get()) {
    if (row.canUndo()) return row;
  }
  return std::nullopt;
}

bool AppModel::isSelected(const MoveRow& row) const {
  return selection_.get().isSelected(row.key);
}

GroupSelectionState AppModel::groupState(const DestinationGroup& group) const {
  return selection_.get().state(group.keys());
}

// Synchronous operations

void AppModel::toggle(const MoveRow& row) {
  // The selection changes in place: a copy of every deselected key would
  // cost more than the change.
  selection_.modify([&](Selection& selection) {
    selection.toggle(row.key);
    return true;
  });
}

void AppModel::setGroup(const DestinationGroup& group, bool selected) {
  selection_.modify(
      [&](Selection& selection) { return selection.setSelected(selected, group.keys()); });
}

void AppModel::setAll(bool selected) {
  if (!plan_.get()) return;
  const auto keys = plan_.get()->allKeys();
  selection_.modify([&](Selection& selection) { return selection.setSelected(selected, keys); });
}

void AppModel::acknowledgeRecovery() {
  recovery_.set(std::nullopt);
}

void AppModel::forgetFolder() {
  if (folder_.get()) retire(folder_.get());
  folder_.set(nullptr);
  plan_.set(std::nullopt);
  selection_.set(Selection());
  scanFailure_.set(std::nullopt);
  bookmarks_->remove(bookmarkKey_);
  phase_.set(Phase::empty);
}

// Internal steps

void AppModel::report(std::exception_ptr error, const std::string& title,
                      const std::optional<std::string>& detail) {
  Described described = describe(error);
  std::string message = described.description;
  if (detail) message += "\n\n" + *detail;
  problem_.set(Problem(title, std::move(message), std::move(described.suggestion)));
}

void AppModel::adopt(std::shared_ptr<GrantedFolder> folder) {
  if (folder_.get()) retire(folder_.get());
  folder_.set(std::move(folder));
  plan_.set(std::nullopt);
  selection_.set(Selection());
  scanFailure_.set(std::nullopt);
}

void AppModel::beginUsing(const std::shared_ptr<GrantedFolder>& grant) {
  ++grantsInUse_[grant];
}

void AppModel::endUsing(const std::shared_ptr<GrantedFolder>& grant) {
  auto found = grantsInUse_.find(grant);
  if (found == grantsInUse_.end()) return;
  if (--found->second > 0) return;
  grantsInUse_.erase(found);
  if (grant != folder_.get()) grant->releaseAll();
}

void AppModel::retire(const std::shared_ptr<GrantedFolder>& grant) {
  // A grant still in use is released by endUsing when its last operation ends.
  if (grantsInUse_.count(grant) == 0) grant->releaseAll();
}

SortEngine::ProgressCallback AppModel::publishProgress() {
  std::weak_ptr<AppModel> weak = weak_from_this();
  return [weak, dispatcher = dispatcher_](const rozuzed::ExecutionProgress& value) {
    dispatcher->post([weak, value] {
      if (auto self = weak.lock()) self->progress_.set(value);
    });
  };
}

// Launch

void AppModel::reconcile(Done done) {
  await<rozuzed::RecoveryOutcome>(
      [this](auto completion) { engine_->reconcile(std::move(completion)); },
      [this, done](Outcome<rozuzed::RecoveryOutcome> outcome) {
        if (!outcome.succeeded()) {
          report(outcome.error(), "Could not check for interrupted work");
          return finish(done);
        }
        const rozuzed::RecoveryOutcome& result = outcome.value();
        switch (result.outcomeCase()) {
          case rozuzed::RecoveryOutcome::Case::anotherProcessIsRunning:
            report(std::make_exception_ptr(AppError::anotherProcessIsRunning()),
                   "Another Ombrix is running",
                   "It started at " + timeOfDay(result.run()->startedAt) + ".");
            break;
          case rozuzed::RecoveryOutcome::Case::recovered:
            showRecovered(result.reports());
            break;
          case rozuzed::RecoveryOutcome::Case::nothingToRecover:
            break;
        }
        loadUnresolved(done);
      });
}

void AppModel::showRecovered(const std::vector<rozuzed::RecoveryReport>& reports) {
  std::vector<RecoverySummary> summaries;
  for (const auto& each : reports) summaries.emplace_back(each);
  std::stable_sort(summaries.begin(), summaries.end(),
                   [](const RecoverySummary& a, const RecoverySummary& b) {
                     const int rankA = a.canUndo() ? 0 : 1;
                     const int rankB = b.canUndo() ? 0 : 1;
                     if (rankA != rankB) return rankA < rankB;
                     return a.interruptedAt < b.interruptedAt;
                   });
  recovery_.set(summaries.empty() ? std::nullopt : std::optional(summaries.front()));
}

void AppModel::loadUnresolved(Done done) {
  await<std::vector<rozuzed::JournalEntry>>(
      [this](auto completion) { engine_->entriesNeedingAttention(std::move(completion)); },
      [this, done](Outcome<std::vector<rozuzed::JournalEntry>> entries) {
        if (!entries.succeeded()) {
          report(entries.error(), "Could not check for interrupted work");
          return finish(done);
        }
        std::vector<AttentionRow> rows;
        for (const auto& entry : entries.value()) rows.emplace_back(entry);
        unresolved_.set(std::move(rows));
        finish(done);
      });
}

void AppModel::showSettled(const Settled& settled, Done next) {
  // Nothing settled, nothing new to show: the notice of an earlier
  // reconciliation stays as it is.
  if (!*settled || (*settled)->outcomeCase() != rozuzed::RecoveryOutcome::Case::recovered) {
    return finish(next);
  }
  showRecovered((*settled)->reports());
  loadUnresolved(std::move(next));
}

void AppModel::restoreFolder(Done done) {
  reconcile([this, done] {
    std::optional<std::string> stored = bookmarks_->data(bookmarkKey_);
    if (!stored) return loadHistory(done);

    GrantedFolder::Resolution resolved;
    try {
      resolved = GrantedFolder::resolve(*stored, platform_);
    } catch (...) {
      return restoreFailed(std::current_exception(), done);
    }
    if (!resolved.folder->startAccessing()) {
      return restoreFailed(
          std::make_exception_ptr(AppError::folderAccessLost(resolved.folder->url())), done);
    }
    if (resolved.isStale) bookmarks_->save(resolved.folder->bookmark(), bookmarkKey_);
    adopt(resolved.folder);
    loadHistory([this, done] { scan(done); });
  });
}

void AppModel::restoreFailed(std::exception_ptr error, Done done) {
  bookmarks_->remove(bookmarkKey_);
  phase_.set(Phase::empty);
  report(error, "That folder could not be opened again");
  loadHistory(std::move(done));
}

// Folder and scan

void AppModel::chooseFolder(FileURL url, Done done) {
  try {
    std::string bookmark = GrantedFolder::makeBookmark(url, platform_);
    auto granted = std::make_shared<GrantedFolder>(url, bookmark, platform_);
    if (!granted->startAccessing()) throw AppError::folderAccessLost(url);
    bookmarks_->save(bookmark, bookmarkKey_);
    adopt(std::move(granted));
  } catch (...) {
    report(std::current_exception(), "That folder could not be opened");
    return finish(done);
  }
  scan(std::move(done));
}

void AppModel::scan(Done done) {
  const std::shared_ptr<GrantedFolder> scanned = folder_.get();
  if (!scanned) return finish(done);
  phase_.set(Phase::scanning);
  // However the scan ends, the plan under review does not outlast it, and
  // no screen shows it while the folder is scanned: let go of it now, so a
  // whole folder's rows are not held beside the new plan being made.
  plan_.set(std::nullopt);
  beginUsing(scanned);

  auto ended = [this, scanned, done](PlanViewModel* model, std::exception_ptr error) {
    endUsing(scanned);
    // A folder replaced or forgotten meanwhile keeps what its own scan shows.
    if (folder_.get() != scanned) return finish(done);
    if (model) {
      // Only the few deselected keys are looked up: a set of every key of a
      // whole folder would hold the window while it is made and freed.
      std::unordered_set<MoveKey> stillPlanned;
      for (const auto& group : model->groups) {
        for (const auto& row : group.rows) {
          if (!selection_.get().isSelected(row.key)) stillPlanned.insert(row.key);
        }
      }
      selection_.modify([&](Selection& selection) { selection.pruning(stillPlanned); });
      scanFailure_.set(std::nullopt);
      plan_.set(std::move(*model));
      phase_.set(Phase::review);
    } else {
      plan_.set(std::nullopt);
      report(error, isRuleError(error) ? "Could not read the rules" : "Could not read that folder");
      scanFailure_.set(problem_.get());
      phase_.set(scanned->isActive() ? Phase::review : Phase::empty);
    }
    finish(done);
  };

  await<rozuzed::LoadedRuleSet>(
      [this](auto completion) { engine_->defaultRules(std::move(completion)); },
      [this, scanned, ended](Outcome<rozuzed::LoadedRuleSet> rules) {
        if (!rules.succeeded()) return ended(nullptr, rules.error());
        awaitConverted<rozuzed::SortPlan, PlanViewModel>(
            [this, scanned, &rules](auto completion) {
              engine_->plan(scanned->url(), rules.value(), kScanDepth,
                            std::make_shared<ScopedAccess>(scanned), std::move(completion));
            },
            [](const rozuzed::SortPlan& plan) { return PlanViewModel(plan); },
            [ended](Outcome<PlanViewModel> model) {
              if (!model.succeeded()) return ended(nullptr, model.error());
              ended(&model.value(), nullptr);
            });
      });
}

void AppModel::loadHistory(Done done) {
  readHistory(true, [done](bool) { finish(done); });
}

void AppModel::refreshHistory(Done done) {
  readHistory(false, [done](bool) { finish(done); });
}

void AppModel::readHistory(bool reportFailure, std::function<void(bool read)> then) {
  await<std::vector<rozuzed::BatchSummary>>(
      [this](auto completion) { engine_->recentBatches(std::move(completion)); },
      [this, reportFailure, then](Outcome<std::vector<rozuzed::BatchSummary>> batches) {
        if (!batches.succeeded()) {
          if (reportFailure) report(batches.error(), "Could not read the history");
          return then(false);
        }
        std::vector<RunSummary> rows;
        for (const auto& batch : batches.value()) rows.emplace_back(batch);
        history_.set(std::move(rows));
        then(true);
      });
}

void AppModel::clearUnresolved(Done done) {
  std::vector<Uuid> ids;
  for (const auto& row : unresolved_.get()) ids.push_back(row.id);
  if (ids.empty()) return finish(done);
  await<void>(
      [this, ids = std::move(ids)](auto completion) mutable {
        engine_->clearAttention(std::move(ids), std::move(completion));
      },
      [this, done](Outcome<void> cleared) {
        if (cleared.succeeded()) {
          unresolved_.set({});
        } else {
          report(cleared.error(), "Could not clear those files");
        }
        finish(done);
      });
}

// Sorting and undoing

void AppModel::apply(Done done) {
  const std::shared_ptr<GrantedFolder> granted = folder_.get();
  if (!granted || !plan_.get() || phase_.get() != Phase::review || busy_.get()) {
    return finish(done);
  }
  const PlanViewModel& model = *plan_.get();
  // Row by row, every move of a selected key (two sources that differ only
  // in letter case share one): the lists of keys and ids that would be
  // copied first held the window for a whole folder's worth of files.
  const Selection& selection = selection_.get();
  std::unordered_set<Uuid> kept;
  kept.reserve(model.moveCount());
  for (const auto& group : model.groups) {
    for (const auto& row : group.rows) {
      if (selection.isSelected(row.key)) kept.insert(row.id);
    }
  }
  if (kept.empty()) return finish(done);
  beginRun();
  beginUsing(granted);
  const int64_t total = static_cast<int64_t>(kept.size());

  auto ended = [this, granted, done] {
    busy_.set(false);
    endUsing(granted);
    finish(done);
  };

  await<rozuzed::SortPlan>(
      [this, id = model.id, kept = std::move(kept)](auto completion) mutable {
        engine_->planForApplying(id, std::move(kept), std::move(completion));
      },
      [this, granted, total, ended](Outcome<rozuzed::SortPlan> restricted) {
        if (!restricted.succeeded()) {
          report(std::make_exception_ptr(AppError::engineFailed("The plan could not be found.")),
                 "Nothing to sort");
          return ended();
        }
        if (stop_.stop_requested()) return ended();
        phase_.set(Phase::applying);
        progressTitle_.set("Sorting…");
        progress_.set(rozuzed::ExecutionProgress{0, total, std::nullopt});
        // The result screen must not show an undo of an earlier sort.
        lastUndo_.set(std::nullopt);
        auto settled = std::make_shared<std::optional<rozuzed::RecoveryOutcome>>();
        awaitConverted<rozuzed::ExecutionReport, RunResult>(
            [this, granted, settled, &restricted](auto completion) {
              engine_->apply(
                  std::move(restricted.value()), std::make_shared<ScopedAccess>(granted),
                  publishProgress(),
                  [settled](const rozuzed::RecoveryOutcome& found) { *settled = found; },
                  std::move(completion), stop_.get_token());
            },
            [folder = granted->url()](rozuzed::ExecutionReport&& applied) {
              return RunResult(std::move(applied), folder);
            },
            [this, settled, ended](Outcome<RunResult> applied) {
              progress_.set(std::nullopt);
              if (!applied.succeeded()) {
                phase_.set(Phase::review);
                report(applied.error(), "Sorting stopped");
                return showSettled(settled, ended);
              }
              lastRun_.set(std::move(applied.value()));
              phase_.set(Phase::result);
              showSettled(settled, [this, ended] { loadHistory(ended); });
            });
      });
}

void AppModel::undo(Uuid batchID, Done done) {
  if (busy_.get()) return finish(done);
  beginRun();
  showUndoing();
  auto ended = [this, done] {
    busy_.set(false);
    finish(done);
  };
  // The engine judges the run by the journal itself, refusing one already
  // put back or still held by another copy of the program; the read only
  // brings the rows on screen up to date. A failure to read leaves them as
  // they were and is the engine's to report.
  readHistory(false, [this, batchID, ended](bool) { putBack(batchID, ended); });
}

void AppModel::undoMostRecent(Done done) {
  std::optional<RunSummary> offered = undoableBatch();
  if (!offered || busy_.get()) return finish(done);
  beginRun();
  auto ended = [this, done] {
    busy_.set(false);
    finish(done);
  };
  readHistory(true, [this, offered, ended](bool read) {
    const std::optional<RunSummary> named = undoableBatch();
    if (!read || !named || named->id != offered->id ||
        named->outstandingCount() != offered->outstandingCount() || stop_.stop_requested()) {
      return ended();
    }
    showUndoing();
    putBack(named->id, ended);
  });
}

void AppModel::undoRecoveredRun(Done done) {
  if (!recovery_.get() || busy_.get()) return finish(done);
  const Uuid id = recovery_.get()->id;
  recovery_.set(std::nullopt);
  undo(id, std::move(done));
}

void AppModel::stopRun() {
  if (busy_.get()) stop_.request_stop();
}

void AppModel::beginRun() {
  busy_.set(true);
  stop_ = std::stop_source();
}

void AppModel::showUndoing() {
  phase_.set(Phase::applying);
  progressTitle_.set("Putting files back…");
  progress_.set(std::nullopt);
}

void AppModel::putBack(Uuid batchID, Done ended) {
  const std::shared_ptr<GrantedFolder> granted = folder_.get();
  // Nothing an undo touches lies behind the folder's access here, so it
  // runs without a folder too; a chosen folder's grant is held throughout.
  std::shared_ptr<rozuzed::SecurityScopedAccess> access;
  if (granted) {
    beginUsing(granted);
    access = std::make_shared<ScopedAccess>(granted);
  } else {
    access = std::make_shared<rozuzed::UnscopedAccess>();
  }
  auto released = [this, granted, ended] {
    if (granted) endUsing(granted);
    ended();
  };
  // Without a folder there is no screen of it to go back to.
  auto endIn = [this](Phase phase) { phase_.set(folder_.get() ? phase : Phase::empty); };

  auto settled = std::make_shared<std::optional<rozuzed::RecoveryOutcome>>();
  awaitConverted<rozuzed::UndoReport, UndoResult>(
      [this, batchID, access, settled](auto completion) {
        engine_->undo(
            batchID, access, publishProgress(),
            [settled](const rozuzed::RecoveryOutcome& found) { *settled = found; },
            std::move(completion), stop_.get_token());
      },
      [](const rozuzed::UndoReport& undone) { return UndoResult(undone); },
      [this, settled, released, endIn](Outcome<UndoResult> undone) {
        progress_.set(std::nullopt);
        if (!undone.succeeded()) {
          endIn(Phase::result);
          report(undone.error(), "Could not put those files back");
          return showSettled(settled, released);
        }
        lastUndo_.set(std::move(undone.value()));
        // A stopped undo is not followed by a rescan, which would keep the
        // engine at work after the user asked it to stop.
        if (!folder_.get() || stop_.stop_requested()) {
          endIn(Phase::result);
          return showSettled(settled, [this, released] { loadHistory(released); });
        }
        showSettled(settled,
                    [this, released] { loadHistory([this, released] { scan(released); }); });
      });
}

}  // namespace sortappkit

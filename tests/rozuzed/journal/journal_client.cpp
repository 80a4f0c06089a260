// Uses the journal at the path given as its one argument from a process of
// its own, one command per line on standard input, one answer line each:
//   settings         "MODE LEVEL": the durability settings of its connection
//   write ID COUNT   journals an apply run ID with COUNT moves, intents
//                    first, then their outcomes and the end of the run:
//                    "written"
//   count ID         how many committed entries run ID has: a number
// Exits 0 when standard input closes, 2 after answering "error: …".
#include <cstdio>
#include <exception>
#include <iostream>
#include <sstream>
#include <string>

#include "rozuzed/journal/process_identity.h"
#include "rozuzed/journal/sqlite_journal_store.h"

namespace {

using namespace rozuzed;

void write(SQLiteJournalStore& store, const Uuid& id, int count) {
  RunRecord run{.id = id,
                .kind = RunKind::apply,
                .state = RunState::running,
                .planID = id,
                .startedAt = 1,
                .owner = ProcessIdentity::current()};
  std::vector<JournalEntry> intents, outcomes;
  for (int i = 0; i < count; ++i) {
    JournalEntry intent{.runID = id,
                        .planSequence = i,
                        .sourceURL = FileURL::fromPath("/from/f" + std::to_string(i)),
                        .destinationURL = FileURL::fromPath("/to/f" + std::to_string(i)),
                        .intentAt = 2};
    JournalEntry outcome = intent;
    outcome.state = EntryState::committed;
    outcome.committedAt = 3;
    outcome.completedBy = CompletionSource::run;
    intents.push_back(intent);
    outcomes.push_back(outcome);
  }
  store.beginRun(run, intents);
  store.commit(outcomes, {});
  store.finishRun(id, RunState::finished, 4, {});
}

std::string answer(SQLiteJournalStore& store, const std::string& line) {
  std::istringstream words(line);
  std::string command, id;
  words >> command;
  if (command == "settings") {
    auto settings = store.durabilitySettings();
    return settings.journalMode + " " + std::to_string(settings.synchronous);
  }
  words >> id;
  auto runID = Uuid::parse(id);
  if (!runID) return "error: not a run id: " + id;
  if (command == "write") {
    int count = 0;
    words >> count;
    write(store, *runID, count);
    return "written";
  }
  if (command == "count") {
    int committed = 0;
    for (const JournalEntry& entry : store.entries(*runID)) {
      if (entry.state == EntryState::committed) ++committed;
    }
    return std::to_string(committed);
  }
  return "error: unknown command: " + command;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: journal_client DATABASE\n");
    return 2;
  }
  try {
    SQLiteJournalStore store(FileURL::fromPath(argv[1]));
    std::string line;
    while (std::getline(std::cin, line)) {
      std::string reply = answer(store, line);
      std::cout << reply << std::endl;
      if (reply.starts_with("error: ")) return 2;
    }
    return 0;
  } catch (const std::exception& error) {
    std::cout << "error: " << error.what() << std::endl;
    return 2;
  }
}

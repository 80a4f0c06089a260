// The journal the application falls back to when its database cannot be
// opened: kept in memory for the life of the process.
#pragma once

#include <memory>

#include "rozuzed/journal/in_memory_journal_store.h"

namespace ombrix {

struct InMemoryJournalStoreBox {
  // One store per process, made empty on first use (safely, whichever
  // thread asks first) and never dropped.
  static const std::shared_ptr<rozuzed::InMemoryJournalStore>& shared() {
    return rozuzed::InMemoryJournalStore::shared();
  }
};

}  // namespace ombrix

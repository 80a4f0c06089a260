// One journal entry that needs the user's attention.
#pragma once

#include <string>

#include "rozuzed/model/journal_entry.h"
#include "rozuzed/support/uuid.h"

namespace sortappkit {

struct AttentionRow {
  explicit AttentionRow(const rozuzed::JournalEntry& entry);

  bool operator==(const AttentionRow&) const = default;

  rozuzed::Uuid id;
  std::string name;  // the file's name at its source
  std::string sourcePath;
  std::string destinationPath;
  // The recorded reason, or "Could not be classified." when there is none.
  std::string reason;
};

}  // namespace sortappkit

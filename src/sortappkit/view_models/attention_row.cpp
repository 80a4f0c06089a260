#include "sortappkit/view_models/attention_row.h"

namespace sortappkit {

AttentionRow::AttentionRow(const rozuzed::JournalEntry& entry)
    : id(entry.id),
      name(entry.sourceURL.lastPathComponent()),
      sourcePath(entry.sourceURL.path()),
      destinationPath(entry.destinationURL.path()),
      reason(entry.attentionReason.value_or("Could not be classified.")) {}

}  // namespace sortappkit

#include "sortappkit/view_models/selection.h"

#include <algorithm>

namespace sortappkit {

void Selection::toggle(const MoveKey& key) {
  if (deselected_.erase(key) == 0) deselected_.insert(key);
}

bool Selection::setSelected(bool selected, const std::vector<MoveKey>& keys) {
  bool changed = false;
  for (const auto& key : keys) {
    if (selected) {
      changed |= deselected_.erase(key) > 0;
    } else {
      changed |= deselected_.insert(key).second;
    }
  }
  return changed;
}

GroupSelectionState Selection::state(const std::vector<MoveKey>& keys) const {
  const std::size_t count = selectedCount(keys);
  if (count == 0) return GroupSelectionState::none;
  return count == keys.size() ? GroupSelectionState::all : GroupSelectionState::mixed;
}

std::vector<MoveKey> Selection::selected(const std::vector<MoveKey>& keys) const {
  std::vector<MoveKey> out;
  std::copy_if(keys.begin(), keys.end(), std::back_inserter(out),
               [this](const MoveKey& key) { return isSelected(key); });
  return out;
}

std::size_t Selection::selectedCount(const std::vector<MoveKey>& keys) const {
  return static_cast<std::size_t>(std::count_if(
      keys.begin(), keys.end(), [this](const MoveKey& key) { return isSelected(key); }));
}

void Selection::pruning(const std::unordered_set<MoveKey>& keys) {
  std::erase_if(deselected_, [&keys](const MoveKey& key) { return keys.count(key) == 0; });
}

}  // namespace sortappkit

// The user's choice of which planned moves a sort carries out.
#pragma once

#include <cstddef>
#include <unordered_set>
#include <vector>

#include "sortappkit/view_models/move_key.h"

namespace sortappkit {

// The tri-state of a group's checkbox.
enum class GroupSelectionState { all, none, mixed };

inline bool isOn(GroupSelectionState state) {
  return state == GroupSelectionState::all;
}
inline bool isMixed(GroupSelectionState state) {
  return state == GroupSelectionState::mixed;
}

// An opt-out set: every key not deselected counts as selected, keys never
// seen before included, so a new plan starts fully selected and a
// deselection survives a rescan while its move is still planned.
class Selection {
 public:
  bool isSelected(const MoveKey& key) const { return deselected_.count(key) == 0; }

  void toggle(const MoveKey& key);
  // True when any key changed.
  bool setSelected(bool selected, const std::vector<MoveKey>& keys);

  // none for no keys or none selected, all when every key is, else mixed.
  GroupSelectionState state(const std::vector<MoveKey>& keys) const;
  // The selected keys in the given order; a key given twice appears twice.
  std::vector<MoveKey> selected(const std::vector<MoveKey>& keys) const;
  // Occurrences counted.
  std::size_t selectedCount(const std::vector<MoveKey>& keys) const;

  // Forgets deselections of keys outside `keys`.
  void pruning(const std::unordered_set<MoveKey>& keys);

  bool operator==(const Selection&) const = default;

 private:
  std::unordered_set<MoveKey> deselected_;
};

}  // namespace sortappkit

// The user's Trash in the layout freedesktop.org defines for it,
// so that file managers list, restore and empty what the engine puts there.
#pragma once

#include <string>

#include "rozuzed/support/file_url.h"

namespace rozuzed {

struct Trash {
  // Moves the item itself (a final link is moved, not followed) into the
  // trash of the mount it lies on: the home trash when that is on the same
  // mount, otherwise $topdir/.Trash/$uid or $topdir/.Trash-$uid. An item is
  // never copied into a trash on another mount. Its name in the trash is
  // reserved with its .trashinfo record first, and the move never replaces
  // anything. Returns the item's new location in the trash's files/ folder;
  // throws SortError::trashFailed with `item`.
  static FileURL trashItem(const FileURL& item);

  // Drops the .trashinfo record of an item that lay at `formerLocation` in a
  // trash's files/ folder and has been taken out of it. Anything else is left
  // alone; never fails.
  static void forgetTrashedItem(const FileURL& formerLocation);

  // ${XDG_DATA_HOME:-$HOME/.local/share}/Trash, whether or not it exists.
  static std::string homeTrashPath();
};

}  // namespace rozuzed

// The user's Trash in the layout freedesktop.org defines for it,
// so that file managers list, restore and empty what the engine puts there.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "rozuzed/filesystem/file_identity.h"
#include "rozuzed/support/file_url.h"

namespace rozuzed {

struct Trash {
  // Moves the item itself (a final link is moved, not followed) into the
  // trash of the volume it lies on: the home trash when that is on the same
  // volume, otherwise $topdir/.Trash/$uid or $topdir/.Trash-$uid, where
  // $topdir is the mount point or, below it, the top folder of the item's
  // device there (a btrfs subvolume's). An item is never copied into a
  // trash on another volume. On a file system that cannot
  // rename without replacing, a file goes by a hard link and a folder is
  // refused. Its name in the trash is
  // reserved with its .trashinfo record first, and the move never replaces
  // anything. Returns the item's new location in the trash's files/ folder;
  // throws SortError::trashFailed with `item`.
  static FileURL trashItem(const FileURL& item);

  // As trashItem, for an item that must still be the file `expected`
  // describes. It is checked once its record is made, just before the move,
  // and again as it lies in the trash: an item that changed in the instant
  // between goes back to its place. Throws sourceChangedDuringMove with
  // `item` when it stays (or is back) at its place; moveFailed(its trash
  // location, `item`) when its place was taken before it could go back.
  static FileURL trashItemIfUnchanged(const FileURL& item, const FileIdentity& expected);

  // Drops the .trashinfo record of an item that lay at `trashedLocation`,
  // directly in a trash's files/ folder, and has been taken out of it: only
  // when nothing lies there now and the record names `originalLocation` as
  // the place the item came from. Anything else is left alone; never fails.
  static void forgetTrashedItem(const FileURL& trashedLocation, const FileURL& originalLocation);

  // Drops the records that a move of an item at `item` into its trash left
  // empty when it was cut short between reserving a name (the record is made
  // first) and writing the record: every record under a name the item
  // would be given there, up to the first name nothing holds, that is an
  // empty regular file with nothing of its name in files/. Nothing else is
  // touched and no folder is made; never fails.
  static void forgetUnwrittenRecords(const FileURL& item);

  // True for the home trash, for a mount's $topdir/.Trash (every user's
  // trash in it) and $topdir/.Trash-$uid of any user, and for everything
  // inside them. Links are resolved first; never fails.
  static bool contains(const FileURL& item);

  // ${XDG_DATA_HOME:-$HOME/.local/share}/Trash, whether or not it exists.
  static std::string homeTrashPath();

  // Empty but in tests: run with the item's real path in the instant just
  // before it moves into the trash, after every check, so a test can change
  // it where no check can see.
  static std::function<void(const std::string&)>& beforeMoveSeam();

  // Empty but in tests: names the top folder of the mount that holds a real
  // path, in place of the mount table, when it gives a value; so a test can
  // lay out a mount's own trash folders in a scratch folder.
  static std::function<std::optional<std::string>(const std::string&)>& mountPointSeam();
};

}  // namespace rozuzed

// Asks the user for the one folder to tidy.
#pragma once

#include <QList>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "rozuzed/support/file_url.h"

class QFileDialog;
class QWidget;

namespace ombrix {

class FolderPicker {
 public:
  using Chooser = std::function<std::optional<rozuzed::FileURL>(QWidget* parent)>;

  // Shows the folder dialog modally over `parent` and returns the chosen
  // folder, or none when the user cancels.
  static std::optional<rozuzed::FileURL> choose(QWidget* parent);

  // Tests put a chooser of their own in place of the dialog; an empty one
  // brings the dialog back.
  static void replace(Chooser chooser);

  // The dialog `choose` shows: one existing folder, no files, no new
  // folders, the accept button "Choose", our message above the list, opening
  // in the Downloads folder when there is one, with no row for a type of
  // file and columns wide enough for their text. Qt's own dialog rather than
  // the desktop's, which would drop the message and the options.
  static std::unique_ptr<QFileDialog> makeDialog(QWidget* parent);

  // The dialog's side bar: the home folder, its standard folders that exist
  // (Desktop, Documents, Downloads, Music, Pictures, Videos) and the volumes
  // the user has mounted.
  static QList<QUrl> places();

 private:
  static std::optional<rozuzed::FileURL> showDialog(QWidget* parent);
};

}  // namespace ombrix

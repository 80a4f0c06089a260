#include "sortappkit/app_error.h"

#include <functional>

#include "rozuzed/support/hashing.h"

namespace sortappkit {

using rozuzed::FileURL;

AppError::AppError(Case c, FileURL folder, std::string text)
    : case_(c), folder_(std::move(folder)), text_(std::move(text)) {
  switch (case_) {
    case Case::bookmarkNotCreated:
      description_ = "Could not remember access to " + folder_.lastPathComponent() + ": " + text_;
      break;
    case Case::bookmarkUnreadable:
      description_ = "The saved folder could not be opened again.";
      break;
    case Case::folderAccessLost:
      description_ = "Access to " + folder_.lastPathComponent() + " was lost.";
      break;
    case Case::engineFailed:
      description_ = text_;
      break;
    case Case::noFolderChosen:
      description_ = "No folder has been chosen yet.";
      break;
    case Case::anotherProcessIsRunning:
      description_ = "Another copy of Ombrix is working on these files.";
      break;
  }
}

AppError AppError::bookmarkNotCreated(FileURL folder, std::string underlying) {
  return AppError(Case::bookmarkNotCreated, std::move(folder), std::move(underlying));
}

AppError AppError::bookmarkUnreadable(std::string text) {
  return AppError(Case::bookmarkUnreadable, FileURL(), std::move(text));
}

AppError AppError::folderAccessLost(FileURL folder) {
  return AppError(Case::folderAccessLost, std::move(folder), "");
}

AppError AppError::engineFailed(std::string text) {
  return AppError(Case::engineFailed, FileURL(), std::move(text));
}

AppError AppError::noFolderChosen() {
  return AppError(Case::noFolderChosen, FileURL(), "");
}

AppError AppError::anotherProcessIsRunning() {
  return AppError(Case::anotherProcessIsRunning, FileURL(), "");
}

std::optional<std::string> AppError::recoverySuggestion() const {
  switch (case_) {
    case Case::bookmarkUnreadable:
      return "Choose the folder again to restore access.";
    case Case::folderAccessLost:
      return "Choose the folder again.";
    case Case::anotherProcessIsRunning:
      return "Wait for it to finish, then try again.";
    case Case::bookmarkNotCreated:
    case Case::engineFailed:
    case Case::noFolderChosen:
      break;
  }
  return std::nullopt;
}

std::size_t AppError::hash() const {
  std::size_t seed = static_cast<std::size_t>(case_);
  rozuzed::hashCombine(seed, std::hash<FileURL>{}(folder_));
  rozuzed::hashCombine(seed, std::hash<std::string>{}(text_));
  return seed;
}

}  // namespace sortappkit

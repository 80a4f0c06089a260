// The application layer's own failures. Engine failures stay rozuzed::SortError
// values and are never wrapped in one of these.
#pragma once

#include <cstddef>
#include <exception>
#include <optional>
#include <string>

#include "rozuzed/support/file_url.h"

namespace sortappkit {

// One of six failures, each with the text shown to the user and, for some, a
// suggestion of what to do next. Equal when the case and its values are equal.
class AppError : public std::exception {
 public:
  enum class Case {
    bookmarkNotCreated,
    bookmarkUnreadable,
    folderAccessLost,
    engineFailed,
    noFolderChosen,
    anotherProcessIsRunning,
  };

  static AppError bookmarkNotCreated(rozuzed::FileURL folder, std::string underlying);
  // `text` is the resolution failure's own description; it is kept but not shown.
  static AppError bookmarkUnreadable(std::string text);
  static AppError folderAccessLost(rozuzed::FileURL folder);
  static AppError engineFailed(std::string text);
  static AppError noFolderChosen();
  static AppError anotherProcessIsRunning();

  Case errorCase() const { return case_; }

  const std::string& errorDescription() const { return description_; }
  std::optional<std::string> recoverySuggestion() const;
  const char* what() const noexcept override { return description_.c_str(); }

  // The case's values: the folder of bookmarkNotCreated and folderAccessLost,
  // the underlying text of bookmarkNotCreated, the text of bookmarkUnreadable
  // and engineFailed.
  const rozuzed::FileURL& folder() const { return folder_; }
  const std::string& underlying() const { return text_; }
  const std::string& text() const { return text_; }

  bool operator==(const AppError& other) const {
    return case_ == other.case_ && folder_ == other.folder_ && text_ == other.text_;
  }
  std::size_t hash() const;

 private:
  AppError(Case c, rozuzed::FileURL folder, std::string text);

  Case case_;
  rozuzed::FileURL folder_;
  std::string text_;
  std::string description_;
};

}  // namespace sortappkit

template <>
struct std::hash<sortappkit::AppError> {
  std::size_t operator()(const sortappkit::AppError& error) const noexcept { return error.hash(); }
};

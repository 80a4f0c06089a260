// The current user's home folder.
#pragma once

#include "rozuzed/support/file_url.h"

namespace rozuzed {

// The home folder as a folder URL, looked up afresh on every call: $HOME when
// it is an absolute path, else the user database's entry for the real user,
// else "/". Reads the environment; safe on any thread that does not change it.
FileURL homeFolder();

}  // namespace rozuzed

// Shows files in the desktop's file manager, through the freedesktop
// FileManager1 D-Bus interface.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <optional>
#include <vector>

#include "rozuzed/support/file_url.h"

namespace ombrix {

// Asks org.freedesktop.FileManager1 on the session bus to show `urls`
// selected, or, when there are none, to open `folder` itself. When no file
// manager answers (no bus, no such service, an error), opens `folder` with
// QDesktopServices instead, and calls `unreachable` when that fails too.
// Never waits: the answer is taken when it comes, and is dropped once
// `context` is gone. Main thread only.
void revealInFileManager(const std::vector<rozuzed::FileURL>& urls, const rozuzed::FileURL& folder,
                         QObject* context, std::function<void()> unreachable);

// The bus asked instead of the session bus, until given none again.
void useBusForReveal(std::optional<QDBusConnection> bus);

}  // namespace ombrix

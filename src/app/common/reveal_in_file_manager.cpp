#include "app/common/reveal_in_file_manager.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QPointer>
#include <QUrl>

#include "app/common/texts.h"

namespace ombrix {
namespace {

std::optional<QDBusConnection>& replacementBus() {
  static std::optional<QDBusConnection> bus;
  return bus;
}

}  // namespace

void revealInFileManager(const std::vector<rozuzed::FileURL>& urls, const rozuzed::FileURL& folder,
                         QObject* context, std::function<void()> unreachable) {
  QStringList uris;
  uris.reserve(static_cast<qsizetype>(urls.size()));
  for (const auto& url : urls) uris << qs(url.absoluteString());
  // Shown with nothing selected, the file manager would only come forward,
  // wherever it happens to be.
  if (uris.isEmpty()) uris << qs(folder.absoluteString());

  QDBusMessage message = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.FileManager1"),
      QStringLiteral("/org/freedesktop/FileManager1"),
      QStringLiteral("org.freedesktop.FileManager1"),
      urls.empty() ? QStringLiteral("ShowFolders") : QStringLiteral("ShowItems"));
  message << uris << QString();
  const QDBusConnection bus = replacementBus().value_or(QDBusConnection::sessionBus());
  auto fallBack = [fallback = QUrl::fromLocalFile(qs(folder.path())),
                   unreachable = std::move(unreachable)] {
    if (!QDesktopServices::openUrl(fallback) && unreachable) unreachable();
  };
  const QDBusPendingCall call = bus.asyncCall(message);
  // Without a bus the call has failed already and no answer will come.
  if (call.isFinished()) {
    if (call.isError()) fallBack();
    return;
  }
  auto* watcher = new QDBusPendingCallWatcher(call, context);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                   [fallBack](QDBusPendingCallWatcher* call) {
                     if (call->isError()) fallBack();
                     call->deleteLater();
                   });
}

void useBusForReveal(std::optional<QDBusConnection> bus) {
  replacementBus() = std::move(bus);
}

}  // namespace ombrix

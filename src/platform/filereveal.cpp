#include "platform/filereveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

// A file manager started on demand by D-Bus activation needs a moment.
constexpr int showItemsTimeoutMs = 5000;

} // namespace

void revealInFileViewer(const QString& path) {
    revealInFileViewer(path, [](const QString& folder) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    });
}

void revealInFileViewer(const QString& path, std::function<void(const QString& folder)> fallback) {
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        fallback(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        u"org.freedesktop.FileManager1"_s, u"/org/freedesktop/FileManager1"_s,
        u"org.freedesktop.FileManager1"_s, u"ShowItems"_s);
    call << QStringList{QUrl::fromLocalFile(info.absoluteFilePath()).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, showItemsTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [watcher, folder, fallback = std::move(fallback)] {
                         watcher->deleteLater();
                         if (QDBusPendingReply<> reply = *watcher; reply.isError()) {
                             fallback(folder);
                         }
                     });
}

} // namespace tolvane

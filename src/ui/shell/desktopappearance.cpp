#include "desktopappearance.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {
const QString service = u"org.freedesktop.portal.Desktop"_s;
const QString path = u"/org/freedesktop/portal/desktop"_s;
const QString interface = u"org.freedesktop.portal.Settings"_s;
const QString group = u"org.freedesktop.appearance"_s;
const QString key = u"color-scheme"_s;
} // namespace

DesktopAppearance::DesktopAppearance(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus)) {
    if (!m_bus.isConnected()) {
        return;
    }
    // Any sender: naming the portal's service would ask the bus for its owner
    // and wait for the answer.
    m_bus.connect(QString(), path, interface, u"SettingChanged"_s, this,
                  SLOT(onSettingChanged(QString, QString, QDBusVariant)));
    QDBusMessage read = QDBusMessage::createMethodCall(service, path, interface, u"Read"_s);
    read << group << key;
    // Start-up must not wait on the portal, which the call may first have to
    // start; the answer is taken whenever it comes.
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(read), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                const QDBusPendingReply<QVariant> reply = *call;
                if (!reply.isError()) {
                    apply(fromPortalValue(reply.value()));
                }
                call->deleteLater();
            });
}

QDBusConnection DesktopAppearance::sessionBusIfRunning() {
    // Without a running bus, connecting could launch one through X11.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        (runtime.isEmpty() || !QFileInfo::exists(runtime + u"/bus"_s))) {
        return QDBusConnection(u"no-session-bus"_s);
    }
    return QDBusConnection::sessionBus();
}

std::optional<bool> DesktopAppearance::fromPortalValue(const QVariant& value) {
    QVariant inner = value;
    // Read answers with the value wrapped once more than SettingChanged does.
    for (int depth = 0; depth < 3; ++depth) {
        if (inner.metaType() == QMetaType::fromType<QDBusVariant>()) {
            inner = inner.value<QDBusVariant>().variant();
        } else if (inner.metaType() == QMetaType::fromType<QDBusArgument>()) {
            QVariant unpacked;
            inner.value<QDBusArgument>() >> unpacked;
            inner = unpacked;
        } else {
            break;
        }
    }
    bool ok = false;
    const uint scheme = inner.toUInt(&ok);
    if (!ok || inner.metaType().id() == QMetaType::QString) {
        return std::nullopt;
    }
    if (scheme == 1) {
        return true;
    }
    if (scheme == 2) {
        return false;
    }
    return std::nullopt;
}

void DesktopAppearance::onSettingChanged(const QString& changedGroup, const QString& changedKey,
                                         const QDBusVariant& value) {
    if (changedGroup == group && changedKey == key) {
        apply(fromPortalValue(value.variant()));
    }
}

void DesktopAppearance::apply(std::optional<bool> prefersDark) {
    if (prefersDark == m_prefersDark) {
        return;
    }
    m_prefersDark = prefersDark;
    Q_EMIT changed();
}

} // namespace tolvane

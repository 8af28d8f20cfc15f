#include "desktopappearance.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace tolvane {

namespace {
const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
const QString interface = QStringLiteral("org.freedesktop.portal.Settings");
const QString group = QStringLiteral("org.freedesktop.appearance");
const QString key = QStringLiteral("color-scheme");
} // namespace

DesktopAppearance::DesktopAppearance(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus)) {
    if (!m_bus.isConnected()) {
        return;
    }
    m_bus.connect(service, path, interface, QStringLiteral("SettingChanged"), this,
                  SLOT(onSettingChanged(QString, QString, QDBusVariant)));
    QDBusMessage read =
        QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Read"));
    read << group << key;
    // Start-up must not wait on a slow or missing portal.
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(read, 3000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                const QDBusPendingReply<QVariant> reply = *call;
                if (!reply.isError()) {
                    apply(fromPortalValue(reply.value()));
                }
                call->deleteLater();
            });
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

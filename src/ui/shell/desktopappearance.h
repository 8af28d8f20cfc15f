#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <QVariant>

#include <optional>

namespace tolvane {

// The desktop's light or dark preference, as GNOME, KDE and other desktops
// publish it through the desktop portal ("color-scheme" of the appearance
// settings). This Qt does not read it, so its palette stays light on a dark
// desktop. Asks once without blocking and follows later changes; without a
// portal the preference stays unknown.
class DesktopAppearance : public QObject {
    Q_OBJECT
public:
    explicit DesktopAppearance(QDBusConnection bus = sessionBusIfRunning(),
                               QObject* parent = nullptr);

    // The session bus when one is running; else a connection to nothing.
    static QDBusConnection sessionBusIfRunning();

    // True for dark, false for light; empty when the desktop has no
    // preference or did not say.
    std::optional<bool> prefersDark() const { return m_prefersDark; }

    // The portal's value: 1 dark, 2 light, anything else no preference. The
    // value may come wrapped in variants, as the portal's Read sends it.
    static std::optional<bool> fromPortalValue(const QVariant& value);

Q_SIGNALS:
    void changed();

private Q_SLOTS:
    void onSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void apply(std::optional<bool> prefersDark);

    QDBusConnection m_bus;
    std::optional<bool> m_prefersDark;
};

} // namespace tolvane

#include "palette.h"

#include "desktopappearance.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPalette>

namespace tolvane {

Palette::Palette(QObject* parent)
    : QObject(parent) {
    if (qApp) {
        qApp->installEventFilter(this);
    }
    update();
}

void Palette::followDesktop(DesktopAppearance* appearance) {
    m_desktop = appearance;
    connect(appearance, &DesktopAppearance::changed, this, &Palette::update);
    update();
}

void Palette::force(Scheme scheme) {
    m_scheme = scheme;
    update();
}

bool Palette::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        update();
    }
    return QObject::eventFilter(watched, event);
}

void Palette::update() {
    bool dark = m_scheme == Scheme::dark;
    if (m_scheme == Scheme::system) {
        if (const auto preference = m_desktop ? m_desktop->prefersDark() : std::nullopt) {
            dark = *preference;
        } else {
            // A desktop theme Qt knows shows in the window colour of its palette.
            dark = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
        }
    }
    if (dark != m_dark) {
        m_dark = dark;
        Q_EMIT changed();
    }
}

} // namespace tolvane

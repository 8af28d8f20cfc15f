#include "palette.h"

#include "desktopappearance.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMetaProperty>
#include <QPalette>

#include <cmath>

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

QList<Palette::TextPair> Palette::textPairs() {
    QList<TextPair> pairs;
    for (const char* text :
         {"textPrimary", "textSecondary", "linkText", "errorText", "successText", "warningText"}) {
        for (const char* background : {"appBackground", "cardBackground", "raisedBackground"}) {
            pairs.append(TextPair{text, background});
        }
    }
    pairs.append(TextPair{"white", "brandBlue"});
    return pairs;
}

double Palette::contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& colour) {
        const auto linear = [](double c) {
            return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
               0.0722 * linear(colour.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor Palette::colour(const char* name) const {
    if (qstrcmp(name, "white") == 0) {
        return Qt::white;
    }
    const int index = metaObject()->indexOfProperty(name);
    if (index < 0) {
        return {};
    }
    return metaObject()->property(index).read(this).value<QColor>();
}

} // namespace tolvane

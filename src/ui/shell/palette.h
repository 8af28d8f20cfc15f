#pragma once

#include <QColor>
#include <QList>
#include <QObject>

namespace tolvane {

class DesktopAppearance;

// The application's seven colours, light and dark, and the few text colours
// that must stay readable on them (links, errors, success and warning lines).
// Follows the desktop's colour scheme unless a scheme is forced: the desktop's
// stated preference when it has one, else the lightness of the application
// palette.
class Palette : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool dark READ dark NOTIFY changed)
    Q_PROPERTY(QColor brandBlue READ brandBlue CONSTANT)
    Q_PROPERTY(QColor appBackground READ appBackground NOTIFY changed)
    Q_PROPERTY(QColor cardBackground READ cardBackground NOTIFY changed)
    Q_PROPERTY(QColor hairline READ hairline NOTIFY changed)
    Q_PROPERTY(QColor textPrimary READ textPrimary NOTIFY changed)
    Q_PROPERTY(QColor textSecondary READ textSecondary NOTIFY changed)
    Q_PROPERTY(QColor raisedBackground READ raisedBackground NOTIFY changed)
    // The brand blue as text: the brand colour itself is too dark to read on
    // the dark surfaces, so text there takes a lighter tint. Fills keep
    // brandBlue.
    Q_PROPERTY(QColor linkText READ linkText NOTIFY changed)
    Q_PROPERTY(QColor errorText READ errorText NOTIFY changed)
    Q_PROPERTY(QColor successText READ successText NOTIFY changed)
    Q_PROPERTY(QColor warningText READ warningText NOTIFY changed)
    // The keyboard focus ring around controls.
    Q_PROPERTY(QColor focusRing READ focusRing NOTIFY changed)

public:
    enum class Scheme { system, light, dark };

    explicit Palette(QObject* parent = nullptr);

    bool dark() const { return m_dark; }
    void force(Scheme scheme);
    void followDesktop(DesktopAppearance* appearance);

    QColor brandBlue() const { return QColor(0x0A, 0x66, 0xC2); }
    QColor appBackground() const { return pick(0xF3F2EF, 0x1A1A1B); }
    QColor cardBackground() const { return pick(0xFFFFFF, 0x26272B); }
    QColor hairline() const { return pick(0xE0E0E0, 0x3A3B40); }
    QColor textPrimary() const { return pick(0x1A1A1A, 0xF2F2F5); }
    QColor textSecondary() const { return pick(0x666666, 0x9A9AA0); }
    QColor raisedBackground() const { return pick(0xFFFFFF, 0x2C2D31); }
    QColor linkText() const { return pick(0x0A66C2, 0x70B5F9); }
    QColor errorText() const { return pick(0xC5221F, 0xF28B82); }
    QColor successText() const { return pick(0x137333, 0x81C995); }
    QColor warningText() const { return pick(0x9A5000, 0xFCAD70); }
    QColor focusRing() const { return pick(0x0A66C2, 0x70B5F9); }

    // A text colour and a background it is drawn on, by property name.
    struct TextPair {
        const char* text;
        const char* background;
    };
    // Every text colour of the palette on every surface it is drawn on, white
    // included where text sits on the brand colour (the user's bubbles, the
    // prominent buttons, a chosen day).
    static QList<TextPair> textPairs();
    // The WCAG 2 contrast ratio of two opaque colours, from 1 to 21.
    static double contrast(const QColor& a, const QColor& b);
    // A palette colour by property name ("white" is white in both schemes);
    // invalid for an unknown name.
    QColor colour(const char* name) const;

Q_SIGNALS:
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QColor pick(QRgb light, QRgb dark) const { return QColor::fromRgb(m_dark ? dark : light); }
    void update();

    Scheme m_scheme = Scheme::system;
    DesktopAppearance* m_desktop = nullptr;
    bool m_dark = false;
};

} // namespace tolvane

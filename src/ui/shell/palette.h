#pragma once

#include <QColor>
#include <QObject>

namespace tolvane {

class DesktopAppearance;

// The application's seven colours, light and dark. Follows the desktop's colour
// scheme unless a scheme is forced: the desktop's stated preference when it
// has one, else the lightness of the application palette.
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

#include "windowplacement.h"

#include <QEvent>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace tolvane {

QPoint centredPlacement(const QRect& available, const QSize& size) {
    const int x = available.x() + std::max(0, (available.width() - size.width()) / 2);
    const int y = available.y() + std::max(0, (available.height() - size.height()) / 2);
    return {x, y};
}

FirstShowPlacement::FirstShowPlacement(QWindow* main, QWindow* secondary)
    : QObject(secondary)
    , m_main(main) {
    secondary->installEventFilter(this);
}

bool FirstShowPlacement::eventFilter(QObject* watched, QEvent* event) {
    // The show event comes before the window is mapped, so the window
    // manager is handed the place with the window.
    if (!m_placed && event->type() == QEvent::Show) {
        auto* window = static_cast<QWindow*>(watched);
        QScreen* screen = m_main ? m_main->screen() : window->screen();
        if (screen) {
            if (screen != window->screen()) {
                window->setScreen(screen);
            }
            window->setPosition(centredPlacement(screen->availableGeometry(), window->size()));
        }
        m_placed = true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tolvane

#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>

class QWindow;

namespace tolvane {

// Where a window of `size` sits centred in a screen's available area; a
// window larger than the area keeps its title bar on screen at the area's
// top-left.
QPoint centredPlacement(const QRect& available, const QSize& size);

// Centres a secondary window (settings, studio) on the main window's screen
// the first time it is shown; afterwards it opens wherever the user left it.
// Window managers otherwise put such windows at the screen's corner.
class FirstShowPlacement : public QObject {
    Q_OBJECT
public:
    FirstShowPlacement(QWindow* main, QWindow* secondary);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWindow> m_main;
    bool m_placed = false;
};

} // namespace tolvane

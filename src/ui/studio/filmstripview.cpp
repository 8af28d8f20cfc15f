#include "filmstripview.h"

#include "video/videoeditmodel.h"

#include <QPainter>

#include <cmath>

namespace tolvane {

FilmstripView::FilmstripView(QQuickItem* parent)
    : QQuickPaintedItem(parent) {
    setOpaquePainting(false);
}

void FilmstripView::setModel(VideoEditModel* model) {
    if (model == m_model) {
        return;
    }
    if (m_model) {
        disconnect(m_model, nullptr, this, nullptr);
    }
    m_model = model;
    if (m_model) {
        connect(m_model, &VideoEditModel::filmstripChanged, this, &FilmstripView::takeFrames);
    }
    takeFrames();
    Q_EMIT modelChanged();
}

void FilmstripView::takeFrames() {
    m_frames = m_model ? m_model->filmstrip() : QList<QImage>();
    Q_EMIT framesChanged();
    update();
}

void FilmstripView::paint(QPainter* painter) {
    if (m_frames.isEmpty() || width() <= 0 || height() <= 0) {
        return;
    }
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    const double slot = width() / double(m_frames.size());
    for (qsizetype i = 0; i < m_frames.size(); ++i) {
        const QImage& frame = m_frames.at(i);
        if (frame.isNull()) {
            continue;
        }
        // Whole pixels, so neighbouring frames meet without seams.
        const QRectF target(std::floor(double(i) * slot), 0,
                            std::ceil(double(i + 1) * slot) - std::floor(double(i) * slot),
                            height());
        // The frame's middle part with the slot's aspect ratio.
        const double scale =
            std::max(target.width() / frame.width(), target.height() / frame.height());
        const QSizeF shown(target.width() / scale, target.height() / scale);
        const QRectF source((frame.width() - shown.width()) / 2,
                            (frame.height() - shown.height()) / 2, shown.width(), shown.height());
        painter->drawImage(target, frame, source);
    }
}

} // namespace tolvane

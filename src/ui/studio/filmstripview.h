#pragma once

#include <QImage>
#include <QList>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace tolvane {

class VideoEditModel;

// The trim bar's thumbnails: the edit model's filmstrip side by side across
// the item, each frame filling its slot, cropped. The frames are made once
// per recording off the main thread; this only draws them, again only when
// they or the item's size change.
class FilmstripView : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_MOC_INCLUDE("video/videoeditmodel.h")
    Q_PROPERTY(tolvane::VideoEditModel* model READ model WRITE setModel NOTIFY modelChanged)
    Q_PROPERTY(int frameCount READ frameCount NOTIFY framesChanged)

public:
    explicit FilmstripView(QQuickItem* parent = nullptr);

    VideoEditModel* model() const { return m_model; }
    void setModel(VideoEditModel* model);
    int frameCount() const { return int(m_frames.size()); }

    void paint(QPainter* painter) override;

Q_SIGNALS:
    void modelChanged();
    void framesChanged();

private:
    void takeFrames();

    QPointer<VideoEditModel> m_model;
    QList<QImage> m_frames;
};

} // namespace tolvane

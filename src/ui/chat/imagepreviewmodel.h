#pragma once

#include <QObject>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

namespace tolvane {

// The enlarge sheet of message images: page and zoom rules, and handing the
// current picture to the desktop's image viewer.
class ImagePreviewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QStringList images READ images NOTIFY changed)
    Q_PROPERTY(int index READ index NOTIFY changed)
    Q_PROPERTY(double zoom READ zoom NOTIFY changed)
    Q_PROPERTY(QString zoomText READ zoomText NOTIFY changed)
    Q_PROPERTY(QString counterText READ counterText NOTIFY changed)
    Q_PROPERTY(bool paged READ paged NOTIFY changed)
    Q_PROPERTY(QString current READ current NOTIFY changed)

public:
    static constexpr double initialZoom = 0.5;
    static constexpr double minimumZoom = 0.25;
    static constexpr double maximumZoom = 4.0;
    static constexpr double zoomStep = 0.25;

    explicit ImagePreviewModel(QObject* parent = nullptr);

    QStringList images() const { return m_images; }
    int index() const { return m_index; }
    double zoom() const { return m_zoom; }
    QString zoomText() const;
    QString counterText() const;
    bool paged() const { return m_images.size() >= 2; }
    QString current() const { return m_images.value(m_index); }

    Q_INVOKABLE void open(const QStringList& images, int startIndex);
    Q_INVOKABLE void zoomIn();
    Q_INVOKABLE void zoomOut();
    Q_INVOKABLE void resetZoom();
    Q_INVOKABLE void previous();
    Q_INVOKABLE void next();
    // Writes the picture to a "tolvane-card-" PNG in the temporary folder and
    // opens it with the desktop's viewer; returns the file written.
    Q_INVOKABLE QString openInViewer();

Q_SIGNALS:
    void changed();

private:
    QStringList m_images;
    int m_index = 0;
    double m_zoom = initialZoom;
};

} // namespace tolvane

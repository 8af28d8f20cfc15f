#pragma once

#include "service/apiclient.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

namespace tolvane {

class AppSettings;

// Loads the preview image of one draft for the message views. A shown load
// clears the picture and ends in a failure view after four failed attempts;
// a quiet load (the app became active) keeps what is shown.
class DraftPreview : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString token READ token WRITE setToken NOTIFY tokenChanged)
    Q_PROPERTY(QString imageSource READ imageSource NOTIFY stateChanged)
    Q_PROPERTY(bool failed READ failed NOTIFY stateChanged)
    Q_PROPERTY(bool loading READ loading NOTIFY stateChanged)

public:
    static constexpr int attempts = 4;

    // Where previews come from; set once at start.
    static void setDefaults(AppSettings* settings, ServiceEndpoints endpoints);

    explicit DraftPreview(QObject* parent = nullptr);
    ~DraftPreview() override;

    QString token() const { return m_token; }
    void setToken(const QString& token);
    QString imageSource() const { return m_imageSource; }
    bool failed() const { return m_failed; }
    bool loading() const { return m_imageSource.isEmpty() && !m_failed; }

    Q_INVOKABLE void load(bool showProgress);
    // Wait before attempt n + 1 after attempt n failed (n from 0).
    static std::chrono::milliseconds retryDelay(int failedAttempt);

Q_SIGNALS:
    void tokenChanged();
    void stateChanged();

private:
    QCoro::Task<void> run(quint64 generation, bool showProgress);
    void setImage(const QImage& image);

    QString m_token;
    QString m_imageSource;
    bool m_failed = false;
    quint64 m_generation = 0;
    // A load that shows its progress is running; a quiet one then leaves it
    // be, so its failure view still comes when it gives up.
    bool m_shownLoadRunning = false;
    CancelHandle m_cancel;
};

} // namespace tolvane

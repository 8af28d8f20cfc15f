#pragma once

#include "ui/shell/sharedobjects.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

class QJSEngine;

namespace tolvane {

class AppSettings;
class ConversationStore;
class VideoStudioController;

// The composer's video menu and the error row above the composer: when
// recording can start, the length limits and background choices with the
// current one marked, and what picking each stores in the settings.
class VideoMenuModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    // Off while a message is being sent, dictation records or transcribes,
    // or the studio counts down or records.
    Q_PROPERTY(bool enabled READ enabled NOTIFY enabledChanged)
    // Set by the composer while its dictation records or transcribes.
    Q_PROPERTY(bool dictationBusy READ dictationBusy WRITE setDictationBusy NOTIFY enabledChanged)
    // {"label", "seconds", "checked"} per length, in menu order.
    Q_PROPERTY(QVariantList maxLengths READ maxLengths NOTIFY maxLengthsChanged)
    // {"key", "label", "swatch", "checked"} per preset, in menu order.
    Q_PROPERTY(QVariantList presets READ presets NOTIFY backgroundChanged)
    Q_PROPERTY(bool noneChecked READ noneChecked NOTIFY backgroundChanged)
    Q_PROPERTY(bool blurChecked READ blurChecked NOTIFY backgroundChanged)
    Q_PROPERTY(bool imageChecked READ imageChecked NOTIFY backgroundChanged)
    // "Image: " and the stored picture's file name; empty when none is stored.
    Q_PROPERTY(QString imageLabel READ imageLabel NOTIFY backgroundChanged)
    // The studio's failure, or why a chosen picture was refused; empty hides
    // the row.
    Q_PROPERTY(QString errorText READ errorText NOTIFY errorChanged)

public:
    // The instance the view host shares with the views.
    static VideoMenuModel* create(QQmlEngine* engine, QJSEngine*) {
        return sharedWithViews<VideoMenuModel>(engine);
    }

    static inline const QString offModeValue = QStringLiteral("off");

    VideoMenuModel(AppSettings& settings, ConversationStore& conversation,
                   VideoStudioController& studio, QObject* parent = nullptr);

    bool enabled() const;
    bool dictationBusy() const { return m_dictationBusy; }
    void setDictationBusy(bool busy);
    QVariantList maxLengths() const;
    QVariantList presets() const;
    bool noneChecked() const;
    bool blurChecked() const;
    bool imageChecked() const;
    QString imageLabel() const;
    QString errorText() const;

    // "Record Camera": starts an attempt with the user's length limit.
    Q_INVOKABLE void recordCamera();
    Q_INVOKABLE void chooseMaxLength(int seconds);
    Q_INVOKABLE void chooseNone();
    Q_INVOKABLE void chooseBlur();
    // Turning on a preset; the one already on stays on.
    Q_INVOKABLE void choosePreset(const QString& key);
    // The picture chosen before ("Image: name").
    Q_INVOKABLE void chooseStoredImage();
    // "Choose Image…": a file that is not a readable picture is refused with
    // a line in the error row and nothing stored.
    Q_INVOKABLE void chooseImageFile(const QUrl& file);
    // Clicking the error row.
    Q_INVOKABLE void dismissError();

Q_SIGNALS:
    void enabledChanged();
    void maxLengthsChanged();
    void backgroundChanged();
    void errorChanged();

private:
    void setImageError(const QString& text);

    AppSettings& m_settings;
    ConversationStore& m_conversation;
    VideoStudioController& m_studio;
    bool m_dictationBusy = false;
    QString m_imageError;
};

} // namespace tolvane

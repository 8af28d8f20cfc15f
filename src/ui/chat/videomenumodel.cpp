#include "videomenumodel.h"

#include "conversation/conversationstore.h"
#include "service/appsettings.h"
#include "studio/videostudiocontroller.h"
#include "video/backgroundreplacer.h"
#include "video/backgroundswatchprovider.h"

#include <QFileInfo>
#include <QImageReader>
#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

struct MaxLength {
    const char* label;
    int seconds;
};

constexpr MaxLength maxLengthChoices[] = {
    {"No limit", 0},
    {"30 seconds", 30},
    {"60 seconds", 60},
    {"3 minutes", 180},
};

} // namespace

VideoMenuModel::VideoMenuModel(AppSettings& settings, ConversationStore& conversation,
                               VideoStudioController& studio, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_conversation(conversation)
    , m_studio(studio) {
    connect(&conversation, &ConversationStore::isSendingChanged, this,
            &VideoMenuModel::enabledChanged);
    connect(&studio, &VideoStudioController::phaseChanged, this, [this] {
        Q_EMIT enabledChanged();
        Q_EMIT errorChanged();
    });
    connect(&settings, &AppSettings::videoMaxSecondsChanged, this,
            &VideoMenuModel::maxLengthsChanged);
    for (const auto changed :
         {&AppSettings::videoBackgroundModeChanged, &AppSettings::videoBackgroundPresetChanged,
          &AppSettings::videoBackgroundImagePathChanged}) {
        connect(&settings, changed, this, &VideoMenuModel::backgroundChanged);
    }
}

bool VideoMenuModel::enabled() const {
    const auto phase = m_studio.phaseCase();
    return !m_conversation.isSending() && !m_dictationBusy &&
           phase != VideoStudioController::PhaseCase::CountingDown &&
           phase != VideoStudioController::PhaseCase::Recording;
}

void VideoMenuModel::setDictationBusy(bool busy) {
    if (busy != m_dictationBusy) {
        m_dictationBusy = busy;
        Q_EMIT enabledChanged();
    }
}

QVariantList VideoMenuModel::maxLengths() const {
    QVariantList list;
    for (const MaxLength& choice : maxLengthChoices) {
        list.append(QVariantMap{
            {u"label"_s, QString::fromLatin1(choice.label)},
            {u"seconds"_s, choice.seconds},
            {u"checked"_s, choice.seconds == m_settings.videoMaxSeconds()},
        });
    }
    return list;
}

QVariantList VideoMenuModel::presets() const {
    const bool presetMode = m_settings.videoBackgroundMode() == BackgroundReplacer::presetModeValue;
    QVariantList list = BackgroundSwatchProvider::presetEntries();
    for (QVariant& entry : list) {
        QVariantMap map = entry.toMap();
        map.insert(u"checked"_s, presetMode && map.value(u"key"_s).toString() ==
                                                   m_settings.videoBackgroundPreset());
        entry = map;
    }
    return list;
}

bool VideoMenuModel::noneChecked() const {
    const QString mode = m_settings.videoBackgroundMode();
    return mode != BackgroundReplacer::blurModeValue &&
           mode != BackgroundReplacer::presetModeValue &&
           mode != BackgroundReplacer::imageModeValue;
}

bool VideoMenuModel::blurChecked() const {
    return m_settings.videoBackgroundMode() == BackgroundReplacer::blurModeValue;
}

bool VideoMenuModel::imageChecked() const {
    return m_settings.videoBackgroundMode() == BackgroundReplacer::imageModeValue;
}

QString VideoMenuModel::imageLabel() const {
    const QString path = m_settings.videoBackgroundImagePath();
    return path.isEmpty() ? QString() : u"Image: "_s + QFileInfo(path).fileName();
}

QString VideoMenuModel::errorText() const {
    if (m_studio.phaseCase() == VideoStudioController::PhaseCase::Error) {
        return m_studio.phaseMessage();
    }
    return m_imageError;
}

void VideoMenuModel::recordCamera() {
    m_studio.recordCamera(m_settings.videoMaxSeconds());
}

void VideoMenuModel::chooseMaxLength(int seconds) {
    m_settings.setVideoMaxSeconds(seconds);
}

void VideoMenuModel::chooseNone() {
    m_settings.setVideoBackgroundMode(offModeValue);
}

void VideoMenuModel::chooseBlur() {
    m_settings.setVideoBackgroundMode(BackgroundReplacer::blurModeValue);
}

void VideoMenuModel::choosePreset(const QString& key) {
    if (!BackgroundReplacer::presetFromRawValue(key)) {
        return;
    }
    m_settings.setVideoBackgroundPreset(key);
    m_settings.setVideoBackgroundMode(BackgroundReplacer::presetModeValue);
}

void VideoMenuModel::chooseStoredImage() {
    if (!m_settings.videoBackgroundImagePath().isEmpty()) {
        m_settings.setVideoBackgroundMode(BackgroundReplacer::imageModeValue);
    }
}

void VideoMenuModel::chooseImageFile(const QUrl& file) {
    const QString path = file.toLocalFile();
    // Only the header is read: enough to tell a picture from anything else
    // without decoding a large photo here.
    QImageReader reader(path);
    if (path.isEmpty() || !reader.canRead()) {
        setImageError(u"That file isn't a picture Tolvane can read. Choose a PNG or JPEG image."_s);
        return;
    }
    setImageError(QString());
    m_settings.setVideoBackgroundImagePath(path);
    m_settings.setVideoBackgroundMode(BackgroundReplacer::imageModeValue);
}

void VideoMenuModel::dismissError() {
    setImageError(QString());
    m_studio.dismissError();
}

void VideoMenuModel::setImageError(const QString& text) {
    if (text != m_imageError) {
        m_imageError = text;
        Q_EMIT errorChanged();
    }
}

} // namespace tolvane

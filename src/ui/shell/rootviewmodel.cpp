#include "rootviewmodel.h"

#include "buildconfig.h"
#include "conversation/conversationstore.h"
#include "studio/videostudiocontroller.h"

#include <QUrl>

using namespace Qt::StringLiterals;

namespace tolvane {

RootViewModel::RootViewModel(QString serviceRoot, QObject* parent)
    : QObject(parent)
    , m_serviceRoot(std::move(serviceRoot)) {}

QString RootViewModel::version() const {
    return QString::fromLatin1(build::version);
}

QVariantList RootViewModel::notices() {
    const auto notice = [](const QString& part, const QString& name, const QString& licence) {
        return QVariantMap{{u"part"_s, part}, {u"name"_s, name}, {u"licence"_s, licence}};
    };
    return {
        notice(u"Background replacement"_s, u"MediaPipe Selfie Segmentation model, Google"_s,
               u"Apache License 2.0"_s),
        notice(u"Speech recognition"_s,
               u"CMU Sphinx US English model, Carnegie Mellon University"_s,
               u"BSD 2-Clause License"_s),
        notice(u"Caption fonts"_s, u"Roboto, Google"_s, u"Apache License 2.0"_s),
    };
}

bool RootViewModel::canvasCoversChat(double rowWidth) {
    return rowWidth < chatMinimumWidth + 1 + canvasWidth;
}

QString RootViewModel::updateTitle() const {
    return u"Tolvane "_s + m_version + u" is available."_s;
}

QString RootViewModel::updateUrl() const {
    const QUrl url(m_url, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() ? m_url : QString();
}

void RootViewModel::setUpdate(const QString& version, const QString& url, const QString& notes) {
    m_version = version;
    m_url = url;
    m_notes = notes.trimmed().isEmpty() ? QString() : notes;
    Q_EMIT updateChanged();
}

void RootViewModel::setServerBanner(const QString& text) {
    if (m_serverText != text) {
        m_serverText = text;
        Q_EMIT serverChanged();
    }
}

QString RootViewModel::saveBannerText() const {
    return m_saveFailure.isEmpty() ? QString()
                                   : u"Tolvane can't save this conversation: "_s + m_saveFailure;
}

void RootViewModel::setSaveFailure(const QString& reason) {
    if (m_saveFailure != reason) {
        m_saveFailure = reason;
        Q_EMIT saveChanged();
    }
}

void RootViewModel::dismissUpdate() {
    if (updateVisible()) {
        m_version.clear();
        m_url.clear();
        m_notes.clear();
        Q_EMIT updateChanged();
        Q_EMIT updateDismissed();
    }
}

void RootViewModel::retryServer() {
    if (m_retry) {
        m_retry();
    }
}

void RootViewModel::followStudio(VideoStudioController* studio) {
    connect(studio, &VideoStudioController::phaseChanged, this, [this, studio] {
        const auto phase = studio->phaseCase();
        if (phase == VideoStudioController::PhaseCase::Preparing ||
            phase == VideoStudioController::PhaseCase::Editing) {
            Q_EMIT studioWindowRequested();
        }
    });
}

} // namespace tolvane

namespace tolvane {

void RootViewModel::followSaves(ConversationStore* store) {
    setSaveFailure(store->saveError());
    connect(store, &ConversationStore::saveErrorChanged, this,
            [this, store] { setSaveFailure(store->saveError()); });
}

} // namespace tolvane

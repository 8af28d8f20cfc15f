#include "appsettings.h"

#include "apiclient.h"
#include "httptransport.h"

#include <QJsonObject>
#include <QPointer>
#include <QSettings>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace tolvane {

AppSettings::AppSettings(QObject* parent)
    : AppSettings(std::make_unique<QSettings>(u"Tolvane"_s, u"Tolvane"_s), parent) {}

AppSettings::AppSettings(std::unique_ptr<QSettings> store, QObject* parent)
    : QObject(parent)
    , m_store(std::move(store)) {
    load();
}

AppSettings::~AppSettings() = default;

void AppSettings::load() {
    m_provisional = false;
    const QVariant stored = m_store->value("userID"_L1);
    if (stored.isValid() && stored.canConvert<QString>() &&
        stored.typeId() != QMetaType::QStringList) {
        m_userID = stored.toString();
    } else {
        // The service knows app users by the "mac-" prefix on every platform.
        m_userID = u"mac-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
        m_store->setValue("userID"_L1, m_userID);
        m_store->sync();
        m_provisional = true;
    }
    auto string = [this](const char* key, const QString& fallback) {
        const QVariant value = m_store->value(QLatin1StringView(key));
        return value.isValid() ? value.toString() : fallback;
    };
    m_authorName = string("authorName", u"Your Name"_s);
    m_authorHandle = string("authorHandle", QString());
    m_supportEmail = string("supportEmail", QString());
    bool ok = false;
    const int maxSeconds = m_store->value("videoMaxSeconds"_L1).toInt(&ok);
    m_videoMaxSeconds = ok ? maxSeconds : 0;
    m_videoBackgroundMode = string("videoBackgroundMode", u"off"_s);
    m_videoBackgroundImagePath = string("videoBackgroundImagePath", QString());
    m_videoBackgroundPreset = string("videoBackgroundPreset", QString());
}

template <typename T>
void AppSettings::assign(T& field, const T& value, const char* key,
                         void (AppSettings::*changed)()) {
    const bool differs = field != value;
    field = value;
    // Written even when unchanged, so the stored value always matches.
    m_store->setValue(QLatin1StringView(key), value);
    if (differs) {
        Q_EMIT(this->*changed)();
    }
}

void AppSettings::setUserID(const QString& v) {
    assign(m_userID, v, "userID", &AppSettings::userIDChanged);
}
void AppSettings::setAuthorName(const QString& v) {
    assign(m_authorName, v, "authorName", &AppSettings::authorNameChanged);
}
void AppSettings::setAuthorHandle(const QString& v) {
    assign(m_authorHandle, v, "authorHandle", &AppSettings::authorHandleChanged);
}
void AppSettings::setSupportEmail(const QString& v) {
    assign(m_supportEmail, v, "supportEmail", &AppSettings::supportEmailChanged);
}
void AppSettings::setVideoMaxSeconds(int v) {
    assign(m_videoMaxSeconds, v, "videoMaxSeconds", &AppSettings::videoMaxSecondsChanged);
}
void AppSettings::setVideoBackgroundMode(const QString& v) {
    assign(m_videoBackgroundMode, v, "videoBackgroundMode",
           &AppSettings::videoBackgroundModeChanged);
}
void AppSettings::setVideoBackgroundImagePath(const QString& v) {
    assign(m_videoBackgroundImagePath, v, "videoBackgroundImagePath",
           &AppSettings::videoBackgroundImagePathChanged);
}
void AppSettings::setVideoBackgroundPreset(const QString& v) {
    assign(m_videoBackgroundPreset, v, "videoBackgroundPreset",
           &AppSettings::videoBackgroundPresetChanged);
}

void AppSettings::setProvisional(bool value) {
    if (m_provisional != value) {
        m_provisional = value;
        Q_EMIT provisionalChanged();
    }
}

QCoro::Task<void> AppSettings::registerSession() {
    return registerSession(ServiceEndpoints::builtIn());
}

QCoro::Task<void> AppSettings::registerSession(ServiceEndpoints endpoints) {
    if (!m_provisional) {
        co_return;
    }
    QPointer<AppSettings> self(this);
    const auto base = APIClient::baseURL(endpoints.serviceRoot);
    if (base) {
        HttpRequest request;
        request.request = makeRequest(APIClient::appending(*base, u"session"_s));
        request.method = "POST";
        request.timeout = std::chrono::seconds(15);
        const HttpResponse response = co_await send(std::move(request));
        if (!self) {
            co_return;
        }
        if (!response.failed() && response.status == 200) {
            const auto object = json::parse(response.body);
            if (object && object->isObject()) {
                const QJsonValue id = object->toObject().value("user_id"_L1);
                if (id.isString() && !id.toString().isEmpty()) {
                    setUserID(id.toString());
                    m_store->sync();
                }
            }
        }
    }
    setProvisional(false);
}

} // namespace tolvane

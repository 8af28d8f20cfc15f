#include "appupdate.h"

#include "service/apiclient.h"
#include "service/httptransport.h"
#include "service/jsonreader.h"
#include "versioncomparison.h"

#include <QPointer>

using namespace Qt::StringLiterals;

namespace tolvane {

AppUpdate::AppUpdate(QObject* parent)
    : QObject(parent) {}

void AppUpdate::dismiss() {
    if (m_available) {
        m_available.reset();
        Q_EMIT availableChanged();
    }
}

QCoro::Task<void> AppUpdate::check(QString baseURL, QString runningVersion) {
    QPointer<AppUpdate> self(this);
    const auto base = APIClient::baseURL(baseURL);
    if (!base) {
        co_return;
    }
    HttpRequest request;
    request.request = makeRequest(APIClient::appending(*base, u"download/version.json"_s));
    request.request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                                 QNetworkRequest::AlwaysNetwork);
    request.timeout = std::chrono::seconds(10);
    const HttpResponse response = co_await send(std::move(request));
    if (!self || response.failed() || response.status != 200) {
        co_return;
    }
    const auto release = json::decode<Release>(response.body);
    if (!release) {
        co_return;
    }
    const QString running = runningVersion.isEmpty() ? u"0"_s : runningVersion;
    if (version::isNewer(release->version, running)) {
        m_available = *release;
        Q_EMIT availableChanged();
    }
}

} // namespace tolvane

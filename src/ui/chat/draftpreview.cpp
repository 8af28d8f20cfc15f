#include "draftpreview.h"

#include "imagestore.h"
#include "service/appsettings.h"

#include <QImage>
#include <QScopeGuard>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {
QPointer<AppSettings> defaultSettings;
ServiceEndpoints defaultEndpoints = ServiceEndpoints::builtIn();
} // namespace

void DraftPreview::setDefaults(AppSettings* settings, ServiceEndpoints endpoints) {
    defaultSettings = settings;
    defaultEndpoints = std::move(endpoints);
}

DraftPreview::DraftPreview(QObject* parent)
    : QObject(parent) {}

DraftPreview::~DraftPreview() {
    if (m_cancel) {
        m_cancel->cancel();
    }
    if (!m_imageSource.isEmpty()) {
        ImageStore::shared().unpin(m_imageSource);
    }
}

void DraftPreview::setToken(const QString& token) {
    if (m_token == token) {
        return;
    }
    m_token = token;
    Q_EMIT tokenChanged();
    load(true);
}

std::chrono::milliseconds DraftPreview::retryDelay(int failedAttempt) {
    return std::chrono::milliseconds(400 * (failedAttempt + 1));
}

void DraftPreview::setImage(const QImage& image) {
    if (!m_imageSource.isEmpty()) {
        ImageStore::shared().unpin(m_imageSource);
        m_imageSource.clear();
    }
    if (!image.isNull()) {
        m_imageSource = ImageStore::shared().put(
            u"preview-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces), image);
    }
}

void DraftPreview::load(bool showProgress) {
    if (!showProgress && m_shownLoadRunning) {
        return;
    }
    // A newer load supersedes the one running.
    if (m_cancel) {
        m_cancel->cancel();
    }
    m_cancel = CancelToken::create();
    m_failed = false;
    if (showProgress) {
        setImage(QImage());
    }
    Q_EMIT stateChanged();
    run(++m_generation, showProgress);
}

QCoro::Task<void> DraftPreview::run(quint64 generation, bool showProgress) {
    QPointer<DraftPreview> self(this);
    m_shownLoadRunning = showProgress;
    const auto finished = qScopeGuard([&self, generation] {
        if (self && generation == self->m_generation) {
            self->m_shownLoadRunning = false;
        }
    });
    const CancelHandle cancel = m_cancel;
    std::optional<QUrl> url;
    if (defaultSettings) {
        url = APIClient(*defaultSettings, defaultEndpoints).draftPreviewURL(m_token);
    }
    if (!url) {
        if (showProgress) {
            m_failed = true;
            Q_EMIT stateChanged();
        }
        co_return;
    }
    for (int attempt = 0; attempt < attempts; ++attempt) {
        HttpRequest request;
        request.request = makeRequest(*url);
        request.request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                                     QNetworkRequest::AlwaysNetwork);
        request.timeout = std::chrono::seconds(60);
        const HttpResponse response = co_await send(std::move(request), cancel);
        if (!self || cancel->isCancelled() || generation != m_generation) {
            co_return;
        }
        if (!response.failed() && response.status >= 200 && response.status <= 299) {
            const QImage image = QImage::fromData(response.body);
            if (!image.isNull()) {
                setImage(image);
                m_failed = false;
                Q_EMIT stateChanged();
                co_return;
            }
        }
        if (attempt + 1 < attempts) {
            CancellableSleep wait(retryDelay(attempt), cancel);
            const bool interrupted = co_await wait;
            if (interrupted || !self) {
                co_return;
            }
        }
    }
    if (showProgress) {
        m_failed = true;
        Q_EMIT stateChanged();
    }
}

} // namespace tolvane

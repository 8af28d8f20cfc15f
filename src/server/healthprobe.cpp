#include "healthprobe.h"

#include "service/httptransport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QUrl>

#include <qcoro/qcoronetworkreply.h>

using namespace Qt::StringLiterals;

namespace tolvane {

HealthAnswer HealthProbe::classify(int httpStatus, const QByteArray& body) {
    HealthAnswer answer;
    answer.kind = HealthAnswer::Kind::other;
    if (httpStatus != 200) {
        return answer;
    }
    const QJsonObject object = QJsonDocument::fromJson(body).object();
    const QJsonValue protocolValue = object.value("protocol"_L1);
    if (object.value("service"_L1).toString() != "tolvane-coach"_L1 || !protocolValue.isDouble()) {
        return answer;
    }
    answer.kind = HealthAnswer::Kind::coach;
    answer.protocol = protocolValue.toInt();
    answer.version = object.value("version"_L1).toString();
    return answer;
}

QCoro::Task<HealthAnswer> HealthProbe::probe(QString host, quint16 port,
                                             std::chrono::milliseconds timeout) {
    QUrl url;
    url.setScheme(u"http"_s);
    url.setHost(host);
    url.setPort(port);
    url.setPath(u"/health"_s);
    QNetworkRequest request(url);
    request.setTransferTimeout(int(timeout.count()));
    // A fresh connection each time: a cached one may belong to a coach that
    // has since gone away.
    request.setRawHeader("Connection", "close");
    QPointer<QNetworkReply> reply = sharedNetwork().get(request);
    co_await qCoro(reply.get()).waitForFinished();
    if (!reply) {
        co_return HealthAnswer{HealthAnswer::Kind::other, 0, {}};
    }
    reply->deleteLater();
    if (reply->error() == QNetworkReply::ConnectionRefusedError) {
        co_return HealthAnswer{};
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        co_return HealthAnswer{HealthAnswer::Kind::other, 0, {}};
    }
    const QByteArray body = reply->readAll();
    co_return classify(status.toInt(), body);
}

} // namespace tolvane

// Measures the local coach side by side: a chat turn through the rule engine
// alone, the same turn over loopback HTTP with its event stream, and drawing
// a draft's preview card. Prints milliseconds per operation (median and p95).
#include "coachengine.h"
#include "coachservice.h"
#include "previewrenderer.h"
#include "store.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

using namespace tolvane::coach;

namespace {

const QString material =
    u"Draft a post about code review. Small diffs get reviewed the same day. Big ones wait a "
    "week. We cap pull requests at 300 lines now."_s;

void report(const char* name, QList<double> ms) {
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    const double p95 = ms[qsizetype(double(ms.size() - 1) * 0.95)];
    std::printf("%-28s median %7.2f ms   p95 %7.2f ms   (%lld runs)\n", name, median, p95,
                static_cast<long long>(ms.size()));
}

QList<double> measure(int runs, const std::function<void()>& op) {
    QList<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        op();
        ms.append(double(t.nsecsElapsed()) / 1e6);
    }
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(5, QByteArray(argv[1]).toInt()) : 50;

    Store store;
    store.open(u":memory:"_s);
    CoachEngine engine(store);
    CoachEngine::Input input;
    input.user = store.user(u"mac-bench"_s);
    input.text = material;
    input.timeZone = u"UTC"_s;
    input.root = u"http://127.0.0.1:20511/"_s;
    input.now = QDateTime::currentDateTimeUtc();
    report("engine turn (draft)", measure(runs, [&] { engine.respond(input, [](auto&) {}); }));

    const QString text = store.latestDraft(input.user.id)->text;
    report("preview card render", measure(runs, [&] {
               PreviewRenderer::renderCard({u"Dana"_s, {}, text, {}});
           }));

    QTemporaryDir dir;
    CoachService::Options options;
    options.databasePath = dir.filePath(u"coach.sqlite"_s);
    options.port = 0;
    CoachService service(options);
    if (!service.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(service.errorString()));
        return 1;
    }
    QNetworkAccessManager nam;
    const QByteArray body = QJsonDocument(QJsonObject{{u"user_id"_s, u"mac-bench"_s},
                                                      {u"text"_s, material},
                                                      {u"time_zone"_s, u"UTC"_s}})
                                .toJson(QJsonDocument::Compact);
    const auto roundTrip = [&](QNetworkReply* reply) {
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        reply->deleteLater();
    };
    QNetworkRequest chat(QUrl(service.root() + u"inapp/stream"_s));
    chat.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    report("HTTP chat turn (stored)", measure(runs, [&] { roundTrip(nam.post(chat, body)); }));
    report("HTTP health", measure(runs, [&] {
               roundTrip(nam.get(QNetworkRequest(QUrl(service.root() + u"health"_s))));
           }));
    return 0;
}

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

using namespace tolvane::coach;

namespace {

const QString material = QStringLiteral(
    "Draft a post about code review. Small diffs get reviewed the same day. Big ones wait a "
    "week. We cap pull requests at 300 lines now.");

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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(5, QByteArray(argv[1]).toInt()) : 50;

    Store store;
    store.open(QStringLiteral(":memory:"));
    CoachEngine engine(store);
    CoachEngine::Input input;
    input.user = store.user(QStringLiteral("mac-bench"));
    input.text = material;
    input.timeZone = QStringLiteral("UTC");
    input.root = QStringLiteral("http://127.0.0.1:20511/");
    input.now = QDateTime::currentDateTimeUtc();
    report("engine turn (draft)", measure(runs, [&] { engine.respond(input, [](auto&) {}); }));

    const QString text = store.latestDraft(input.user.id)->text;
    report("preview card render", measure(runs, [&] {
               PreviewRenderer::renderCard({QStringLiteral("Dana"), {}, text, {}});
           }));

    QTemporaryDir dir;
    CoachService::Options options;
    options.databasePath = dir.filePath(QStringLiteral("coach.sqlite"));
    options.port = 0;
    CoachService service(options);
    if (!service.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(service.errorString()));
        return 1;
    }
    QNetworkAccessManager nam;
    const QByteArray body =
        QJsonDocument(QJsonObject{{QStringLiteral("user_id"), QStringLiteral("mac-bench")},
                                  {QStringLiteral("text"), material},
                                  {QStringLiteral("time_zone"), QStringLiteral("UTC")}})
            .toJson(QJsonDocument::Compact);
    const auto roundTrip = [&](QNetworkReply* reply) {
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        reply->deleteLater();
    };
    QNetworkRequest chat(QUrl(service.root() + QStringLiteral("inapp/stream")));
    chat.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    report("HTTP chat turn (stored)", measure(runs, [&] { roundTrip(nam.post(chat, body)); }));
    report("HTTP health", measure(runs, [&] {
               roundTrip(nam.get(QNetworkRequest(QUrl(service.root() + QStringLiteral("health")))));
           }));
    return 0;
}

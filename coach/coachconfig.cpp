#include "coachconfig.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

bool CoachConfig::parseAddress(const QString& text, QHostAddress* address, quint16* port) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0) {
        return false;
    }
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
    }
    bool ok = false;
    const uint value = text.mid(colon + 1).toUInt(&ok);
    if (!ok || value > 65535) {
        return false;
    }
    QHostAddress parsed;
    if (host.isEmpty() || host == "localhost"_L1) {
        parsed = QHostAddress::LocalHost;
    } else if (!parsed.setAddress(host)) {
        return false;
    }
    if (!parsed.isLoopback()) {
        return false;
    }
    *address = parsed;
    *port = quint16(value);
    return true;
}

CoachConfig CoachConfig::fromArguments(const QStringList& arguments,
                                       const QProcessEnvironment& env) {
    CoachConfig config;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Tolvane's local coach service. Listens on HTTP_ADDR (default 127.0.0.1:20511; port 0 "
        "picks a free port) and prints the port on the first line of standard output."_s);
    parser.addHelpOption();
    const QCommandLineOption db(u"db"_s,
                                u"SQLite store (default: $XDG_DATA_HOME/Tolvane/"
                                "coach.sqlite, or $TOLVANE_COACH_DB)."_s,
                                u"path"_s);
    const QCommandLineOption log(u"log"_s,
                                 u"Log file (default: $XDG_STATE_HOME/Tolvane/"
                                 "coach.log, or $TOLVANE_COACH_LOG); \"-\" logs to "
                                 "stderr only."_s,
                                 u"path"_s);
    const QCommandLineOption videos(u"videos"_s,
                                    u"Folder for uploaded videos (default: beside "
                                    "the store)."_s,
                                    u"path"_s);
    const QCommandLineOption keepAlive(u"keepalive-ms"_s,
                                       u"Interval of keep-alive comments on event "
                                       "streams (default 15000)."_s,
                                       u"ms"_s, u"15000"_s);
    const QCommandLineOption publish(u"publish-interval-ms"_s,
                                     u"How often due posts are published (default "
                                     "1000)."_s,
                                     u"ms"_s, u"1000"_s);
    parser.addOptions({db, log, videos, keepAlive, publish});
    config.helpText = parser.helpText();
    if (!parser.parse(arguments)) {
        config.error = parser.errorText();
        return config;
    }
    if (parser.isSet(u"help"_s)) {
        config.help = true;
        return config;
    }
    if (!parser.positionalArguments().isEmpty()) {
        config.error = u"unexpected argument: "_s + parser.positionalArguments().first();
        return config;
    }

    const QString addr = env.value(u"HTTP_ADDR"_s);
    if (!addr.isEmpty() && !parseAddress(addr, &config.service.address, &config.service.port)) {
        config.error = u"HTTP_ADDR must be a loopback host:port, got \"%1\""_s.arg(addr);
        return config;
    }

    const QString dataDir =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/Tolvane"_s;
    config.service.databasePath =
        parser.isSet(db) ? parser.value(db)
                         : env.value(u"TOLVANE_COACH_DB"_s, dataDir + u"/coach.sqlite"_s);
    config.service.videoDir =
        parser.isSet(videos)
            ? parser.value(videos)
            : (config.service.databasePath == ":memory:"_L1
                   ? QString()
                   : QFileInfo(config.service.databasePath).absolutePath() + u"/coach-videos"_s);

    QString stateHome = env.value(u"XDG_STATE_HOME"_s);
    if (stateHome.isEmpty()) {
        stateHome = QDir::homePath() + u"/.local/state"_s;
    }
    config.logPath = parser.isSet(log)
                         ? parser.value(log)
                         : env.value(u"TOLVANE_COACH_LOG"_s, stateHome + u"/Tolvane/coach.log"_s);
    if (config.logPath == "-"_L1) {
        config.logPath.clear();
    }

    bool ok1 = false;
    bool ok2 = false;
    config.service.keepAliveMs = parser.value(keepAlive).toInt(&ok1);
    config.service.publishIntervalMs = parser.value(publish).toInt(&ok2);
    if (!ok1 || !ok2 || config.service.keepAliveMs < 10 || config.service.publishIntervalMs < 10) {
        config.error = u"intervals must be whole milliseconds, at least 10"_s;
    }
    return config;
}

} // namespace tolvane::coach

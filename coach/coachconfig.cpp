#include "coachconfig.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace tolvane::coach {

bool CoachConfig::parseAddress(const QString& text, QHostAddress* address, quint16* port) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint value = text.mid(colon + 1).toUInt(&ok);
    if (!ok || value > 65535)
        return false;
    QHostAddress parsed;
    if (host.isEmpty() || host == QLatin1String("localhost"))
        parsed = QHostAddress::LocalHost;
    else if (!parsed.setAddress(host))
        return false;
    if (!parsed.isLoopback())
        return false;
    *address = parsed;
    *port = quint16(value);
    return true;
}

CoachConfig CoachConfig::fromArguments(const QStringList& arguments,
                                       const QProcessEnvironment& env) {
    CoachConfig config;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Tolvane's local coach service. Listens on HTTP_ADDR (default 127.0.0.1:20511; port 0 "
        "picks a free port) and prints the port on the first line of standard output."));
    parser.addHelpOption();
    const QCommandLineOption db(QStringLiteral("db"),
                                QStringLiteral("SQLite store (default: $XDG_DATA_HOME/Tolvane/"
                                               "coach.sqlite, or $TOLVANE_COACH_DB)."),
                                QStringLiteral("path"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Log file (default: $XDG_STATE_HOME/Tolvane/"
                                                "coach.log, or $TOLVANE_COACH_LOG); \"-\" logs to "
                                                "stderr only."),
                                 QStringLiteral("path"));
    const QCommandLineOption videos(QStringLiteral("videos"),
                                    QStringLiteral("Folder for uploaded videos (default: beside "
                                                   "the store)."),
                                    QStringLiteral("path"));
    const QCommandLineOption keepAlive(QStringLiteral("keepalive-ms"),
                                       QStringLiteral("Interval of keep-alive comments on event "
                                                      "streams (default 15000)."),
                                       QStringLiteral("ms"), QStringLiteral("15000"));
    const QCommandLineOption publish(QStringLiteral("publish-interval-ms"),
                                     QStringLiteral("How often due posts are published (default "
                                                    "1000)."),
                                     QStringLiteral("ms"), QStringLiteral("1000"));
    parser.addOptions({db, log, videos, keepAlive, publish});
    config.helpText = parser.helpText();
    if (!parser.parse(arguments)) {
        config.error = parser.errorText();
        return config;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        config.help = true;
        return config;
    }
    if (!parser.positionalArguments().isEmpty()) {
        config.error =
            QStringLiteral("unexpected argument: ") + parser.positionalArguments().first();
        return config;
    }

    const QString addr = env.value(QStringLiteral("HTTP_ADDR"));
    if (!addr.isEmpty() && !parseAddress(addr, &config.service.address, &config.service.port)) {
        config.error =
            QStringLiteral("HTTP_ADDR must be a loopback host:port, got \"%1\"").arg(addr);
        return config;
    }

    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                            QStringLiteral("/Tolvane");
    config.service.databasePath = parser.isSet(db)
                                      ? parser.value(db)
                                      : env.value(QStringLiteral("TOLVANE_COACH_DB"),
                                                  dataDir + QStringLiteral("/coach.sqlite"));
    config.service.videoDir = parser.isSet(videos)
                                  ? parser.value(videos)
                                  : (config.service.databasePath == QLatin1String(":memory:")
                                         ? QString()
                                         : QFileInfo(config.service.databasePath).absolutePath() +
                                               QStringLiteral("/coach-videos"));

    QString stateHome = env.value(QStringLiteral("XDG_STATE_HOME"));
    if (stateHome.isEmpty())
        stateHome = QDir::homePath() + QStringLiteral("/.local/state");
    config.logPath = parser.isSet(log)
                         ? parser.value(log)
                         : env.value(QStringLiteral("TOLVANE_COACH_LOG"),
                                     stateHome + QStringLiteral("/Tolvane/coach.log"));
    if (config.logPath == QLatin1String("-"))
        config.logPath.clear();

    bool ok1 = false;
    bool ok2 = false;
    config.service.keepAliveMs = parser.value(keepAlive).toInt(&ok1);
    config.service.publishIntervalMs = parser.value(publish).toInt(&ok2);
    if (!ok1 || !ok2 || config.service.keepAliveMs < 10 || config.service.publishIntervalMs < 10)
        config.error = QStringLiteral("intervals must be whole milliseconds, at least 10");
    return config;
}

} // namespace tolvane::coach

#include "coachconfig.h"
#include "coachservice.h"
#include "common/shutdownsignal.h"
#include "logsink.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QProcessEnvironment>

#include <csignal>
#include <cstdio>

using namespace Qt::StringLiterals;

using namespace tolvane::coach;

int main(int argc, char** argv) {
    // The coach draws previews but never shows a window.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"tolvane-coach"_s);

    const CoachConfig config =
        CoachConfig::fromArguments(app.arguments(), QProcessEnvironment::systemEnvironment());
    if (config.help) {
        std::fputs(config.helpText.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!config.error.isEmpty()) {
        std::fprintf(stderr, "tolvane-coach: %s\n", config.error.toLocal8Bit().constData());
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) {
        QLoggingCategory::setFilterRules(u"*.debug=false"_s);
    }
    if (!LogSink::install(config.logPath)) {
        qWarning("cannot write the log file %s", qPrintable(config.logPath));
    }

    CoachService service(config.service);
    if (!service.start()) {
        qCritical("%s", qPrintable(service.errorString()));
        return 1;
    }
    // The first line of stdout is the port, so a parent that asked for port 0
    // learns which one was picked.
    std::printf("%u\n", unsigned(service.port()));
    std::fflush(stdout);
    tolvane::ShutdownSignal shutdown({SIGTERM, SIGINT});
    QObject::connect(&shutdown, &tolvane::ShutdownSignal::received, &app, [](int signal) {
        qInfo("stopping on signal %d", signal);
        QCoreApplication::quit();
    });
    return app.exec();
}

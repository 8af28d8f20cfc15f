#include "logsink.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tolvane::coach {

namespace {

QFile* logFile = nullptr;

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const char* level = "info";
    switch (type) {
    case QtDebugMsg:
        level = "debug";
        break;
    case QtInfoMsg:
        level = "info";
        break;
    case QtWarningMsg:
        level = "warning";
        break;
    case QtCriticalMsg:
        level = "critical";
        break;
    case QtFatalMsg:
        level = "fatal";
        break;
    }
    const QByteArray line =
        QDateTime::currentDateTimeUtc().toString(u"yyyy-MM-ddTHH:mm:ss.zzzZ"_s).toUtf8() + ' ' +
        level + ' ' + (context.category ? QByteArray(context.category) : QByteArray()) + ": " +
        message.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    if (logFile) {
        logFile->write(line);
        logFile->flush();
    }
}

} // namespace

bool LogSink::install(const QString& path) {
    bool ok = true;
    if (!path.isEmpty()) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        static QFile file;
        file.setFileName(path);
        ok = file.open(QIODevice::Append | QIODevice::Text);
        if (ok) {
            logFile = &file;
        }
    }
    qInstallMessageHandler(handler);
    return ok;
}

} // namespace tolvane::coach

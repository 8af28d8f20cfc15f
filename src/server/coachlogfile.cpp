#include "coachlogfile.h"

#include <QDir>
#include <QFile>

namespace tolvane {

QString CoachLogFile::path() {
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (stateHome.isEmpty() || !QDir::isAbsolutePath(stateHome)) {
        stateHome = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return QDir::cleanPath(stateHome + QStringLiteral("/Tolvane/coach.log"));
}

QString CoachLogFile::displayPath() {
    const QString full = path();
    const QString home = QDir::homePath();
    if (home != QLatin1String("/") && full.startsWith(home + QLatin1Char('/'))) {
        return QStringLiteral("~") + full.mid(home.size());
    }
    return full;
}

QString CoachLogFile::lastLine(qint64 maxBytes) {
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const qint64 size = file.size();
    file.seek(qMax<qint64>(0, size - maxBytes));
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QByteArray line = it->trimmed();
        if (!line.isEmpty()) {
            return QString::fromUtf8(line);
        }
    }
    return {};
}

} // namespace tolvane

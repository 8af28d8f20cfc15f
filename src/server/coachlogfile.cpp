#include "coachlogfile.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace tolvane {

QString CoachLogFile::path() {
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (stateHome.isEmpty() || !QDir::isAbsolutePath(stateHome)) {
        stateHome = QDir::homePath() + u"/.local/state"_s;
    }
    return QDir::cleanPath(stateHome + u"/Tolvane/coach.log"_s);
}

QString CoachLogFile::displayPath() {
    const QString full = path();
    const QString home = QDir::homePath();
    if (home != "/"_L1 && full.startsWith(home + QLatin1Char('/'))) {
        return u"~"_s + full.mid(home.size());
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

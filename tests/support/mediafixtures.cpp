#include "mediafixtures.h"

#include <QDebug>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace tolvane::test {

bool makeMedia(const QString& output, const QStringList& args) {
    QProcess ffmpeg;
    QStringList all{u"-v"_s, u"error"_s, u"-nostdin"_s, u"-y"_s};
    all << args << output;
    ffmpeg.start(u"ffmpeg"_s, all);
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitStatus() != QProcess::NormalExit ||
        ffmpeg.exitCode() != 0) {
        qWarning().noquote() << "ffmpeg failed:" << all.join(QLatin1Char(' '))
                             << ffmpeg.readAllStandardError();
        return false;
    }
    return true;
}

QString toneExpression(const QList<Burst>& bursts) {
    QStringList gates;
    for (const Burst& burst : bursts) {
        gates << u"gte(t,%1)*lt(t,%2)"_s.arg(burst.start).arg(burst.end);
    }
    if (gates.isEmpty()) {
        return u"0"_s;
    }
    return u"(%1)*0.5*sin(2*PI*440*t)"_s.arg(gates.join(QLatin1Char('+')));
}

QStringList toneInput(const QList<Burst>& bursts, double duration, int sampleRate) {
    return {u"-f"_s, u"lavfi"_s, u"-i"_s,
            u"aevalsrc='%1':s=%2:d=%3"_s.arg(toneExpression(bursts)).arg(sampleRate).arg(duration)};
}

} // namespace tolvane::test

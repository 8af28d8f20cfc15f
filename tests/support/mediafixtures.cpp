#include "mediafixtures.h"

#include <QDebug>
#include <QProcess>

namespace tolvane::test {

bool makeMedia(const QString& output, const QStringList& args) {
    QProcess ffmpeg;
    QStringList all{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"),
                    QStringLiteral("-y")};
    all << args << output;
    ffmpeg.start(QStringLiteral("ffmpeg"), all);
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
        gates << QStringLiteral("gte(t,%1)*lt(t,%2)").arg(burst.start).arg(burst.end);
    }
    if (gates.isEmpty()) {
        return QStringLiteral("0");
    }
    return QStringLiteral("(%1)*0.5*sin(2*PI*440*t)").arg(gates.join(QLatin1Char('+')));
}

QStringList toneInput(const QList<Burst>& bursts, double duration, int sampleRate) {
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("aevalsrc='%1':s=%2:d=%3")
                .arg(toneExpression(bursts))
                .arg(sampleRate)
                .arg(duration)};
}

} // namespace tolvane::test

#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tolvane::test {

// Runs "ffmpeg -y <args> <output>" quietly; false (with the reason logged) when
// ffmpeg fails.
bool makeMedia(const QString& output, const QStringList& args);

// A stretch of tone within a clip, in seconds.
struct Burst {
    double start = 0.0;
    double end = 0.0;
};

// An aevalsrc expression (quote it inside a filter graph, it holds commas): a 440 Hz tone at half
// scale during the bursts and digital silence elsewhere.
QString toneExpression(const QList<Burst>& bursts);

// Input arguments for a mono 48 kHz clip of the given length with tone bursts.
QStringList toneInput(const QList<Burst>& bursts, double duration, int sampleRate = 48000);

} // namespace tolvane::test

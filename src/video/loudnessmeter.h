#pragma once

#include <QList>
#include <QtGlobal>

namespace tolvane {

// Turns a stream of 16-bit samples into one loudness value (dBFS) per window,
// keeping a single running sum: nothing of the audio itself is stored.
class LoudnessMeter {
public:
    // Until told otherwise a window is 0.05 s of 44.1 kHz stereo.
    static constexpr qint64 defaultWindowSamples = 4410;

    // Samples per window, counting every channel's sample alike.
    void setWindowSamples(qint64 samples);
    qint64 windowSamples() const { return m_windowSamples; }

    void addSamples(const qint16* samples, qsizetype count);
    // Closes a partial last window, if any.
    void finish();

    const QList<double>& values() const { return m_values; }

    // 10 log10(mean square / 32768^2 + 1e-12): a full-scale square wave is
    // 0 dBFS, digital silence -120 dBFS.
    static double loudness(double sumOfSquares, qint64 count);

private:
    qint64 m_windowSamples = defaultWindowSamples;
    double m_sum = 0.0;
    qint64 m_count = 0;
    QList<double> m_values;
};

} // namespace tolvane

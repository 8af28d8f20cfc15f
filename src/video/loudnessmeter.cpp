#include "video/loudnessmeter.h"

#include <algorithm>
#include <cmath>

namespace tolvane {

void LoudnessMeter::setWindowSamples(qint64 samples) {
    m_windowSamples = std::max<qint64>(1, samples);
}

void LoudnessMeter::addSamples(const qint16* samples, qsizetype count) {
    for (qsizetype i = 0; i < count; ++i) {
        const double x = samples[i];
        m_sum += x * x;
        // ">=" rather than "==": the window may shrink mid-way when a later
        // buffer reports another format.
        if (++m_count >= m_windowSamples) {
            m_values.append(loudness(m_sum, m_count));
            m_sum = 0.0;
            m_count = 0;
        }
    }
}

void LoudnessMeter::finish() {
    if (m_count >= 1) {
        m_values.append(loudness(m_sum, m_count));
        m_sum = 0.0;
        m_count = 0;
    }
}

double LoudnessMeter::loudness(double sumOfSquares, qint64 count) {
    constexpr double fullScaleSquared = 1.0 / (32768.0 * 32768.0);
    return 10.0 * std::log10(sumOfSquares / static_cast<double>(count) * fullScaleSquared + 1e-12);
}

} // namespace tolvane

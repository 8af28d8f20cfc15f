#include "speechfixtures.h"

#include <QDebug>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace Qt::StringLiterals;

namespace tolvane::test {

namespace {

constexpr int rate = 16000;

const qint16* samplesOf(const QByteArray& bytes) {
    return reinterpret_cast<const qint16*>(bytes.constData());
}

// Where the sound of a clip begins and ends: 5 ms frames within 35 dB of the
// loudest one.
std::pair<qsizetype, qsizetype> soundSpan(const QByteArray& bytes) {
    const qsizetype n = bytes.size() / 2;
    const qsizetype frame = rate / 200;
    std::vector<double> energy;
    for (qsizetype at = 0; at + frame <= n; at += frame) {
        double sum = 0;
        for (qsizetype i = at; i < at + frame; ++i) {
            sum += double(samplesOf(bytes)[i]) * samplesOf(bytes)[i];
        }
        energy.push_back(sum / double(frame));
    }
    if (energy.empty()) {
        return {0, 0};
    }
    const double peak = *std::max_element(energy.begin(), energy.end());
    const double threshold = peak * std::pow(10.0, -35.0 / 10.0);
    qsizetype first = 0;
    while (first < qsizetype(energy.size()) && energy[size_t(first)] < threshold) {
        ++first;
    }
    qsizetype last = qsizetype(energy.size()) - 1;
    while (last > first && energy[size_t(last)] < threshold) {
        --last;
    }
    return {first * frame, (last + 1) * frame};
}

} // namespace

std::optional<QByteArray> readWavSamples(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray all = file.readAll();
    if (all.size() < 12 || !all.startsWith("RIFF") || all.mid(8, 4) != "WAVE") {
        return std::nullopt;
    }
    qsizetype at = 12;
    while (at + 8 <= all.size()) {
        const QByteArray id = all.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(all.constData() + at + 4);
        if (id == "data") {
            return all.mid(at + 8, std::min<qsizetype>(size, all.size() - at - 8));
        }
        at += 8 + qsizetype(size) + (size & 1);
    }
    return std::nullopt;
}

bool writeWav(const QString& path, const QByteArray& samples) {
    QByteArray header;
    const auto u32 = [&](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        header.append(b, 4);
    };
    const auto u16 = [&](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        header.append(b, 2);
    };
    header.append("RIFF");
    u32(quint32(samples.size() + 36));
    header.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    header.append("data");
    u32(quint32(samples.size()));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(header + samples) == header.size() + samples.size();
}

std::optional<QByteArray> speak(const QString& voice, const QString& text) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"s.wav"_s);
    QProcess flite;
    flite.start(u"flite"_s, {u"-voice"_s, voice, u"-t"_s, text, u"-o"_s, path});
    if (!flite.waitForFinished(30000) || flite.exitCode() != 0) {
        qWarning() << "flite failed for" << text << flite.readAllStandardError();
        return std::nullopt;
    }
    return readWavSamples(path);
}

std::optional<SpeechFixture> spliceWords(const QString& voice, const QStringList& words,
                                         const QList<double>& gaps, double lead) {
    QTemporaryDir dir;
    SpeechFixture fixture;
    const auto silence = [](double seconds) {
        return QByteArray(qsizetype(seconds * rate) * 2, '\0');
    };
    fixture.samples = silence(lead);
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString path = dir.filePath(u"w%1.wav"_s.arg(i));
        QProcess flite;
        flite.start(u"flite"_s, {u"-voice"_s, voice, u"-t"_s, words.at(i), u"-o"_s, path});
        if (!flite.waitForFinished(30000) || flite.exitCode() != 0) {
            qWarning() << "flite failed for" << words.at(i) << flite.readAllStandardError();
            return std::nullopt;
        }
        const auto spoken = readWavSamples(path);
        if (!spoken) {
            return std::nullopt;
        }
        const auto [begin, end] = soundSpan(*spoken);
        const double start = double(fixture.samples.size()) / 2 / rate;
        fixture.samples.append(spoken->mid(begin * 2, (end - begin) * 2));
        fixture.words << SpokenWord{words.at(i), start, double(fixture.samples.size()) / 2 / rate};
        fixture.samples.append(silence(i < gaps.size() ? gaps.at(i) : 0.5));
    }
    return fixture;
}

QStringList normalizedWords(const QString& text) {
    static const QRegularExpression edges(u"^[^\\w']+|[^\\w']+$"_s);
    QStringList out;
    for (const QString& word : text.split(QRegularExpression(u"\\s+"_s), Qt::SkipEmptyParts)) {
        const QString w = QString(word).remove(edges).toLower();
        if (!w.isEmpty()) {
            out << w;
        }
    }
    return out;
}

namespace {

// Edit distance table of two word lists.
std::vector<std::vector<int>> editTable(const QStringList& a, const QStringList& b) {
    std::vector<std::vector<int>> d(size_t(a.size()) + 1, std::vector<int>(size_t(b.size()) + 1));
    for (qsizetype i = 0; i <= a.size(); ++i) {
        d[size_t(i)][0] = int(i);
    }
    for (qsizetype j = 0; j <= b.size(); ++j) {
        d[0][size_t(j)] = int(j);
    }
    for (qsizetype i = 1; i <= a.size(); ++i) {
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int same = a.at(i - 1) == b.at(j - 1) ? 0 : 1;
            d[size_t(i)][size_t(j)] =
                std::min({d[size_t(i - 1)][size_t(j)] + 1, d[size_t(i)][size_t(j - 1)] + 1,
                          d[size_t(i - 1)][size_t(j - 1)] + same});
        }
    }
    return d;
}

} // namespace

double wordErrorRate(const QStringList& reference, const QStringList& hypothesis) {
    if (reference.isEmpty()) {
        return hypothesis.isEmpty() ? 0.0 : 1.0;
    }
    return double(editTable(reference,
                            hypothesis)[size_t(reference.size())][size_t(hypothesis.size())]) /
           double(reference.size());
}

QList<std::pair<int, int>> matchedWords(const QStringList& reference,
                                        const QStringList& hypothesis) {
    const auto d = editTable(reference, hypothesis);
    QList<std::pair<int, int>> out;
    qsizetype i = reference.size();
    qsizetype j = hypothesis.size();
    while (i > 0 && j > 0) {
        const bool same = reference.at(i - 1) == hypothesis.at(j - 1);
        if (same && d[size_t(i)][size_t(j)] == d[size_t(i - 1)][size_t(j - 1)]) {
            out.prepend({int(i - 1), int(j - 1)});
            --i;
            --j;
        } else if (d[size_t(i)][size_t(j)] == d[size_t(i - 1)][size_t(j - 1)] + 1) {
            --i;
            --j;
        } else if (d[size_t(i)][size_t(j)] == d[size_t(i - 1)][size_t(j)] + 1) {
            --i;
        } else {
            --j;
        }
    }
    return out;
}

QList<RealClip> librivoxClips() {
    const QString dir = u"/usr/share/pocketsphinx/test/data/librivox/"_s;
    QFile file(dir + u"transcription"_s);
    QList<RealClip> out;
    if (!file.open(QIODevice::ReadOnly)) {
        return out;
    }
    static const QRegularExpression line(u"^<s>(.*)</s>\\s*\\((.+)\\)\\s*$"_s);
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const auto m = line.match(QString::fromUtf8(raw).trimmed());
        if (m.hasMatch()) {
            out << RealClip{dir + m.captured(2) + u".wav"_s, m.captured(1).simplified()};
        }
    }
    return out;
}

QStringList fixtureSentences() {
    return {
        u"today we talk about building a simple morning routine"_s,
        u"the best way to learn something new is to teach it to others"_s,
        u"my team shipped the new product last week after months of work"_s,
        u"write down three things you want to finish before lunch"_s,
    };
}

double percentile(QList<double> values, double p) {
    if (values.isEmpty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    return values.at(qsizetype(std::lround(p * double(values.size() - 1))));
}

} // namespace tolvane::test

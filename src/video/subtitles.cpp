#include "video/subtitles.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace tolvane::Subtitles {

namespace {

QString timestamp(double seconds, QChar millisecondSeparator) {
    const qint64 ms = std::llround(std::max(0.0, seconds) * 1000.0);
    return u"%1:%2:%3%4%5"_s.arg(ms / 3'600'000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60'000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(millisecondSeparator)
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

// A cue's text must stay one block: a blank line would end it early.
QString oneLine(const QString& text) {
    return text.simplified();
}

bool hasLength(const CaptionChunk& chunk) {
    return std::llround(chunk.end * 1000.0) > std::llround(chunk.start * 1000.0);
}

} // namespace

QString toSrt(const QList<CaptionChunk>& chunks) {
    QString out;
    int number = 0;
    for (const CaptionChunk& chunk : chunks) {
        if (!hasLength(chunk)) {
            continue;
        }
        out += QString::number(++number) + u'\n' + timestamp(chunk.start, u',') + u" --> "_s +
               timestamp(chunk.end, u',') + u'\n' + oneLine(chunk.text) + u"\n\n"_s;
    }
    return out;
}

QString toVtt(const QList<CaptionChunk>& chunks) {
    QString out = u"WEBVTT\n\n"_s;
    for (const CaptionChunk& chunk : chunks) {
        if (!hasLength(chunk)) {
            continue;
        }
        // Markup characters are escaped; "-->" cannot then appear either.
        QString text = oneLine(chunk.text);
        text.replace(u'&', u"&amp;"_s).replace(u'<', u"&lt;"_s).replace(u'>', u"&gt;"_s);
        out += timestamp(chunk.start, u'.') + u" --> "_s + timestamp(chunk.end, u'.') + u'\n' +
               text + u"\n\n"_s;
    }
    return out;
}

} // namespace tolvane::Subtitles

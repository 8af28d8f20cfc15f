#include "video/captions.h"
#include "video/fonts.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;
using Segment = OnDeviceTranscriber::Segment;
using Word = CaptionChunk::Word;

Q_DECLARE_METATYPE(QList<Segment>)
Q_DECLARE_METATYPE(QList<CaptionChunk>)
Q_DECLARE_METATYPE(QList<JumpCuts::Range>)

namespace {

// Segments of the given words, each 0.5 s long and 0.1 s apart.
QList<Segment> spoken(const QStringList& words) {
    QList<Segment> out;
    double t = 0.0;
    for (const QString& w : words) {
        out << Segment{w, t, 0.5};
        t += 0.6;
    }
    return out;
}

QStringList texts(const QList<CaptionChunk>& chunks) {
    QStringList out;
    for (const CaptionChunk& c : chunks) {
        out << c.text;
    }
    return out;
}

bool isYellow(QRgb p) {
    // Opaque enough, red and green high, blue low.
    return qAlpha(p) > 200 && qRed(p) > 200 && qGreen(p) > 150 && qBlue(p) < 80;
}

int yellowPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            n += isYellow(row[x]) ? 1 : 0;
        }
    }
    return n;
}

} // namespace

class TestCaptions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void graphemes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("ascii") << u"hello"_s << 5;
        QTest::newRow("combining accent") << u"e\u0301te\u0301"_s << 3;
        QTest::newRow("flag") << u"\U0001F1E9\U0001F1EA!"_s << 2;
        QTest::newRow("family emoji") << u"\U0001F468\u200D\U0001F469\u200D\U0001F467"_s << 1;
        QTest::newRow("thumbs up with skin tone") << u"ok \U0001F44D\U0001F3FD"_s << 4;
    }
    void graphemes() {
        QFETCH(QString, text);
        QFETCH(int, count);
        QCOMPARE(Captions::graphemeCount(text), count);
    }

    void groupSegments_data() {
        QTest::addColumn<QList<Segment>>("segments");
        QTest::addColumn<int>("maxChars");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("sentence end closes at half the limit")
            << spoken({"hello", "world.", "again"}) << 18 << QStringList{"hello world.", "again"};
        QTest::newRow("sentence end below half the limit does not close")
            << spoken({"Hi.", "there", "you"}) << 18 << QStringList{"Hi. there you"};
        QTest::newRow("question and exclamation close too")
            << spoken({"really", "now?", "yes", "indeed!", "ok"}) << 18
            << QStringList{"really now?", "yes indeed!", "ok"};
        QTest::newRow("exactly the limit fits")
            << spoken({"abcdefgh", "ijklmnopq"}) << 18 << QStringList{"abcdefgh ijklmnopq"};
        QTest::newRow("one over the limit starts a new chunk")
            << spoken({"abcdefgh", "ijklmnopqr"}) << 18 << QStringList{"abcdefgh", "ijklmnopqr"};
        QTest::newRow("a long word stands alone")
            << spoken({"a", "abcdefghijklmnopqrstuvwxy", "b"}) << 18
            << QStringList{"a", "abcdefghijklmnopqrstuvwxy", "b"};
        QTest::newRow("graphemes, not code units")
            << spoken({u"\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"
                       "\U0001F600\U0001F600\U0001F600\U0001F600"_s,
                       u"abcdefgh"_s})
            << 18
            << QStringList{u"\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"
                           "\U0001F600\U0001F600\U0001F600\U0001F600 abcdefgh"_s};
        QTest::newRow("no segments") << QList<Segment>() << 18 << QStringList();
    }
    void groupSegments() {
        QFETCH(QList<Segment>, segments);
        QFETCH(int, maxChars);
        QFETCH(QStringList, expected);
        const QList<CaptionChunk> result = Captions::chunks(segments, maxChars);
        QCOMPARE(texts(result), expected);
        // Every word keeps its own times and the chunk spans its words.
        qsizetype next = 0;
        for (const CaptionChunk& c : result) {
            QVERIFY(c.words);
            QCOMPARE(c.start, c.words->first().start);
            QCOMPARE(c.end, c.words->last().end);
            for (const Word& w : *c.words) {
                const Segment& s = segments.at(next++);
                QCOMPARE(w, (Word{s.text, s.start, s.start + s.duration}));
            }
        }
        QCOMPARE(next, segments.size());
    }

    void splitText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("duration");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("one short sentence") << u"Hi."_s << 3.0 << QStringList{"Hi."};
        QTest::newRow("white space and line breaks collapse")
            << u"  one\n two\tthree  "_s << 2.0 << QStringList{"one two three"};
        QTest::newRow("wraps at the limit")
            << u"the quick brown fox jumps over the lazy dog"_s << 4.0
            << QStringList{"the quick brown", "fox jumps over the", "lazy dog"};
        QTest::newRow("sentence end closes a long enough line")
            << u"Short line here. next"_s << 1.0 << QStringList{"Short line here.", "next"};
        QTest::newRow("empty") << u" \n "_s << 3.0 << QStringList();
        QTest::newRow("no duration") << u"words"_s << 0.0 << QStringList();
        QTest::newRow("negative duration") << u"words"_s << -1.0 << QStringList();
    }
    void splitText() {
        QFETCH(QString, text);
        QFETCH(double, duration);
        QFETCH(QStringList, lines);
        const QList<CaptionChunk> result = Captions::chunks(text, duration, 18);
        QCOMPARE(texts(result), lines);
        if (result.isEmpty()) {
            return;
        }
        // Back to back from 0 to the duration, each share proportional to its
        // length.
        int total = 0;
        for (const CaptionChunk& c : result) {
            total += Captions::graphemeCount(c.text);
        }
        double t = 0.0;
        for (const CaptionChunk& c : result) {
            QVERIFY(!c.words);
            QCOMPARE(c.start, t);
            QVERIFY(qAbs((c.end - c.start) - duration * Captions::graphemeCount(c.text) / total) <
                    1e-9);
            t = c.end;
        }
        QVERIFY(qAbs(t - duration) < 1e-9);
    }

    void timedWords() {
        const CaptionChunk even{u"a  word"_s, 1.0, 3.0, std::nullopt};
        // "a" weighs 2, "word" 4: a third and two thirds of the span.
        const QList<Word> words = even.timedWords();
        QCOMPARE(words.size(), 2);
        QCOMPARE(words.at(0).text, u"a"_s);
        QVERIFY(qAbs(words.at(0).end - (1.0 + 2.0 / 3.0)) < 1e-9);
        QCOMPARE(words.at(1).start, words.at(0).end);
        QVERIFY(qAbs(words.at(1).end - 3.0) < 1e-9);

        const QList<Word> own{{u"x"_s, 5.0, 6.0}};
        QCOMPARE((CaptionChunk{u"a b"_s, 0, 1, own}.timedWords()), own);
        // An empty word list counts as none.
        QCOMPARE((CaptionChunk{u"a b"_s, 0, 1, QList<Word>()}.timedWords().size()), 2);
        QVERIFY((CaptionChunk{u"   "_s, 0, 1, std::nullopt}.timedWords().isEmpty()));
    }

    void mapChunks_data() {
        QTest::addColumn<QList<CaptionChunk>>("input");
        QTest::addColumn<QList<JumpCuts::Range>>("kept");
        QTest::addColumn<double>("trimStart");
        QTest::addColumn<QList<CaptionChunk>>("expected");

        // Kept 1-3 and 5-7 of the source; output 0-2 and 2-4.
        const QList<JumpCuts::Range> two{{1.0, 3.0}, {5.0, 7.0}};
        const auto timed = [](QList<Word> words) {
            QStringList t;
            for (const Word& w : words) {
                t << w.text;
            }
            return CaptionChunk{t.join(u' '), words.first().start, words.last().end, words};
        };
        QTest::newRow("words on both sides of a pause")
            << QList<CaptionChunk>{timed({{"one", 1.5, 2.5}, {"two", 5.5, 6.0}})} << two << 0.0
            << QList<CaptionChunk>{timed({{"one", 0.5, 1.5}, {"two", 2.5, 3.0}})};
        QTest::newRow("trim start shifts into source time")
            << QList<CaptionChunk>{timed({{"one", 0.5, 1.5}})} << two << 1.0
            << QList<CaptionChunk>{timed({{"one", 0.5, 1.5}})};
        QTest::newRow("a word inside the pause disappears")
            << QList<CaptionChunk>{timed({{"one", 2.0, 2.5}, {"lost", 3.5, 4.5}})} << two << 0.0
            << QList<CaptionChunk>{timed({{"one", 1.0, 1.5}})};
        QTest::newRow("a chunk wholly inside the pause is dropped")
            << QList<CaptionChunk>{timed({{"lost", 3.2, 3.6}, {"too", 4.0, 4.8}})} << two << 0.0
            << QList<CaptionChunk>();
        QTest::newRow("a plain chunk starting in the pause moves to the next range")
            << QList<CaptionChunk>{{"plain", 4.0, 6.0, std::nullopt}} << two << 0.0
            << QList<CaptionChunk>{{"plain", 2.0, 3.0, std::nullopt}};
        QTest::newRow("before the first and after the last range clamp")
            << QList<CaptionChunk>{{"all", 0.0, 9.0, std::nullopt}} << two << 0.0
            << QList<CaptionChunk>{{"all", 0.0, 4.0, std::nullopt}};
        QTest::newRow("a plain chunk inside the pause is dropped")
            << QList<CaptionChunk>{{"gone", 3.5, 4.5, std::nullopt}} << two << 0.0
            << QList<CaptionChunk>();
        QTest::newRow("no ranges, no chunks")
            << QList<CaptionChunk>{{"x", 0.0, 1.0, std::nullopt}} << QList<JumpCuts::Range>() << 0.0
            << QList<CaptionChunk>();
    }
    void mapChunks() {
        QFETCH(QList<CaptionChunk>, input);
        QFETCH(QList<JumpCuts::Range>, kept);
        QFETCH(double, trimStart);
        QFETCH(QList<CaptionChunk>, expected);
        QCOMPARE(Captions::mapChunks(input, kept, trimStart), expected);
    }

    void fontsLoad() {
        QCOMPARE(Fonts::loadProblem(), QString());
        const QFont heavy = Fonts::heavyFont(144);
        QCOMPARE(heavy.pixelSize(), 144);
        QCOMPARE(heavy.weight(), QFont::Black);
        QCOMPARE(QFontInfo(heavy).family(), u"Roboto"_s);
        QCOMPARE(QFontInfo(Fonts::boldFont(20)).weight(), int(QFont::Bold));
    }

    void imageSize_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("maxWidth");
        QTest::newRow("tiktok, one line") << int(CaptionStyle::tiktok) << "Hello" << 972.0;
        QTest::newRow("tiktok, wraps")
            << int(CaptionStyle::tiktok) << "many words that surely need more lines" << 600.0;
        QTest::newRow("bubble") << int(CaptionStyle::bubble) << "the quick brown fox" << 972.0;
        QTest::newRow("bubble, narrow") << int(CaptionStyle::bubble) << "abc" << 100.0;
    }
    void imageSize() {
        QFETCH(int, style);
        QFETCH(QString, text);
        QFETCH(double, maxWidth);
        const auto s = CaptionStyle(style);
        const QImage image = Captions::renderCaptionImage(text, std::nullopt, s, maxWidth);
        QVERIFY(!image.isNull());
        QCOMPARE(image.format(), QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(image.width(), qRound(2 * maxWidth));
        const double marginY = s == CaptionStyle::tiktok ? 28 : 26;
        // Height: whole points of text plus both margins, at 2 px per point.
        QCOMPARE(image.height() % 2, 0);
        const double textPoints = image.height() / 2.0 - 2 * marginY;
        QVERIFY(textPoints > 0);
        QCOMPARE(textPoints, std::round(textPoints));
        const QFont font = s == CaptionStyle::tiktok ? Fonts::heavyFont(144) : Fonts::boldFont(108);
        const double lineHeight = QFontMetricsF(font).lineSpacing() / 2;
        const int lines = qRound(textPoints / lineHeight);
        QVERIFY2(lines >= 1 && std::abs(textPoints - lines * lineHeight) <= lines,
                 qPrintable(u"%1 points for lines of %2"_s.arg(textPoints).arg(lineHeight)));
        if (QTest::currentDataTag() == QByteArray("tiktok, wraps")) {
            QVERIFY(lines >= 2);
        }
    }

    void imageLooks() {
        const QImage tiktok =
            Captions::renderCaptionImage(u"Hello"_s, std::nullopt, CaptionStyle::tiktok);
        // Transparent outside the text, white glyphs and black outline near the
        // middle, and symmetric around the centre.
        QCOMPARE(qAlpha(tiktok.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(tiktok.pixel(tiktok.width() - 1, tiktok.height() - 1)), 0);
        QCOMPARE(qAlpha(tiktok.pixel(60, tiktok.height() / 2)), 0);
        int white = 0, black = 0, minX = tiktok.width(), maxX = -1;
        for (int y = 0; y < tiktok.height(); ++y) {
            for (int x = 0; x < tiktok.width(); ++x) {
                const QRgb p = tiktok.pixel(x, y);
                if (qAlpha(p) == 255 && qRed(p) > 240 && qGreen(p) > 240 && qBlue(p) > 240) {
                    ++white;
                    minX = std::min(minX, x);
                    maxX = std::max(maxX, x);
                }
                if (qAlpha(p) > 200 && qRed(p) < 20) {
                    ++black;
                }
            }
        }
        QVERIFY(white > 1000);
        QVERIFY(black > 1000);
        QVERIFY(std::abs((minX + maxX) / 2 - tiktok.width() / 2) < 20);

        const QImage bubble =
            Captions::renderCaptionImage(u"Hello"_s, std::nullopt, CaptionStyle::bubble);
        QCOMPARE(qAlpha(bubble.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(bubble.pixel(bubble.width() - 1, bubble.height() - 1)), 0);
        const QRgb box = bubble.pixel(20, bubble.height() / 2);
        QVERIFY(std::abs(qAlpha(box) - qRound(0.62 * 255)) <= 1);
        QCOMPARE(qRed(box), 0);
    }

    void highlight_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<std::optional<int>>("index");
        QTest::addColumn<bool>("yellow");
        for (CaptionStyle s : {CaptionStyle::tiktok, CaptionStyle::bubble}) {
            const QByteArray name = Captions::rawValue(s).toUtf8();
            QTest::addRow("%s none", name.data()) << int(s) << std::optional<int>() << false;
            QTest::addRow("%s first", name.data()) << int(s) << std::optional<int>(0) << true;
            QTest::addRow("%s last", name.data()) << int(s) << std::optional<int>(2) << true;
            QTest::addRow("%s beyond", name.data()) << int(s) << std::optional<int>(3) << false;
            QTest::addRow("%s negative", name.data()) << int(s) << std::optional<int>(-1) << false;
        }
    }
    void highlight() {
        QFETCH(int, style);
        QFETCH(std::optional<int>, index);
        QFETCH(bool, yellow);
        const QImage image =
            Captions::renderCaptionImage(u"one  two three"_s, index, CaptionStyle(style));
        QVERIFY(!image.isNull());
        const int n = yellowPixels(image);
        if (yellow) {
            QVERIFY2(n > 500, qPrintable(QString::number(n)));
        } else {
            QCOMPARE(n, 0);
        }
    }

    void highlightFindsTheRightWord() {
        // "one" is highlighted in "one one": the second occurrence must be found
        // after the first, so index 1 colours the right-hand half.
        const QImage image = Captions::renderCaptionImage(u"one one"_s, 1, CaptionStyle::tiktok);
        int left = 0, right = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (isYellow(image.pixel(x, y))) {
                    (x < image.width() / 2 ? left : right) += 1;
                }
            }
        }
        QCOMPARE(left, 0);
        QVERIFY(right > 500);
    }

    void pictureSetMatchesSinglePictures() {
        // The set shares one outline and shadow: each picture must still be the
        // one drawn on its own, with no colour carried over from the one before.
        for (CaptionStyle s : {CaptionStyle::tiktok, CaptionStyle::bubble}) {
            const QString text = u"one two three"_s;
            const QList<std::optional<int>> highlights{std::nullopt, 0, 2, 1, std::nullopt};
            const QList<QImage> set = Captions::renderCaptionImages(text, highlights, s);
            QCOMPARE(set.size(), highlights.size());
            for (qsizetype i = 0; i < set.size(); ++i) {
                QCOMPARE(set[i], Captions::renderCaptionImage(text, highlights[i], s));
            }
            QCOMPARE(yellowPixels(set.last()), 0);
        }
        QVERIFY(Captions::renderCaptionImages(u"x"_s, {}, CaptionStyle::tiktok).isEmpty());
        QVERIFY(Captions::renderCaptionImages(u"x"_s, {std::nullopt}, CaptionStyle::tiktok, 48.0)
                    .isEmpty());
    }

    void noRoomGivesNoImage() {
        QVERIFY(Captions::renderCaptionImage(u"x"_s, std::nullopt, CaptionStyle::tiktok, 48.0)
                    .isNull());
        QVERIFY(!Captions::renderCaptionImage(u"x"_s, std::nullopt, CaptionStyle::tiktok, 49.0)
                     .isNull());
    }
};

QTEST_MAIN(TestCaptions)
#include "tst_captions.moc"

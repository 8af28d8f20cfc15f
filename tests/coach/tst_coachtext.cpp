// Shortened text never splits a grapheme cluster: not in the helper, not in
// the places that shorten what the user wrote (notifications, quotes).
#include "intents/intentsupport.h"
#include "publisher.h"
#include "store.h"
#include "textcut.h"

#include <QTest>
#include <QTextBoundaryFinder>

using namespace Qt::StringLiterals;

using namespace tolvane::coach;

namespace {

QStringList graphemes(const QString& text) {
    QStringList out;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end > 0; end = finder.toNextBoundary()) {
        out.append(text.mid(start, end - start));
        start = end;
    }
    return out;
}

bool hasLoneSurrogate(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && (i + 1 == text.size() || !text[i + 1].isLowSurrogate())) {
            return true;
        }
        if (text[i].isLowSurrogate() && (i == 0 || !text[i - 1].isHighSurrogate())) {
            return true;
        }
    }
    return false;
}

// Text whose clusters are several code units long.
void addClusterRows() {
    QTest::addColumn<QString>("text");
    QTest::newRow("skin tone") << u"abc👍🏽def👋🏿"_s;
    QTest::newRow("flags") << u"🇩🇪🇫🇷🇯🇵 flags"_s;
    QTest::newRow("zwj family") << u"x👩‍👩‍👧‍👦y🧑🏻‍💻z"_s;
    QTest::newRow("combining marks") << u"cafe\u0301 nai\u0308ve a\u0323\u0302"_s;
    QTest::newRow("keycap and variation") << u"1\uFE0F\u20E3 ❤\uFE0F 2\uFE0F\u20E3"_s;
    QTest::newRow("plain ascii") << u"plain words only"_s;
}

} // namespace

class TestCoachText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void prefixEndsBetweenClusters_data() { addClusterRows(); }
    void prefixEndsBetweenClusters();
    void elideFitsAndMarksTheCut_data() { addClusterRows(); }
    void elideFitsAndMarksTheCut();
    void cutsBeforeAClusterThatDoesNotFit_data();
    void cutsBeforeAClusterThatDoesNotFit();
    void firstGraphemeIsWhole();
    void notificationKeepsTheEmojiWhole();
    void quotedFirstLineKeepsTheEmojiWhole();
};

// For every limit: a prefix, within the limit, made of whole clusters, and
// the longest such prefix.
void TestCoachText::prefixEndsBetweenClusters() {
    QFETCH(QString, text);
    const QStringList clusters = graphemes(text);
    for (qsizetype max = 0; max <= text.size() + 1; ++max) {
        const QString cut = textcut::prefix(text, max);
        QVERIFY2(cut.size() <= max, qPrintable(QString::number(max)));
        QVERIFY(text.startsWith(cut));
        const QStringList kept = graphemes(cut);
        QCOMPARE(kept, clusters.mid(0, kept.size()));
        if (kept.size() < clusters.size()) {
            QVERIFY2(cut.size() + clusters[kept.size()].size() > max,
                     qPrintable(QString::number(max)));
        }
    }
}

void TestCoachText::elideFitsAndMarksTheCut() {
    QFETCH(QString, text);
    for (qsizetype max = 1; max <= text.size() + 1; ++max) {
        const QString cut = textcut::elide(text, max);
        QVERIFY(cut.size() <= max);
        QVERIFY(!hasLoneSurrogate(cut));
        if (max >= text.size()) {
            QCOMPARE(cut, text);
            continue;
        }
        QVERIFY(cut.endsWith(u"…"_s));
        const QString body = cut.chopped(1);
        QVERIFY(text.startsWith(body));
        // The ellipsis starts a cluster of its own: nothing fuses with it.
        QCOMPARE(graphemes(cut).last(), u"…"_s);
    }
}

void TestCoachText::cutsBeforeAClusterThatDoesNotFit_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("max");
    QTest::addColumn<QString>("expected");
    // 👍🏽 is four code units, a flag four, the family eleven.
    QTest::newRow("inside skin tone") << u"abc👍🏽d"_s << 6 << u"abc"_s;
    QTest::newRow("after skin tone") << u"abc👍🏽d"_s << 7 << u"abc👍🏽"_s;
    QTest::newRow("between flags") << u"🇩🇪🇫🇷"_s << 6 << u"🇩🇪"_s;
    QTest::newRow("inside zwj") << u"x👩‍👩‍👧‍👦"_s << 10 << u"x"_s;
    QTest::newRow("before combining mark") << u"cafe\u0301"_s << 4 << u"caf"_s;
    QTest::newRow("inside keycap") << u"1\uFE0F\u20E3"_s << 2 << QString();
}

void TestCoachText::cutsBeforeAClusterThatDoesNotFit() {
    QFETCH(QString, text);
    QFETCH(int, max);
    QFETCH(QString, expected);
    QCOMPARE(textcut::prefix(text, max), expected);
}

void TestCoachText::firstGraphemeIsWhole() {
    QCOMPARE(textcut::firstGrapheme(u"👩‍💻 Dana"_s), u"👩‍💻"_s);
    QCOMPARE(textcut::firstGrapheme(u"e\u0301mile"_s), u"e\u0301"_s);
    QCOMPARE(textcut::firstGrapheme(QString()), QString());
}

// A hook whose 79th and 80th code units are the two halves of an emoji.
void TestCoachText::notificationKeepsTheEmojiWhole() {
    Store store;
    QVERIFY(store.open(u":memory:"_s));
    const User user = store.user(u"mac-text"_s);
    const QString hook = QString(78, QLatin1Char('a')) + u"🚀🚀 launch day"_s;
    const Draft d = store.createDraft(user.id, hook + u"\n\nBody."_s, u"insight"_s, u"launch"_s);
    const QDateTime at = QDateTime::currentDateTimeUtc();
    QVERIFY(store.scheduleDraft(d.token, d.text, at));
    Publisher publisher(store, u"http://127.0.0.1:1/"_s, 3'600'000);
    QCOMPARE(publisher.publishDue(at.addSecs(1)), 1);
    const QList<Notification> notes = store.takeNotifications(user.id);
    QCOMPARE(notes.size(), 1);
    QVERIFY(!hasLoneSurrogate(notes.first().text));
    QVERIFY2(notes.first().text.contains(QString(78, QLatin1Char('a')) + u"…”"_s),
             qPrintable(notes.first().text));
}

void TestCoachText::quotedFirstLineKeepsTheEmojiWhole() {
    const QString line = u"Ship it 🇺🇦🇺🇦🇺🇦 today\nsecond line"_s;
    for (int max = 4; max < 30; ++max) {
        const QString quoted = intents::quoteFirstLine(line, max);
        QVERIFY(!hasLoneSurrogate(quoted));
        QVERIFY(!quoted.contains(u"second"_s));
        // Regional indicators pair up from the start: an odd count would show
        // a different flag.
        QCOMPARE(quoted.count(QChar(0xD83C)) % 2, 0);
    }
}

QTEST_GUILESS_MAIN(TestCoachText)
#include "tst_coachtext.moc"

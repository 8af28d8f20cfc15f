// Shortened text never splits a grapheme cluster: not in the helper, not in
// the places that shorten what the user wrote (notifications, quotes).
#include "intents/intentsupport.h"
#include "publisher.h"
#include "store.h"
#include "textcut.h"

#include <QTest>
#include <QTextBoundaryFinder>

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
        if (text[i].isHighSurrogate() && (i + 1 == text.size() || !text[i + 1].isLowSurrogate()))
            return true;
        if (text[i].isLowSurrogate() && (i == 0 || !text[i - 1].isHighSurrogate()))
            return true;
    }
    return false;
}

// Text whose clusters are several code units long.
void addClusterRows() {
    QTest::addColumn<QString>("text");
    QTest::newRow("skin tone") << QStringLiteral("abc👍🏽def👋🏿");
    QTest::newRow("flags") << QStringLiteral("🇩🇪🇫🇷🇯🇵 flags");
    QTest::newRow("zwj family") << QStringLiteral("x👩‍👩‍👧‍👦y🧑🏻‍💻z");
    QTest::newRow("combining marks") << QStringLiteral("cafe\u0301 nai\u0308ve a\u0323\u0302");
    QTest::newRow("keycap and variation") << QStringLiteral("1\uFE0F\u20E3 ❤\uFE0F 2\uFE0F\u20E3");
    QTest::newRow("plain ascii") << QStringLiteral("plain words only");
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
        if (kept.size() < clusters.size())
            QVERIFY2(cut.size() + clusters[kept.size()].size() > max,
                     qPrintable(QString::number(max)));
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
        QVERIFY(cut.endsWith(QStringLiteral("…")));
        const QString body = cut.chopped(1);
        QVERIFY(text.startsWith(body));
        // The ellipsis starts a cluster of its own: nothing fuses with it.
        QCOMPARE(graphemes(cut).last(), QStringLiteral("…"));
    }
}

void TestCoachText::cutsBeforeAClusterThatDoesNotFit_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("max");
    QTest::addColumn<QString>("expected");
    // 👍🏽 is four code units, a flag four, the family eleven.
    QTest::newRow("inside skin tone")
        << QStringLiteral("abc👍🏽d") << 6 << QStringLiteral("abc");
    QTest::newRow("after skin tone")
        << QStringLiteral("abc👍🏽d") << 7 << QStringLiteral("abc👍🏽");
    QTest::newRow("between flags") << QStringLiteral("🇩🇪🇫🇷") << 6 << QStringLiteral("🇩🇪");
    QTest::newRow("inside zwj") << QStringLiteral("x👩‍👩‍👧‍👦") << 10
                                << QStringLiteral("x");
    QTest::newRow("before combining mark")
        << QStringLiteral("cafe\u0301") << 4 << QStringLiteral("caf");
    QTest::newRow("inside keycap") << QStringLiteral("1\uFE0F\u20E3") << 2 << QString();
}

void TestCoachText::cutsBeforeAClusterThatDoesNotFit() {
    QFETCH(QString, text);
    QFETCH(int, max);
    QFETCH(QString, expected);
    QCOMPARE(textcut::prefix(text, max), expected);
}

void TestCoachText::firstGraphemeIsWhole() {
    QCOMPARE(textcut::firstGrapheme(QStringLiteral("👩‍💻 Dana")),
             QStringLiteral("👩‍💻"));
    QCOMPARE(textcut::firstGrapheme(QStringLiteral("e\u0301mile")), QStringLiteral("e\u0301"));
    QCOMPARE(textcut::firstGrapheme(QString()), QString());
}

// A hook whose 79th and 80th code units are the two halves of an emoji.
void TestCoachText::notificationKeepsTheEmojiWhole() {
    Store store;
    QVERIFY(store.open(QStringLiteral(":memory:")));
    const User user = store.user(QStringLiteral("mac-text"));
    const QString hook = QString(78, QLatin1Char('a')) + QStringLiteral("🚀🚀 launch day");
    const Draft d = store.createDraft(user.id, hook + QStringLiteral("\n\nBody."),
                                      QStringLiteral("insight"), QStringLiteral("launch"));
    const QDateTime at = QDateTime::currentDateTimeUtc();
    QVERIFY(store.scheduleDraft(d.token, d.text, at));
    Publisher publisher(store, QStringLiteral("http://127.0.0.1:1/"), 3'600'000);
    QCOMPARE(publisher.publishDue(at.addSecs(1)), 1);
    const QList<Notification> notes = store.takeNotifications(user.id);
    QCOMPARE(notes.size(), 1);
    QVERIFY(!hasLoneSurrogate(notes.first().text));
    QVERIFY2(notes.first().text.contains(QString(78, QLatin1Char('a')) + QStringLiteral("…”")),
             qPrintable(notes.first().text));
}

void TestCoachText::quotedFirstLineKeepsTheEmojiWhole() {
    const QString line = QStringLiteral("Ship it 🇺🇦🇺🇦🇺🇦 today\nsecond line");
    for (int max = 4; max < 30; ++max) {
        const QString quoted = intents::quoteFirstLine(line, max);
        QVERIFY(!hasLoneSurrogate(quoted));
        QVERIFY(!quoted.contains(QStringLiteral("second")));
        // Regional indicators pair up from the start: an odd count would show
        // a different flag.
        QCOMPARE(quoted.count(QChar(0xD83C)) % 2, 0);
    }
}

QTEST_GUILESS_MAIN(TestCoachText)
#include "tst_coachtext.moc"

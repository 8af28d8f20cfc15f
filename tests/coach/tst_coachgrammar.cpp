// Every draft the coach writes for varied requests reads as English: each
// sentence parses completely, the tags come from the user's nouns, and the
// rewrites do what they say.
#include "coachengine.h"
#include "grammarcheck.h"
#include "store.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane::coach;

namespace {

QStringList fixtureRequests() {
    QFile file(QStringLiteral(COACH_FIXTURES "/requests.txt"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList out;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty() && !line.startsWith(QLatin1Char('#'))) {
            out.append(line.trimmed());
        }
    }
    return out;
}

int words(const QString& s) {
    return int(s.split(QRegularExpression(uR"(\s+)"_s), Qt::SkipEmptyParts).size());
}

QStringList tagsOf(const QString& post) {
    QStringList tags;
    for (auto it = QRegularExpression(uR"(#(\w+))"_s).globalMatch(post); it.hasNext();) {
        tags.append(it.next().captured(1).toLower());
    }
    return tags;
}

} // namespace

class TestCoachGrammar : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void everyDraftParses();
    void rewritesDoWhatTheySay_data();
    void rewritesDoWhatTheySay();

private:
    CoachEngine::Turn say(const QString& uid, const QString& text);

    std::unique_ptr<Store> m_store;
    std::unique_ptr<CoachEngine> m_engine;
};

void TestCoachGrammar::initTestCase() {
    QVERIFY2(GrammarCheck::available(), "the English link-grammar dictionary is missing");
    m_store = std::make_unique<Store>();
    QVERIFY(m_store->open(u":memory:"_s));
    m_engine = std::make_unique<CoachEngine>(*m_store);
}

CoachEngine::Turn TestCoachGrammar::say(const QString& uid, const QString& text) {
    CoachEngine::Input in;
    in.user = m_store->user(uid);
    in.text = text;
    in.timeZone = u"Europe/Berlin"_s;
    in.root = u"http://127.0.0.1:20511/"_s;
    in.now = QDateTime(QDate(2026, 3, 4), QTime(9, 0), Qt::UTC);
    return m_engine->respond(in, [](const QString&) {});
}

// Each request drafts, then the draft is reshaped into one of the styles in
// turn, so every style is written for several topics.
void TestCoachGrammar::everyDraftParses() {
    const QStringList requests = fixtureRequests();
    QCOMPARE(requests.size(), 40);
    static const QStringList reshapes = {
        u"make it a story"_s,  u"make it a list"_s,        u"make it contrarian"_s,
        u"make it a how-to"_s, u"make it shorter"_s,       u"make it punchier"_s,
        u"make it longer"_s,   u"make it more personal"_s,
    };
    int drafts = 0;
    int passed = 0;
    int quoted = 0;
    QStringList failures;
    for (int i = 0; i < requests.size(); ++i) {
        const QString uid = u"mac-grammar-%1"_s.arg(i);
        const QString& request = requests[i];
        const auto first = say(uid, request);
        QVERIFY2(first.intent.startsWith("draft."_L1), qPrintable(request));
        const qint64 userID = m_store->user(uid).id;
        QStringList texts{m_store->latestDraft(userID)->text};
        say(uid, reshapes[i % reshapes.size()]);
        texts.append(m_store->latestDraft(userID)->text);
        for (const QString& text : texts) {
            ++drafts;
            QVERIFY(text.size() <= 3000);
            bool ok = true;
            for (const QString& sentence : GrammarCheck::sentencesOf(text)) {
                // The request itself is never a sentence of the post.
                QVERIFY2(sentence.compare(request, Qt::CaseInsensitive) != 0, qPrintable(text));
                // The user's own sentences are quoted as written, not checked:
                // the coach vouches only for what it writes.
                if (request.contains(sentence.chopped(1), Qt::CaseInsensitive)) {
                    ++quoted;
                    continue;
                }
                if (!GrammarCheck::parses(sentence)) {
                    ok = false;
                    failures.append(sentence);
                }
            }
            passed += ok ? 1 : 0;
        }
    }
    qInfo("%d of %d drafts (%.0f %%) parse in every sentence the coach wrote; %d sentences "
          "quoted from the user",
          passed, drafts, 100.0 * passed / drafts, quoted);
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
}

void TestCoachGrammar::rewritesDoWhatTheySay_data() {
    QTest::addColumn<QString>("request");
    QTest::addColumn<QStringList>("nouns"); // at least two of these are tags
    QTest::newRow("migration") << u"Write a post about what I learned migrating our "
                                  "billing system from a monolith to microservices"_s
                               << QStringList{"billing", "system", "billingsystem", "monolith",
                                              "microservices"};
    QTest::newRow("build time") << u"how we cut our CI build time from 40 minutes to 6 minutes"_s
                                << QStringList{"ci", "build", "buildtime"};
    QTest::newRow("bakery") << u"A post about how our bakery doubled weekend sales "
                               "with a simple newsletter"_s
                            << QStringList{"bakery", "sales", "newsletter", "weekend"};
}

// "Shorter" keeps under 60 % of the words, "longer" adds, two drafts differ,
// and the tags are the user's nouns, never numbers.
void TestCoachGrammar::rewritesDoWhatTheySay() {
    QFETCH(QString, request);
    QFETCH(QStringList, nouns);
    const QString uid = u"mac-rewrite-"_s + QTest::currentDataTag();
    const qint64 userID = m_store->user(uid).id;
    say(uid, u"I'm a staff engineer at Fintrail."_s);
    say(uid, request);
    const QString draft = m_store->latestDraft(userID)->text;
    // What the coach remembers shows in the body, with the right article.
    QVERIFY2(draft.contains("As a staff engineer at Fintrail,"_L1), qPrintable(draft));
    const QStringList tags = tagsOf(draft);
    QVERIFY2(tags.size() >= 3 && tags.size() <= 5, qPrintable(draft));
    int fromRequest = 0;
    const QString joined = request.toLower().remove(QLatin1Char(' '));
    static const QStringList general = {"lessons", "growth", "leadership"};
    for (const QString& tag : tags) {
        QVERIFY2(!tag.front().isDigit(), qPrintable(tag));
        // Every tag is the user's words or one of the few general ones.
        QVERIFY2(joined.contains(tag) || general.contains(tag), qPrintable(tag));
        fromRequest += nouns.contains(tag) ? 1 : 0;
    }
    QVERIFY2(fromRequest >= 2, qPrintable(tags.join(QLatin1Char(' '))));

    say(uid, u"make it shorter"_s);
    const QString shorter = m_store->latestDraft(userID)->text;
    QVERIFY2(words(shorter) < 0.6 * words(draft), qPrintable(shorter));
    say(uid, u"make it longer"_s);
    QVERIFY(words(m_store->latestDraft(userID)->text) > words(draft));

    say(uid, request);
    QVERIFY2(m_store->latestDraft(userID)->text != draft, "a second draft repeats the first");
}

QTEST_GUILESS_MAIN(TestCoachGrammar)
#include "tst_coachgrammar.moc"

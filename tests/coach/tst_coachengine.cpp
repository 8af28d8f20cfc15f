// The rule engine's conversations against a real (in-memory) store.
#include "coachengine.h"
#include "store.h"

#include <QBuffer>
#include <QImage>
#include <QRegularExpression>
#include <QTest>

using namespace tolvane::coach;

class TestCoachEngine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void factsAreRememberedPrecisely();
    void notEverythingIsAFact();
    void starterAsksThenDrafts();
    void offerToDraftWhatTheUserIsBuilding();
    void reshapeKeepsTheTokenOfADraftOnly();
    void scheduleWithoutTimeUsesTheNextGoodSlot();
    void postItNowPublishes();
    void wipeKeepsScheduledPostsAndMemory();
    void linkCodeSharesMemoryOnce();
    void everyTurnIsLabelledForTheLog();
    void imageWithoutText();
    void oddInputsGetAnAnswer_data();
    void oddInputsGetAnAnswer();

private:
    CoachEngine::Turn say(const QString& text, qint64 user = 0, const QByteArray& image = {});

    std::unique_ptr<Store> m_store;
    std::unique_ptr<CoachEngine> m_engine;
    User m_user;
    QDateTime m_now;
    QStringList m_statuses;
};

void TestCoachEngine::init() {
    m_store = std::make_unique<Store>();
    QVERIFY(m_store->open(QStringLiteral(":memory:")));
    m_engine = std::make_unique<CoachEngine>(*m_store);
    m_user = m_store->user(QStringLiteral("mac-test"));
    // Wednesday 2026-03-04 09:00 UTC, 10:00 in Berlin.
    m_now = QDateTime(QDate(2026, 3, 4), QTime(9, 0), Qt::UTC);
}

void TestCoachEngine::cleanup() {
    m_engine.reset();
    m_store.reset();
}

CoachEngine::Turn TestCoachEngine::say(const QString& text, qint64 user, const QByteArray& image) {
    CoachEngine::Input in;
    in.user = user ? *m_store->userById(user) : m_user;
    in.text = text;
    in.timeZone = QStringLiteral("Europe/Berlin");
    in.image = image;
    in.root = QStringLiteral("http://127.0.0.1:20511/");
    in.now = m_now;
    m_statuses.clear();
    return m_engine->respond(in, [this](const QString& s) { m_statuses.append(s); });
}

void TestCoachEngine::factsAreRememberedPrecisely() {
    const auto t = say(QStringLiteral("My name is Dana Reyes. I'm a product designer at Acme "
                                      "and I help early-stage founders ship faster."));
    QCOMPARE(t.intent, QStringLiteral("memory.remember"));
    QCOMPARE(m_store->memory(m_user.id, QStringLiteral("name")), QStringLiteral("Dana Reyes"));
    QCOMPARE(m_store->memory(m_user.id, QStringLiteral("role")),
             QStringLiteral("product designer"));
    QCOMPARE(m_store->memory(m_user.id, QStringLiteral("company")), QStringLiteral("Acme"));
    QCOMPARE(m_store->memory(m_user.id, QStringLiteral("audience")),
             QStringLiteral("early-stage founders"));
    // A later statement replaces a single-valued fact.
    say(QStringLiteral("I'm a design lead at Acme."));
    QCOMPARE(m_store->memory(m_user.id, QStringLiteral("role")), QStringLiteral("design lead"));
    QCOMPARE(m_store->memories(m_user.id).size(), 4);
}

void TestCoachEngine::notEverythingIsAFact() {
    const auto t = say(QStringLiteral("I'm a bit tired today."));
    QVERIFY(m_store->memories(m_user.id).isEmpty());
    QCOMPARE(t.intent, QStringLiteral("clarify"));
    const auto unknown = say(QStringLiteral("/dance"));
    QCOMPARE(unknown.intent, QStringLiteral("command.unknown"));
    QVERIFY(unknown.reply.contains(QLatin1String("/menu")));
}

void TestCoachEngine::starterAsksThenDrafts() {
    const auto ask = say(QStringLiteral("Draft a post about what I'm working on"));
    QCOMPARE(ask.intent, QStringLiteral("draft.ask"));
    QVERIFY(!m_store->latestDraft(m_user.id));
    const auto draft = say(QStringLiteral("A checklist app for wedding planners. They juggle "
                                          "forty vendors."));
    QCOMPARE(draft.intent, QStringLiteral("draft.create"));
    const auto d = m_store->latestDraft(m_user.id);
    QVERIFY(d);
    QVERIFY(d->text.contains(QLatin1String("They juggle forty vendors.")));
    QVERIFY(draft.reply.endsWith(QStringLiteral("Go here to edit the post: "
                                                "http://127.0.0.1:20511/edit/") +
                                 d->token));
    QVERIFY(m_statuses.contains(QStringLiteral("Saving the draft…")));
}

void TestCoachEngine::offerToDraftWhatTheUserIsBuilding() {
    const auto t = say(QStringLiteral("I'm building a budgeting app for students."));
    QCOMPARE(m_store->memory(m_user.id, QStringLiteral("work")),
             QStringLiteral("building a budgeting app for students"));
    QVERIFY(t.reply.contains(QLatin1String("draft it")));
    const auto d = say(QStringLiteral("draft it"));
    QCOMPARE(d.intent, QStringLiteral("draft.create"));
    QVERIFY(m_store->latestDraft(m_user.id)->text.contains(QLatin1String("budgeting app")));
    // The offer is used up: another "yes" is not a second draft.
    QVERIFY(say(QStringLiteral("yes")).intent != QLatin1String("draft.create"));
    // And the starter now drafts from memory without asking.
    QCOMPARE(say(QStringLiteral("Draft a post about what I’m working on")).intent,
             QStringLiteral("draft.create"));
}

void TestCoachEngine::reshapeKeepsTheTokenOfADraftOnly() {
    say(QStringLiteral("Draft a post about cold email. Short subject lines win. Personal "
                       "openers win more."));
    const Draft first = *m_store->latestDraft(m_user.id);
    const auto t = say(QStringLiteral("make it a numbered list"));
    QCOMPARE(t.intent, QStringLiteral("draft.reshape"));
    const Draft reshaped = *m_store->draft(first.token);
    QCOMPARE(reshaped.style, QStringLiteral("listicle"));
    QVERIFY(reshaped.text.contains(QLatin1String("1. Short subject lines win.")));

    m_store->scheduleDraft(first.token, reshaped.text, m_now.addDays(1));
    say(QStringLiteral("make it a story"));
    QCOMPARE(m_store->draft(first.token)->style, QStringLiteral("listicle")); // untouched
    const Draft fresh = *m_store->latestDraft(m_user.id);
    QVERIFY(fresh.token != first.token);
    QCOMPARE(fresh.style, QStringLiteral("story"));
}

void TestCoachEngine::scheduleWithoutTimeUsesTheNextGoodSlot() {
    QCOMPARE(say(QStringLiteral("schedule it")).label, QStringLiteral("Nothing to schedule"));
    say(QStringLiteral("Draft a post about quiet mornings. No meetings before ten."));
    const auto t = say(QStringLiteral("schedule it"));
    const Draft d = *m_store->latestDraft(m_user.id);
    QCOMPARE(d.status, QStringLiteral("scheduled"));
    // Wednesday 10:00 in Berlin: today's 08:30 has passed, Thursday's is next.
    QCOMPARE(d.scheduledAt.toTimeZone(QTimeZone("Europe/Berlin")),
             QDateTime(QDate(2026, 3, 5), QTime(8, 30), QTimeZone("Europe/Berlin")));
    QVERIFY(t.reply.contains(QLatin1String("Thu Mar 5, 8:30 AM")));
    QVERIFY(t.reply.contains(QLatin1String("Europe/Berlin")));
    QVERIFY(t.reply.contains(QStringLiteral("/edit/") + d.token));

    const auto list = say(QStringLiteral("/schedule"));
    QVERIFY(list.reply.contains(QLatin1String("Thu Mar 5, 8:30 AM")));
}

void TestCoachEngine::postItNowPublishes() {
    say(QStringLiteral("Draft a post about shipping on Fridays. We do it, carefully."));
    const auto t = say(QStringLiteral("post it now"));
    QVERIFY(t.reply.startsWith(QLatin1String("Published")));
    QCOMPARE(m_store->latestDraft(m_user.id)->status, QStringLiteral("published"));
    const auto stats = say(QStringLiteral("/analytics"));
    QVERIFY(stats.reply.contains(QLatin1String("Published: **1**")));
    const auto review = say(QStringLiteral("How did my last post do?"));
    QCOMPARE(review.intent, QStringLiteral("post.review"));
    QVERIFY(review.reply.contains(QLatin1String("Hook:")));
}

void TestCoachEngine::wipeKeepsScheduledPostsAndMemory() {
    say(QStringLiteral("My name is Dana."));
    say(QStringLiteral("Draft a post about one. It is the first."));
    say(QStringLiteral("schedule it tomorrow at 9"));
    say(QStringLiteral("Draft a post about two. It is the second."));
    const auto t = say(QStringLiteral("/wipe"));
    QVERIFY(t.reply.contains(QLatin1String("1 unscheduled draft.")));
    QCOMPARE(m_store->overview(m_user.id).drafts, 0);
    QCOMPARE(m_store->overview(m_user.id).scheduledPending, 1);
    QCOMPARE(m_store->memory(m_user.id, QStringLiteral("name")), QStringLiteral("Dana"));
    QVERIFY(say(QStringLiteral("/clear")).reply.contains(QLatin1String("still remember")));
}

void TestCoachEngine::linkCodeSharesMemoryOnce() {
    say(QStringLiteral("I'm a nurse and I help new graduates."));
    const auto code = say(QStringLiteral("/link"));
    const QString value = QRegularExpression(QStringLiteral(R"(\*\*([A-Z0-9]{8})\*\*)"))
                              .match(code.reply)
                              .captured(1);
    QVERIFY(!value.isEmpty());
    const User other = m_store->user(QStringLiteral("mac-other"));
    QVERIFY(say(QStringLiteral("/link WRONG123"), other.id).reply.contains(QLatin1String("isn't")));
    QVERIFY(say(QStringLiteral("/link ") + value.toLower(), other.id)
                .reply.startsWith(QLatin1String("Linked")));
    QCOMPARE(m_store->memory(other.id, QStringLiteral("role")), QStringLiteral("nurse"));
    // Used up.
    const User third = m_store->user(QStringLiteral("mac-third"));
    QVERIFY(say(QStringLiteral("/link ") + value, third.id).reply.contains(QLatin1String("isn't")));
}

void TestCoachEngine::everyTurnIsLabelledForTheLog() {
    const QStringList inputs = {
        QStringLiteral("/menu"),
        QStringLiteral("/styles"),
        QStringLiteral("/campaigns"),
        QStringLiteral("/campaigns audit bookkeeping for designers"),
        QStringLiteral("/carousel"),
        QStringLiteral("/schedule"),
        QStringLiteral("/trends"),
        QStringLiteral("/trends sales"),
        QStringLiteral("/analytics"),
        QStringLiteral("/clear"),
        QStringLiteral("/new"),
        QStringLiteral("/wipe"),
        QStringLiteral("/forgetme"),
        QStringLiteral("Analyze my LinkedIn profile"),
        QStringLiteral("What should I post today?"),
        QStringLiteral("How did my last post do?"),
        QStringLiteral("hello"),
        QStringLiteral("how many hashtags should I use?"),
        QStringLiteral("what do you know about me?"),
        QStringLiteral("?"),
    };
    for (const QString& input : inputs) {
        const auto t = say(input);
        QVERIFY2(!t.intent.isEmpty() && !t.label.isEmpty(), qPrintable(input));
        QVERIFY2(!t.reply.trimmed().isEmpty(), qPrintable(input));
    }
    const auto campaign = say(QStringLiteral("/campaigns audit bookkeeping for designers"));
    QCOMPARE(campaign.intent, QStringLiteral("campaign.draft"));
    QVERIFY(campaign.reply.contains(QLatin1String("bookkeeping for designers")));
}

void TestCoachEngine::imageWithoutText() {
    QImage image(320, 640, QImage::Format_RGB32);
    image.fill(Qt::white);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const auto t = say(QString(), 0, png);
    QCOMPARE(t.intent, QStringLiteral("image"));
    QVERIFY(t.reply.contains(QStringLiteral("320×640")));
    QVERIFY(say(QString(), 0, QByteArray("not an image"))
                .reply.contains(QLatin1String("couldn't read")));
}

void TestCoachEngine::oddInputsGetAnAnswer_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("lone slash") << QStringLiteral("/");
    QTest::newRow("double slash") << QStringLiteral("//");
    QTest::newRow("slash and spaces") << QStringLiteral("/   ");
    QTest::newRow("styles with junk") << QStringLiteral("/styles ???");
    QTest::newRow("campaign without offer") << QStringLiteral("/campaigns launch");
    QTest::newRow("carousel upper case") << QStringLiteral("/CAROUSEL MINT");
    QTest::newRow("bare make it") << QStringLiteral("make it");
    QTest::newRow("impossible clock") << QStringLiteral("schedule it at 25:99");
    QTest::newRow("draft a post") << QStringLiteral("draft a post");
    QTest::newRow("emoji only") << QStringLiteral("🚀🚀🚀");
    QTest::newRow("nul and controls") << QString::fromUtf8("a\0b\x01c\td", 8);
    QTest::newRow("right to left")
        << QStringLiteral("אני כותב פוסט על עבודה מרחוק ועל צוותים קטנים");
    QTest::newRow("one long word") << QString(5000, QLatin1Char('x'));
    QTest::newRow("many sentences") << QStringLiteral("Short. ").repeated(400);
    QTest::newRow("my name is nothing") << QStringLiteral("my name is");
    QTest::newRow("remember nothing") << QStringLiteral("remember");
}

void TestCoachEngine::oddInputsGetAnAnswer() {
    QFETCH(QString, text);
    // With and without a draft to work on.
    for (int round = 0; round < 2; ++round) {
        const auto t = say(text);
        QVERIFY(!t.reply.trimmed().isEmpty());
        QVERIFY(!t.intent.isEmpty());
        if (const auto d = m_store->latestDraft(m_user.id); d && d->text.size() > 3000)
            QVERIFY(t.reply.contains(QLatin1String("LinkedIn allows 3,000")));
        if (round == 0)
            say(QStringLiteral("Draft a post about odd inputs. They should never crash."));
    }
}

QTEST_MAIN(TestCoachEngine)
#include "tst_coachengine.moc"

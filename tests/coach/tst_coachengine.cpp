// The rule engine's conversations against a real (in-memory) store.
#include "coachengine.h"
#include "store.h"

#include <QBuffer>
#include <QImage>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane::coach;

class TestCoachEngine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void answers_data();
    void answers();
    void factsAreRememberedPrecisely();
    void starterAsksThenDrafts();
    void offerToDraftWhatTheUserIsBuilding();
    void reshapeKeepsTheTokenOfADraftOnly();
    void scheduleWithoutTimeUsesTheNextGoodSlot();
    void postItNowPublishes();
    void wipeKeepsScheduledPostsAndMemory();
    void linkCodeSharesMemoryOnce();
    void imageWithoutText();
    void longDraftsWarnAboutTheLimit_data();
    void longDraftsWarnAboutTheLimit();
    void aReplacedHandlerAnswersEveryPathToIt_data();
    void aReplacedHandlerAnswersEveryPathToIt();

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
    QVERIFY(m_store->open(u":memory:"_s));
    m_engine = std::make_unique<CoachEngine>(*m_store);
    m_user = m_store->user(u"mac-test"_s);
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
    in.timeZone = u"Europe/Berlin"_s;
    in.image = image;
    in.root = u"http://127.0.0.1:20511/"_s;
    in.now = m_now;
    m_statuses.clear();
    return m_engine->respond(in, [this](const QString& s) { m_statuses.append(s); });
}

void TestCoachEngine::answers_data() {
    // What a new user with no drafts gets back: the reply, and the intent and
    // label the AI-call log shows for it.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("intent");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("reply"); // a part of the reply
    auto row = [](const char* name, const QString& text, const char* intent, const QString& label,
                  const QString& reply) {
        QTest::newRow(name) << text << QString::fromLatin1(intent) << label << reply;
    };
    row("menu", "/menu", "command", "/menu", "Here's what I can do");
    row("help is the menu", "/help", "command", "/help", "Here's what I can do");
    row("styles", "/styles", "command", "/styles", "(`listicle`)");
    row("styles with junk", "/styles ???", "command", "/styles", "Post styles:");
    row("campaigns", "/campaigns", "campaign.list", "List campaign templates",
        "`/campaigns audit <your offer>`");
    row("campaign without offer", "/campaigns launch", "campaign.ask",
        "Ask what the campaign sells", "/campaigns launch <what you sell>");
    row("campaign", "/campaigns audit bookkeeping for designers", "campaign.draft",
        "Draft a free audit campaign post",
        "5 free audit slots this month for bookkeeping for designers.");
    row("carousel sample", "/carousel", "carousel", "Render a carousel", "No draft yet");
    row("carousel upper case", "/CAROUSEL MINT", "carousel", "Render a carousel", "**Mint** theme");
    row("unknown theme", "/carousel plaid", "carousel", "List carousel themes",
        "I don't have a theme called “plaid”");
    row("empty calendar", "/schedule", "schedule.list", "List scheduled posts",
        "Your next good slot is Thu Mar 5, 8:30 AM (Europe/Berlin)");
    row("trends", "/trends", "trends", "Suggest angles for a general niche", "/trends marketing");
    row("trends keyword", "/trends sales", "trends", "Suggest angles for sales",
        "The objection you hear most");
    row("analytics", "/analytics", "analytics", "Report analytics", "Published: **0**");
    row("clear", "/clear", "command", "/clear", "Fresh start. Tell me what you do");
    row("new is clear", "/new", "command", "/new", "Fresh start.");
    row("wipe", "/wipe", "command", "/wipe", "Wiped the chat and 0 unscheduled drafts.");
    row("forget me", "/forgetme", "command", "/forgetme", "erased everything");
    row("unknown command", "/dance", "command.unknown", "/dance",
        "I don't know the command /dance.");
    row("lone slash", "/   ", "command.unknown", "/", "I don't know the command /.");
    row("profile starter", "Analyze my LinkedIn profile", "profile.review", "Review the profile",
        "0 published, 0 scheduled, 0 drafts");
    row("ideas starter", "What should I post today?", "ideas", "Suggest today's post",
        "Wednesday: a lesson, told as a short story");
    row("review starter", "How did my last post do?", "post.review", "Review the last post",
        "You haven't published anything");
    row("greeting", "hello", "greeting", "Greeting", "Hey! Tell me what you do");
    row("timing", "when should I post?", "advice", "When to post", "Thu Mar 5, 8:30 AM");
    row("hashtags", "how many hashtags should I use?", "advice", "Hashtags",
        "three to five specific hashtags");
    row("other question", "?", "advice", "General question", "Type /menu for everything.");
    row("memory", "what do you know about me?", "memory.report", "Report memory",
        "I don't know anything about you yet.");
    row("not a fact", "I'm a bit tired today.", "clarify", "Ask for more detail",
        "Tell me a bit more");
    row("bare make it", "make it", "clarify", "Ask for more detail", "Tell me a bit more");
    row("my name is nothing", "my name is", "clarify", "Ask for more detail", "Tell me a bit more");
    row("emoji only", "🚀🚀🚀", "clarify", "Ask for more detail", "Tell me a bit more");
    row("nothing to schedule", "schedule it at 25:99", "schedule", "Nothing to schedule",
        "no unscheduled draft");
    row("draft without material", "draft a post", "draft.ask", "Ask for post material",
        "What should it be about?");
    row("right to left", "אני כותב פוסט על עבודה מרחוק ועל צוותים קטנים", "draft.create",
        "Draft a insight post", "That's good material for a post.");
}

void TestCoachEngine::answers() {
    QFETCH(QString, text);
    QFETCH(QString, intent);
    QFETCH(QString, label);
    QFETCH(QString, reply);
    const auto t = say(text);
    QVERIFY2(t.reply.contains(reply), qPrintable(t.reply));
    QCOMPARE(t.intent, intent);
    QCOMPARE(t.label, label);
}

void TestCoachEngine::factsAreRememberedPrecisely() {
    const auto t = say(u"My name is Dana Reyes. I'm a product designer at Acme "
                       "and I help early-stage founders ship faster."_s);
    QCOMPARE(t.intent, u"memory.remember"_s);
    QCOMPARE(m_store->memory(m_user.id, u"name"_s), u"Dana Reyes"_s);
    QCOMPARE(m_store->memory(m_user.id, u"role"_s), u"product designer"_s);
    QCOMPARE(m_store->memory(m_user.id, u"company"_s), u"Acme"_s);
    QCOMPARE(m_store->memory(m_user.id, u"audience"_s), u"early-stage founders"_s);
    // A later statement replaces a single-valued fact.
    say(u"I'm a design lead at Acme."_s);
    QCOMPARE(m_store->memory(m_user.id, u"role"_s), u"design lead"_s);
    QCOMPARE(m_store->memories(m_user.id).size(), 4);
}

void TestCoachEngine::starterAsksThenDrafts() {
    const auto ask = say(u"Draft a post about what I'm working on"_s);
    QCOMPARE(ask.intent, u"draft.ask"_s);
    QVERIFY(!m_store->latestDraft(m_user.id));
    const auto draft = say(u"A checklist app for wedding planners. They juggle "
                           "forty vendors."_s);
    QCOMPARE(draft.intent, u"draft.create"_s);
    const auto d = m_store->latestDraft(m_user.id);
    QVERIFY(d);
    QVERIFY(d->text.contains("They juggle forty vendors."_L1));
    QVERIFY(draft.reply.endsWith(u"Go here to edit the post: "
                                 "http://127.0.0.1:20511/edit/"_s +
                                 d->token));
    QVERIFY(m_statuses.contains(u"Saving the draft…"_s));
}

void TestCoachEngine::offerToDraftWhatTheUserIsBuilding() {
    const auto t = say(u"I'm building a budgeting app for students."_s);
    QCOMPARE(m_store->memory(m_user.id, u"work"_s), u"building a budgeting app for students"_s);
    QVERIFY(t.reply.contains("draft it"_L1));
    const auto d = say(u"draft it"_s);
    QCOMPARE(d.intent, u"draft.create"_s);
    QVERIFY(m_store->latestDraft(m_user.id)->text.contains("budgeting app"_L1));
    // The offer is used up: another "yes" is not a second draft.
    QVERIFY(say(u"yes"_s).intent != "draft.create"_L1);
    // And the starter now drafts from memory without asking.
    QCOMPARE(say(u"Draft a post about what I’m working on"_s).intent, u"draft.create"_s);
}

void TestCoachEngine::reshapeKeepsTheTokenOfADraftOnly() {
    say(u"Draft a post about cold email. Short subject lines win. Personal "
        "openers win more."_s);
    const Draft first = *m_store->latestDraft(m_user.id);
    const auto t = say(u"make it a numbered list"_s);
    QCOMPARE(t.intent, u"draft.reshape"_s);
    const Draft reshaped = *m_store->draft(first.token);
    QCOMPARE(reshaped.style, u"listicle"_s);
    QVERIFY(reshaped.text.contains("1. Short subject lines win."_L1));

    m_store->scheduleDraft(first.token, reshaped.text, m_now.addDays(1));
    say(u"make it a story"_s);
    QCOMPARE(m_store->draft(first.token)->style, u"listicle"_s); // untouched
    const Draft fresh = *m_store->latestDraft(m_user.id);
    QVERIFY(fresh.token != first.token);
    QCOMPARE(fresh.style, u"story"_s);
}

void TestCoachEngine::scheduleWithoutTimeUsesTheNextGoodSlot() {
    QCOMPARE(say(u"schedule it"_s).label, u"Nothing to schedule"_s);
    say(u"Draft a post about quiet mornings. No meetings before ten."_s);
    const auto t = say(u"schedule it"_s);
    const Draft d = *m_store->latestDraft(m_user.id);
    QCOMPARE(d.status, u"scheduled"_s);
    // Wednesday 10:00 in Berlin: today's 08:30 has passed, Thursday's is next.
    QCOMPARE(d.scheduledAt.toTimeZone(QTimeZone("Europe/Berlin")),
             QDateTime(QDate(2026, 3, 5), QTime(8, 30), QTimeZone("Europe/Berlin")));
    QVERIFY(t.reply.contains("Thu Mar 5, 8:30 AM"_L1));
    QVERIFY(t.reply.contains("Europe/Berlin"_L1));
    QVERIFY(t.reply.contains(u"/edit/"_s + d.token));

    const auto list = say(u"/schedule"_s);
    QVERIFY(list.reply.contains("Thu Mar 5, 8:30 AM"_L1));
}

void TestCoachEngine::postItNowPublishes() {
    say(u"Draft a post about shipping on Fridays. We do it, carefully."_s);
    const auto t = say(u"post it now"_s);
    QVERIFY(t.reply.startsWith("Published"_L1));
    QCOMPARE(m_store->latestDraft(m_user.id)->status, u"published"_s);
    const auto stats = say(u"/analytics"_s);
    QVERIFY(stats.reply.contains("Published: **1**"_L1));
    const auto review = say(u"How did my last post do?"_s);
    QCOMPARE(review.intent, u"post.review"_s);
    QVERIFY(review.reply.contains("Hook:"_L1));
}

void TestCoachEngine::wipeKeepsScheduledPostsAndMemory() {
    say(u"My name is Dana."_s);
    say(u"Draft a post about one. It is the first."_s);
    say(u"schedule it tomorrow at 9"_s);
    say(u"Draft a post about two. It is the second."_s);
    const auto t = say(u"/wipe"_s);
    QVERIFY(t.reply.contains("1 unscheduled draft."_L1));
    QCOMPARE(m_store->overview(m_user.id).drafts, 0);
    QCOMPARE(m_store->overview(m_user.id).scheduledPending, 1);
    QCOMPARE(m_store->memory(m_user.id, u"name"_s), u"Dana"_s);
    QVERIFY(say(u"/clear"_s).reply.contains("still remember"_L1));
}

void TestCoachEngine::linkCodeSharesMemoryOnce() {
    say(u"I'm a nurse and I help new graduates."_s);
    const auto code = say(u"/link"_s);
    const QString value =
        QRegularExpression(uR"(\*\*([A-Z0-9]{8})\*\*)"_s).match(code.reply).captured(1);
    QVERIFY(!value.isEmpty());
    const User other = m_store->user(u"mac-other"_s);
    QVERIFY(say(u"/link WRONG123"_s, other.id).reply.contains("isn't"_L1));
    QVERIFY(say(u"/link "_s + value.toLower(), other.id).reply.startsWith("Linked"_L1));
    QCOMPARE(m_store->memory(other.id, u"role"_s), u"nurse"_s);
    // Used up.
    const User third = m_store->user(u"mac-third"_s);
    QVERIFY(say(u"/link "_s + value, third.id).reply.contains("isn't"_L1));
}

void TestCoachEngine::imageWithoutText() {
    QImage image(320, 640, QImage::Format_RGB32);
    image.fill(Qt::white);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const auto t = say(QString(), 0, png);
    QCOMPARE(t.intent, u"image"_s);
    QVERIFY(t.reply.contains(u"320×640"_s));
    QVERIFY(say(QString(), 0, QByteArray("not an image")).reply.contains("couldn't read"_L1));
}

void TestCoachEngine::longDraftsWarnAboutTheLimit_data() {
    QTest::addColumn<int>("sentences");
    QTest::addColumn<bool>("warned");
    QTest::newRow("short") << 1 << false;
    QTest::newRow("past the limit") << 10 << false;
}

void TestCoachEngine::longDraftsWarnAboutTheLimit() {
    QFETCH(int, sentences);
    QFETCH(bool, warned);
    const QString sentence =
        u"The release slipped because "_s +
        u"the integration tests kept failing on the old runners "_s.repeated(6) + u"again. "_s;
    const QString kept = u"The release slipped by a week."_s;
    const auto t = say(u"Draft a post about deadlines. "_s + kept + QLatin1Char(' ') +
                       sentence.repeated(sentences));
    QCOMPARE(t.intent, u"draft.create"_s);
    // The writer keeps LinkedIn's limit itself, dropping the user's later
    // sentences first; the warning stays for text that still would not fit.
    const QString text = m_store->latestDraft(m_user.id)->text;
    QVERIFY(text.size() <= 3000);
    QVERIFY2(text.contains(kept), qPrintable(text));
    QCOMPARE(t.reply.contains("LinkedIn allows 3,000"_L1), warned);
}

namespace {

// Stands in for the drafting handler and records what reached it.
class RecordingDraft final : public IntentHandler {
public:
    explicit RecordingDraft(QStringList& seen)
        : m_seen(seen) {}
    CoachTurn handle(const IntentContext&, const IntentArgs& args) override {
        m_seen.append(args.arg);
        CoachTurn t;
        t.intent = u"replaced"_s;
        return t;
    }

private:
    QStringList& m_seen;
};

} // namespace

void TestCoachEngine::aReplacedHandlerAnswersEveryPathToIt_data() {
    QTest::addColumn<QStringList>("conversation"); // the last message should draft
    QTest::addColumn<QString>("material");
    QTest::newRow("draft request")
        << QStringList{u"Draft a post about cold email."_s} << u"cold email"_s;
    QTest::newRow("long statement")
        << QStringList{u"We moved our standup to Fridays and nobody misses it."_s}
        << u"We moved our standup to Fridays and nobody misses it."_s;
    QTest::newRow("answer to the starter")
        << QStringList{u"Draft a post about what I'm working on"_s, u"A map of quiet cafés."_s}
        << u"A map of quiet cafés."_s;
    QTest::newRow("accepted offer")
        << QStringList{u"I'm building a map of quiet cafés."_s, u"yes"_s}
        << u"I'm building a map of quiet cafés."_s;
    QTest::newRow("starter with known work")
        << QStringList{u"I'm building a map of quiet cafés."_s,
                       u"Draft a post about what I'm working on"_s}
        << u"I'm building a map of quiet cafés."_s;
}

void TestCoachEngine::aReplacedHandlerAnswersEveryPathToIt() {
    QFETCH(QStringList, conversation);
    QFETCH(QString, material);
    QStringList seen;
    m_engine->setHandler(Intent::Draft, std::make_unique<RecordingDraft>(seen));
    CoachEngine::Turn last;
    for (const QString& message : conversation) {
        last = say(message);
    }
    QCOMPARE(last.intent, u"replaced"_s);
    QCOMPARE(seen.size(), 1);
    QVERIFY2(seen.first().contains(material), qPrintable(seen.first()));
    QVERIFY(!m_store->latestDraft(m_user.id));
}

QTEST_MAIN(TestCoachEngine)
#include "tst_coachengine.moc"

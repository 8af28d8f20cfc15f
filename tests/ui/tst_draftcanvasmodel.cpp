#include "conversation/conversationstore.h"
#include "panelstest.h"
#include "service/appsettings.h"
#include "ui/panels/draftcanvasmodel.h"
#include "ui/panels/linkedinpreview.h"

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

using namespace tolvane;
using namespace tolvane::test;
using Kind = DraftCanvasModel::StatusKind;

namespace {

const QByteArray profileJson = R"({"name":"Ada Lovelace","headline":"  ","handle":"@ada"})";

QByteArray draftJson(const QByteArray& text) {
    return R"({"text":")" + text + R"(","platform":"linkedin","status":"draft"})";
}

QJsonObject jsonBody(const RecordedRequest& request) {
    return QJsonDocument::fromJson(request.body).object();
}

} // namespace

class TestDraftCanvasModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        // Fixed zone and locale, so the scheduled time reads the same everywhere.
        qputenv("TZ", "Europe/Berlin");
        tzset();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<AppSettings>(
            std::make_unique<QSettings>(m_dir->filePath("s.ini"), QSettings::IniFormat));
        m_server = std::make_unique<ScriptedHttpServer>();
        m_server->on("/api/profile", Script::respond(200, profileJson));
        m_server->on("/api/draft/tok-a", Script::respond(200, draftJson("First draft")));
        m_store = makeStore();
        m_canvas = std::make_unique<DraftCanvasModel>(*m_store, *m_settings, endpoints());
        m_canvas->setCloseDelay(std::chrono::milliseconds(0));
    }
    void cleanup() {
        m_canvas.reset();
        m_store.reset();
        m_server.reset();
    }

    void opensAndLoadsProfileThenDraft() {
        QVERIFY(!m_canvas->isOpen());
        m_canvas->setToken("tok-a");
        QVERIFY(m_canvas->loading());
        QVERIFY(!m_canvas->canSubmit());
        QVERIFY(waitLoaded());

        QCOMPARE(m_server->requests().size(), 2);
        QCOMPARE(m_server->requests().at(0).path, QByteArray("/api/profile"));
        QCOMPARE(m_server->requests().at(0).query, QByteArray("platform=linkedin"));
        QCOMPARE(m_server->requests().at(1).path, QByteArray("/api/draft/tok-a"));
        QCOMPARE(m_canvas->text(), QString("First draft"));
        QCOMPARE(m_canvas->characterCountText(), QString("11 characters"));
        QVERIFY(m_canvas->canSubmit());
        QCOMPARE(m_canvas->statusKind(), Kind::Hidden);
        // A headline of spaces gives way to the handle.
        QCOMPARE(m_canvas->previewName(), QString("Ada Lovelace"));
        QCOMPARE(m_canvas->previewInitial(), QString("A"));
        QCOMPARE(m_canvas->previewSubtitle(), QString("@ada"));
        QVERIFY(m_canvas->avatarUrl().isEmpty());

        // A thumbs-up with a skin tone is one character to the reader.
        m_canvas->setText(QString::fromUtf8("Hi \U0001F44D\U0001F3FD"));
        QCOMPARE(m_canvas->characterCountText(), QString("4 characters"));

        // An empty text shows the placeholder but still allows posting.
        m_canvas->setText(QString());
        QCOMPARE(m_canvas->previewBody(), linkedinpreview::bodyPlaceholder);
        QVERIFY(m_canvas->canSubmit());
    }

    void failedProfileFallsBackToSettingsAndFailedDraftShowsBanner() {
        m_settings->setAuthorName(" \tgrace");
        m_settings->setAuthorHandle("@grace");
        m_server->on("/api/profile", Script::respond(500, "down"));
        m_server->on("/api/draft/tok-a", Script::respond(404, R"({"error":"no such draft"})"));
        m_canvas->setToken("tok-a");
        QVERIFY(waitLoaded());

        QCOMPARE(m_canvas->statusKind(), Kind::Error);
        QCOMPARE(m_canvas->statusMessage(), QString("Server error 404: no such draft"));
        QCOMPARE(m_canvas->text(), QString());
        QVERIFY(m_canvas->canSubmit());
        QCOMPARE(m_canvas->previewName(), QString(" \tgrace"));
        QCOMPARE(m_canvas->previewInitial(), QString("G"));
        QCOMPARE(m_canvas->previewSubtitle(), QString("@grace"));

        QSignalSpy preview(m_canvas.get(), &DraftCanvasModel::previewChanged);
        m_settings->setAuthorName(QString());
        QCOMPARE(preview.size(), 1);
        QCOMPARE(m_canvas->previewName(), QString("Your Name"));
        QCOMPARE(m_canvas->previewInitial(), QString("Y"));
    }

    void previewCardTexts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("headline");
        QTest::addColumn<QString>("handle");
        QTest::addColumn<QString>("shownName");
        QTest::addColumn<QString>("initial");
        QTest::addColumn<QString>("subtitle");
        QTest::newRow("complete") << "ada"
                                  << "Engineer"
                                  << "@ada"
                                  << "ada"
                                  << "A"
                                  << "Engineer";
        QTest::newRow("empty name") << ""
                                    << ""
                                    << "@ada"
                                    << "Your Name"
                                    << "Y"
                                    << "@ada";
        QTest::newRow("blank name") << " \t "
                                    << ""
                                    << ""
                                    << " \t "
                                    << "Y"
                                    << "";
        QTest::newRow("headline trimmed") << "é"
                                          << "\t Founder "
                                          << "@x"
                                          << "é"
                                          << "É"
                                          << "Founder";
        QTest::newRow("no subtitle") << "ada"
                                     << "   "
                                     << ""
                                     << "ada"
                                     << "A"
                                     << "";
    }
    void previewCardTexts() {
        QFETCH(QString, name);
        QFETCH(QString, headline);
        QFETCH(QString, handle);
        QFETCH(QString, shownName);
        QFETCH(QString, initial);
        QFETCH(QString, subtitle);
        QCOMPARE(linkedinpreview::name(name), shownName);
        QCOMPARE(linkedinpreview::initial(name), initial);
        QCOMPARE(linkedinpreview::subtitle(headline, handle), subtitle);
    }

    void avatarOnlyWhenItDecodes() {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        const auto url = linkedinpreview::avatarUrl(QString::fromLatin1(png.toBase64()));
        QVERIFY(url);
        QVERIFY(url->toString().startsWith("data:image/png;base64,"));
        QVERIFY(!linkedinpreview::avatarUrl(QString("not base64!")));
        QVERIFY(!linkedinpreview::avatarUrl(QString::fromLatin1(QByteArray("text").toBase64())));
    }

    void scheduledTexts_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("banner");
        QTest::addColumn<QString>("message");
        QTest::newRow("time and mode")
            << QByteArray(R"({"at":"2026-03-01T08:30:00Z","mode":"queued"})")
            << "Scheduled for Sun Mar 1, 9:30 AM · queued"
            << "scheduled for Sun Mar 1, 9:30 AM (queued). nice one.";
        QTest::newRow("no time") << QByteArray(R"({"mode":"published"})")
                                 << "Scheduled for now · published"
                                 << "scheduled for now (published). nice one.";
        QTest::newRow("no mode") << QByteArray(R"({"at":"2026-07-04T19:05:00.250+02:00"})")
                                 << "Scheduled for Sat Jul 4, 7:05 PM · "
                                 << "scheduled for Sat Jul 4, 7:05 PM (). nice one.";
        QTest::newRow("not json") << QByteArray("ok") << "Scheduled for now · "
                                  << "scheduled for now (). nice one.";
    }
    void scheduledTexts() {
        QFETCH(QByteArray, reply);
        QFETCH(QString, banner);
        QFETCH(QString, message);
        m_server->on("/api/schedule/tok-a", Script::respond(200, reply));
        openLoaded();
        m_canvas->setCloseDelay(std::chrono::hours(1));
        m_canvas->submit();
        QVERIFY(m_canvas->busy());
        QVERIFY(!m_canvas->canSubmit());
        QVERIFY(waitUntil(m_canvas.get(), &DraftCanvasModel::statusChanged,
                          [&] { return m_canvas->statusKind() == Kind::Ok; }));
        QCOMPARE(m_canvas->statusMessage(), banner);
        const ChatMessage& last = m_store->messages().constLast();
        QCOMPARE(last.text, message);
        QCOMPARE(last.role, ChatMessage::Role::coach);
        QVERIFY(!last.isPending);
        // Still showing the banner until the pause is over.
        QVERIFY(m_canvas->busy());
        QCOMPARE(m_canvas->token(), QString("tok-a"));
    }

    void postNowClosesAfterThePause() {
        m_server->on("/api/schedule/tok-a", Script::respond(200, R"({"mode":"published"})"));
        openLoaded();
        m_canvas->setText("Edited");
        m_canvas->submit();
        QVERIFY(waitUntil(m_canvas.get(), &DraftCanvasModel::tokenChanged,
                          [&] { return m_canvas->token().isEmpty(); }));
        QVERIFY(!m_canvas->isOpen());
        QVERIFY(!m_canvas->busy());
        const QJsonObject body = jsonBody(m_server->requests().constLast());
        QCOMPARE(body.value("text").toString(), QString("Edited"));
        QCOMPARE(body.value("when").toString(), QString(""));
        QVERIFY(!body.value("time_zone").toString().isEmpty());
    }

    void scheduleSendsChosenTimeNeverInThePast() {
        const QDateTime now = QDateTime::fromString("2026-03-01T09:00:00Z", Qt::ISODate);
        m_canvas->setClock([now] { return now; });
        m_server->on("/api/schedule/tok-a", Script::respond(500, R"({"error":7})"));
        openLoaded();
        QCOMPARE(m_canvas->when(), now.addSecs(3600));
        QCOMPARE(m_canvas->buttonText(), QString("Post now"));
        m_canvas->setScheduleNow(false);
        QCOMPARE(m_canvas->buttonText(), QString("Schedule"));

        m_canvas->setWhen(now.addDays(-1));
        QCOMPARE(m_canvas->when(), now);
        m_canvas->setWhen(now.addSecs(7200));
        m_canvas->submit();
        QVERIFY(waitUntil(m_canvas.get(), &DraftCanvasModel::busyChanged,
                          [&] { return !m_canvas->busy(); }));
        QCOMPARE(jsonBody(m_server->requests().constLast()).value("when").toString(),
                 QString("2026-03-01T11:00:00Z"));
        // A failure answer without its own text, and the panel stays open.
        QCOMPARE(m_canvas->statusKind(), Kind::Error);
        QCOMPARE(m_canvas->statusMessage(), QString("Could not schedule."));
        QVERIFY(m_canvas->isOpen());

        m_canvas->setScheduleNow(true);
        m_canvas->submit();
        QCOMPARE(m_canvas->statusKind(), Kind::Hidden);
        QVERIFY(waitUntil(m_canvas.get(), &DraftCanvasModel::busyChanged,
                          [&] { return !m_canvas->busy(); }));
        QCOMPARE(jsonBody(m_server->requests().constLast()).value("when").toString(), QString(""));
    }

    // The picker's edits work in local time and keep the parts they do not
    // touch; nothing it does yields a time before now.
    void pickerEditsKeepTheOtherParts() {
        const QDateTime now(QDate(2026, 3, 1), QTime(9, 0));
        m_canvas->setClock([now] { return now; });
        m_canvas->setWhen(QDateTime(QDate(2026, 3, 4), QTime(14, 30)));

        m_canvas->setWhenDay(2026, 4, 2);
        QCOMPARE(m_canvas->when(), QDateTime(QDate(2026, 4, 2), QTime(14, 30)));
        QCOMPARE(m_canvas->whenMonth(), 4);
        m_canvas->setWhenTime(8, 5);
        QCOMPARE(m_canvas->when(), QDateTime(QDate(2026, 4, 2), QTime(8, 5)));
        QCOMPARE(m_canvas->whenHour(), 8);
        QCOMPARE(m_canvas->whenMinute(), 5);
        m_canvas->shiftWhen(-1, 30);
        QCOMPARE(m_canvas->when(), QDateTime(QDate(2026, 4, 1), QTime(8, 35)));

        // Invalid parts change nothing.
        m_canvas->setWhenDay(2026, 2, 30);
        m_canvas->setWhenTime(24, 0);
        QCOMPARE(m_canvas->when(), QDateTime(QDate(2026, 4, 1), QTime(8, 35)));

        // Today at an hour already gone, or a day in the past: now.
        m_canvas->setWhenDay(2026, 3, 1);
        QCOMPARE(m_canvas->when(), now);
        m_canvas->setWhen(QDateTime(QDate(2026, 3, 1), QTime(18, 0)));
        m_canvas->setWhenTime(7, 0);
        QCOMPARE(m_canvas->when(), now);
        m_canvas->shiftWhen(-3, 0);
        QCOMPARE(m_canvas->when(), now);

        QVERIFY(!m_canvas->isDayOffered(2026, 2, 28));
        QVERIFY(m_canvas->isDayOffered(2026, 3, 1));
        QVERIFY(m_canvas->isDayOffered(2027, 1, 1));
        QVERIFY(!m_canvas->isDayOffered(2026, 13, 1));
    }

    // Where the clocks go forward, a time they skip moves past the change
    // instead of being dropped; the picker keeps working on such a day.
    void pickerAcrossAClockChange() {
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        tzset();
        const auto restore = qScopeGuard([zone] {
            if (zone.isEmpty()) {
                qunsetenv("TZ");
            } else {
                qputenv("TZ", zone);
            }
            tzset();
        });
        const QDateTime now(QDate(2026, 3, 1), QTime(9, 0));
        m_canvas->setClock([now] { return now; });
        m_canvas->setWhen(QDateTime(QDate(2026, 3, 28), QTime(2, 30)));
        m_canvas->setWhenDay(2026, 3, 29); // 02:00 becomes 03:00 that night
        QCOMPARE(m_canvas->whenHour(), 3);
        QCOMPARE(m_canvas->whenMinute(), 30);
        QCOMPARE(m_canvas->when().toUTC(), QDateTime(QDate(2026, 3, 29), QTime(1, 30), Qt::UTC));
        m_canvas->setWhenTime(5, 0);
        QCOMPARE(m_canvas->when().toUTC(), QDateTime(QDate(2026, 3, 29), QTime(3, 0), Qt::UTC));
    }

    void scheduleFailureTexts() {
        m_server->on("/api/schedule/tok-a",
                     Script::respond(422, R"({"error":"LinkedIn is not connected"})"));
        openLoaded();
        m_canvas->submit();
        QVERIFY(waitUntil(m_canvas.get(), &DraftCanvasModel::busyChanged,
                          [&] { return !m_canvas->busy(); }));
        QCOMPARE(m_canvas->statusMessage(), QString("LinkedIn is not connected"));

        m_server->on("/api/schedule/tok-a", Script().abort());
        m_canvas->submit();
        QVERIFY(waitUntil(m_canvas.get(), &DraftCanvasModel::busyChanged,
                          [&] { return !m_canvas->busy(); }));
        QCOMPARE(m_canvas->statusKind(), Kind::Error);
        QVERIFY(m_canvas->statusMessage().startsWith("Can't reach the server: "));
        QCOMPARE(m_store->count(), 0);
    }

    void formatsTimeInTheUsersLocale() {
        const QDateTime at = QDateTime::fromString("2026-03-01T20:30:00Z", Qt::ISODate);
        QCOMPARE(DraftCanvasModel::formatScheduledTime(at), QString("Sun Mar 1, 9:30 PM"));
        QCOMPARE(DraftCanvasModel::formatScheduledTime(
                     at, QLocale(QLocale::English, QLocale::UnitedKingdom)),
                 QString("Sun Mar 1, 9:30 pm"));
    }

    void olderTokensDraftIsDropped() {
        m_server->on("/api/draft/tok-a", Script::respondWhenReleased(200, draftJson("Old")));
        m_server->on("/api/draft/tok-b", Script::respond(200, draftJson("New")));
        m_canvas->setToken("tok-a");
        QVERIFY(waitUntil(m_server.get(), &ScriptedHttpServer::connectionHeld,
                          [&] { return m_server->heldCount() == 1; }));
        m_canvas->setToken("tok-b");
        QVERIFY(waitLoaded());
        QCOMPARE(m_canvas->text(), QString("New"));

        QSignalSpy text(m_canvas.get(), &DraftCanvasModel::textChanged);
        m_server->release();
        QVERIFY(settle(*m_server, *m_settings));
        QCOMPARE(m_canvas->text(), QString("New"));
        QVERIFY(text.isEmpty());
        QVERIFY(!m_canvas->loading());
    }

    void newTokenWhileScheduling() {
        m_server->on("/api/schedule/tok-a",
                     Script::respondWhenReleased(200, R"({"mode":"published"})"));
        m_server->on("/api/draft/tok-b", Script::respond(200, draftJson("Second")));
        openLoaded();
        m_canvas->submit();
        QVERIFY(waitUntil(m_server.get(), &ScriptedHttpServer::connectionHeld,
                          [&] { return m_server->heldCount() == 1; }));
        m_canvas->setToken("tok-b");
        QVERIFY(waitLoaded());
        QCOMPARE(m_canvas->text(), QString("Second"));
        QVERIFY(m_canvas->busy());

        // The running request reports into the same panel, but the panel now
        // shows another draft and stays open for it.
        m_server->release();
        QVERIFY(waitUntil(m_canvas.get(), &DraftCanvasModel::busyChanged,
                          [&] { return !m_canvas->busy(); }));
        QCOMPARE(m_canvas->statusMessage(), QString("Scheduled for now · published"));
        QCOMPARE(m_canvas->token(), QString("tok-b"));
        QCOMPARE(m_store->messages().constLast().text,
                 QString("scheduled for now (published). nice one."));
    }

    void scheduleOfAClosedPanelOnlyRecordsTheMessage() {
        m_server->on("/api/schedule/tok-a",
                     Script::respondWhenReleased(200, R"({"mode":"published"})"));
        openLoaded();
        m_canvas->submit();
        QVERIFY(waitUntil(m_server.get(), &ScriptedHttpServer::connectionHeld,
                          [&] { return m_server->heldCount() == 1; }));
        m_canvas->close();
        QVERIFY(!m_canvas->busy());
        m_canvas->setToken("tok-a");
        QVERIFY(waitLoaded());

        m_server->release();
        QVERIFY(waitUntil(m_store.get(), &ConversationStore::countChanged,
                          [&] { return m_store->count() == 1; }));
        QVERIFY(settle(*m_server, *m_settings));
        // The reopened panel is neither told about it nor closed by it.
        QCOMPARE(m_canvas->statusKind(), Kind::Hidden);
        QVERIFY(!m_canvas->busy());
        QCOMPARE(m_canvas->token(), QString("tok-a"));
    }

    void reopeningStartsFresh() {
        m_server->on("/api/schedule/tok-a", Script::respond(500, "{}"));
        openLoaded();
        m_canvas->setScheduleNow(false);
        m_canvas->submit();
        QVERIFY(waitUntil(m_canvas.get(), &DraftCanvasModel::busyChanged,
                          [&] { return !m_canvas->busy(); }));
        m_canvas->close();
        QVERIFY(!m_canvas->isOpen());
        QCOMPARE(m_canvas->token(), QString());

        m_canvas->setToken("tok-a");
        QCOMPARE(m_canvas->statusKind(), Kind::Hidden);
        QVERIFY(m_canvas->scheduleNow());
        QCOMPARE(m_canvas->text(), QString());
        QVERIFY(waitLoaded());
        QCOMPARE(m_canvas->text(), QString("First draft"));
    }

    void coachMessageSurvivesAQuitRightAfter() {
        m_server->on("/api/schedule/tok-a", Script::respond(200, R"({"mode":"queued"})"));
        openLoaded();
        m_canvas->setCloseDelay(std::chrono::hours(1));
        m_canvas->submit();
        QVERIFY(waitUntil(m_store.get(), &ConversationStore::countChanged,
                          [&] { return m_store->count() == 1; }));
        m_canvas.reset();
        m_store.reset();
        const auto reopened = makeStore();
        QCOMPARE(reopened->count(), 1);
        QCOMPARE(reopened->messages().first().text,
                 QString("scheduled for now (queued). nice one."));
    }

private:
    ServiceEndpoints endpoints() const { return ServiceEndpoints::forRoot(m_server->root()); }
    std::unique_ptr<ConversationStore> makeStore() {
        return std::make_unique<ConversationStore>(*m_settings, m_dir->path(), endpoints());
    }
    bool waitLoaded() {
        return waitUntil(m_canvas.get(), &DraftCanvasModel::loadingChanged,
                         [&] { return !m_canvas->loading(); });
    }
    void openLoaded() {
        m_canvas->setToken("tok-a");
        QVERIFY(waitLoaded());
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<ScriptedHttpServer> m_server;
    std::unique_ptr<ConversationStore> m_store;
    std::unique_ptr<DraftCanvasModel> m_canvas;
};

QTEST_GUILESS_MAIN(TestDraftCanvasModel)
#include "tst_draftcanvasmodel.moc"

#include "panelstest.h"
#include "service/appsettings.h"
#include "service/jsonreader.h"
#include "ui/panels/debuglogdetail.h"
#include "ui/panels/debuglogmodel.h"
#include "ui/panels/debuglogrow.h"

#include <QAbstractItemModelTester>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

using namespace tolvane;
using namespace tolvane::test;
using Item = DebugLogDetailItem;
using Kind = DebugLogDetailItem::Kind;
using Tone = DebugLogDetailItem::Tone;

namespace {

QByteArray call(qint64 id, const QByteArray& label = "write post", const QByteArray& error = "") {
    return R"({"id":)" + QByteArray::number(id) +
           R"(,"created_at":"2026-03-01T08:30:00Z","user_id":3,"intent":"draft","label":")" +
           label +
           R"(","provider":"acme","model":"model-x","latency_ms":2350,"stop_reason":"end",)"
           R"("error":")" +
           error +
           R"(","input_tokens":1200,"output_tokens":85,"cache_read_tokens":300,)"
           R"("reasoning_tokens":0})";
}

QByteArray list(const QList<QByteArray>& calls) {
    return "[" + calls.join(',') + "]";
}

QByteArray detailJson(qint64 id, const QByteArray& model = "model-x") {
    return R"({"id":)" + QByteArray::number(id) +
           R"(,"created_at":"2026-03-01T08:30:00Z","model":")" + model +
           R"(","provider":"acme","intent":"","label":"write post","latency_ms":812,)"
           R"("stop_reason":"end","error":""})";
}

} // namespace

class TestDebugLogModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        qputenv("TZ", "Europe/Berlin");
        tzset();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<AppSettings>(
            std::make_unique<QSettings>(m_dir->filePath("s.ini"), QSettings::IniFormat));
        m_settings->setUserID("user-42");
        m_server = std::make_unique<ScriptedHttpServer>();
        m_log = std::make_unique<DebugLogModel>(*m_settings,
                                                ServiceEndpoints::forRoot(m_server->root()));
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_log->calls(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    void cleanup() {
        m_tester.reset();
        m_log.reset();
        m_server.reset();
    }

    void rowTexts() {
        m_server->on("/api/debug/llm", Script::respond(200, list({call(1), call(2, "", "boom")})));
        m_log->open();
        QVERIFY(waitLoaded());
        QCOMPARE(m_log->count(), 2);
        const DebugLogCallList& rows = *m_log->calls();
        const auto at = [&](int row, int role) { return rows.data(rows.index(row), role); };
        QCOMPARE(at(0, DebugLogCallList::CallIdRole).toLongLong(), 1);
        QCOMPARE(at(0, DebugLogCallList::TitleRole).toString(), QString("write post"));
        QCOMPARE(at(0, DebugLogCallList::FailedRole).toBool(), false);
        QCOMPARE(at(0, DebugLogCallList::IntentRole).toString(), QString("draft"));
        QCOMPARE(at(0, DebugLogCallList::TimeRole).toString(), QString("9:30 AM"));
        QCOMPARE(at(0, DebugLogCallList::ModelRole).toString(), QString("model-x"));
        // Cache-read tokens count as input.
        QCOMPARE(at(0, DebugLogCallList::UsageRole).toString(),
                 QString("in 1500 · out 85 · 2350 ms"));
        QCOMPARE(at(1, DebugLogCallList::TitleRole).toString(), QString("call"));
        QCOMPARE(at(1, DebugLogCallList::FailedRole).toBool(), true);
    }

    void detailSections() {
        const QByteArray json =
            R"({"id":7,"created_at":"2026-03-01T08:30:00Z","model":"model-x",)"
            R"("provider":"acme","intent":"","label":"","latency_ms":812,"stop_reason":"tool_use",)"
            R"("error":"rate limited",)"
            R"("request":{"system":"Be brief.","tools":["search","post"],"messages":[)"
            R"({"role":"user","text":"Hi","image":{"mime":"image/png","bytes":512}},)"
            R"({"role":"assistant","tool_calls":[{"id":"c1","name":"search","arguments":"[1]"},)"
            R"({"name":"post"}]},)"
            R"({"role":"tool","tool_results":[{"id":"c1","content":"3 hits","is_error":true}]}]},)"
            R"("response":{"text":"Done","tool_calls":[{"name":"post","arguments":"{}"}]}})";
        const auto decoded = json::decode<LLMCallDetail>(json);
        QVERIFY2(decoded, qPrintable(decoded ? QString() : decoded.error()));
        const QList<Item> expected{
            {Kind::title, "model-x"},
            {Kind::meta, "— · — · 812 ms · tool_use"},
            {Kind::heading, "Error", Tone::error},
            {Kind::text, "rate limited"},
            {Kind::heading, "System prompt"},
            {Kind::block, "Be brief."},
            {Kind::heading, "Tools offered"},
            {Kind::text, "search, post"},
            {Kind::heading, "1. user"},
            {Kind::block, "Hi"},
            {Kind::note, "[image image/png, 512 b64 bytes — not stored]"},
            {Kind::heading, "2. assistant"},
            {Kind::block, "→ search([1])"},
            {Kind::block, "→ post()"},
            {Kind::heading, "3. tool"},
            {Kind::block, "← 3 hits", Tone::error},
            {Kind::heading, "response", Tone::response},
            {Kind::block, "Done"},
            {Kind::block, "→ post({})"},
        };
        QCOMPARE(Item::build(*decoded), expected);

        // Without request, response or error only the title and the line remain.
        const auto bare = json::decode<LLMCallDetail>(detailJson(8));
        QVERIFY(bare);
        QCOMPARE(Item::build(*bare), (QList<Item>{{Kind::title, "model-x"},
                                                  {Kind::meta, "write post · — · 812 ms · end"}}));
    }

    void onlyMeDecidesTheAuthorization() {
        m_server->on("/api/debug/llm", Script::respond(200, list({call(1)})));
        m_log->open();
        QVERIFY(m_log->mineOnly());
        QVERIFY(m_log->loading());
        QVERIFY(waitLoaded());
        const RecordedRequest mine = m_server->requests().constLast();
        QCOMPARE(mine.query, QByteArray("limit=100"));
        QCOMPARE(mine.header("Authorization"), QByteArray("Bearer user-42"));

        m_log->setMineOnly(false);
        QVERIFY(waitLoaded());
        QCOMPARE(m_server->requests().size(), 2);
        QVERIFY(!m_server->requests().constLast().headers.contains("authorization"));

        // Every opening starts over with "Only me".
        m_log->open();
        QVERIFY(m_log->mineOnly());
        QCOMPARE(m_log->count(), 0);
        QVERIFY(waitLoaded());
        QCOMPARE(m_server->requests().constLast().header("Authorization"),
                 QByteArray("Bearer user-42"));
    }

    void supersededListReplyIsDropped() {
        m_server->setHandler([](const RecordedRequest& request) {
            return request.headers.contains("authorization")
                       ? Script::respondWhenReleased(200, list({call(1)}))
                       : Script::respond(200, list({call(1), call(2), call(3)}));
        });
        m_log->open();
        QVERIFY(waitUntil(m_server.get(), &ScriptedHttpServer::connectionHeld,
                          [&] { return m_server->heldCount() == 1; }));
        m_log->setMineOnly(false);
        QVERIFY(waitUntil(m_log.get(), &DebugLogModel::countChanged,
                          [&] { return m_log->count() == 3; }));
        QVERIFY(!m_log->loading());

        m_server->release();
        QVERIFY(settle(*m_server, *m_settings));
        QCOMPARE(m_log->count(), 3);
        QVERIFY(!m_log->loading());
    }

    void selectionShowsOnlyTheSelectedDetail() {
        m_server->on("/api/debug/llm", Script::respond(200, list({call(1), call(2)})));
        m_server->on("/api/debug/llm/1", Script::respondWhenReleased(200, detailJson(1, "slow")));
        m_server->on("/api/debug/llm/2", Script::respond(200, detailJson(2, "fast")));
        m_log->open();
        QVERIFY(waitLoaded());

        m_log->select(99); // not in the list
        QVERIFY(!m_log->hasSelection());
        m_log->select(1);
        QVERIFY(m_log->hasSelection());
        QCOMPARE(m_log->selectedID(), 1);
        QVERIFY(!m_log->hasDetail());
        QVERIFY(waitUntil(m_server.get(), &ScriptedHttpServer::connectionHeld,
                          [&] { return m_server->heldCount() == 1; }));

        m_log->select(2);
        QVERIFY(waitUntil(m_log.get(), &DebugLogModel::detailChanged,
                          [&] { return m_log->hasDetail(); }));
        QCOMPARE(m_log->detail()->model, QString("fast"));
        const DebugLogCallList& rows = *m_log->calls();
        QVERIFY(rows.data(rows.index(1), DebugLogCallList::SelectedRole).toBool());
        QVERIFY(!rows.data(rows.index(0), DebugLogCallList::SelectedRole).toBool());
        const QVariantMap first = m_log->detailItems().first().toMap();
        QCOMPARE(first.value("kind").toString(), QString("title"));
        QCOMPARE(first.value("text").toString(), QString("fast"));

        m_server->release();
        QVERIFY(settle(*m_server, *m_settings));
        QCOMPARE(m_log->detail()->model, QString("fast"));

        // A reload that no longer holds the selected call drops the selection.
        m_server->on("/api/debug/llm", Script::respond(200, list({call(1)})));
        m_log->refresh();
        QVERIFY(waitLoaded());
        QVERIFY(!m_log->hasSelection());
        QVERIFY(!m_log->hasDetail());
    }

    void failuresShowTheErrorViewUntilTheNextLoad() {
        m_server->on("/api/debug/llm", Script::respond(200, list({call(1)})));
        m_server->on("/api/debug/llm/1", Script::respond(500, R"({"error":"boom"})"));
        m_log->open();
        QVERIFY(waitLoaded());
        m_log->select(1);
        QVERIFY(waitUntil(m_log.get(), &DebugLogModel::errorChanged,
                          [&] { return m_log->hasError(); }));
        QCOMPARE(m_log->error(), QString("Server error 500: boom"));
        QVERIFY(!m_log->showEmpty());

        m_server->on("/api/debug/llm", Script::respond(502, ""));
        m_log->refresh();
        QVERIFY(waitLoaded());
        QCOMPARE(m_log->error(), QString("Server error 502: "));
        QCOMPARE(m_log->count(), 1); // the rows stay behind the error

        m_server->on("/api/debug/llm", Script::respond(200, list({call(1)})));
        m_log->refresh();
        QVERIFY(waitLoaded());
        QVERIFY(!m_log->hasError());
    }

    void clearEmptiesTheLogOrShowsWhyNot() {
        QByteArray rows = list({call(1)});
        QByteArray deleteReply = R"({"error":"not allowed"})";
        int deleteStatus = 403;
        m_server->setHandler([&](const RecordedRequest& request) {
            return request.method == "DELETE" ? Script::respond(deleteStatus, deleteReply)
                                              : Script::respond(200, rows);
        });
        m_server->on("/api/debug/llm/1", Script::respond(200, detailJson(1)));
        m_log->open();
        QVERIFY(waitLoaded());
        m_log->select(1);
        QVERIFY(waitUntil(m_log.get(), &DebugLogModel::detailChanged,
                          [&] { return m_log->hasDetail(); }));
        m_log->clear();
        QVERIFY(waitUntil(m_log.get(), &DebugLogModel::errorChanged,
                          [&] { return m_log->hasError(); }));
        QCOMPARE(m_log->error(), QString("Server error 403: not allowed"));
        QCOMPARE(m_log->count(), 1);
        QVERIFY(m_log->hasDetail());

        deleteStatus = 200;
        deleteReply = "{}";
        rows = "[]";
        m_log->clear();
        QVERIFY(waitUntil(m_log.get(), &DebugLogModel::showEmptyChanged,
                          [&] { return m_log->showEmpty(); }));
        QVERIFY(!m_log->hasSelection());
        QVERIFY(!m_log->hasDetail());
        QVERIFY(!m_log->hasError());
        QCOMPARE(m_server->requests().at(m_server->requests().size() - 2).path,
                 QByteArray("/api/debug/llm"));
        QCOMPARE(m_server->requests().at(m_server->requests().size() - 2).method,
                 QByteArray("DELETE"));
    }

private:
    bool waitLoaded() {
        return waitUntil(m_log.get(), &DebugLogModel::loadingChanged,
                         [&] { return !m_log->loading(); });
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<ScriptedHttpServer> m_server;
    std::unique_ptr<DebugLogModel> m_log;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

QTEST_GUILESS_MAIN(TestDebugLogModel)
#include "tst_debuglogmodel.moc"

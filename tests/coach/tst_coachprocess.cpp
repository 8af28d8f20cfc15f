// The tolvane-coach executable itself: port 0 reporting, refusing non-loopback
// addresses, a port already taken, and answering over real HTTP.
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCoachProcess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void portZeroIsPrintedFirstAndServes();
    void refusesNonLoopbackAddresses();
    void reportsAPortThatIsTaken();
    void cliSessionAgainstTheRealCoach();

private:
    QProcessEnvironment environment(const QString& addr, const QTemporaryDir& dir) const;
};

QProcessEnvironment TestCoachProcess::environment(const QString& addr,
                                                  const QTemporaryDir& dir) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HTTP_ADDR"_s, addr);
    env.insert(u"XDG_DATA_HOME"_s, dir.filePath(u"data"_s));
    env.insert(u"XDG_STATE_HOME"_s, dir.filePath(u"state"_s));
    return env;
}

void TestCoachProcess::portZeroIsPrintedFirstAndServes() {
    QTemporaryDir dir;
    QProcess coach;
    coach.setProcessEnvironment(environment(u"127.0.0.1:0"_s, dir));
    coach.start(QStringLiteral(COACH_BINARY), {});
    QVERIFY(coach.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(coach.canReadLine(), 10000);
    bool ok = false;
    const int port = coach.readLine().trimmed().toInt(&ok);
    QVERIFY(ok && port > 0);

    QNetworkAccessManager nam;
    QNetworkReply* reply =
        nam.get(QNetworkRequest(QUrl(u"http://127.0.0.1:%1/health"_s.arg(port))));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    QVERIFY(reply->readAll().contains("\"service\":\"tolvane-coach\""));
    reply->deleteLater();

    // The store and the log land in the XDG directories.
    QVERIFY(QFile::exists(dir.filePath(u"data/Tolvane/coach.sqlite"_s)));
    QVERIFY(QFile::exists(dir.filePath(u"state/Tolvane/coach.log"_s)));

    // SIGTERM ends it cleanly.
    coach.terminate();
    QVERIFY(coach.waitForFinished(10000));
    QCOMPARE(coach.exitStatus(), QProcess::NormalExit);
    QCOMPARE(coach.exitCode(), 0);
}

void TestCoachProcess::refusesNonLoopbackAddresses() {
    QTemporaryDir dir;
    QProcess coach;
    coach.setProcessEnvironment(environment(u"0.0.0.0:0"_s, dir));
    coach.start(QStringLiteral(COACH_BINARY), {});
    QVERIFY(coach.waitForFinished(10000));
    QCOMPARE(coach.exitCode(), 2);
    QVERIFY(coach.readAllStandardError().contains("loopback"));
    QVERIFY(coach.readAllStandardOutput().isEmpty());
}

void TestCoachProcess::reportsAPortThatIsTaken() {
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
    QTemporaryDir dir;
    QProcess coach;
    coach.setProcessEnvironment(environment(u"127.0.0.1:%1"_s.arg(holder.serverPort()), dir));
    coach.start(QStringLiteral(COACH_BINARY), {u"--log"_s, u"-"_s});
    QVERIFY(coach.waitForFinished(10000));
    QCOMPARE(coach.exitCode(), 1);
    QVERIFY(coach.readAllStandardError().contains("cannot listen"));
}

void TestCoachProcess::cliSessionAgainstTheRealCoach() {
    QTemporaryDir dir;
    QProcess coach;
    coach.setProcessEnvironment(environment(u"127.0.0.1:0"_s, dir));
    coach.start(QStringLiteral(COACH_BINARY), {u"--log"_s, u"-"_s});
    QVERIFY(coach.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(coach.canReadLine(), 10000);
    const QString root = u"http://127.0.0.1:%1/"_s.arg(coach.readLine().trimmed().toInt());

    // Runs tolvane-cli with its own settings folder; returns its JSON lines.
    const auto cli = [&](const QStringList& args) {
        QProcess process;
        QProcessEnvironment env = environment(QString(), dir);
        env.insert(u"XDG_CONFIG_HOME"_s, dir.filePath(u"config"_s));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(CLI_BINARY), QStringList{u"--service-root"_s, root} + args);
        QList<QJsonObject> lines;
        if (!process.waitForFinished(20000) || process.exitCode() != 0) {
            return lines;
        }
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            if (!line.isEmpty()) {
                lines.append(QJsonDocument::fromJson(line).object());
            }
        }
        return lines;
    };

    QVERIFY(!cli({u"register"_s}).isEmpty());
    const auto chat = cli({u"chat"_s, u"Draft a post about code review. Small diffs win."_s});
    QVERIFY(chat.size() >= 2);
    QVERIFY(chat.first().contains(u"status"_s));
    const QString reply = chat.last().value(u"reply"_s).toString();
    const QString token = QRegularExpression(uR"(/edit/([a-z0-9]+)$)"_s).match(reply).captured(1);
    QVERIFY2(!token.isEmpty(), qPrintable(reply));
    const auto draft = cli({u"draft"_s, token});
    QCOMPARE(draft.size(), 1);
    QVERIFY(draft.first().value(u"text"_s).toString().contains("Small diffs win."_L1));
    const auto scheduled = cli({u"schedule"_s, token, u"Small diffs."_s});
    QCOMPARE(scheduled.size(), 1);
    QCOMPARE(scheduled.first().value(u"mode"_s).toString(), u"published"_s);
    const auto overview = cli({u"overview"_s});
    QCOMPARE(overview.size(), 1);
    QCOMPARE(overview.first().value(u"published_count"_s).toInt(), 1);

    coach.terminate();
    QVERIFY(coach.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestCoachProcess)
#include "tst_coachprocess.moc"

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
    env.insert(QStringLiteral("HTTP_ADDR"), addr);
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state")));
    return env;
}

void TestCoachProcess::portZeroIsPrintedFirstAndServes() {
    QTemporaryDir dir;
    QProcess coach;
    coach.setProcessEnvironment(environment(QStringLiteral("127.0.0.1:0"), dir));
    coach.start(QStringLiteral(COACH_BINARY), {});
    QVERIFY(coach.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(coach.canReadLine(), 10000);
    bool ok = false;
    const int port = coach.readLine().trimmed().toInt(&ok);
    QVERIFY(ok && port > 0);

    QNetworkAccessManager nam;
    QNetworkReply* reply =
        nam.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/health").arg(port))));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    QVERIFY(reply->readAll().contains("\"service\":\"tolvane-coach\""));
    reply->deleteLater();

    // The store and the log land in the XDG directories.
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("data/Tolvane/coach.sqlite"))));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("state/Tolvane/coach.log"))));

    // SIGTERM ends it cleanly.
    coach.terminate();
    QVERIFY(coach.waitForFinished(10000));
    QCOMPARE(coach.exitStatus(), QProcess::NormalExit);
    QCOMPARE(coach.exitCode(), 0);
}

void TestCoachProcess::refusesNonLoopbackAddresses() {
    QTemporaryDir dir;
    QProcess coach;
    coach.setProcessEnvironment(environment(QStringLiteral("0.0.0.0:0"), dir));
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
    coach.setProcessEnvironment(
        environment(QStringLiteral("127.0.0.1:%1").arg(holder.serverPort()), dir));
    coach.start(QStringLiteral(COACH_BINARY), {QStringLiteral("--log"), QStringLiteral("-")});
    QVERIFY(coach.waitForFinished(10000));
    QCOMPARE(coach.exitCode(), 1);
    QVERIFY(coach.readAllStandardError().contains("cannot listen"));
}

void TestCoachProcess::cliSessionAgainstTheRealCoach() {
    QTemporaryDir dir;
    QProcess coach;
    coach.setProcessEnvironment(environment(QStringLiteral("127.0.0.1:0"), dir));
    coach.start(QStringLiteral(COACH_BINARY), {QStringLiteral("--log"), QStringLiteral("-")});
    QVERIFY(coach.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(coach.canReadLine(), 10000);
    const QString root =
        QStringLiteral("http://127.0.0.1:%1/").arg(coach.readLine().trimmed().toInt());

    // Runs tolvane-cli with its own settings folder; returns its JSON lines.
    const auto cli = [&](const QStringList& args) {
        QProcess process;
        QProcessEnvironment env = environment(QString(), dir);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(CLI_BINARY),
                      QStringList{QStringLiteral("--service-root"), root} + args);
        QList<QJsonObject> lines;
        if (!process.waitForFinished(20000) || process.exitCode() != 0)
            return lines;
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            if (!line.isEmpty())
                lines.append(QJsonDocument::fromJson(line).object());
        }
        return lines;
    };

    QVERIFY(!cli({QStringLiteral("register")}).isEmpty());
    const auto chat = cli({QStringLiteral("chat"),
                           QStringLiteral("Draft a post about code review. Small diffs win.")});
    QVERIFY(chat.size() >= 2);
    QVERIFY(chat.first().contains(QStringLiteral("status")));
    const QString reply = chat.last().value(QStringLiteral("reply")).toString();
    const QString token =
        QRegularExpression(QStringLiteral(R"(/edit/([a-z0-9]+)$)")).match(reply).captured(1);
    QVERIFY2(!token.isEmpty(), qPrintable(reply));
    const auto draft = cli({QStringLiteral("draft"), token});
    QCOMPARE(draft.size(), 1);
    QVERIFY(draft.first()
                .value(QStringLiteral("text"))
                .toString()
                .contains(QLatin1String("Small diffs win.")));
    const auto scheduled = cli({QStringLiteral("schedule"), token, QStringLiteral("Small diffs.")});
    QCOMPARE(scheduled.size(), 1);
    QCOMPARE(scheduled.first().value(QStringLiteral("mode")).toString(),
             QStringLiteral("published"));
    const auto overview = cli({QStringLiteral("overview")});
    QCOMPARE(overview.size(), 1);
    QCOMPARE(overview.first().value(QStringLiteral("published_count")).toInt(), 1);

    coach.terminate();
    QVERIFY(coach.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestCoachProcess)
#include "tst_coachprocess.moc"

#include "conversation/conversationstore.h"
#include "mediafixtures.h"
#include "recording/recordingsdirectory.h"
#include "service/appsettings.h"
#include "studio/videoeditormodel.h"
#include "studio/videostudiocontroller.h"

#include <QDirIterator>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;
using Case = VideoStudioController::PhaseCase;

namespace {

QStringList exports() {
    return QDir(recordingsDirectory().toLocalFile()).entryList({u"tolvane-short-*"_s}, QDir::Files);
}

// A root where nothing listens: a port the system just handed out and took back.
QString deadRoot() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return u"http://127.0.0.1:%1/"_s.arg(port);
}

constexpr int renderTimeout = 180000;

} // namespace

// "Export & Send" and "Download" end to end: the real render, the local coach
// on a free loopback port, the conversation file and the files left behind.
class TestEditorFlows : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_coach;
    QString m_root;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<ConversationStore> m_store;
    std::unique_ptr<VideoStudioController> m_studio;
    std::unique_ptr<VideoEditorModel> m_editor;
    QStringList m_revealed;
    QString m_take;

    void makeEditor(const QString& root) {
        const ServiceEndpoints endpoints = ServiceEndpoints::forRoot(root);
        m_store = std::make_unique<ConversationStore>(*m_settings, m_dir.path(), endpoints);
        m_studio = std::make_unique<VideoStudioController>();
        m_editor = std::make_unique<VideoEditorModel>(*m_studio, *m_store, *m_settings, endpoints);
        m_editor->setRevealer([this](const QString& path) { m_revealed.append(path); });
        m_revealed.clear();
        m_take = m_dir.filePath(u"take.mp4"_s);
        QVERIFY(test::makeMedia(m_take, {u"-f"_s, u"lavfi"_s, u"-i"_s,
                                         u"testsrc2=size=480x270:rate=30:duration=1.5"_s, u"-f"_s,
                                         u"lavfi"_s, u"-i"_s, u"sine=frequency=440:duration=1.5"_s,
                                         u"-pix_fmt"_s, u"yuv420p"_s, u"-shortest"_s}));
        RecordingResult result;
        result.cameraURL = QUrl::fromLocalFile(m_take);
        result.duration = 1.5;
        m_studio->openRecording(result);
        // No transcription here: the flows are the subject.
        m_studio->editModel()->setCaptionText(u"Ship small"_s);
        m_studio->editModel()->setEffectJumpCuts(false);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_dir.path()));
        m_settings = std::make_unique<AppSettings>(
            std::make_unique<QSettings>(m_dir.filePath("s.ini"), QSettings::IniFormat));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HTTP_ADDR"_s, u"127.0.0.1:0"_s);
        env.insert(u"XDG_DATA_HOME"_s, m_dir.filePath(u"coach-data"_s));
        env.insert(u"XDG_STATE_HOME"_s, m_dir.filePath(u"coach-state"_s));
        m_coach.setProcessEnvironment(env);
        m_coach.start(QStringLiteral(COACH_BINARY), {});
        QVERIFY(m_coach.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(m_coach.canReadLine(), 10000);
        bool ok = false;
        const int port = m_coach.readLine().trimmed().toInt(&ok);
        QVERIFY(ok && port > 0);
        m_root = u"http://127.0.0.1:%1/"_s.arg(port);
    }

    void cleanupTestCase() {
        m_coach.terminate();
        m_coach.waitForFinished(10000);
    }

    void cleanup() {
        m_editor.reset();
        m_studio.reset();
        m_store.reset();
        for (const QString& name : exports()) {
            QFile::remove(QDir(recordingsDirectory().toLocalFile()).filePath(name));
        }
    }

    void sendPostsTheVideoIntoTheChat() {
        makeEditor(m_root);
        const int before = m_store->count();
        QList<Case> phases;
        connect(m_studio.get(), &VideoStudioController::phaseChanged, this,
                [this, &phases] { phases.append(m_studio->phaseCase()); });
        QSignalSpy dismissed(m_editor.get(), &VideoEditorModel::dismissRequested);
        m_editor->exportAndSend();
        QVERIFY(m_editor->working());
        QTRY_COMPARE_WITH_TIMEOUT(m_studio->phaseCase(), Case::Idle, renderTimeout);
        QCOMPARE(m_editor->errorMsg(), QString());
        QVERIFY(phases.contains(Case::Exporting));
        QVERIFY(phases.contains(Case::Uploading));
        QVERIFY(!m_editor->working());
        QCOMPARE(dismissed.size(), 1);

        // The user's video message, playing the exported file.
        QCOMPARE(m_store->count(), before + 1);
        const ChatMessage& message = m_store->messages().last();
        QCOMPARE(message.role, ChatMessage::Role::user);
        QCOMPARE(message.text, u"Recorded a short video"_s);
        QVERIFY(message.videoURL);
        const QString exported = message.videoURL->toLocalFile();
        QVERIFY(QFileInfo(exported).fileName().startsWith(u"tolvane-short-"_s));
        QVERIFY(QFile::exists(exported));
        // The recording is gone; the export stays for the chat.
        QVERIFY(!QFile::exists(m_take));
        QVERIFY(!m_studio->editModel());

        // The coach stored exactly that file.
        QDirIterator stored(m_dir.filePath(u"coach-data"_s), {u"*.mp4"_s}, QDir::Files,
                            QDirIterator::Subdirectories);
        QVERIFY(stored.hasNext());
        QCOMPARE(QFileInfo(stored.next()).size(), QFileInfo(exported).size());
    }

    void failedUploadShowsTheErrorAndKeepsTheRecording() {
        makeEditor(deadRoot());
        const int before = m_store->count();
        m_editor->exportAndSend();
        QTRY_VERIFY_WITH_TIMEOUT(!m_editor->working(), renderTimeout);
        QVERIFY(!m_editor->errorMsg().isEmpty());
        QCOMPARE(m_studio->phaseCase(), Case::Editing);
        QVERIFY(m_studio->editModel());
        QVERIFY(QFile::exists(m_take));
        QCOMPARE(m_store->count(), before);
        // The export nothing points at is not left behind.
        QCOMPARE(exports(), QStringList());
    }

    void saveReplacesAnExistingFile() {
        makeEditor(m_root);
        const QString destination = m_dir.filePath(u"mine/tolvane-video.mp4"_s);
        QVERIFY(QDir().mkpath(QFileInfo(destination).path()));
        QFile old(destination);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older video");
        old.close();

        m_editor->saveTo(QUrl::fromLocalFile(destination));
        QVERIFY(m_editor->working());
        QCOMPARE(m_studio->phaseCase(), Case::Exporting);
        QTRY_VERIFY_WITH_TIMEOUT(!m_editor->working(), renderTimeout);
        QCOMPARE(m_editor->errorMsg(), QString());
        QCOMPARE(m_studio->phaseCase(), Case::Editing);
        QFile saved(destination);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray head = saved.read(12);
        QCOMPARE(head.mid(4, 4), QByteArray("ftyp"));
        QVERIFY(saved.size() > 1000);
        // Nothing else lands beside it, the temporary export is gone, the
        // recording stays open and the file is shown.
        QCOMPARE(QDir(QFileInfo(destination).path()).entryList(QDir::Files),
                 QStringList{u"tolvane-video.mp4"_s});
        QCOMPARE(exports(), QStringList());
        QVERIFY(QFile::exists(m_take));
        QCOMPARE(m_revealed, QStringList{destination});
    }

    void saveIntoAMissingFolderFails() {
        makeEditor(m_root);
        const QString destination = m_dir.filePath(u"no/such/folder/video.mp4"_s);
        m_editor->saveTo(QUrl::fromLocalFile(destination));
        QTRY_VERIFY_WITH_TIMEOUT(!m_editor->working(), renderTimeout);
        QVERIFY2(m_editor->errorMsg().startsWith(
                     u"Couldn't save the video as \u201cvideo.mp4\u201d: "_s),
                 qPrintable(m_editor->errorMsg()));
        QCOMPARE(m_studio->phaseCase(), Case::Editing);
        QCOMPARE(exports(), QStringList());
        QVERIFY(m_revealed.isEmpty());
    }

    void cancellingASaveDuringExportLeavesNoPartialFile() {
        makeEditor(m_root);
        const QString destination = m_dir.filePath(u"cancelled.mp4"_s);
        m_editor->saveTo(QUrl::fromLocalFile(destination));
        QTRY_VERIFY_WITH_TIMEOUT(!exports().isEmpty() || m_editor->exportProgress() > 0, 60000);
        m_editor->windowClosed();
        QVERIFY(!m_editor->working());
        QCOMPARE(m_studio->phaseCase(), Case::Idle);
        QTRY_COMPARE_WITH_TIMEOUT(exports(), QStringList(), 20000);
        QVERIFY(!QFile::exists(destination));
        QVERIFY(!QFile::exists(m_take));
        QCOMPARE(m_editor->errorMsg(), QString());
    }
};

QTEST_MAIN(TestEditorFlows)
#include "tst_editorflows.moc"

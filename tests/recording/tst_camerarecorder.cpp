#include "awaittask.h"
#include "platform/capturebackend.h"
#include "recording/camerarecorder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <mutex>
#include <thread>

using namespace Qt::StringLiterals;

using namespace tolvane;
using namespace std::chrono_literals;

namespace {

// A capture layer that reports from threads of its own, as the real one does,
// with each way of misbehaving on request.
class FakeCapture : public CaptureBackend {
public:
    enum class OnStart { started, finishedFirst, silent, startedOnCaller };

    bool opens = true;
    std::chrono::milliseconds openDelay{0};
    OnStart onStart = OnStart::started;
    QByteArray content = QByteArray(4096, 'x');
    QString finishError;
    // Filled when the caller-thread start reported: host time right after.
    std::atomic<qint64> afterStartedUs{0};
    std::atomic_int recordings{0};
    Callbacks callbacks;
    QString path;

    ~FakeCapture() override {
        std::lock_guard lock(m_mutex);
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }

    bool startRunning() override {
        std::this_thread::sleep_for(openDelay);
        m_running = opens;
        return opens;
    }
    bool isRunning() const override { return m_running; }
    void stopRunning() override { m_running = false; }

    void startRecording(const QString& file, Callbacks cb) override {
        ++recordings;
        path = file;
        callbacks = std::move(cb);
        m_recording = true;
        QFile out(path);
        if (out.open(QIODevice::WriteOnly)) {
            out.write(content);
        }
        switch (onStart) {
        case OnStart::started:
            later([this] { callbacks.started(); });
            break;
        case OnStart::finishedFirst:
            later([this] {
                m_recording = false;
                callbacks.finished(path, u"could not write"_s);
            });
            break;
        case OnStart::silent:
            break;
        case OnStart::startedOnCaller:
            callbacks.started();
            afterStartedUs = CameraRecorder::hostTime().value;
            // Keeps the main thread busy: a time read after the hop would
            // come later than this.
            std::this_thread::sleep_for(100ms);
            break;
        }
    }
    void stopRecording() override {
        later([this] {
            m_recording = false;
            callbacks.finished(path, finishError);
        });
    }
    bool isRecording() const override { return m_recording; }
    std::shared_ptr<PreviewFrames> preview() const override { return m_preview; }

    // Fires a callback again from another thread, as a late framework would.
    void later(std::function<void()> work) {
        std::lock_guard lock(m_mutex);
        m_threads.emplace_back([work = std::move(work)] {
            std::this_thread::sleep_for(20ms);
            work();
        });
    }

private:
    std::atomic_bool m_running{false};
    std::atomic_bool m_recording{false};
    std::shared_ptr<PreviewFrames> m_preview = std::make_shared<PreviewFrames>();
    std::mutex m_mutex;
    std::vector<std::thread> m_threads;
};

const CameraRecorder::Timeouts quick{500ms, 300ms, 500ms};

} // namespace

class TestCameraRecorder : public QObject {
    Q_OBJECT

private Q_SLOTS:

    void stopGivesTheFileWhenItHasContent_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("kept");
        QTest::newRow("clean") << QByteArray(4096, 'x') << QString() << true;
        QTest::newRow("error but content") << QByteArray(10, 'x') << u"disk full"_s << true;
        QTest::newRow("empty") << QByteArray() << QString() << false;
        QTest::newRow("empty with error") << QByteArray() << u"no frames"_s << false;
    }
    void stopGivesTheFileWhenItHasContent() {
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        QFETCH(bool, kept);
        auto fake = std::make_shared<FakeCapture>();
        fake->content = content;
        fake->finishError = error;
        CameraRecorder recorder(fake, quick);
        QVERIFY(test::awaitTask(recorder.start()));
        QVERIFY(recorder.isRecording());
        QVERIFY(recorder.startHostTime().has_value());
        QVERIFY(recorder.fileURL()->fileName().startsWith("tolvane-cam-"));
        QVERIFY(recorder.fileURL()->fileName().endsWith(".mov"));
        const std::optional<QUrl> file = test::awaitTask(recorder.stop());
        QCOMPARE(file.has_value(), kept);
        if (kept) {
            QCOMPARE(file->toLocalFile(), fake->path);
        }
        QVERIFY(!recorder.isRecording());
        QVERIFY(!recorder.hasPreview());
        QFile::remove(fake->path);
    }

    void startTimeIsReadOnTheCallbackThread() {
        auto fake = std::make_shared<FakeCapture>();
        fake->onStart = FakeCapture::OnStart::startedOnCaller;
        CameraRecorder recorder(fake, quick);
        QVERIFY(test::awaitTask(recorder.start()));
        QVERIFY(recorder.startHostTime()->value <= fake->afterStartedUs.load());
        test::awaitTask(recorder.stop());
        QFile::remove(fake->path);
    }

    void failedStarts_data() {
        QTest::addColumn<int>("onStart");
        QTest::newRow("finished before started") << int(FakeCapture::OnStart::finishedFirst);
        QTest::newRow("no callback within the time-out") << int(FakeCapture::OnStart::silent);
    }
    void failedStarts() {
        QFETCH(int, onStart);
        auto fake = std::make_shared<FakeCapture>();
        fake->onStart = FakeCapture::OnStart(onStart);
        CameraRecorder recorder(fake, quick);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!test::awaitTask(recorder.start()));
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY(!recorder.isRecording());
        QVERIFY(!recorder.hasPreview());
        // A started callback arriving after the failure changes nothing.
        fake->later([fake] { fake->callbacks.started(); });
        QTest::qWait(150);
        QVERIFY(!recorder.isRecording());
        QFile::remove(fake->path);
    }

    void lateAndDuplicateCallbacksAreHarmless() {
        auto fake = std::make_shared<FakeCapture>();
        CameraRecorder recorder(fake, quick);
        QVERIFY(test::awaitTask(recorder.start()));
        // A second started report and the start time-out both come after
        // start() already completed.
        fake->later([fake] { fake->callbacks.started(); });
        QTest::qWait(quick.start.count() + 100);
        QVERIFY(recorder.isRecording());
        // start() on a recording recorder starts nothing new.
        const QUrl first = *recorder.fileURL();
        QVERIFY(test::awaitTask(recorder.start()));
        QCOMPARE(*recorder.fileURL(), first);
        QCOMPARE(fake->recordings.load(), 1);
        QTest::qWait(300);
        const double elapsed = recorder.elapsed();
        QVERIFY(elapsed > 0.2);
        QVERIFY(test::awaitTask(recorder.stop()).has_value());
        // Elapsed keeps its last value after teardown and stops advancing.
        const double stopped = recorder.elapsed();
        QVERIFY(stopped >= elapsed);
        fake->later([fake] { fake->callbacks.finished(fake->path, QString()); });
        QTest::qWait(250);
        QCOMPARE(recorder.elapsed(), stopped);
        QVERIFY(!recorder.isRecording());
        QFile::remove(fake->path);
    }

    void stopWhenNotRecordingGivesNothing() {
        auto fake = std::make_shared<FakeCapture>();
        CameraRecorder recorder(fake, quick);
        QVERIFY(test::awaitTask(recorder.warmUp()));
        QVERIFY(recorder.hasPreview());
        QVERIFY(!test::awaitTask(recorder.stop()).has_value());
        QVERIFY(!recorder.hasPreview());
        QCOMPARE(fake->recordings.load(), 0);
    }

    void warmUpFailures_data() {
        QTest::addColumn<bool>("opens");
        QTest::addColumn<int>("delayMs");
        QTest::newRow("device does not open") << false << 0;
        QTest::newRow("device hangs past the time-out") << true << 1500;
    }
    void warmUpFailures() {
        QFETCH(bool, opens);
        QFETCH(int, delayMs);
        auto fake = std::make_shared<FakeCapture>();
        fake->opens = opens;
        fake->openDelay = std::chrono::milliseconds(delayMs);
        CameraRecorder recorder(fake, quick);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!test::awaitTask(recorder.start()));
        QVERIFY(clock.elapsed() < 1400);
        QVERIFY(!recorder.hasPreview());
        QCOMPARE(fake->recordings.load(), 0);
    }

    void discardWhileStartIsPendingDeletesTheFile() {
        auto fake = std::make_shared<FakeCapture>();
        fake->onStart = FakeCapture::OnStart::silent;
        CameraRecorder recorder(fake, CameraRecorder::Timeouts{});
        std::optional<bool> started;
        auto run = [&]() -> QCoro::Task<void> {
            auto starting = recorder.start();
            started = co_await starting;
        };
        auto task = run();
        QTRY_COMPARE(fake->recordings.load(), 1);
        QVERIFY(QFile::exists(fake->path));
        QElapsedTimer clock;
        clock.start();
        recorder.discard();
        QTRY_VERIFY(started.has_value());
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(*started, false);
        QVERIFY(!QFile::exists(fake->path));
        QVERIFY(!recorder.fileURL().has_value());
    }
};

QTEST_GUILESS_MAIN(TestCameraRecorder)
#include "tst_camerarecorder.moc"

#include "platform/mediajob.h"

#include "awaittask.h"

#include <QElapsedTimer>
#include <QTest>

#include <thread>

using namespace Qt::StringLiterals;

using namespace tolvane;

namespace {

// Work of `steps` steps of `stepMs` each, reporting progress after every step
// and stopping at the first check after a cancellation.
JobWork<int> steppedWork(int steps, int stepMs, std::atomic<int>* stepsDone = nullptr) {
    return [=](JobControl& control) -> JobResult<int> {
        for (int i = 0; i < steps; ++i) {
            if (control.isCancelled()) {
                return Unexpected(MediaError::cancelled());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
            control.setProgress(double(i + 1) / steps);
            if (stepsDone) {
                ++*stepsDone;
            }
        }
        return steps;
    };
}

} // namespace

class TestMediaJob : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void valueAndSampledProgressOnTheCallersThread() {
        QList<double> seen;
        bool offThread = false;
        QThread* const caller = QThread::currentThread();
        QElapsedTimer clock;
        clock.start();
        auto result = test::awaitTask(runMediaJob<int>(steppedWork(40, 25), [&](double p) {
            offThread = offThread || QThread::currentThread() != caller;
            seen.append(p);
        }));
        const double seconds = clock.elapsed() / 1000.0;
        QVERIFY(result);
        QCOMPARE(*result, 40);
        QVERIFY(!offThread);
        // About one second of work sampled every 0.25 s: a few values, each new
        // and none reported more often than the interval allows.
        QVERIFY2(seen.size() >= 2, qPrintable(QString::number(seen.size())));
        QVERIFY(seen.size() <= int(seconds / 0.25) + 1);
        for (qsizetype i = 1; i < seen.size(); ++i) {
            QVERIFY(seen[i] > seen[i - 1]);
        }
        QVERIFY(seen.last() <= 1.0);
    }

    void workShorterThanAnIntervalStillReportsItsEnd() {
        QList<double> seen;
        auto result = test::awaitTask(
            runMediaJob<int>(steppedWork(4, 1), [&seen](double p) { seen.append(p); }));
        QVERIFY(result);
        QCOMPARE(seen, QList<double>{1.0});
    }

    void cancellation() {
        // Cancelled while running: the work stops within one step.
        std::atomic<int> steps{0};
        auto cancel = CancelToken::create();
        QTimer::singleShot(120, cancel.get(), &CancelToken::cancel);
        QElapsedTimer clock;
        clock.start();
        auto running = test::awaitTask(runMediaJob<int>(steppedWork(100, 20, &steps), {}, cancel));
        QVERIFY(!running);
        QVERIFY(running.error().isCancelled());
        QVERIFY2(clock.elapsed() < 600, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(steps < 100);

        // Cancelled before it starts: the work never runs.
        std::atomic<int> never{0};
        auto early = CancelToken::create();
        early->cancel();
        auto before = test::awaitTask(runMediaJob<int>(steppedWork(3, 1, &never), {}, early));
        QVERIFY(!before);
        QVERIFY(before.error().isCancelled());
        QCOMPARE(never.load(), 0);
    }

    void errorsPassThrough() {
        const MediaError failure{u"VideoExporter"_s, 1, u"could not create export session"_s};
        auto result = test::awaitTask(runMediaJob<int>(
            [failure](JobControl&) -> JobResult<int> { return Unexpected(failure); }));
        QVERIFY(!result);
        QCOMPARE(result.error(), failure);
    }
};

QTEST_GUILESS_MAIN(TestMediaJob)
#include "tst_mediajob.moc"

// The main window with a long conversation: time from start to the first frame
// with 5,000 messages (every 25th with an image) against an empty one, and the
// frame time while scrolling through it. Run under a display (xvfb-run).

#include "app/viewhost.h"
#include "conversation/conversationstore.h"
#include "service/appsettings.h"
#include "studio/videostudiocontroller.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;
using namespace tolvane;

namespace {

QByteArray picture(int seed) {
    QImage image(480, 320, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(seed * 37 % 360, 160, 200));
    QPainter painter(&image);
    painter.drawText(image.rect(), Qt::AlignCenter, QString::number(seed));
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

const ServiceEndpoints nowhere = ServiceEndpoints::forRoot(u"http://127.0.0.1:9/"_s);

// Milliseconds from creating the store (which reads the file) to the first frame.
double startToFirstFrame(AppSettings& settings, const QString& directory) {
    QElapsedTimer timer;
    timer.start();
    ConversationStore store(settings, directory, nowhere);
    VideoStudioController studio;
    ViewHost views(settings, store, studio, nowhere, QSize(1200, 820));
    QQuickWindow* window = views.load();
    if (!window) {
        return -1;
    }
    bool swapped = false;
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [&swapped] { swapped = true; });
    while (!swapped) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    preferFfmpegMedia();
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(u"Basic"_s);
    QTemporaryDir home;
    QTemporaryDir emptyDir;
    QTemporaryDir bigDir;
    AppSettings settings(std::make_unique<QSettings>(home.filePath("s.ini"), QSettings::IniFormat));
    constexpr int count = 5000;
    {
        ConversationStore seed(settings, bigDir.path(), nowhere);
        for (int i = 0; i < count; ++i) {
            ChatMessage message;
            message.role = i % 2 ? ChatMessage::Role::coach : ChatMessage::Role::user;
            message.text =
                u"Message %1 with **some** markdown and a link https://www.example.com/%1 "
                u"and enough words to wrap over a couple of lines in the bubble."_s.arg(i);
            if (i % 25 == 0) {
                message.imageData = picture(i);
            }
            seed.appendMessage(message);
        }
    }

    // The first load compiles the views and warms font and glyph caches; it
    // counts for neither side. Then the two alternate, and medians are kept.
    startToFirstFrame(settings, emptyDir.path());
    QList<double> emptyRuns;
    QList<double> bigRuns;
    for (int run = 0; run < 5; ++run) {
        emptyRuns.append(startToFirstFrame(settings, emptyDir.path()));
        bigRuns.append(startToFirstFrame(settings, bigDir.path()));
    }
    const auto median = [](QList<double> runs) {
        std::sort(runs.begin(), runs.end());
        return runs.at(runs.size() / 2);
    };
    const double empty = median(emptyRuns);
    const double big = median(bigRuns);

    // Scrolling: move the list a screen's worth per frame from the end upwards.
    ConversationStore store(settings, bigDir.path(), nowhere);
    VideoStudioController studio;
    ViewHost views(settings, store, studio, nowhere, QSize(1200, 820));
    QQuickWindow* window = views.load();
    QObject* list = window ? window->findChild<QObject*>(u"messageList"_s) : nullptr;
    if (!list) {
        std::fprintf(stderr, "the message list did not load\n");
        return 1;
    }
    QTest::qWait(500);
    QList<double> frames;
    QElapsedTimer frameTimer;
    frameTimer.start();
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [&] {
        frames.append(static_cast<double>(frameTimer.nsecsElapsed()) / 1e6);
        frameTimer.restart();
        const double y = list->property("contentY").toDouble();
        list->setProperty("contentY", std::max(list->property("originY").toDouble(), y - 240));
        window->update();
    });
    window->update();
    while (frames.size() < 300) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    frames.removeFirst();
    std::sort(frames.begin(), frames.end());
    double sum = 0;
    for (double f : frames) {
        sum += f;
    }
    const double mean = sum / static_cast<double>(frames.size());
    const double p95 = frames.at(static_cast<qsizetype>(frames.size() * 0.95));

    std::printf("start to first frame (median of 5, after a warm-up run)\n");
    std::printf("start to first frame, empty conversation    %8.1f ms\n", empty);
    std::printf("start to first frame, %d messages         %8.1f ms   ratio %.2fx\n", count, big,
                big / empty);
    std::printf("scrolling %d messages: mean frame %6.2f ms, 95th percentile %6.2f ms (%.0f fps)\n",
                count, mean, p95, 1000.0 / mean);
    return 0;
}

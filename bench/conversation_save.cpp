// Measures what saving a large conversation costs the main thread: 2,000
// messages with 12 MB of images, saved after every change. Prints the main
// thread's time per save next to encoding the whole file from scratch, and the
// writer's throughput next to a plain write of the same bytes.

#include "conversation/conversationstore.h"
#include "conversation/transcriptfile.h"
#include "service/appsettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

using namespace tolvane;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    AppSettings settings(std::make_unique<QSettings>(dir.filePath("s.ini"), QSettings::IniFormat));

    constexpr int messageCount = 2000;
    constexpr int imageCount = 100;
    constexpr qsizetype imageBytes = 12 * 1024 * 1024 / imageCount;
    QRandomGenerator random(1);
    {
        // Seed the file the way a long conversation would have left it.
        ConversationStore seed(settings, dir.path(),
                               ServiceEndpoints::forRoot("http://127.0.0.1:1/"));
        for (int i = 0; i < messageCount; ++i) {
            ChatMessage message;
            message.role = i % 2 ? ChatMessage::Role::coach : ChatMessage::Role::user;
            message.text = QString("Message %1: ").arg(i) + QString(200, u'x');
            if (i % (messageCount / imageCount) == 0) {
                QByteArray image(imageBytes, Qt::Uninitialized);
                random.fillRange(reinterpret_cast<quint32*>(image.data()), imageBytes / 4);
                message.imageData = image;
            }
            seed.appendMessage(message);
        }
    }

    ConversationStore store(settings, dir.path(), ServiceEndpoints::forRoot("http://127.0.0.1:1/"));
    const QString path = store.filePath();
    constexpr int saves = 50;
    QElapsedTimer timer;
    timer.start();
    // The first save after loading has no encoded elements yet.
    store.appendVideo(QUrl::fromLocalFile("/tmp/x.mp4"));
    const double firstMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    store.flush();
    QCoreApplication::processEvents(); // the writer hands its encodings back
    timer.restart();
    for (int i = 0; i < saves; ++i) {
        store.appendVideo(QUrl::fromLocalFile("/tmp/x.mp4")); // one save each
    }
    const double storeMs = static_cast<double>(timer.nsecsElapsed()) / 1e6 / saves;
    timer.restart();
    store.flush();
    const double drainMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;

    // Encoding the whole conversation on every save, for comparison.
    timer.restart();
    QList<QByteArray> elements;
    for (const ChatMessage& message : store.messages()) {
        elements.append(transcript::encodeMessage(message));
    }
    const QByteArray whole = transcript::joinElements(elements);
    const double naiveMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;

    // The writer's cost for one file against a plain write of the same bytes,
    // alternating, best of three each.
    QList<TranscriptWriter::Element> ready;
    for (const QByteArray& element : std::as_const(elements)) {
        ready.append({element, std::nullopt, 0});
    }
    double writerMs = 1e9;
    double plainMs = 1e9;
    for (int round = 0; round < 3; ++round) {
        timer.restart();
        QFile plain(dir.filePath("plain.json"));
        plain.open(QIODevice::WriteOnly);
        plain.write(whole);
        plain.close();
        plainMs = std::min(plainMs, static_cast<double>(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        TranscriptWriter writer;
        writer.write(dir.filePath("writer.json"), ready);
        writer.flush();
        writerMs = std::min(writerMs, static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }

    const double mib = static_cast<double>(QFileInfo(path).size()) / (1024.0 * 1024.0);
    std::printf("conversation: %lld messages, file %.1f MiB\n",
                static_cast<long long>(store.messages().size()), mib);
    std::printf("main thread, first save     %8.3f ms\n", firstMs);
    std::printf("main thread per save        %8.3f ms (goal <= 5)\n", storeMs);
    std::printf("encode whole file per save  %8.3f ms   ratio %.1fx\n", naiveMs, naiveMs / storeMs);
    std::printf("writer drain after %d saves %8.1f ms\n", saves, drainMs);
    std::printf("writer one file             %8.1f ms = %.0f MiB/s\n", writerMs,
                mib / writerMs * 1000);
    std::printf("plain write same bytes      %8.1f ms = %.0f MiB/s   ratio %.2fx\n", plainMs,
                mib / plainMs * 1000, writerMs / plainMs);
    std::printf("(the writer replaces the file atomically and syncs it to disk; the plain write "
                "does not)\n");
    return 0;
}

#include "mediafixtures.h"
#include "platform/mediaasset.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvane;

class TestMediaAsset : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        const QStringList video{"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:d=2"};
        const QStringList audio{"-f", "lavfi", "-i", "sine=f=440:sample_rate=44100:d=2"};
        QVERIFY(test::makeMedia(path("av.mov"),
                                video + audio +
                                    QStringList{"-ac", "2", "-c:v", "libx264", "-preset",
                                                "ultrafast", "-c:a", "pcm_s16le"}));
        QVERIFY(test::makeMedia(path("video.mp4"),
                                video + QStringList{"-c:v", "libx264", "-preset", "ultrafast"}));
        QVERIFY(test::makeMedia(path("audio.m4a"), audio + QStringList{"-c:a", "aac"}));
        // A phone held upright stores a landscape picture plus a display matrix.
        QVERIFY(test::makeMedia(path("rotated.mp4"), {"-i", path("video.mp4"), "-c", "copy",
                                                      "-metadata:s:v:0", "rotate=90"}));
        QFile garbage(path("garbage.mov"));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(4096, '\x5a'));
    }

    void readsTracksOfAMovie() {
        auto info = MediaAsset(path("av.mov")).load();
        QVERIFY2(info, info ? "" : qPrintable(info.error().description));
        QCOMPARE(info->duration, 2.0);
        QCOMPARE(info->durationTime().value, 1200);
        QCOMPARE(info->videoTracks.size(), 1);
        const VideoTrackInfo& video = info->videoTracks.first();
        QCOMPARE(video.naturalSize, QSize(320, 240));
        QCOMPARE(video.uprightSize(), QSizeF(320, 240));
        QCOMPARE(video.frameRate, 25.0);
        QCOMPARE(info->audioTracks.size(), 1);
        QCOMPARE(info->audioTracks.first().sampleRate, 44100);
        QCOMPARE(info->audioTracks.first().channels, 2);
    }

    void singleKindFiles() {
        auto videoOnly = MediaAsset(path("video.mp4")).load();
        QVERIFY(videoOnly);
        QCOMPARE(videoOnly->videoTracks.size(), 1);
        QVERIFY(videoOnly->audioTracks.isEmpty());

        auto audioOnly = MediaAsset(path("audio.m4a")).load();
        QVERIFY(audioOnly);
        QVERIFY(audioOnly->videoTracks.isEmpty());
        QCOMPARE(audioOnly->audioTracks.size(), 1);
        QVERIFY(qAbs(audioOnly->duration - 2.0) < 0.05);
    }

    void rotatedClipReportsUprightSize() {
        auto info = MediaAsset(path("rotated.mp4")).load();
        QVERIFY(info);
        const VideoTrackInfo& video = info->videoTracks.first();
        QCOMPARE(video.naturalSize, QSize(320, 240));
        QCOMPARE(video.uprightSize(), QSizeF(240, 320));
        QVERIFY(!video.preferredTransform.isIdentity());
    }

    void unreadableFilesGiveErrors_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("garbage") << "garbage.mov";
        QTest::newRow("missing") << "missing.mov";
        QTest::newRow("directory") << ".";
    }
    void unreadableFilesGiveErrors() {
        QFETCH(QString, file);
        auto info = MediaAsset(path(file)).load();
        QVERIFY(!info);
        QCOMPARE(info.error().domain, MediaError::mediaDomain);
        QVERIFY(info.error().code != 0);
        QVERIFY(!info.error().description.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMediaAsset)
#include "tst_mediaasset.moc"

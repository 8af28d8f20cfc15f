#include "awaittask.h"
#include "mediafixtures.h"
#include "video/compositionbuilder.h"
#include "video/fonts.h"
#include "video/hookimage.h"
#include "video/videoeditmodel.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;
using Builder = VideoCompositionBuilder;

namespace {

QImage picture(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

EffectOptions noEffects() {
    EffectOptions options;
    options.fades = options.kenBurns = options.progressBar = options.jumpCuts = false;
    options.punchIn = options.karaokeHighlight = false;
    return options;
}

QFont heavyFace() {
    return Fonts::heavyFont(58);
}

CaptionChunk timedChunk(const QList<std::pair<QString, std::pair<double, double>>>& words) {
    CaptionChunk chunk;
    QList<CaptionChunk::Word> timed;
    QStringList texts;
    for (const auto& [text, span] : words) {
        timed.append({text, span.first, span.second});
        texts << text;
    }
    chunk.text = texts.join(QLatin1Char(' '));
    chunk.start = timed.first().start;
    chunk.end = timed.last().end;
    chunk.words = timed;
    return chunk;
}

} // namespace

class TestComposition : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(test::makeMedia(path("bursts.mp4"),
                                QStringList{"-f", "lavfi", "-i", "testsrc2=s=320x180:r=30:d=6"} +
                                    test::toneInput({{0.5, 1.8}, {3.6, 5.0}}, 6.0) +
                                    QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-c:a",
                                                "aac", "-shortest"}));
        QVERIFY(test::makeMedia(path("silent.wav"), test::toneInput({}, 1.0)));
    }

    void fadeAndContentEnd_data() {
        QTest::addColumn<double>("duration");
        QTest::addColumn<bool>("fades");
        QTest::addColumn<double>("fadeLength");
        QTest::addColumn<double>("contentEnd");
        QTest::newRow("10 s with fades") << 10.0 << true << 0.5 << 9.5;
        QTest::newRow("0.3 s with fades") << 0.3 << true << 0.075 << 0.225;
        QTest::newRow("very short keeps 0.1") << 0.12 << true << 0.03 << 0.1;
        QTest::newRow("no fades") << 10.0 << false << 0.5 << 10.0;
    }
    void fadeAndContentEnd() {
        QFETCH(double, duration);
        QFETCH(bool, fades);
        QFETCH(double, fadeLength);
        QFETCH(double, contentEnd);
        QCOMPARE(Builder::fadeLength(duration), fadeLength);
        QCOMPARE(Builder::contentEnd(duration, fades), contentEnd);
    }

    void fadeRampsOverTime() {
        const QList<Ramp> ramps = Builder::fadeRamps(10.0, true);
        const QList<QPair<double, double>> expected{{0.0, 0.0},  {0.25, 0.5}, {0.5, 1.0},
                                                    {5.0, 1.0},  {9.5, 1.0},  {9.75, 0.5},
                                                    {10.0, 0.0}, {11.0, 0.0}};
        for (const auto& [time, value] : expected) {
            QVERIFY2(qAbs(rampValue(ramps, time) - value) < 1e-9,
                     qPrintable(QString::number(time)));
        }
        QCOMPARE(rampValue(Builder::fadeRamps(10.0, false), 0.0), 1.0);
    }

    void cropTransform_data() {
        QTest::addColumn<QSizeF>("upright");
        QTest::addColumn<double>("center");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QRectF>("visible");
        const double landscape = 1920.0 / 1080.0;
        QTest::newRow("landscape centred")
            << QSizeF(1920, 1080) << 0.5 << 1.0 << landscape << QRectF(656.25, 0, 607.5, 1080);
        QTest::newRow("left edge")
            << QSizeF(1920, 1080) << 0.0 << 1.0 << landscape << QRectF(0, 0, 607.5, 1080);
        QTest::newRow("right edge is maxX")
            << QSizeF(1920, 1080) << 1.0 << 1.0 << landscape << QRectF(1312.5, 0, 607.5, 1080);
        QTest::newRow("zoom 2 centres vertically")
            << QSizeF(1920, 1080) << 0.5 << 2.0 << 2 * landscape
            << QRectF(960 - 151.875, 270, 303.75, 540);
        QTest::newRow("zoom below 1 counts as 1")
            << QSizeF(1920, 1080) << 0.5 << 0.5 << landscape << QRectF(656.25, 0, 607.5, 1080);
        QTest::newRow("narrow source sits left")
            << QSizeF(720, 1920) << 0.5 << 1.0 << 1.0 << QRectF(0, 0, 1080, 1920);
    }
    void cropTransform() {
        QFETCH(QSizeF, upright);
        QFETCH(double, center);
        QFETCH(double, zoom);
        QFETCH(double, scale);
        QFETCH(QRectF, visible);
        const CropTransform t = Builder::transform(upright, center, zoom);
        QCOMPARE(t.scale, scale);
        const QRectF rect = t.visibleRect();
        QVERIFY2(
            qAbs(rect.x() - visible.x()) < 1e-6 && qAbs(rect.y() - visible.y()) < 1e-6 &&
                qAbs(rect.width() - visible.width()) < 1e-6 &&
                qAbs(rect.height() - visible.height()) < 1e-6,
            qPrintable(
                u"%1,%2 %3x%4"_s.arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height())));
    }

    void punchInAndKenBurns() {
        const QSizeF source(1920, 1080);
        EffectOptions options = noEffects();
        options.punchIn = true;
        // One caption: steps every 2.5 s, base and punch alternating.
        QCOMPARE(Builder::punchStepTimes({1.0}, 6.0), (QList<double>{0.0, 2.5, 5.0}));
        QCOMPARE(Builder::punchStepTimes({}, 5.0), (QList<double>{0.0, 2.5}));
        QCOMPARE(Builder::punchStepTimes({0.4, 1.7, 3.0}, 6.0), (QList<double>{0.4, 1.7, 3.0}));
        const TransformTimeline steps =
            Builder::transformTimeline(source, 0.5, 1.2, options, {}, 6.0);
        const double base = Builder::transform(source, 0.5, 1.2).scale;
        const double punch = Builder::transform(source, 0.5, 1.2 * 1.15).scale;
        QCOMPARE(steps.at(1.0).scale, base);
        QCOMPARE(steps.at(2.5).scale, punch);
        QCOMPARE(steps.at(4.9).scale, punch);
        QCOMPARE(steps.at(5.0).scale, base);

        // Ken Burns: the picture zooms by 5 % over the whole short; half way,
        // the matrix is half way.
        options.punchIn = false;
        options.kenBurns = true;
        const TransformTimeline ramp =
            Builder::transformTimeline(source, 0.5, 1.0, options, {}, 8.0);
        const CropTransform start = Builder::transform(source, 0.5, 1.0);
        const CropTransform end = Builder::transform(source, 0.5, 1.05);
        QCOMPARE(ramp.at(0.0), start);
        QCOMPARE(ramp.at(8.0).scale, end.scale);
        const CropTransform middle = ramp.at(4.0);
        QCOMPARE(middle.scale, (start.scale + end.scale) / 2);
        QVERIFY(qAbs(middle.origin.x() * middle.scale -
                     (start.origin.x() * start.scale + end.origin.x() * end.scale) / 2) < 1e-9);
        // The visible window stays centred while it narrows.
        QVERIFY(qAbs(middle.visibleRect().center().x() - 960.0) < 1e-6);

        options.kenBurns = false;
        QCOMPARE(Builder::transformTimeline(source, 0.5, 1.0, options, {}, 8.0).at(7.0), start);
    }

    void captionLayers() {
        // A bubble picture of 1944 x 200 pixels is shown at 972 x 100 points,
        // 130 above the bottom edge; a bold one a third of the way up.
        QCOMPARE(Builder::captionFrame(QSize(1944, 200), CaptionStyle::bubble),
                 QRectF(54, 1920 - 130 - 100, 972, 100));
        const QRectF bold = Builder::captionFrame(QSize(1000, 300), CaptionStyle::tiktok);
        QCOMPARE(bold.width(), 500.0);
        QVERIFY(qAbs((1920 - bold.bottom()) - (1920 - 150) / 3.0) < 1e-9);

        Builder::CaptionPictures caption;
        caption.start = 2.0;
        caption.end = 4.0; // d = 2, fade-in 0.25
        caption.base = picture(400, 100, Qt::white);
        caption.wordImages = {picture(400, 100, Qt::red), picture(400, 100, Qt::green),
                              picture(400, 100, Qt::blue)};
        caption.wordStarts = {2.0, 2.5, 3.0};
        const auto layer = Builder::captionLayer(caption, CaptionStyle::tiktok, true);
        QVERIFY(layer);
        QCOMPARE(layer->images.size(), 3);
        QCOMPARE(layer->imageKeyTimes, (QList<double>{0.0, 0.25, 0.5, 1.0}));

        const QList<std::tuple<double, double, double, int>> expected{
            // time, opacity, scale, picture
            {1.99, 0.0, 1.0, -1}, {2.0, 0.0, 0.85, 0}, {2.125, 0.5, -1, 0},
            {2.15, 0.6, 1.03, 0}, {2.4, 1.0, 1.0, 0},  {2.5, 1.0, 1.0, 1},
            {3.3, 1.0, 1.0, 2},   {3.99, 1.0, 1.0, 2}, {4.0, 0.0, 1.0, -1}};
        for (const auto& [time, opacity, scale, index] : expected) {
            const OverlayLayer::State state = layer->at(time);
            const QString where = QString::number(time);
            QVERIFY2(qAbs(state.opacity - opacity) < 1e-9, qPrintable(where));
            if (scale > 0) {
                QVERIFY2(qAbs(state.rect.width() - layer->frame.width() * scale) < 1e-9,
                         qPrintable(where));
                QVERIFY2((state.rect.center() - layer->frame.center()).manhattanLength() < 1e-9,
                         qPrintable(where));
            }
            if (index >= 0) {
                QVERIFY2(state.imageIndex == index, qPrintable(where));
            } else {
                QVERIFY2(!state.isVisible(), qPrintable(where));
            }
        }

        // Without the highlight, or with fewer than two word pictures, the
        // plain caption shows.
        const auto plain = Builder::captionLayer(caption, CaptionStyle::tiktok, false);
        QCOMPARE(plain->images.size(), 1);
        QCOMPARE(plain->images.first().pixel(0, 0), caption.base.pixel(0, 0));
        caption.wordImages.resize(1);
        caption.wordStarts.resize(1);
        QCOMPARE(Builder::captionLayer(caption, CaptionStyle::tiktok, true)->images.size(), 1);
        caption.end = caption.start;
        QVERIFY(!Builder::captionLayer(caption, CaptionStyle::tiktok, true));
    }

    void captionLayersOfManyChunks() {
        // Drawn side by side, the layers still come out in the chunks' order,
        // each with one picture per word; empty or zero-length chunks are left out.
        QList<CaptionChunk> chunks;
        for (int i = 0; i < 12; ++i) {
            chunks.append({u"chunk %1 of twelve"_s.arg(i), i * 1.0, i * 1.0 + 0.9, std::nullopt});
        }
        chunks.insert(3, CaptionChunk{QString(), 2.95, 2.97, std::nullopt});
        chunks.insert(7, CaptionChunk{u"empty span"_s, 5.95, 5.95, std::nullopt});
        const QList<OverlayLayer> layers =
            Builder::captionLayers(chunks, CaptionStyle::tiktok, true);
        QCOMPARE(layers.size(), 12);
        for (int i = 0; i < 12; ++i) {
            QCOMPARE(layers[i].imageBegin, i * 1.0);
            QCOMPARE(layers[i].images.size(), 4);
            QVERIFY(layers[i].at(i * 1.0 + 0.5).isVisible());
        }
        QCOMPARE(Builder::captionLayers(chunks, CaptionStyle::bubble, false).first().images.size(),
                 1);
    }

    void hookAndProgressBar() {
        const auto hook = Builder::hookLayer(picture(2080, 400, Qt::black), 9.5);
        QVERIFY(hook);
        QCOMPARE(hook->frame, QRectF(20, 1920 - 800 - 200, 1040, 200));
        QCOMPARE(hook->opacity.keyTimes, (QList<double>{0.0, 0.25 / 9.5, 1.0}));
        QCOMPARE(hook->at(0.125).opacity, 0.5);
        QCOMPARE(hook->at(9.49).opacity, 1.0);
        QCOMPARE(hook->at(9.5).opacity, 0.0);
        QCOMPARE(hook->scale.duration, 0.3);
        // A short content: the fade-in is capped at half, the pop at half.
        const auto brief = Builder::hookLayer(picture(20, 20, Qt::black), 0.225);
        QCOMPARE(brief->opacity.keyTimes[1], 0.5);
        QCOMPARE(brief->scale.duration, 0.1125);
        QVERIFY(!Builder::hookLayer(QImage(), 9.5));
        QVERIFY(!Builder::hookLayer(picture(20, 20, Qt::black), 0.0));

        const auto bar = Builder::progressBarLayer(12.0);
        QVERIFY(bar);
        QCOMPARE(bar->color, QColor(10, 102, 194));
        QCOMPARE(bar->at(3.0).rect, QRectF(0, 1908, 270, 12));
        QCOMPARE(bar->at(12.0).rect.width(), 1080.0);
        QCOMPARE(bar->at(20.0).rect.width(), 1080.0);
        QVERIFY(!bar->at(0.0).isVisible());
        QVERIFY(!Builder::progressBarLayer(0.0));
    }

    void hookLines_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("colon in the middle")
            << "  Stop scrolling: read this " << QStringList{"STOP SCROLLING", "READ THIS"};
        QTest::newRow("30 characters split at the middle space")
            << "three habits of great founders" << QStringList{"THREE HABITS OF", "GREAT FOUNDERS"};
        QTest::newRow("equally close spaces: the earlier")
            << "aaaaaaaaaaaa x cccccccccccc" << QStringList{"AAAAAAAAAAAA", "X CCCCCCCCCCCC"};
        QTest::newRow("20 characters stay one line")
            << "twenty chars of hook" << QStringList{"TWENTY CHARS OF HOOK"};
        QTest::newRow("colon at the end") << "hello world:" << QStringList{"HELLO WORLD:"};
        QTest::newRow("empty half keeps the whole") << ":only tail" << QStringList{":ONLY TAIL"};
        QTest::newRow("long without spaces")
            << "abcdefghijklmnopqrstuvwxyz" << QStringList{"ABCDEFGHIJKLMNOPQRSTUVWXYZ"};
        QTest::newRow("blank") << " \n " << QStringList{};
    }
    void hookLines() {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(HookImage::lines(text), lines);
    }

    void hookDrawing() {
        const QFont face = heavyFace();
        QVERIFY(QImage().isNull());
        QVERIFY(HookImage::render(u"  "_s, 1040, face).isNull());

        // The widest line fills the banner less its paddings, unless that needs
        // a size beyond 30...96 points (glyph advances scale almost linearly).
        const QStringList lines{u"THREE HABITS OF GREAT"_s, u"READ THIS"_s};
        const double size = HookImage::fontSize(lines, 1040, face);
        QFont sized = face;
        sized.setPointSizeF(size);
        QVERIFY(qAbs(QFontMetricsF(sized, HookImage::measuringDevice())
                         .horizontalAdvance(lines.first()) -
                     (1040 - 140)) < 9.0);
        QCOMPARE(HookImage::fontSize({u"I"_s}, 1040, face), 96.0);
        QCOMPARE(HookImage::fontSize({QString(60, QLatin1Char('W'))}, 1040, face), 30.0);

        const QImage image = HookImage::render(u"Stop scrolling: read this"_s, 1040, face);
        QCOMPARE(image.width(), 2080);
        QCOMPARE(image.format(), QImage::Format_ARGB32_Premultiplied);
        // Transparent corners, a navy box in the middle with white letters.
        QCOMPARE(qAlpha(image.pixel(2, 2)), 0);
        QCOMPARE(qAlpha(image.pixel(image.width() - 3, image.height() - 3)), 0);
        int navy = 0;
        int white = 0;
        for (int x = 600; x < 1500; x += 3) {
            for (int y = 0; y < image.height(); y += 3) {
                const QRgb p = image.pixel(x, y);
                navy +=
                    qAbs(qRed(p) - 26) < 3 && qAbs(qGreen(p) - 41) < 3 && qAbs(qBlue(p) - 59) < 3;
                white += qRed(p) > 240 && qGreen(p) > 240 && qBlue(p) > 240;
            }
        }
        QVERIFY(navy > 1000);
        QVERIFY(white > 100);
        // Two lines are taller than one.
        QVERIFY(image.height() > HookImage::render(u"Read this"_s, 1040, face).height());
    }

    void timelineFromTheFile() {
        const MediaAsset asset(path("bursts.mp4"));
        auto whole = Builder::timeline(asset, MediaTimeRange::fromSeconds(1.0, 5.5), false);
        QVERIFY(whole);
        QCOMPARE(whole->ranges.size(), 1);
        QCOMPARE(whole->ranges.first(), (KeptRange{1.0, 5.5, 0.0}));
        QVERIFY(!whole->cut);

        // A trim past the end is cut to the file.
        auto clipped = Builder::timeline(asset, MediaTimeRange::fromSeconds(4.0, 60.0), false);
        QVERIFY(clipped);
        QVERIFY(qAbs(clipped->duration - 2.0) < 0.05);

        // Jump cuts keep the two bursts, back to back.
        auto cut = Builder::timeline(asset, MediaTimeRange::fromSeconds(0.0, 6.0), true);
        QVERIFY(cut);
        QVERIFY(cut->cut);
        QCOMPARE(cut->ranges.size(), 2);
        QVERIFY(qAbs(cut->ranges[0].sourceStart - 0.38) < 0.06);
        QVERIFY(qAbs(cut->ranges[1].sourceStart - 3.48) < 0.06);
        QCOMPARE(cut->ranges[1].outputStart, cut->ranges[0].duration());
        QCOMPARE(cut->duration, cut->ranges[0].duration() + cut->ranges[1].duration());

        auto outside = Builder::timeline(asset, MediaTimeRange::fromSeconds(30.0, 40.0), false);
        QVERIFY(!outside);
        QCOMPARE(outside.error().domain, Builder::errorDomain);
        QCOMPARE(outside.error().code, int(Builder::emptyRange));

        auto noVideo = Builder::timeline(MediaAsset(path("silent.wav")),
                                         MediaTimeRange::fromSeconds(0, 1), false);
        QVERIFY(!noVideo);
        QCOMPARE(noVideo.error().description, u"recording has no video track"_s);
    }

    void composeCollectsLayers() {
        const MediaAsset asset(path("bursts.mp4"));
        auto timeline = Builder::timeline(asset, MediaTimeRange::fromSeconds(0.0, 6.0), false);
        QVERIFY(timeline);
        EffectOptions options = noEffects();
        const Composition bare =
            Builder::compose(asset, *timeline, {}, {}, QImage(), options, 0.5, 1.0);
        QVERIFY(bare.overlays.isEmpty());
        QVERIFY(bare.opacityRamps.isEmpty());
        QVERIFY(bare.hasAudio);
        QCOMPARE(bare.frameCount(), 180);

        options.fades = options.progressBar = true;
        Builder::CaptionPictures caption{1.0, 2.0, picture(200, 80, Qt::white), {}, {}};
        const Composition full = Builder::compose(
            asset, *timeline, {*Builder::captionLayer(caption, CaptionStyle::tiktok, false)},
            {caption.start}, picture(400, 100, Qt::black), options, 0.5, 1.0);
        QCOMPARE(full.overlays.size(), 3);
        QCOMPARE(full.overlays[0].kind, OverlayLayer::Kind::caption);
        QCOMPARE(full.overlays[1].kind, OverlayLayer::Kind::hook);
        QCOMPARE(full.overlays[1].opacity.duration, 5.5); // the hook lasts to contentEnd
        QCOMPARE(full.overlays[2].kind, OverlayLayer::Kind::progressBar);
        QCOMPARE(full.volumeRamps, full.opacityRamps);
    }

    void overlayChunksFollowTheCut() {
        // Kept 1...2 and 4...5 of the source, trimmed from 0.5; captions end by 1.5.
        Builder::Timeline timeline;
        timeline.ranges = {{1.0, 2.0, 0.0}, {4.0, 5.0, 1.0}};
        timeline.duration = 2.0;
        timeline.cut = true;
        timeline.trimStart = 0.5;
        const QList<CaptionChunk> timed{
            timedChunk({{"first", {0.6, 0.9}}, {"words", {0.9, 1.2}}}), // source 1.1...1.7
            timedChunk({{"lost", {2.0, 2.5}}}),                         // inside the pause
            timedChunk({{"late", {3.7, 4.0}}, {"words", {4.0, 4.4}}}),  // source 4.2...4.9
        };
        const QList<CaptionChunk> shown =
            Builder::overlayChunks(timed, QString(), timeline, 1.5, CaptionStyle::tiktok);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].text, u"first words"_s);
        QVERIFY(qAbs(shown[0].start - 0.1) < 1e-9 && qAbs(shown[0].end - 0.7) < 1e-9);
        QVERIFY(qAbs(shown[1].start - 1.2) < 1e-9);
        QCOMPARE(shown[1].end, 1.5);

        // Without cuts the times stay; without timed chunks the text spreads
        // evenly up to contentEnd.
        timeline.cut = false;
        QCOMPARE(
            Builder::overlayChunks(timed, QString(), timeline, 10.0, CaptionStyle::tiktok).size(),
            3);
        const QList<CaptionChunk> even = Builder::overlayChunks(
            std::nullopt, u"one two three four five six seven eight nine ten"_s, timeline, 9.5,
            CaptionStyle::tiktok);
        QVERIFY(even.size() >= 3);
        QCOMPARE(even.first().start, 0.0);
        QVERIFY(qAbs(even.last().end - 9.5) < 1e-9);
    }

    void editModelBuildsWithPictures() {
        RecordingResult result;
        result.cameraURL = QUrl::fromLocalFile(path("bursts.mp4"));
        result.duration = 6.0;
        VideoEditModel model(result);
        model.setEffectJumpCuts(false);
        model.setEffectKenBurns(false);
        model.setCaptionText(u"  one two three four five six seven eight nine  "_s);
        model.setHookText(u"Stop: read this"_s);
        auto built = test::awaitTask(model.buildComposition());
        QVERIFY2(built, qPrintable(built ? QString() : built.error().description));
        QCOMPARE(built->duration, 6.0);
        qsizetype captions = 0;
        qsizetype hooks = 0;
        for (const OverlayLayer& layer : built->overlays) {
            if (layer.kind == OverlayLayer::Kind::caption) {
                ++captions;
                // Highlighting: one picture per word, kept at the size shown.
                QVERIFY(layer.images.size() >= 2);
                QCOMPARE(layer.images.first().size(), layer.frame.size().toSize());
                QVERIFY(layer.opacity.begin + layer.opacity.duration <= 5.5 + 1e-9);
            }
            hooks += layer.kind == OverlayLayer::Kind::hook;
        }
        QVERIFY(captions >= 3);
        QCOMPARE(hooks, 1);
        // Punch-in steps at the caption starts.
        QCOMPARE(built->transform.mode, TransformTimeline::Mode::steps);
        QCOMPARE(built->transform.keys.size(), captions);

        // Captions off and the hook switched off: no caption, no hook.
        model.setCaptionsEnabled(false);
        model.setEffectHook(false);
        auto plain = test::awaitTask(model.buildComposition());
        QVERIFY(plain);
        for (const OverlayLayer& layer : plain->overlays) {
            QCOMPARE(layer.kind, OverlayLayer::Kind::progressBar);
        }

        // A cancelled build ends as cancelled.
        auto cancel = CancelToken::create();
        cancel->cancel();
        auto cancelled = test::awaitTask(model.buildComposition(cancel));
        QVERIFY(!cancelled);
        QVERIFY(cancelled.error().isCancelled());
    }
};

QTEST_MAIN(TestComposition)
#include "tst_composition.moc"

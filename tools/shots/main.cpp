// Renders the main window in the states worth looking at, light and dark, into
// PNG files: the repository's screenshot tool. With --check it only loads every
// state and fails on any QML warning (the views' smoke test).
//
// usage: tolvane-shots OUT_DIR | --check | --help

#include "app/viewhost.h"
#include "conversation/conversationstore.h"
#include "scriptedhttpserver.h"
#include "service/appsettings.h"
#include "shellscenes.h"
#include "studio/videostudiocontroller.h"
#include "video/videoeditmodel.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace tolvane;

namespace {

int warnings = 0;

void countWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    // A headless machine has no session bus or sound server; that is not the
    // views' fault.
    if (type != QtDebugMsg && type != QtInfoMsg && !message.contains(u"XDG_RUNTIME_DIR"_s) &&
        !message.startsWith(u"PulseAudioService"_s)) {
        ++warnings;
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
}

QByteArray picture(const QString& title, const QColor& color, QSize size = {480, 600}) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(image.rect(), color);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(size.width() / 12);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(image.rect().adjusted(30, 30, -30, -30), Qt::AlignLeft | Qt::TextWordWrap,
                     title);
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// List delegates are items without an object parent; look through the item tree.
QQuickItem* findItem(QQuickItem* item, const QString& name) {
    if (item->objectName() == name) {
        return item;
    }
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = findItem(child, name)) {
            return found;
        }
    }
    return nullptr;
}

ChatMessage message(ChatMessage::Role role, const QString& text) {
    ChatMessage m;
    m.role = role;
    m.text = text;
    return m;
}

void fillConversation(ConversationStore& store, const QString& root) {
    store.appendMessage(
        message(ChatMessage::Role::user, u"Draft a post about shipping our video editor"_s));
    store.appendMessage(message(ChatMessage::Role::coach, u"Reading your notes…"_s));
    ChatMessage draft = message(
        ChatMessage::Role::coach,
        u"Here's a draft in the **story** style — *short*, with a clear ask. Keep `#BuildInPublic` "
        u"if you like it, or see https://www.example.com/guide for ideas.\n\nGo here to edit the "
        u"post: "_s +
            root + u"edit/demo1"_s);
    draft.actions = {
        {ChatAction::Kind::editDraft, u"Edit post"_s, QUrl(root + u"edit/demo1"_s), u"demo1"_s}};
    draft.debug = TurnDebug{u"tolvane-rules-1"_s, 812, 164, 2048, 0, 0.0123};
    store.appendMessage(draft);
    store.appendMessage(message(ChatMessage::Role::user, u"/carousel"_s));
    ChatMessage gallery = message(ChatMessage::Role::coach, QString());
    gallery.gallery = {picture(u"Ship small"_s, QColor(0x10, 0x18, 0x30)),
                       picture(u"Show the work"_s, QColor(0x0A, 0x66, 0xC2)),
                       picture(u"Ask one question"_s, QColor(0x2A, 0x6F, 0x4E))};
    store.appendMessage(gallery);
    ChatMessage single = message(ChatMessage::Role::coach, u"Your week at a glance:"_s);
    single.imageData = picture(u"3 posts · 2 scheduled"_s, QColor(0x5B, 0x3F, 0xA8), {640, 360});
    store.appendMessage(single);
    ChatMessage pending = message(ChatMessage::Role::coach, QString());
    pending.isPending = true;
    store.appendMessage(pending);
}

// The recording scenes: the composer's video menu at the smallest window and
// its error row, and the recording window on virtual sources, counting down
// and recording. Gives the window to draw; null when the scene did not load.
QQuickWindow* showRecordingScene(const QString& sheet, AppSettings& settings,
                                 VideoStudioController& studio, QQuickWindow* window) {
    if (sheet == "record-error"_L1) {
        studio.setPhase(VideoStudioController::Phase::error(
            u"Couldn't open the camera or microphone. Check that they are connected and not "
            u"used by another app."_s));
        return window;
    }
    if (sheet == "record-menu"_L1) {
        window->resize(720, 560);
        settings.setVideoBackgroundImagePath(QDir::temp().filePath(u"office window.jpg"_s));
        settings.setVideoBackgroundPreset(u"sunset"_s);
        settings.setVideoBackgroundMode(u"preset"_s);
        auto* menu = window->findChild<QObject*>(u"videoMenu"_s);
        if (!menu) {
            return nullptr;
        }
        QTest::qWait(200);
        QMetaObject::invokeMethod(menu, "open");
        QTest::qWait(400);
        // Open "Background" the way a click does.
        QQuickItem* row = nullptr;
        QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, row), Q_ARG(int, 5));
        if (!row) {
            return nullptr;
        }
        const QPointF centre = row->mapToScene(QPointF(row->width() / 2, row->height() / 2));
        QTest::mouseClick(window, Qt::LeftButton, {}, centre.toPoint());
        return window;
    }
    qputenv("TOLVANE_CAMERA", "lavfi:testsrc2=size=640x480:rate=30");
    qputenv("TOLVANE_MICROPHONE", "lavfi:sine=frequency=440");
    auto* hud = window->findChild<QQuickWindow*>(u"recordingHud"_s);
    if (!hud) {
        return nullptr;
    }
    studio.recordCamera(0);
    const auto wanted = sheet == "record-hud-countdown"_L1
                            ? VideoStudioController::PhaseCase::CountingDown
                            : VideoStudioController::PhaseCase::Recording;
    QElapsedTimer waited;
    waited.start();
    while (studio.phaseCase() != wanted && waited.elapsed() < 10000) {
        QTest::qWait(20);
    }
    return studio.phaseCase() == wanted ? hud : nullptr;
}
} // namespace

int main(int argc, char** argv) {
    preferFfmpegMedia();
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(u"Basic"_s);
    const QStringList args = app.arguments().mid(1);
    const char* usage = "usage: tolvane-shots OUT_DIR\n"
                        "       tolvane-shots --check\n"
                        "       tolvane-shots --help\n"
                        "\n"
                        "Draws every scene of the app's windows, light and dark, into OUT_DIR as\n"
                        "SCENE-light.png and SCENE-dark.png (the folder is created if missing).\n"
                        "\n"
                        "  --check  load every scene without writing pictures and fail on any QML\n"
                        "           warning or failed check (the views' smoke test)\n"
                        "  --help   show this text\n";
    if (args.size() == 1 && (args.first() == "--help"_L1 || args.first() == "-h"_L1)) {
        std::fputs(usage, stdout);
        return 0;
    }
    // An option it does not know is a mistake, not a folder name.
    if (args.size() != 1 || (args.first().startsWith(u'-') && args.first() != "--check"_L1)) {
        if (args.size() == 1) {
            std::fprintf(stderr, "tolvane-shots: unknown option %s\n", qPrintable(args.first()));
        }
        std::fputs(usage, stderr);
        return 2;
    }
    const bool check = args.first() == "--check"_L1;
    const QString out = check ? QString() : args.first();
    if (!check) {
        QDir().mkpath(out);
    }
    qInstallMessageHandler(countWarnings);

    QTemporaryDir home;
    // The draft preview comes from a loopback stand-in for the service.
    test::ScriptedHttpServer service;
    service.on("/api/draft/demo1/preview.png",
               test::Script::respond(200,
                                     picture(u"Your Name\n\nShipping beats polishing."_s,
                                             QColor(0x26, 0x27, 0x2B), {760, 420}),
                                     "image/png"));
    service.on(
        "/api/profile",
        test::Script::respond(
            200, R"({"name":"Ada Lovelace","headline":"Founder at Example Labs","handle":"ada"})"));
    service.on(
        "/api/draft/demo1",
        test::Script::respond(
            200,
            R"({"text":"Shipping beats polishing.\n\nThree things I learned putting a video editor out in public: ship small, show the work, ask one question.\n\nWhat would you add?","platform":"linkedin","status":"draft"})"));
    const QByteArray call =
        R"({"id":7,"created_at":"2026-12-06T09:30:00Z","user_id":1,"intent":"draft","label":"write post","provider":"local","model":"tolvane-rules-1","latency_ms":42,"stop_reason":"end","error":"","input_tokens":812,"output_tokens":164,"cache_read_tokens":2048,"reasoning_tokens":0})";
    // Scenes that need a failing or empty service say so here.
    QString serviceMode;
    service.setHandler([&serviceMode, call](const test::RecordedRequest& request) {
        if (request.path == "/api/debug/llm") {
            if (serviceMode == "log-error"_L1) {
                return test::Script::respond(503, R"({"error":"the log store is offline"})");
            }
            return test::Script::respond(200,
                                         serviceMode == "log-empty"_L1 ? "[]" : "[" + call + "]");
        }
        if (request.path == "/api/contact") {
            return serviceMode == "support-error"_L1 ? test::Script::respond(502, "{}")
                                                     : test::Script::respond(200, "{}");
        }
        return test::Script::respond(404, R"({"error":"not found"})");
    });
    service.on(
        "/api/debug/llm/7",
        test::Script::respond(
            200,
            R"({"id":7,"created_at":"2026-12-06T09:30:00Z","model":"tolvane-rules-1","provider":"local","intent":"draft","label":"write post","latency_ms":42,"stop_reason":"end","error":"","request":{"system":"You are a content coach. Write in the user's own voice, keep the commands it can run short, and when the user asks to hear it again, repeat the draft without changes. Never invent numbers.","tools":["save_draft"],"messages":[{"role":"user","text":"Draft a post about shipping","image":{"mime":"image/png","bytes":2048}}]},"response":{"stop_reason":"end","text":"Here's a draft in the story style.","tool_calls":[{"name":"save_draft","arguments":"{\"style\":\"story\"}"}]}})"));
    service.on("/api/schedule/demo1",
               test::Script::respond(200, R"({"at":"2026-12-08T08:30:00Z","mode":"queued"})"));
    const ServiceEndpoints endpoints = ServiceEndpoints::forRoot(service.root());
    AppSettings settings(std::make_unique<QSettings>(home.filePath("s.ini"), QSettings::IniFormat));

    struct Scene {
        QString name;
        bool conversation;
        QString draft;
        bool banners;
        bool preview;
        QString sheet; // "canvas", "settings", "support", "log" or empty
        QSize size{1200, 820};
    };
    const QSize smallest(720, 560);
    const QSize large(1600, 1000);
    const QList<Scene> scenes{
        {u"empty"_s, false, {}, false, false, {}},
        {u"conversation"_s, true, {}, false, false, {}},
        {u"slash-menu"_s, true, u"/"_s, false, false, {}},
        {u"banners"_s, true, {}, true, false, {}},
        {u"image-preview"_s, true, {}, false, true, {}},
        {u"canvas"_s, true, {}, false, false, u"canvas"_s},
        {u"settings"_s, true, {}, false, false, u"settings"_s},
        {u"support"_s, true, {}, false, false, u"support"_s},
        {u"debug-log"_s, true, {}, false, false, u"log"_s},
        {u"canvas-scheduled"_s, true, {}, false, false, u"canvas-scheduled"_s},
        {u"canvas-error"_s, true, {}, false, false, u"canvas-error"_s},
        {u"support-sent"_s, true, {}, false, false, u"support-sent"_s},
        {u"settings-local-server"_s, true, {}, false, false, u"settings-local-server"_s},
        {u"debug-log-empty"_s, true, {}, false, false, u"log-empty"_s},
        {u"debug-log-error"_s, true, {}, false, false, u"log-error"_s},
        {u"support-form"_s, true, {}, false, false, u"support-form"_s},
        {u"support-error"_s, true, {}, false, false, u"support-error"_s},
        {u"canvas-calendar"_s, true, {}, false, false, u"canvas-calendar"_s},
        {u"video"_s, false, {}, false, false, u"video"_s},
        {u"video-playing"_s, false, {}, false, false, u"video-playing"_s},
        {u"studio-empty"_s, false, {}, false, false, u"studio-empty"_s},
        {u"studio-preparing"_s, false, {}, false, false, u"studio-preparing"_s},
        {u"studio-editor"_s, false, {}, false, false, u"studio-editor"_s},
        {u"studio-editor-small"_s, false, {}, false, false, u"studio-editor-small"_s},
        {u"studio-editor-large"_s, false, {}, false, false, u"studio-editor-large"_s},
        {u"studio-exporting"_s, false, {}, false, false, u"studio-exporting"_s},
        {u"studio-uploading"_s, false, {}, false, false, u"studio-uploading"_s},
        {u"record-menu"_s, true, {}, false, false, u"record-menu"_s},
        {u"record-error"_s, true, {}, false, false, u"record-error"_s},
        {u"record-hud-countdown"_s, false, {}, false, false, u"record-hud-countdown"_s},
        {u"record-hud"_s, false, {}, false, false, u"record-hud"_s},
        {u"canvas-smallest"_s, true, {}, false, false, u"canvas"_s, smallest},
        {u"canvas-large"_s, true, {}, false, false, u"canvas"_s, large},
        {u"conversation-smallest"_s, true, {}, false, false, {}, smallest},
        {u"image-preview-smallest"_s, true, {}, false, true, {}, smallest},
        {u"debug-log-smallest"_s, true, {}, false, false, u"log"_s, smallest},
        {u"support-smallest"_s, true, {}, false, false, u"support-form"_s, smallest},
        {u"edit-menu"_s, true, {}, false, false, u"shell-edit-menu"_s, smallest},
        {u"forget-me"_s, true, {}, false, false, u"shell-forget-me"_s, smallest},
        {u"about"_s, true, {}, false, false, u"shell-about"_s, smallest},
        {u"focus-ring"_s, true, {}, false, false, u"shell-focus"_s, smallest},
        {u"canvas-no-headline"_s, true, {}, false, false, u"shell-canvas-plain"_s},
        {u"tooltip"_s, true, {}, false, false, u"shell-tooltip"_s, smallest},
        {u"composer-long"_s, true, {}, false, false, u"shell-composer"_s, smallest},
        {u"preview-loading"_s, false, {}, false, false, u"shell-preview-loading"_s, smallest},
        {u"dictation"_s, true, {}, false, false, u"dictation"_s},
        {u"dictation-small"_s, true, {}, false, false, u"dictation-small"_s},
        {u"dictation-error"_s, true, u"Draft a post about"_s, false, false, u"dictation-error"_s},
    };
    // A short clip for the inline player, made the way tests make media.
    const QString clip = home.filePath(u"short take #1.mp4"_s);
    QProcess::execute(u"ffmpeg"_s,
                      {u"-v"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                       u"testsrc2=size=360x640:rate=30:duration=3"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                       u"sine=frequency=440:duration=3"_s, u"-c:v"_s, u"libx264"_s, u"-pix_fmt"_s,
                       u"yuv420p"_s, u"-c:a"_s, u"aac"_s, u"-shortest"_s, clip});

    // A landscape take for the editor, framed to 9:16 in its preview.
    const QString take = home.filePath(u"take.mp4"_s);
    QProcess::execute(u"ffmpeg"_s,
                      {u"-v"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                       u"testsrc2=size=1280x720:rate=30:duration=6"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                       u"sine=frequency=440:duration=6"_s, u"-c:v"_s, u"libx264"_s, u"-pix_fmt"_s,
                       u"yuv420p"_s, u"-c:a"_s, u"aac"_s, u"-shortest"_s, take});

    int failures = 0;
    for (const Palette::Scheme scheme : {Palette::Scheme::light, Palette::Scheme::dark}) {
        for (const Scene& scene : scenes) {
            QTemporaryDir data;
            ConversationStore store(settings, data.path(), endpoints);
            if (scene.conversation) {
                fillConversation(store, service.root());
            }
            if (scene.sheet.startsWith("video"_L1)) {
                ChatMessage video = message(ChatMessage::Role::user, u"Recorded a short video"_s);
                video.videoURL = QUrl::fromLocalFile(clip);
                store.appendMessage(video);
                store.appendMessage(message(
                    ChatMessage::Role::coach,
                    u"Nice take. The hook lands in the first two seconds — post it as is."_s));
            }
            VideoStudioController studio;
            ViewHost views(settings, store, studio, endpoints, scene.size);
            views.palette.force(scheme);
            if (scene.banners) {
                views.root.setUpdate(u"1.4.0"_s, u"https://tolvane.example.com/download"_s,
                                     u"Faster captions and a new carousel theme."_s);
                views.root.setServerBanner(
                    u"Port 20511 is taken by another process: nginx (pid 812). Quit it or change HTTP_ADDR."_s);
                views.root.setSaveFailure(u"No space left on device"_s);
                // A file that is not a picture is refused with a line under the field.
                QFile notPicture(home.filePath(u"notes.png"_s));
                if (notPicture.open(QIODevice::WriteOnly)) {
                    notPicture.write("plain text, not a picture");
                    notPicture.close();
                }
                views.chat.attachFile(QUrl::fromLocalFile(notPicture.fileName()));
            }
            QQuickWindow* window = views.load();
            if (!window) {
                ++failures;
                continue;
            }
            // The views bind the host's own objects, not copies QML made.
            if (window->color() != views.palette.appBackground()) {
                std::fprintf(stderr, "%s: the window does not follow the host's palette\n",
                             qPrintable(scene.name));
                ++failures;
            }
            views.chat.setDraft(scene.draft);
            // Typing goes to the message field from the start.
            if (scene.sheet.isEmpty()) {
                const QQuickItem* focused = window->activeFocusItem();
                if (!focused || focused->property("placeholderText").toString() !=
                                    u"Message Tolvane…  (type / for commands)"_s) {
                    std::fprintf(stderr, "%s: the message field does not have the focus\n",
                                 qPrintable(scene.name));
                    ++failures;
                }
                // Tab leaves the field and puts nothing in the draft; the
                // scene is drawn with the focus back in the field.
                if (check && scene.name == "empty"_L1) {
                    QTest::keyClick(window, Qt::Key_Tab);
                    if (window->activeFocusItem() == focused || !views.chat.draft().isEmpty()) {
                        std::fputs("Tab does not leave the message field\n", stderr);
                        ++failures;
                    }
                }
            }
            serviceMode = scene.sheet;
            // Studio scenes show the studio window instead of the main one.
            QQuickWindow* shown = window;
            if (scene.sheet.startsWith("studio"_L1)) {
                shown = window->findChild<QQuickWindow*>(u"studioWindow"_s);
                if (!shown) {
                    std::fputs("the studio window did not load\n", stderr);
                    ++failures;
                    continue;
                }
                if (scene.sheet == "studio-preparing"_L1) {
                    studio.setPhase(VideoStudioController::Phase::preparing(0.45));
                } else if (scene.sheet.startsWith("studio-editor"_L1) ||
                           scene.sheet == "studio-exporting"_L1 ||
                           scene.sheet == "studio-uploading"_L1) {
                    RecordingResult result;
                    result.cameraURL = QUrl::fromLocalFile(take);
                    result.duration = 6;
                    studio.openRecording(result);
                    VideoEditModel* model = studio.editModel();
                    model->setCaptionText(u"Ship small and show the work every single week"_s);
                    model->setHookText(u"The mistake: killing your posts"_s);
                    model->setTrimStart(0.4);
                    model->setTrimEnd(5.2);
                    model->setCropCenterX(0.42);
                    if (scene.sheet == "studio-editor-small"_L1) {
                        shown->resize(860, 640);
                        model->setCaptionStyle(CaptionStyle::bubble);
                    } else if (scene.sheet == "studio-editor-large"_L1) {
                        shown->resize(1500, 960);
                        model->setCropZoom(1.6);
                    }
                    shown->show();
                    // Play to a moment with a caption, then hold the picture.
                    QTest::qWait(1600);
                    if (views.editor.isPlaying()) {
                        views.editor.togglePlayback();
                    }
                    if (scene.sheet == "studio-exporting"_L1) {
                        studio.setPhase(VideoStudioController::Phase::exporting());
                    } else if (scene.sheet == "studio-uploading"_L1) {
                        studio.setPhase(VideoStudioController::Phase::uploading(0.6));
                    }
                } else {
                    shown->show();
                }
            }
            if (scene.sheet.startsWith("record"_L1)) {
                shown = showRecordingScene(scene.sheet, settings, studio, window);
                if (!shown) {
                    std::fprintf(stderr, "%s did not load\n", qPrintable(scene.name));
                    ++failures;
                    continue;
                }
            }
            if (scene.sheet.startsWith("dictation"_L1)) {
                // A voice that rises and falls, or a microphone that is not there.
                views.dictation.recorder().setMicrophone(
                    scene.sheet == "dictation-error"_L1
                        ? u"alsa:tolvane-no-such-device"_s
                        : u"lavfi:aevalsrc=0.5*sin(2*PI*220*t)*(0.5+0.5*sin(2*PI*0.7*t)):s=16000"_s);
                if (scene.sheet == "dictation-small"_L1) {
                    window->resize(720, 560);
                }
                views.dictation.toggle();
            }
            if (scene.sheet == "canvas"_L1) {
                views.canvas.setToken(u"demo1"_s);
            } else if (scene.sheet == "canvas-scheduled"_L1) {
                views.canvas.setToken(u"demo1"_s);
                views.canvas.setCloseDelay(std::chrono::milliseconds(60000));
                views.canvas.setScheduleNow(false);
                // Posting is refused while the draft loads.
                QElapsedTimer loading;
                loading.start();
                while (views.canvas.loading() && loading.elapsed() < 5000) {
                    QTest::qWait(50);
                }
                views.canvas.submit();
            } else if (scene.sheet == "canvas-calendar"_L1) {
                views.canvas.setToken(u"demo1"_s);
                views.canvas.setScheduleNow(false);
                QTest::qWait(600);
                if (QQuickItem* day = findItem(window->contentItem(), u"dayButton"_s)) {
                    QMetaObject::invokeMethod(day, "clicked");
                } else {
                    std::fputs("the day button did not load\n", stderr);
                    ++failures;
                }
            } else if (scene.sheet == "canvas-error"_L1) {
                views.canvas.setToken(u"no-such-draft"_s);
            } else if (scene.sheet == "log-empty"_L1 || scene.sheet == "log-error"_L1) {
                views.chat.setProperty("showDebugLog", true);
            } else if (scene.sheet == "support-form"_L1) {
                views.chat.setProperty("showSupport", true);
                QTest::qWait(200);
                views.support.setEmail(u"ada@example.com"_s);
                views.support.setMessage(u"The preview card does not load after I post."_s);
            } else if (scene.sheet == "support-error"_L1) {
                views.chat.setProperty("showSupport", true);
                QTest::qWait(200);
                views.support.setEmail(u"ada@example.com"_s);
                views.support.setMessage(u"The preview does not load."_s);
                views.support.send();
            } else if (scene.sheet == "support-sent"_L1) {
                views.chat.setProperty("showSupport", true);
                QTest::qWait(200);
                views.support.setEmail(u"ada@example.com"_s);
                views.support.setMessage(u"The preview does not load."_s);
                views.support.send();
            } else if (scene.sheet == "settings-local-server"_L1) {
                views.settingsPanel.setLocalServer(
                    {[] { return std::optional<QString>(u"Local server launched by the app."_s); },
                     [] { return true; }, [] {}});
                views.chat.setProperty("showSettings", true);
            } else if (scene.sheet == "settings"_L1) {
                views.chat.setProperty("showSettings", true);
            } else if (scene.sheet == "support"_L1) {
                views.chat.setProperty("showSupport", true);
            } else if (scene.sheet == "log"_L1) {
                views.chat.setProperty("showDebugLog", true);
                QElapsedTimer waited;
                waited.start();
                while (views.debugLog.count() == 0 && waited.elapsed() < 5000) {
                    QTest::qWait(50);
                }
                views.debugLog.select(7);
            }
            if (scene.sheet == "video-playing"_L1) {
                // Play for a second and a half, so a later picture shows.
                QTest::qWait(300);
                if (QObject* bubble = findItem(window->contentItem(), u"videoBubble"_s)) {
                    QMetaObject::invokeMethod(bubble, "toggle");
                } else {
                    std::fputs("the video did not load\n", stderr);
                    ++failures;
                }
                QTest::qWait(1200);
            }
            if (scene.preview) {
                QObject* sheet = window->findChild<QObject*>(u"imagePreview"_s);
                if (sheet) {
                    QMetaObject::invokeMethod(sheet, "show",
                                              Q_ARG(QVariant, QVariant(views.messages.data(
                                                                  views.messages.index(4),
                                                                  MessageListModel::GalleryRole))),
                                              Q_ARG(int, 1));
                }
            }
            failures += shots::stageShellScene(scene.sheet, window, views, store, service, check);
            // Let images decode, previews load and the list settle at its end.
            QTest::qWait(check ? 300 : 1500);
            if (!check) {
                const QString file = QDir(out).filePath(
                    scene.name +
                    (scheme == Palette::Scheme::dark ? u"-dark.png"_s : u"-light.png"_s));
                if (!shown->grabWindow().save(file)) {
                    ++failures;
                }
                std::printf("%s\n", qPrintable(file));
            }
            failures += shots::checkShellScene(scene.sheet, window, views, service, check);
        }
    }
    if (warnings > 0 || failures > 0) {
        std::fprintf(stderr, "%d warnings, %d failures\n", warnings, failures);
        return 1;
    }
    std::printf("%d passed, 0 failed\n", static_cast<int>(scenes.size()) * 2);
    return 0;
}

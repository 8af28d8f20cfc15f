#include "shellscenes.h"

#include "app/viewhost.h"
#include "conversation/conversationstore.h"
#include "scriptedhttpserver.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace tolvane::shots {

namespace {

int fail(const QString& what) {
    std::fprintf(stderr, "%s\n", qPrintable(what));
    return 1;
}

QQuickItem* findItem(QQuickItem* item, const QString& name) {
    if (!item) {
        return nullptr;
    }
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

// Popups and menus are QObjects whose items live in the window's overlay.
QObject* findObject(QQuickWindow* window, const QString& name) {
    if (QObject* found = window->findChild<QObject*>(name)) {
        return found;
    }
    if (QObject* bar = window->property("menuBar").value<QObject*>()) {
        if (QObject* found = bar->findChild<QObject*>(name)) {
            return found;
        }
    }
    return findItem(window->contentItem(), name);
}

// The action of a menu-bar menu's row with this text.
QObject* menuAction(QQuickWindow* window, const QString& text) {
    for (const QString& name : {u"fileMenu"_s, u"editMenu"_s, u"helpMenu"_s}) {
        QObject* menu = findObject(window, name);
        if (!menu) {
            continue;
        }
        const int rows = menu->property("count").toInt();
        for (int i = 0; i < rows; ++i) {
            QQuickItem* row = nullptr;
            QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, row),
                                      Q_ARG(int, i));
            QObject* action = row ? row->property("action").value<QObject*>() : nullptr;
            if (action && action->property("text").toString() == text) {
                return action;
            }
        }
    }
    return nullptr;
}

// Triggers a menu row as a click would, with its menu open first (opening
// takes the keyboard focus from the text field, as it does for a user).
int trigger(QQuickWindow* window, const QString& text, bool expectEnabled = true) {
    QObject* action = menuAction(window, text);
    if (!action) {
        return fail(u"the menu has no item \"%1\""_s.arg(text));
    }
    if (action->property("enabled").toBool() != expectEnabled) {
        return fail(u"\"%1\" is %2"_s.arg(text, expectEnabled ? u"disabled"_s : u"enabled"_s));
    }
    if (QObject* menu = findObject(window, u"editMenu"_s)) {
        QMetaObject::invokeMethod(menu, "open");
        QTest::qWait(20);
        QMetaObject::invokeMethod(menu, "close");
    }
    QMetaObject::invokeMethod(action, "trigger");
    QTest::qWait(20);
    return 0;
}

void type(QQuickWindow* window, const QString& text) {
    for (const QChar c : text) {
        QTest::keyClick(window, c.toLatin1());
    }
}

int expectDraft(ViewHost& views, const QString& after, const QString& expected) {
    if (views.chat.draft() != expected) {
        return fail(u"after %1 the message field holds \"%2\", not \"%3\""_s.arg(
            after, views.chat.draft(), expected));
    }
    return 0;
}

// Edit ▸ Undo … Select All act on the message field that had the focus.
int checkEditMenu(QQuickWindow* window, ViewHost& views) {
    int failures = 0;
    type(window, u"hello world"_s);
    failures += expectDraft(views, u"typing"_s, u"hello world"_s);
    QGuiApplication::clipboard()->clear();
    failures += trigger(window, u"Copy"_s, false);
    failures += trigger(window, u"Select All"_s);
    failures += trigger(window, u"Copy"_s);
    if (QGuiApplication::clipboard()->text() != u"hello world"_s) {
        failures +=
            fail(u"Copy put \"%1\" on the clipboard"_s.arg(QGuiApplication::clipboard()->text()));
    }
    failures += trigger(window, u"Cut"_s);
    failures += expectDraft(views, u"Cut"_s, QString());
    failures += trigger(window, u"Paste"_s);
    failures += trigger(window, u"Paste"_s);
    failures += expectDraft(views, u"Paste twice"_s, u"hello worldhello world"_s);
    failures += trigger(window, u"Undo"_s);
    failures += expectDraft(views, u"Undo"_s, u"hello world"_s);
    failures += trigger(window, u"Redo"_s);
    failures += expectDraft(views, u"Redo"_s, u"hello worldhello world"_s);
    // The field keeps the focus, so typing goes on where it was.
    type(window, u"!"_s);
    failures += expectDraft(views, u"typing on"_s, u"hello worldhello world!"_s);
    views.chat.setDraft(QString());
    return failures;
}

QString lastUserText(const ConversationStore& store) {
    for (auto it = store.messages().crbegin(); it != store.messages().crend(); ++it) {
        if (it->role == ChatMessage::Role::user) {
            return it->text;
        }
    }
    return {};
}

// "Forget Me (Erase Everything)…" asks first; only the destructive answer
// sends "/forgetme".
int checkForgetMe(QQuickWindow* window, ConversationStore& store) {
    int failures = 0;
    QObject* dialog = findObject(window, u"forgetMeDialog"_s);
    if (!dialog) {
        return fail(u"the erase question did not load"_s);
    }
    const auto count = store.messages().size();
    const auto isOpen = [dialog] { return dialog->property("visible").toBool(); };
    const auto nothingSent = [&](const QString& after) {
        if (store.messages().size() != count) {
            return fail(u"%1 sent a message"_s.arg(after));
        }
        return 0;
    };

    failures += trigger(window, u"Forget Me (Erase Everything)…"_s);
    if (!isOpen()) {
        return failures + fail(u"Forget Me erased without asking"_s);
    }
    failures += nothingSent(u"asking"_s);
    QQuickItem* question = findItem(window->contentItem(), u"confirmQuestion"_s);
    const QString expected =
        u"Erase everything Tolvane's coach knows about you? This removes your memory, drafts, "
        u"scheduled posts and AI log, and can't be undone."_s;
    if (!question || question->property("text").toString() != expected) {
        failures += fail(u"the erase question reads \"%1\""_s.arg(
            question ? question->property("text").toString() : QString()));
    }
    QQuickItem* cancel = findItem(window->contentItem(), u"confirmCancel"_s);
    QQuickItem* erase = findItem(window->contentItem(), u"confirmAccept"_s);
    if (!cancel || !erase || cancel->property("text").toString() != u"Cancel"_s ||
        erase->property("text").toString() != u"Erase Everything"_s) {
        return failures + fail(u"the erase question lacks its two answers"_s);
    }
    if (!cancel->hasActiveFocus()) {
        failures += fail(u"\"Cancel\" is not the default answer"_s);
    }
    // Return takes the default, Esc and Cancel leave too; none erases.
    QTest::keyClick(window, Qt::Key_Return);
    QTest::qWait(50);
    failures += isOpen() ? fail(u"Return left the question open"_s) : 0;
    failures += nothingSent(u"Return"_s);
    failures += trigger(window, u"Forget Me (Erase Everything)…"_s);
    QTest::keyClick(window, Qt::Key_Escape);
    QTest::qWait(50);
    failures += isOpen() ? fail(u"Esc left the question open"_s) : 0;
    failures += nothingSent(u"Esc"_s);
    failures += trigger(window, u"Forget Me (Erase Everything)…"_s);
    QMetaObject::invokeMethod(cancel, "clicked");
    QTest::qWait(50);
    failures += isOpen() ? fail(u"Cancel left the question open"_s) : 0;
    failures += nothingSent(u"Cancel"_s);

    failures += trigger(window, u"Forget Me (Erase Everything)…"_s);
    QMetaObject::invokeMethod(erase, "clicked");
    QTest::qWait(50);
    failures += isOpen() ? fail(u"Erase Everything left the question open"_s) : 0;
    if (lastUserText(store) != u"/forgetme"_s) {
        failures += fail(u"Erase Everything sent \"%1\""_s.arg(lastUserText(store)));
    }
    return failures;
}

// Help ▸ About Tolvane: the version, the service address, the licences.
int checkAbout(QQuickWindow* window, ViewHost& views) {
    int failures = trigger(window, u"About Tolvane"_s);
    QObject* dialog = findObject(window, u"aboutDialog"_s);
    if (!dialog || !dialog->property("visible").toBool()) {
        return failures + fail(u"About Tolvane did not open"_s);
    }
    QQuickItem* overlay = window->contentItem();
    QQuickItem* version = findItem(overlay, u"aboutVersion"_s);
    if (!version || !version->property("text").toString().endsWith(views.root.version()) ||
        views.root.version().isEmpty()) {
        failures += fail(u"the About box shows no version"_s);
    }
    QQuickItem* service = findItem(overlay, u"aboutService"_s);
    if (!service || service->property("text").toString() != views.root.serviceRoot()) {
        failures += fail(u"the About box does not name the coach service"_s);
    }
    if (!findItem(overlay, u"aboutLicence"_s)) {
        failures += fail(u"the About box lists no licences"_s);
    }
    return failures;
}

// The rectangle of an item in window coordinates.
QRectF inWindow(const QQuickItem* item) {
    return item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
}

} // namespace

int stageShellScene(const QString& sheet, QQuickWindow* window, ViewHost& views,
                    ConversationStore& store, test::ScriptedHttpServer& service, bool check) {
    int failures = 0;
    if (sheet == "shell-edit-menu"_L1) {
        if (check) {
            failures += checkEditMenu(window, views);
        }
        views.chat.setDraft(u"Three things I learned shipping in public"_s);
        if (QObject* menu = findObject(window, u"editMenu"_s)) {
            QMetaObject::invokeMethod(menu, "open");
        }
    } else if (sheet == "shell-forget-me"_L1) {
        if (check) {
            failures += checkForgetMe(window, store);
        }
        failures += trigger(window, u"Forget Me (Erase Everything)…"_s);
    } else if (sheet == "shell-about"_L1) {
        failures += checkAbout(window, views);
    } else if (sheet == "shell-focus"_L1) {
        // Tab reaches the sheet's buttons, and the focused one shows a ring.
        views.chat.setProperty("showSettings", true);
        QTest::qWait(300);
        QQuickItem* focused = nullptr;
        for (int i = 0; i < 8 && !focused; ++i) {
            QTest::keyClick(window, Qt::Key_Tab);
            QQuickItem* item = window->activeFocusItem();
            if (item && item->property("text").toString() == u"Test connection"_s) {
                focused = item;
            }
        }
        if (!focused || !focused->property("visualFocus").toBool()) {
            failures += fail(u"Tab does not reach \"Test connection\" with a visible focus"_s);
        }
    } else if (sheet == "shell-canvas-plain"_L1) {
        // A profile with no headline and no handle: the card's "…" still
        // sits at its right edge.
        service.on("/api/profile",
                   test::Script::respond(200, R"({"name":"Ada","headline":"","handle":""})"));
        views.canvas.setToken(u"demo1"_s);
    } else if (sheet == "shell-tooltip"_L1) {
        // Tooltips take the scheme's colours, not a white box in the dark.
        QQuickItem* gear = nullptr;
        const std::function<void(QQuickItem*)> find = [&](QQuickItem* item) {
            if (item->property("tip").toString() == u"Settings"_s) {
                gear = item;
            }
            for (QQuickItem* child : item->childItems()) {
                find(child);
            }
        };
        find(window->contentItem());
        if (!gear) {
            failures += fail(u"the Settings button did not load"_s);
        } else {
            const QPointF centre = gear->mapToScene(QPointF(gear->width() / 2, gear->height() / 2));
            // Into the window first, then onto the button, as a pointer comes.
            QTest::mouseMove(window, QPoint(5, window->height() / 2));
            QTest::qWait(50);
            QTest::mouseMove(window, centre.toPoint());
            QTest::qWait(50);
            QTest::mouseMove(window, centre.toPoint() + QPoint(1, 1));
            if (!QTest::qWaitFor([gear] { return gear->property("hovered").toBool(); }, 2000)) {
                failures += fail(u"the pointer does not reach the Settings button"_s);
            }
            QTest::qWait(900);
        }
    } else if (sheet == "shell-composer"_L1) {
        // Seven lines with a picture attached: the picture takes its own row
        // and the field shows six whole lines.
        views.chat.setDraft(u"Line one of a long note\nline two\nline three\nline four\nline "
                            u"five\nline six\nline seven"_s);
        QImage image(160, 120, QImage::Format_RGB32);
        image.fill(QColor(0x0A, 0x66, 0xC2));
        QGuiApplication::clipboard()->setImage(image);
        if (!views.chat.pasteFromClipboard()) {
            failures += fail(u"the screenshot was not attached"_s);
        }
    } else if (sheet == "shell-preview-loading"_L1) {
        // A preview whose picture is slow to come shows a spinner meanwhile.
        service.on("/api/draft/slow/preview.png",
                   test::Script::streamHead(200, "image/png").stall());
        ChatMessage slow;
        slow.role = ChatMessage::Role::coach;
        slow.text = u"Here's the draft — its preview is on the way."_s;
        slow.actions = {{ChatAction::Kind::editDraft, u"Edit post"_s,
                         QUrl(service.root() + u"edit/slow"_s), u"slow"_s}};
        store.appendMessage(slow);
        QTest::qWait(200);
        QQuickItem* spinner = findItem(window->contentItem(), u"previewLoading"_s);
        if (!spinner || !spinner->isVisible()) {
            failures += fail(u"a loading preview shows no spinner"_s);
        }
    }
    return failures;
}

int checkShellScene(const QString& sheet, QQuickWindow* window, ViewHost& views,
                    test::ScriptedHttpServer& service, bool check) {
    int failures = 0;
    if (sheet == "shell-canvas-plain"_L1) {
        // The card is laid out once the draft and the profile are in.
        if (!QTest::qWaitFor([&] { return !views.canvas.loading(); }, 5000)) {
            failures += fail(u"the draft did not load"_s);
        }
        QTest::qWait(100);
        QQuickItem* more = findItem(window->contentItem(), u"previewMore"_s);
        // The header row's column, as wide as the card's content.
        QQuickItem* card = more && more->parentItem() ? more->parentItem()->parentItem() : nullptr;
        if (!more || !card ||
            more->mapToItem(card, QPointF(more->width(), 0)).x() < card->width() - 1) {
            failures += fail(
                u"the preview card's \"…\" is not at its right edge (%1 of %2)"_s
                    .arg(more && card ? more->mapToItem(card, QPointF(more->width(), 0)).x() : -1)
                    .arg(card ? card->width() : -1));
        }
        service.on("/api/profile", test::Script::respond(200, R"({"name":"Ada Lovelace",)"
                                                              R"("headline":"Founder at Example )"
                                                              R"(Labs","handle":"ada"})"));
    }
    // Esc closes the sheets.
    for (const auto& [name, flag] :
         {std::pair{"settings"_L1, "showSettings"}, std::pair{"support"_L1, "showSupport"},
          std::pair{"log"_L1, "showDebugLog"}}) {
        if (check && sheet == name) {
            QTest::keyClick(window, Qt::Key_Escape);
            QTest::qWait(50);
            if (views.chat.property(flag).toBool()) {
                failures += fail(u"%1: Esc does not close the sheet"_s.arg(sheet));
            }
        }
    }
    if (check && sheet == "shell-about"_L1) {
        QTest::keyClick(window, Qt::Key_Escape);
        QTest::qWait(50);
        QObject* about = findObject(window, u"aboutDialog"_s);
        if (about && about->property("visible").toBool()) {
            failures += fail(u"Esc does not close the About box"_s);
        }
    }
    if (!views.canvas.isOpen()) {
        return failures;
    }
    // Whatever the size, the canvas's controls can be reached once it has
    // slid in.
    const bool slid = QTest::qWaitFor(
        [&] {
            const QQuickItem* slot = findItem(window->contentItem(), u"canvasSlot"_s);
            return slot && qAbs(slot->width() - slot->property("openWidth").toReal()) < 0.5;
        },
        3000);
    if (!slid) {
        failures += fail(u"%1: the canvas did not slide in"_s.arg(sheet));
    }
    QTest::qWait(50);
    const QRectF bounds(0, 0, window->width(), window->height());
    for (const QString& name : {u"postButton"_s, u"canvasClose"_s}) {
        QQuickItem* item = findItem(window->contentItem(), name);
        // The post button makes way for a spinner while a request runs.
        if (!item || (!item->isVisible() && !views.canvas.busy())) {
            failures += fail(u"%1: the canvas shows no %2"_s.arg(sheet, name));
        } else if (item->isVisible() && !bounds.contains(inWindow(item))) {
            failures += fail(u"%1: the canvas's %2 lies outside the %3x%4 window"_s.arg(
                sheet, name, QString::number(window->width()), QString::number(window->height())));
        }
    }
    // (A calendar open over the canvas takes Esc first.)
    if (check && sheet == "canvas"_L1) {
        QTest::keyClick(window, Qt::Key_Escape);
        QTest::qWait(50);
        if (views.canvas.isOpen()) {
            failures += fail(u"%1: Esc does not close the canvas"_s.arg(sheet));
        }
    }
    return failures;
}

} // namespace tolvane::shots

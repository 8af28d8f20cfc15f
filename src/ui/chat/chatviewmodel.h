#pragma once

#include "service/apiclient.h"
#include "ui/shell/sharedobjects.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

class QMimeData;

class QJSEngine;

namespace tolvane {

class AppSettings;
class ConversationStore;

// A command for the coach, offered by the slash menu.
struct SlashCommand {
    QString name;
    QString description;
    QString icon;
    friend bool operator==(const SlashCommand&, const SlashCommand&) = default;
};

// The chat column's state and rules: the composer's draft and attachment, the
// slash menu, when sending is allowed, what a paste attaches, the sheet flags
// and whether the AI call log is offered. The view only binds to it.
class ChatViewModel : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Chat)
    QML_SINGLETON
    Q_PROPERTY(QString draft READ draft WRITE setDraft NOTIFY draftChanged)
    Q_PROPERTY(bool hasAttachment READ hasAttachment NOTIFY attachmentChanged)
    // Address of the attached image for the chip; empty when the bytes do not
    // decode as an image (then no chip shows, though they are still sent).
    Q_PROPERTY(QString attachmentSource READ attachmentSource NOTIFY attachmentChanged)
    // Why the last picture offered was refused; empty once one is accepted or
    // the attachment is cleared.
    Q_PROPERTY(QString attachmentError READ attachmentError NOTIFY attachmentChanged)
    Q_PROPERTY(QVariantList slashMatches READ slashMatches NOTIFY draftChanged)
    Q_PROPERTY(int highlightedIndex READ highlightedIndex NOTIFY highlightChanged)
    Q_PROPERTY(bool sendingAllowed READ sendingAllowed NOTIFY sendingAllowedChanged)
    Q_PROPERTY(bool isSending READ isSending NOTIFY sendingAllowedChanged)
    Q_PROPERTY(bool debugAvailable READ debugAvailable NOTIFY debugAvailableChanged)
    Q_PROPERTY(bool showSettings MEMBER m_showSettings NOTIFY sheetsChanged)
    Q_PROPERTY(bool showSupport MEMBER m_showSupport NOTIFY sheetsChanged)
    Q_PROPERTY(bool showDebugLog MEMBER m_showDebugLog NOTIFY sheetsChanged)
    Q_PROPERTY(QStringList starters READ starters CONSTANT)
    Q_PROPERTY(bool isEmpty READ isEmpty NOTIFY isEmptyChanged)

public:
    // The instance the view host shares with the views.
    static ChatViewModel* create(QQmlEngine* engine, QJSEngine*) {
        return sharedWithViews<ChatViewModel>(engine);
    }

    static const QList<SlashCommand>& commands();
    static const QStringList& starterPrompts();

    ChatViewModel(ConversationStore& store, AppSettings& settings,
                  ServiceEndpoints endpoints = ServiceEndpoints::builtIn(),
                  QObject* parent = nullptr);

    QString draft() const { return m_draft; }
    void setDraft(const QString& draft);
    bool hasAttachment() const { return !m_attachment.isNull(); }
    QByteArray attachment() const { return m_attachment; }
    QString attachmentSource() const { return m_attachmentSource; }
    QString attachmentError() const { return m_attachmentError; }
    void setAttachment(const QByteArray& bytes);

    // The commands whose name starts with the lower-cased draft, when the
    // draft starts with "/" and holds no space or line break.
    QList<SlashCommand> matches() const;
    QVariantList slashMatches() const;
    int highlightedIndex() const;
    bool sendingAllowed() const;
    bool isSending() const;
    bool debugAvailable() const { return m_debugAvailable; }
    QStringList starters() const { return starterPrompts(); }
    bool isEmpty() const;

    // Return in the text field.
    Q_INVOKABLE void submit();
    // Runs a slash menu row: sends its name, drops the draft and attachment.
    Q_INVOKABLE void runCommand(int row);
    // Keys of the text field; each returns whether it used the key.
    Q_INVOKABLE bool moveUp();
    Q_INVOKABLE bool moveDown();
    Q_INVOKABLE bool escape();
    Q_INVOKABLE void sendStarter(const QString& text);
    // The stop button: cancels the running send.
    Q_INVOKABLE void stop();
    // Attaches a picture file; a refused one (not a regular file, too large,
    // no picture) leaves the attachment as it was and sets `attachmentError`.
    Q_INVOKABLE void attachFile(const QUrl& file);
    Q_INVOKABLE void clearAttachment();
    // Ctrl+V: attaches an image from the clipboard; false lets the text field
    // paste as usual.
    Q_INVOKABLE bool pasteFromClipboard();
    bool paste(const QMimeData* data);
    // Asks the service whether the AI call log is offered.
    Q_INVOKABLE void loadDebugStatus();

    // Dictation and recording lock the composer while they run.
    void setCaptureBusy(bool busy);

Q_SIGNALS:
    void draftChanged();
    void attachmentChanged();
    void highlightChanged();
    void sendingAllowedChanged();
    void debugAvailableChanged();
    void sheetsChanged();
    void isEmptyChanged();
    // The list should show its newest row.
    void scrollToBottom();

private:
    QCoro::Task<void> fetchDebugStatus();

    QPointer<ConversationStore> m_store;
    QPointer<AppSettings> m_settings;
    ServiceEndpoints m_endpoints;
    QString m_draft;
    QByteArray m_attachment;
    QString m_attachmentSource;
    QString m_attachmentError;
    int m_slashIndex = 0;
    bool m_debugAvailable = false;
    bool m_showSettings = false;
    bool m_showSupport = false;
    bool m_showDebugLog = false;
    bool m_captureBusy = false;
};

// The clipboard's image as PNG bytes: PNG unchanged, else the first of other
// image data, the first image file or an image object that decodes,
// re-encoded; empty when it holds none.
QByteArray clipboardImageAsPng(const QMimeData& data);

} // namespace tolvane

#pragma once

#include "ui/shell/sharedobjects.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

class QJSEngine;

namespace tolvane {

class ConversationStore;
struct ChatMessage;
struct TurnDebug;

// The conversation as rows for the message views: rendered text, image
// addresses, draft actions and the usage footer. Follows the store's changes
// row by row. The store announces a change after making it, so the model keeps
// its own copy of the rows and applies each change between its begin and end
// notifications, as views and proxies expect.
class MessageListModel : public QAbstractListModel {
    Q_OBJECT
    QML_NAMED_ELEMENT(Messages)
    QML_SINGLETON
public:
    // The instance the view host shares with the views.
    static MessageListModel* create(QQmlEngine* engine, QJSEngine*) {
        return sharedWithViews<MessageListModel>(engine);
    }

    enum Role {
        IdRole = Qt::UserRole + 1,
        IsUserRole,
        IsPendingRole,
        HtmlRole,      // the display text as rich text; empty when there is none
        PlainTextRole, // the display text, plain
        ImageRole,     // address of the single image, or empty
        GalleryRole,   // addresses of the gallery images that decode
        VideoRole,     // the local video's URL, or empty
        ActionsRole,   // list of {url, token}
        FooterRole,    // the usage line, or empty
    };
    Q_ENUM(Role)

    explicit MessageListModel(ConversationStore* store, QObject* parent = nullptr);
    ~MessageListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // "model · in N · out N[ · cache N] · $0.0000".
    static QString footerText(const TurnDebug& debug);

private:
    struct Row;
    Row rowFor(const ChatMessage& message);
    void releaseRow(int row);
    void releaseAll();
    void rebuildRows();

    QPointer<ConversationStore> m_store;
    // The messages as last announced, each with the image addresses it retains.
    QList<Row> m_rows;
};

} // namespace tolvane

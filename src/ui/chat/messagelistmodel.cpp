#include "messagelistmodel.h"

#include "conversation/conversationstore.h"
#include "imagestore.h"
#include "rendercache.h"

using namespace Qt::StringLiterals;

namespace tolvane {

struct MessageListModel::Row {
    ChatMessage message;
    QString single;
    QStringList gallery;
};

MessageListModel::MessageListModel(ConversationStore* store, QObject* parent)
    : QAbstractListModel(parent)
    , m_store(store) {
    rebuildRows();
    if (!store) {
        return;
    }
    connect(store, &ConversationStore::messageInserted, this, [this](int row) {
        beginInsertRows({}, row, row);
        m_rows.insert(row, rowFor(m_store->messages().at(row)));
        endInsertRows();
    });
    connect(store, &ConversationStore::messageRemoved, this, [this](int row) {
        beginRemoveRows({}, row, row);
        releaseRow(row);
        m_rows.removeAt(row);
        endRemoveRows();
    });
    connect(store, &ConversationStore::messageChanged, this, [this](int row) {
        releaseRow(row);
        m_rows[row] = rowFor(m_store->messages().at(row));
        const QModelIndex at = index(row);
        Q_EMIT dataChanged(at, at);
    });
    connect(store, &ConversationStore::messagesReset, this, [this] {
        beginResetModel();
        releaseAll();
        rebuildRows();
        endResetModel();
    });
    connect(store, &QObject::destroyed, this, [this] {
        beginResetModel();
        releaseAll();
        m_rows.clear();
        endResetModel();
    });
}

MessageListModel::~MessageListModel() {
    releaseAll();
}

void MessageListModel::rebuildRows() {
    m_rows.clear();
    if (!m_store) {
        return;
    }
    for (const ChatMessage& message : m_store->messages()) {
        m_rows.append(rowFor(message));
    }
}

MessageListModel::Row MessageListModel::rowFor(const ChatMessage& message) {
    Row row{message, {}, {}};
    ImageStore& store = ImageStore::shared();
    if (!message.gallery.isEmpty()) {
        for (const QByteArray& bytes : message.gallery) {
            if (store.decodes(bytes)) {
                row.gallery.append(store.retain(bytes));
            }
        }
    } else if (message.imageData && store.decodes(*message.imageData)) {
        row.single = store.retain(*message.imageData);
    }
    return row;
}

void MessageListModel::releaseRow(int row) {
    ImageStore& store = ImageStore::shared();
    const Row& images = m_rows.at(row);
    if (!images.single.isEmpty()) {
        store.release(images.single);
    }
    for (const QString& source : images.gallery) {
        store.release(source);
    }
}

void MessageListModel::releaseAll() {
    for (int row = 0; row < m_rows.size(); ++row) {
        releaseRow(row);
    }
}

int MessageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QString MessageListModel::footerText(const TurnDebug& debug) {
    QString text = debug.model + u" · in "_s + QString::number(debug.inputTokens) + u" · out "_s +
                   QString::number(debug.outputTokens);
    if (debug.cacheReadTokens >= 1) {
        text += u" · cache "_s + QString::number(debug.cacheReadTokens);
    }
    return text + u" · "_s + QString::asprintf("$%.4f", debug.costUSD);
}

QVariant MessageListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const Row& row = m_rows.at(index.row());
    const ChatMessage& message = row.message;
    switch (role) {
    case IdRole:
        return message.id.toString(QUuid::WithoutBraces);
    case IsUserRole:
        return message.role == ChatMessage::Role::user;
    case IsPendingRole:
        return message.isPending;
    case HtmlRole:
    case PlainTextRole: {
        const auto rendered = RenderCache::shared().render(message.id, message.text);
        if (rendered.display.isEmpty()) {
            return QString();
        }
        return role == HtmlRole ? rendered.html : rendered.display;
    }
    case ImageRole:
        return row.single;
    case GalleryRole:
        return row.gallery;
    case VideoRole:
        return message.videoURL ? message.videoURL->toString() : QString();
    case ActionsRole: {
        QVariantList actions;
        for (const ChatAction& action : message.actions) {
            actions.append(QVariantMap{{u"url"_s, action.url.toString(QUrl::FullyEncoded)},
                                       {u"token"_s, action.token.value_or(QString())}});
        }
        return actions;
    }
    case FooterRole:
        return message.debug ? footerText(*message.debug) : QString();
    default:
        return {};
    }
}

QHash<int, QByteArray> MessageListModel::roleNames() const {
    return {{IdRole, "messageId"},    {IsUserRole, "isUser"},     {IsPendingRole, "isPending"},
            {HtmlRole, "html"},       {PlainTextRole, "display"}, {ImageRole, "imageSource"},
            {GalleryRole, "gallery"}, {VideoRole, "videoUrl"},    {ActionsRole, "actions"},
            {FooterRole, "footer"}};
}

} // namespace tolvane

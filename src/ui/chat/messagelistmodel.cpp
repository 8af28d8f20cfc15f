#include "messagelistmodel.h"

#include "conversation/conversationstore.h"
#include "imagestore.h"
#include "rendercache.h"

using namespace Qt::StringLiterals;

namespace tolvane {

MessageListModel::MessageListModel(ConversationStore* store, QObject* parent)
    : QAbstractListModel(parent)
    , m_store(store) {
    rebuildImages();
    connect(store, &ConversationStore::messageInserted, this, [this](int row) {
        beginInsertRows({}, row, row);
        m_images.insert(row, imagesFor(m_store->messages().at(row)));
        endInsertRows();
    });
    connect(store, &ConversationStore::messageRemoved, this, [this](int row) {
        beginRemoveRows({}, row, row);
        releaseRow(row);
        m_images.removeAt(row);
        endRemoveRows();
    });
    connect(store, &ConversationStore::messageChanged, this, [this](int row) {
        releaseRow(row);
        m_images[row] = imagesFor(m_store->messages().at(row));
        const QModelIndex at = index(row);
        Q_EMIT dataChanged(at, at);
    });
    connect(store, &ConversationStore::messagesReset, this, [this] {
        beginResetModel();
        for (int row = 0; row < m_images.size(); ++row) {
            releaseRow(row);
        }
        rebuildImages();
        endResetModel();
    });
}

MessageListModel::~MessageListModel() {
    for (int row = 0; row < m_images.size(); ++row) {
        releaseRow(row);
    }
}

void MessageListModel::rebuildImages() {
    m_images.clear();
    if (!m_store) {
        return;
    }
    for (const ChatMessage& message : m_store->messages()) {
        m_images.append(imagesFor(message));
    }
}

MessageListModel::RowImages MessageListModel::imagesFor(const ChatMessage& message) {
    RowImages images;
    ImageStore& store = ImageStore::shared();
    if (!message.gallery.isEmpty()) {
        for (const QByteArray& bytes : message.gallery) {
            if (store.decodes(bytes)) {
                images.gallery.append(store.retain(bytes));
            }
        }
    } else if (message.imageData && store.decodes(*message.imageData)) {
        images.single = store.retain(*message.imageData);
    }
    return images;
}

void MessageListModel::releaseRow(int row) {
    ImageStore& store = ImageStore::shared();
    const RowImages& images = m_images.at(row);
    if (!images.single.isEmpty()) {
        store.release(images.single);
    }
    for (const QString& source : images.gallery) {
        store.release(source);
    }
}

int MessageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_store ? 0 : static_cast<int>(m_store->messages().size());
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
    if (!m_store || !checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    const ChatMessage& message = m_store->messages().at(index.row());
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
        return m_images.value(index.row()).single;
    case GalleryRole:
        return m_images.value(index.row()).gallery;
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

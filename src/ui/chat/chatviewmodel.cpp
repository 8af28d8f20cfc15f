#include "chatviewmodel.h"

#include "conversation/conversationstore.h"
#include "imagestore.h"
#include "service/appsettings.h"
#include "service/imageattachment.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QMimeData>
#include <QMimeDatabase>

using namespace Qt::StringLiterals;

namespace tolvane {

const QList<SlashCommand>& ChatViewModel::commands() {
    static const QList<SlashCommand> table{
        {u"/menu"_s, u"See everything I can do"_s, u"square.grid.2x2"_s},
        {u"/styles"_s, u"Show post styles for reshaping a draft"_s, u"wand.and.stars"_s},
        {u"/campaigns"_s, u"Lead-gen post templates for selling something"_s, u"megaphone"_s},
        {u"/carousel"_s, u"Preview or set your carousel theme"_s, u"rectangle.stack"_s},
        {u"/schedule"_s, u"Show your upcoming posts calendar"_s, u"calendar"_s},
        {u"/trends"_s, u"What's trending in your niche (add a keyword to pick the topic)"_s,
         u"chart.line.uptrend.xyaxis"_s},
        {u"/analytics"_s, u"See how your LinkedIn is performing"_s, u"chart.bar"_s},
        {u"/clear"_s, u"Clear this chat — fresh start (keeps memory)"_s,
         u"arrow.counterclockwise"_s},
        {u"/link"_s, u"Link this account with Telegram / another device"_s, u"link"_s},
        {u"/forgetme"_s, u"Delete everything I know about you"_s, u"trash"_s},
    };
    return table;
}

const QStringList& ChatViewModel::starterPrompts() {
    static const QStringList starters{
        u"Analyze my LinkedIn profile"_s,
        u"Draft a post about what I'm working on"_s,
        u"What should I post today?"_s,
        u"How did my last post do?"_s,
    };
    return starters;
}

ChatViewModel::ChatViewModel(ConversationStore& store, AppSettings& settings,
                             ServiceEndpoints endpoints, QObject* parent)
    : QObject(parent)
    , m_store(&store)
    , m_settings(&settings)
    , m_endpoints(std::move(endpoints)) {
    connect(&store, &ConversationStore::isSendingChanged, this,
            &ChatViewModel::sendingAllowedChanged);
    connect(&store, &ConversationStore::countChanged, this, &ChatViewModel::isEmptyChanged);
}

void ChatViewModel::setDraft(const QString& draft) {
    if (m_draft == draft) {
        return;
    }
    const bool allowedBefore = sendingAllowed();
    const int highlightBefore = highlightedIndex();
    m_draft = draft;
    m_slashIndex = 0;
    Q_EMIT draftChanged();
    if (highlightBefore != highlightedIndex()) {
        Q_EMIT highlightChanged();
    }
    if (allowedBefore != sendingAllowed()) {
        Q_EMIT sendingAllowedChanged();
    }
}

void ChatViewModel::setAttachment(const QByteArray& bytes) {
    const bool allowedBefore = sendingAllowed();
    if (!m_attachmentSource.isEmpty()) {
        ImageStore::shared().release(m_attachmentSource);
        m_attachmentSource.clear();
    }
    m_attachment = bytes;
    m_attachmentError.clear();
    if (!bytes.isNull() && ImageStore::shared().decodes(bytes)) {
        m_attachmentSource = ImageStore::shared().retain(bytes);
    }
    Q_EMIT attachmentChanged();
    if (allowedBefore != sendingAllowed()) {
        Q_EMIT sendingAllowedChanged();
    }
}

QList<SlashCommand> ChatViewModel::matches() const {
    if (!m_draft.startsWith(u'/') || m_draft.contains(u' ') || m_draft.contains(u'\n')) {
        return {};
    }
    const QString prefix = m_draft.toLower();
    QList<SlashCommand> found;
    for (const SlashCommand& command : commands()) {
        if (command.name.startsWith(prefix)) {
            found.append(command);
        }
    }
    return found;
}

QVariantList ChatViewModel::slashMatches() const {
    QVariantList list;
    for (const SlashCommand& command : matches()) {
        list.append(QVariantMap{{u"name"_s, command.name},
                                {u"description"_s, command.description},
                                {u"icon"_s, command.icon}});
    }
    return list;
}

int ChatViewModel::highlightedIndex() const {
    const int count = static_cast<int>(matches().size());
    return std::min(count - 1, std::max(0, m_slashIndex));
}

bool ChatViewModel::isSending() const {
    return m_store && m_store->isSending();
}

bool ChatViewModel::isEmpty() const {
    return !m_store || m_store->messages().isEmpty();
}

bool ChatViewModel::sendingAllowed() const {
    if (isSending() || m_captureBusy) {
        return false;
    }
    // Spaces and tabs only: a draft of line breaks still counts as text.
    qsizetype begin = 0;
    qsizetype end = m_draft.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(m_draft[begin])) {
        ++begin;
    }
    while (end > begin && blank(m_draft[end - 1])) {
        --end;
    }
    return end > begin || hasAttachment();
}

void ChatViewModel::setCaptureBusy(bool busy) {
    if (m_captureBusy != busy) {
        m_captureBusy = busy;
        Q_EMIT sendingAllowedChanged();
    }
}

void ChatViewModel::submit() {
    if (isSending() || !m_store) {
        return;
    }
    if (!matches().isEmpty()) {
        runCommand(highlightedIndex());
        return;
    }
    if (!sendingAllowed()) {
        return;
    }
    m_store->send(m_draft, m_attachment);
    setDraft(QString());
    setAttachment(QByteArray());
    Q_EMIT scrollToBottom();
}

void ChatViewModel::runCommand(int row) {
    const QList<SlashCommand> found = matches();
    if (!m_store || row < 0 || row >= found.size()) {
        return;
    }
    m_store->send(found.at(row).name);
    setDraft(QString());
    setAttachment(QByteArray());
    if (m_slashIndex != 0) {
        m_slashIndex = 0;
        Q_EMIT highlightChanged();
    }
    Q_EMIT scrollToBottom();
}

bool ChatViewModel::moveUp() {
    if (matches().isEmpty()) {
        return false;
    }
    m_slashIndex = std::max(0, m_slashIndex - 1);
    Q_EMIT highlightChanged();
    return true;
}

bool ChatViewModel::moveDown() {
    const int count = static_cast<int>(matches().size());
    if (count == 0) {
        return false;
    }
    m_slashIndex = std::min(m_slashIndex + 1, count - 1);
    Q_EMIT highlightChanged();
    return true;
}

bool ChatViewModel::escape() {
    if (matches().isEmpty()) {
        return false;
    }
    setDraft(QString());
    return true;
}

void ChatViewModel::sendStarter(const QString& text) {
    if (m_store) {
        m_store->send(text);
        Q_EMIT scrollToBottom();
    }
}

void ChatViewModel::stop() {
    if (m_store) {
        m_store->cancelSend();
    }
}

void ChatViewModel::attachFile(const QUrl& file) {
    auto image = imageattachment::readFile(file.toLocalFile());
    if (!image) {
        m_attachmentError = image.error();
        Q_EMIT attachmentChanged();
        return;
    }
    // The bytes go unchanged.
    setAttachment(std::move(image).value());
}

void ChatViewModel::clearAttachment() {
    setAttachment(QByteArray());
}

namespace {

QByteArray pngOf(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, "PNG") ? png : QByteArray();
}

} // namespace

QByteArray clipboardImageAsPng(const QMimeData& data) {
    // First success wins; a source that does not decode gives way to the next.
    if (data.hasFormat(u"image/png"_s)) {
        const QByteArray png = data.data(u"image/png"_s);
        if (!png.isEmpty()) {
            return png;
        }
    }
    // Other encoded image data, TIFF first.
    QStringList formats{u"image/tiff"_s, u"image/x-tiff"_s};
    for (const QString& format : data.formats()) {
        if (format.startsWith(u"image/"_s) && format != u"image/png"_s &&
            !formats.contains(format)) {
            formats.append(format);
        }
    }
    for (const QString& format : std::as_const(formats)) {
        if (data.hasFormat(format)) {
            if (QByteArray png = pngOf(QImage::fromData(data.data(format))); !png.isEmpty()) {
                return png;
            }
        }
    }
    if (data.hasUrls()) {
        const QMimeDatabase mimes;
        for (const QUrl& url : data.urls()) {
            if (!url.isLocalFile() ||
                !mimes.mimeTypeForFile(url.toLocalFile()).name().startsWith(u"image/"_s)) {
                continue;
            }
            // Only the first image file is tried.
            if (QByteArray png = pngOf(QImage(url.toLocalFile())); !png.isEmpty()) {
                return png;
            }
            break;
        }
    }
    if (data.hasImage()) {
        return pngOf(qvariant_cast<QImage>(data.imageData()));
    }
    return {};
}

bool ChatViewModel::paste(const QMimeData* data) {
    if (!data || m_captureBusy) {
        return false;
    }
    const QByteArray png = clipboardImageAsPng(*data);
    if (png.isEmpty()) {
        return false;
    }
    if (const QString problem = imageattachment::check(png, u"the pasted picture"_s);
        !problem.isEmpty()) {
        m_attachmentError = problem;
        Q_EMIT attachmentChanged();
        return false;
    }
    setAttachment(png);
    return true;
}

bool ChatViewModel::pasteFromClipboard() {
    return paste(QGuiApplication::clipboard()->mimeData());
}

void ChatViewModel::loadDebugStatus() {
    fetchDebugStatus();
}

QCoro::Task<void> ChatViewModel::fetchDebugStatus() {
    QPointer<ChatViewModel> self(this);
    if (!m_settings) {
        co_return;
    }
    const auto result = co_await APIClient(*m_settings, m_endpoints).debugStatus();
    if (!self) {
        co_return;
    }
    const bool available = result && *result;
    if (m_debugAvailable != available) {
        m_debugAvailable = available;
        Q_EMIT debugAvailableChanged();
    }
}

} // namespace tolvane

#include "ssestream.h"

#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace tolvane::sse {

bool Framer::feed(QByteArrayView bytes, const std::function<bool(const QByteArray&)>& onBlock) {
    qsizetype scanFrom = qMax<qsizetype>(0, m_buffer.size() - 1);
    m_buffer.append(bytes);
    qsizetype blockStart = 0;
    for (;;) {
        const qsizetype end = m_buffer.indexOf("\n\n", qMax(scanFrom, blockStart));
        if (end < 0) {
            break;
        }
        const QByteArray block = m_buffer.mid(blockStart, end + 2 - blockStart);
        blockStart = end + 2;
        scanFrom = blockStart;
        if (!onBlock(block)) {
            m_buffer.remove(0, blockStart);
            return true;
        }
    }
    m_buffer.remove(0, blockStart);
    return m_buffer.size() <= m_maxBlockSize;
}

QByteArray Framer::takeRemainder() {
    return std::exchange(m_buffer, QByteArray());
}

namespace {

QString trimmedBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(text[begin])) {
        ++begin;
    }
    while (end > begin && blank(text[end - 1])) {
        --end;
    }
    return text.mid(begin, end - begin).toString();
}

} // namespace

std::optional<Block> parseBlock(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    Block block;
    const auto lines = QStringView(text).split(u'\n');
    for (const QStringView line : lines) {
        if (line.startsWith(u"event:")) {
            block.event = trimmedBlanks(line.mid(6));
        } else if (line.startsWith(u"data:")) {
            block.data += trimmedBlanks(line.mid(5));
        }
    }
    return block;
}

ChatStreamHandler::ChatStreamHandler(std::function<void(const QString&)> onStatus)
    : m_onStatus(std::move(onStatus)) {}

void ChatStreamHandler::fail(APIError error) {
    if (!m_failure) {
        m_failure = std::move(error);
    }
}

bool ChatStreamHandler::handle(const QByteArray& bytes) {
    if (m_failure) {
        return false;
    }
    const auto block = parseBlock(bytes);
    if (!block || block->data.isEmpty()) {
        return true;
    }
    const QByteArray data = block->data.toUtf8();
    if (block->event == "status"_L1) {
        const auto fields = json::stringMap(data);
        if (fields && fields->contains(u"text"_s) && m_onStatus) {
            m_onStatus(fields->value(u"text"_s));
        }
    } else if (block->event == "final"_L1) {
        auto reply = json::decode<ChatReply>(data);
        if (!reply) {
            fail(APIError::decoding(u"final decode failed: "_s + reply.error()));
            return false;
        }
        m_final = std::move(reply).value();
    } else if (block->event == "error"_L1) {
        const auto fields = json::stringMap(data);
        QString message = u"chat error"_s;
        if (fields && fields->contains(u"error"_s)) {
            message = fields->value(u"error"_s);
        }
        fail(APIError::http(500, message));
        return false;
    }
    return true;
}

APIResult<ChatReply> ChatStreamHandler::finish(const QByteArray& remainder) {
    if (!m_failure && !remainder.isEmpty()) {
        handle(remainder);
    }
    if (m_failure) {
        return Unexpected{*m_failure};
    }
    if (!m_final) {
        return Unexpected{APIError::decoding(u"stream ended without a reply"_s)};
    }
    return *m_final;
}

bool isNotify(const QByteArray& bytes) {
    const auto block = parseBlock(bytes);
    return block && block->event == "notify"_L1;
}

} // namespace tolvane::sse

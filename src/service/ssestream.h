#pragma once

#include "apiclient.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace tolvane::sse {

// Splits a text/event-stream body into blocks. A block ends only at two
// consecutive line feeds; a carriage return is ordinary data.
class Framer {
public:
    // Blocks larger than this fail the stream instead of growing without bound.
    static constexpr qsizetype defaultMaxBlockSize = 128 * 1024 * 1024;

    explicit Framer(qsizetype maxBlockSize = defaultMaxBlockSize)
        : m_maxBlockSize(maxBlockSize) {}

    // Appends bytes and calls `onBlock` with each completed block (including
    // its two closing line feeds), in order. Returns false when an unfinished
    // block grew past the maximum block size.
    bool feed(QByteArrayView bytes, const std::function<bool(const QByteArray&)>& onBlock);

    // The bytes of an unfinished block, leaving the framer empty.
    QByteArray takeRemainder();

private:
    qsizetype m_maxBlockSize;
    QByteArray m_buffer;
};

struct Block {
    QString event;
    QString data;
};

// Decodes a block as UTF-8 (none when it is not valid UTF-8) and reads its
// "event:" and "data:" lines: the last event name wins, data lines are joined
// without a separator, both trimmed of spaces and tabs.
std::optional<Block> parseBlock(const QByteArray& bytes);

// The chat stream's handling of blocks: status lines, the final reply, errors.
class ChatStreamHandler {
public:
    explicit ChatStreamHandler(std::function<void(const QString&)> onStatus);

    // Handles one block; returns false once the stream has failed.
    bool handle(const QByteArray& block);
    // Handles what remained when the body ended and gives the result.
    APIResult<ChatReply> finish(const QByteArray& remainder);
    // The stream's failure, once it failed.
    const std::optional<APIError>& failure() const { return m_failure; }
    void fail(APIError error);

private:
    std::function<void(const QString&)> m_onStatus;
    std::optional<ChatReply> m_final;
    std::optional<APIError> m_failure;
};

// Whether a block of the event stream is a "notify" event.
bool isNotify(const QByteArray& block);

} // namespace tolvane::sse

#pragma once

#include "platform/expected.h"

#include <QString>

namespace tolvane {

// A failed service call. description() is the exact text the user sees.
struct APIError {
    enum class Kind {
        http,      // a status outside 200-299
        decoding,  // a reply that does not match its record
        transport, // no connection, time-out and other transport failures
        badURL,    // the built-in service address does not parse
        // Failures the streams and the upload pass on with their own text rather
        // than as one of the kinds above: connection errors while a stream is
        // open or read, and file errors while the upload body is written.
        session,
        file,
    };

    Kind kind = Kind::transport;
    int code = 0;
    QString message;
    // Set when the caller cancelled the work; never shown to the user.
    bool cancelled = false;

    static APIError http(int code, QString body) { return {Kind::http, code, std::move(body)}; }
    static APIError decoding(QString message) { return {Kind::decoding, 0, std::move(message)}; }
    static APIError transport(QString message) { return {Kind::transport, 0, std::move(message)}; }
    static APIError badURL() { return {Kind::badURL, 0, {}}; }
    static APIError session(QString message, bool cancelled = false) {
        return {Kind::session, 0, std::move(message), cancelled};
    }
    static APIError file(QString message) { return {Kind::file, 0, std::move(message)}; }

    QString description() const;

    friend bool operator==(const APIError&, const APIError&) = default;
};

template <typename T>
using APIResult = Expected<T, APIError>;

} // namespace tolvane

#pragma once

#include <QString>

namespace tolvane {

// A failure of media or speech code: a domain naming the component, a code
// within that domain and the text shown to the user.
struct MediaError {
    QString domain;
    int code = 0;
    QString description;

    // Domain of the media layer itself; codes are FFmpeg's error codes.
    static inline const QString mediaDomain = QStringLiteral("Media");

    // Work stopped because its owner cancelled it. Never shown to the user.
    static MediaError cancelled();
    bool isCancelled() const;

    friend bool operator==(const MediaError&, const MediaError&) = default;
};

} // namespace tolvane

#pragma once

#include <QString>

#include <optional>

namespace tolvane {

class JsonReader;

// One entry of the release feed ("download/version.json"): the newest
// release's version, its download page and optional notes.
struct Release {
    QString version;
    QString url;
    std::optional<QString> notes;

    // "version" and "url" are required strings; "notes" may be absent or null.
    static Release read(JsonReader& reader);
    friend bool operator==(const Release&, const Release&) = default;
};

} // namespace tolvane

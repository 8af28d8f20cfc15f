#include "release.h"

#include "service/jsonreader.h"

namespace tolvane {

Release Release::read(JsonReader& reader) {
    Release r;
    r.version = reader.string(QLatin1StringView("version"));
    r.url = reader.string(QLatin1StringView("url"));
    r.notes = reader.optionalString(QLatin1StringView("notes"));
    return r;
}

} // namespace tolvane

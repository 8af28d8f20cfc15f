#pragma once

#include "records.h"

#include <QByteArray>
#include <QString>

namespace tolvane::coach {

// The browser page behind the app's edit links: edit the draft's text beside
// a live preview, save it, post it now or schedule it.
class EditPage {
public:
    struct Author {
        QString name;
        QString headline;
    };

    static QByteArray render(const Draft& draft, const Author& author);
    static QByteArray notFound(const QString& token);
};

} // namespace tolvane::coach

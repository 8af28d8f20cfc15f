#include "emailaddress.h"

namespace tolvane::emailaddress {

bool isValid(const QString& address) {
    const QString trimmed = address.trimmed();
    // A tab or line break inside is as wrong as a space.
    for (const QChar c : trimmed) {
        if (c.isSpace()) {
            return false;
        }
    }
    const qsizetype at = trimmed.indexOf(u'@');
    if (at <= 0) {
        return false;
    }
    const QString domain = trimmed.mid(at + 1);
    if (domain.isEmpty()) {
        return false;
    }
    const qsizetype dot = domain.indexOf(u'.');
    if (dot <= 0 || dot == domain.size() - 1) {
        return false;
    }
    return !domain.contains(u'@');
}

} // namespace tolvane::emailaddress

#pragma once

#include <QString>

namespace tolvane::paneltext {

// `text` without spaces and tabs at either end; newlines are kept, as a name
// or headline typed over several lines still starts with its first word.
QString trimSpacesAndTabs(const QString& text);

// The number of characters as a reader counts them: one per grapheme cluster,
// so an emoji with a skin tone or a flag counts once.
int characterCount(const QString& text);

} // namespace tolvane::paneltext

#pragma once

#include <QString>

namespace tolvane {

// The file that collects the output of the coach service the app starts: in
// the user's state directory, so it survives restarts and stays out of the
// way of data the user keeps.
class CoachLogFile {
public:
    // $XDG_STATE_HOME/Tolvane/coach.log, or ~/.local/state/Tolvane/coach.log
    // when the variable is unset or not an absolute path.
    static QString path();
    // The same path with the home directory written as "~", for status texts.
    static QString displayPath();
    // The last non-empty line of the file (at most `maxBytes` from its end are
    // read), or an empty text.
    static QString lastLine(qint64 maxBytes = 4096);
};

} // namespace tolvane

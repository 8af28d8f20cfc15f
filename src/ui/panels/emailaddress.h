#pragma once

#include <QString>

namespace tolvane::emailaddress {

// A loose check that catches typos without rejecting real addresses: after
// trimming, no white space, a local part before the first "@", and a domain
// after it with a "." that is neither its first nor its last character and no
// second "@".
bool isValid(const QString& address);

} // namespace tolvane::emailaddress

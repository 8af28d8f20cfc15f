#pragma once

#include <QList>
#include <QString>

namespace tolvane::version {

// The numeric components of a dot-separated version: empty components are
// dropped ("1..2" has two), and a component that is not a base-10 integer
// (an optional sign, then digits only) counts as 0, so "0-beta" is 0.
QList<qint64> components(const QString& version);

// Whether `candidate` is newer than `running`: compared component by
// component from the left, a missing component counting as 0.
bool isNewer(const QString& candidate, const QString& running);

} // namespace tolvane::version

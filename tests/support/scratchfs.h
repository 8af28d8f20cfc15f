#pragma once

#include <QString>

// Small file systems for tests of full and read-only disks. They need root:
// the test process takes its own mount table first, so what it mounts is
// seen by nobody else and vanishes with it.
namespace tolvane::scratchfs {

// Call first thing in main, before any thread starts (the mount table can
// only be unshared while the process is single-threaded).
void enterPrivateMounts();

// Mounts an empty tmpfs of `kib` KiB on the existing folder `dir`. Returns
// the reason when that is not possible (not root, no private mount table).
QString mountTmpfs(const QString& dir, int kib);

// Unmounts what `mountTmpfs` mounted on `dir`.
void unmount(const QString& dir);

// Turns the tmpfs mounted on `dir` read-only (or read-write again).
QString setReadOnly(const QString& dir, bool readOnly);

// Fills the file system holding `dir` until a write fails, with a file
// named "filler" in `dir`.
void fill(const QString& dir);

} // namespace tolvane::scratchfs

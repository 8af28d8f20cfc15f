#include "scratchfs.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tolvane::scratchfs {

namespace {
QString unavailable = u"not started with enterPrivateMounts()"_s;
}

void enterPrivateMounts() {
    if (::geteuid() != 0) {
        unavailable = u"mounting a small file system needs root"_s;
        return;
    }
    if (::unshare(CLONE_NEWNS) != 0) {
        unavailable = u"no private mount table: "_s + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        unavailable =
            u"mounts can't be made private: "_s + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    unavailable.clear();
}

QString mountTmpfs(const QString& dir, int kib) {
    if (!unavailable.isEmpty()) {
        return unavailable;
    }
    const QByteArray options = "size=" + QByteArray::number(kib) + "k,mode=0755";
    if (::mount("tolvane-test", QFile::encodeName(dir).constData(), "tmpfs", 0,
                options.constData()) != 0) {
        return u"mount failed: "_s + QString::fromLocal8Bit(std::strerror(errno));
    }
    return {};
}

void unmount(const QString& dir) {
    ::umount2(QFile::encodeName(dir).constData(), MNT_DETACH);
}

QString setReadOnly(const QString& dir, bool readOnly) {
    const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
    if (::mount(nullptr, QFile::encodeName(dir).constData(), nullptr, flags, nullptr) != 0) {
        return u"remount failed: "_s + QString::fromLocal8Bit(std::strerror(errno));
    }
    return {};
}

void fill(const QString& dir) {
    QFile filler(QDir(dir).filePath(u"filler"_s));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        return;
    }
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size()) {
    }
    // Whatever is left is smaller than a block; take it byte by byte.
    while (filler.write("f", 1) == 1) {
    }
}

} // namespace tolvane::scratchfs

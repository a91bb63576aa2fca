#include "processcount.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The kernel keeps at most this many bytes of a process name in "comm".
constexpr int kCommLength = 15;

QByteArray readSmallFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(4096);
}

QByteArray baseName(const QByteArray &path)
{
    const int slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.mid(slash + 1);
}

// The full executable name of a process whose "comm" was cut short: from the
// exe link (own processes) or else from the first command-line word.
QByteArray fullName(const QString &pidDir)
{
    const QString target = QFile::symLinkTarget(pidDir + QStringLiteral("/exe"));
    if (!target.isEmpty()) {
        QByteArray name = baseName(QFile::encodeName(target));
        // A replaced binary shows as "name (deleted)".
        static const QByteArray deleted(" (deleted)");
        if (name.endsWith(deleted))
            name.chop(deleted.size());
        return name;
    }
    const QByteArray cmdline = readSmallFile(pidDir + QStringLiteral("/cmdline"));
    const int end = cmdline.indexOf('\0');
    return baseName(end < 0 ? cmdline : cmdline.left(end));
}

} // namespace

int countRunningProcesses(const QString &name, const QString &procRoot)
{
    QDir root(procRoot);
    if (name.isEmpty() || !root.exists())
        return -1;

    const QByteArray wanted = QFile::encodeName(name);
    const QByteArray wantedComm = wanted.left(kCommLength);

    int processes = 0;
    int matches = 0;
    const QStringList entries = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        ++processes;
        const QString pidDir = root.filePath(entry);
        QByteArray comm = readSmallFile(pidDir + QStringLiteral("/comm"));
        if (comm.endsWith('\n'))
            comm.chop(1);
        // An unreadable entry is a process that has just ended.
        if (comm != wantedComm)
            continue;
        // A full-length "comm" may be a longer name cut short: confirm it.
        if (comm.size() < kCommLength || fullName(pidDir) == wanted)
            ++matches;
    }
    // Every real process table lists at least this process.
    return processes == 0 ? -1 : matches;
}

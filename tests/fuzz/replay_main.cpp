// Without libFuzzer (ordinary and sanitizer builds): runs a fuzz target once
// on every file named, and on every file in the folders named, so the seed
// corpora and the inputs that once failed are checked by every test run.

#include "fuzzsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (QFileInfo(arg).isDir()) {
            const QDir dir(arg);
            for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
                files << dir.filePath(name);
        } else {
            files << arg;
        }
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: %s <input file or folder>...\n", argv[0]);
        return 2;
    }
    for (const QString &path : qAsConst(files)) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
            return 1;
        }
        const QByteArray input = f.readAll();
        std::printf("%s\n", qPrintable(path));
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
    }
    std::printf("%d inputs\n", int(files.size()));
    return 0;
}

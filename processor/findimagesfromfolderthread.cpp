#include "findimagesfromfolderthread.h"

#include <QDir>
#include <QThread>

void FindImagesFromFolderThread::run(QStringList folders, QStringList files)
{
    const QStringList filters{QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"), QStringLiteral("*.png"),
                              QStringLiteral("*.tif"), QStringLiteral("*.tiff")};
    int found = 0;
    for (const QString &folder : folders) {
        const QDir dir(folder);
        if (folder.isEmpty() || !dir.exists())
            continue;
        // Everything named like a page, so that what is left out can be named.
        const QFileInfoList entries = dir.entryInfoList(
            filters, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
        for (const QFileInfo &entry : entries) {
            if (entry.isSymLink() || !entry.isFile()) {
                emit skippedEntry(entry.filePath(), entry.isSymLink() ? QStringLiteral("链接")
                                                      : entry.isDir()  ? QStringLiteral("文件夹")
                                                                       : QStringLiteral("不是普通文件"));
                continue;
            }
            emit addOneImage(entry);
            ++found;
            // Lets the GUI thread catch up with the queued rows.
            if (found % 500 == 0)
                QThread::msleep(50);
        }
    }
    for (const QString &file : files)
        emit addOneImage(QFileInfo(file));
    emit findImagesFinished(found + files.size());
}

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
        const QFileInfoList entries =
            dir.entryInfoList(filters, QDir::Files | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase);
        for (const QFileInfo &entry : entries) {
            if (!entry.isFile())
                continue;
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

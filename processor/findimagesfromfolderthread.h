#pragma once
// Folder search worker. It lives on a thread of its own, touches no widget
// and reports every image file found, one signal each, then the count.

#include <QFileInfo>
#include <QObject>
#include <QStringList>

class FindImagesFromFolderThread : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void addOneImage(QFileInfo mfi);
    // An entry named like a page image that is no plain file (a folder, a
    // link, a device): left out of the list, and why.
    void skippedEntry(QString path, QString kind);
    void findImagesFinished(int count);
    void timeElapsed(int t);
    void updateInfo(int totalCount, QString filePath);

public slots:
    // Lists each folder (not recursively, by name ignoring case), then passes
    // the given files on unchanged. The end signal always follows.
    void run(QStringList folders, QStringList files = QStringList());
};

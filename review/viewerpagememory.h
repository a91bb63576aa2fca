#pragma once
// The page image a viewer showed last, kept for its next opening: a whole
// sheet page is far larger than Qt's pixmap cache takes, and reading and
// converting it again is most of what an opening costs. The page is read
// anew once its file differs on disk (path, modification time or size).

#include <QDateTime>
#include <QPixmap>
#include <QString>

class ViewerPageMemory {
public:
    // The image of the file as it is now; null when it cannot be read.
    QPixmap load(const QString &path);
    void clear();

private:
    QString m_path;
    QDateTime m_modified;
    qint64 m_size = -1;
    QPixmap m_page;
};

#include "viewerpagememory.h"

#include <QFileInfo>

QPixmap ViewerPageMemory::load(const QString &path)
{
    // Looked at before the read: a file replaced during it is read again
    // next time rather than kept under the newer stamp.
    const QFileInfo file(path);
    const QString absolute = file.absoluteFilePath();
    const QDateTime modified = file.lastModified();
    const qint64 size = file.exists() ? file.size() : -1;
    if (!m_page.isNull() && absolute == m_path && modified == m_modified && size == m_size)
        return m_page;
    clear();
    const QPixmap page(path);
    if (page.isNull())
        return page;
    m_path = absolute;
    m_modified = modified;
    m_size = size;
    m_page = page;
    return page;
}

void ViewerPageMemory::clear()
{
    m_path.clear();
    m_modified = QDateTime();
    m_size = -1;
    m_page = QPixmap();
}

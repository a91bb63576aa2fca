#include "rotatethread.h"

#include "imagefile.h"

#include <QThread>

#include <algorithm>

void RotateThread::rotateRow(int row)
{
    const int index = row - firstRow;
    const QString path = index >= 0 && index < paths.size() ? paths.at(index) : QString();
    if (path.isEmpty()) {
        emit rotateFailed(QStringLiteral("第%1行没有图片").arg(row));
        return;
    }
    QString error;
    if (!ImageFile::rotate(path, mode, quality, &error))
        emit rotateFailed(error);
}

void RotateThread::ChildThread()
{
    // Ends early only when the dialog goes away during a run.
    auto stopped = [] { return QThread::currentThread()->isInterruptionRequested(); };

    if (!onlySpecificPages) {
        for (int row = firstRow; row <= lastRow && !stopped(); ++row) {
            rotateRow(row);
            emit send_msg(row - firstRow + 1);
        }
    } else if (pagesPerSheet > 0) {
        // Page positions count from the start of the range, not of the list.
        for (int group = firstRow; group <= lastRow && !stopped(); group += pagesPerSheet) {
            const int groupEnd = std::min(group + pagesPerSheet - 1, lastRow);
            for (int row = group; row <= groupEnd; ++row) {
                const int position = row - group + 1;
                for (int page : qAsConst(pages)) {
                    if (page == position)
                        rotateRow(row);
                }
            }
            emit send_msg(group - firstRow + 1);
        }
    }
    emit finished();
}

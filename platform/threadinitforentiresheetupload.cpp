#include "threadinitforentiresheetupload.h"

#include <QThread>

ThreadInitForEntireSheetUpload::ThreadInitForEntireSheetUpload() : QObject(nullptr) {}

void ThreadInitForEntireSheetUpload::run()
{
    // The count is read again before every row: the receiver refreshes it.
    for (int row = 0; row < rowCount.load(); ++row) {
        emit saveSheetsToBinaryPNG(row);
        // Lets the GUI thread repaint the tip between rows.
        QThread::msleep(1);
    }
    emit initForEntireSheetUploadFinished();
}

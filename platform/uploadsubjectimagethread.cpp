#include "uploadsubjectimagethread.h"

#include "bucketstorageclient.h"
#include "resultitemrole.h"
#include "tokenstorageclient.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <QTableWidget>

#include <memory>

namespace {

const QString kPending = QStringLiteral("×");

} // namespace

UploadSubjectImageThread::UploadSubjectImageThread(QTableWidget *table, QMutex *claimMutex, int *nextUploadCell,
                                                   int columnCount, int currentCell, bool limitRows, int lastRow)
    : table(table), claimMutex(claimMutex), nextUploadCell(nextUploadCell), columnCount(columnCount),
      currentCell(currentCell), limitRows(limitRows), lastRow(lastRow)
{
    upload.cancel = &abandoned;
}

UploadSubjectImageThread::CellView UploadSubjectImageThread::readCell(int row, int column)
{
    CellView view;
    // The GUI thread may add rows or change cells meanwhile; reading there
    // sees a consistent table. A table that goes away drops the call
    // unanswered, which ends the run.
    QMetaObject::invokeMethod(
        table,
        [&view, row, column, this] {
            view.answered = true;
            view.rowCount = table->rowCount();
            if (row < view.rowCount) {
                view.item = table->item(row, column);
                if (view.item) {
                    view.text = view.item->text();
                    view.localPath = view.item->data(ResultLocalPathRole).toString();
                }
            }
        },
        Qt::BlockingQueuedConnection);
    return view;
}

void UploadSubjectImageThread::run()
{
    // stopRequested starts false with the worker; clearing it here would
    // lose a stop pressed before this thread got going.
    running = true;
    const QString name = objectName();

    // One client per run: its connection serves every file of this worker.
    std::unique_ptr<TokenStorageClient> tokenClient;
    std::unique_ptr<BucketStorageClient> bucketClient;
    if (!target.localServer && upload.cloudServer == 0)
        tokenClient.reset(new TokenStorageClient);
    else if (!target.localServer && upload.cloudServer == 1)
        bucketClient.reset(new BucketStorageClient(upload.endpoint, upload.accessKeyId, upload.accessKeySecret));

    int cell = currentCell;
    while (columnCount > 0) {
        const int row = cell / columnCount;
        const int column = cell % columnCount;
        if (!running || stopRequested || abandoned || (limitRows && row > lastRow))
            break;
        const CellView view = readCell(row, column);
        if (!view.answered || abandoned)
            break;
        if (cell >= columnCount * view.rowCount) {
            running = false;
            break;
        }

        if (view.item && view.text == kPending) {
            const QString localPath = view.localPath;
            const QString fileName = QFileInfo(localPath).fileName();
            bool ok = false;
            bool attempted = true;
            QString result;
            QString storeAddress;
            if (target.localServer) {
                upload.uploadFileToServer(target.localServerAddress + QStringLiteral("/upload.php"),
                                          target.localServerPassword, target.examId, target.sheetUploadTimeout,
                                          localPath, &ok, &result);
                storeAddress = target.localServerAddress + QLatin1Char('/');
            } else if (upload.cloudServer == 0) {
                ok = upload.putFileToQiniu(tokenClient.get(), QString(), localPath, &result);
                storeAddress = upload.qiniuDomain + QLatin1Char('/');
            } else if (upload.cloudServer == 1) {
                ok = upload.putObjectToOss(localPath, target.examId, &result, bucketClient.get());
                storeAddress = upload.ossDomain + QLatin1Char('/');
            } else {
                attempted = false;
            }
            // Whatever the store answered, a link that points elsewhere
            // would lose the image for the markers.
            if (ok) {
                const QString problem = MyUpload::storedPathProblem(result);
                if (!problem.isEmpty()) {
                    ok = false;
                    result = QStringLiteral("图片存储返回的路径不可用（%1）：%2").arg(problem, result);
                }
            }

            if (attempted && !abandoned) {
                if (ok) {
                    bool marked = false;
                    emit setServerPath(view.item, storeAddress + result, row, column, localPath, &marked);
                    if (marked)
                        emit addLog(QStringLiteral("上传成功：") + fileName);
                    else
                        emit addLog(QStringLiteral("上传成功，但表格中的单元格已改变，未标记：") + fileName);
                } else {
                    emit addLog(QStringLiteral("上传失败：") + fileName + QStringLiteral("\n") + result);
                }
            }
        }

        // A window going away may already have taken its mutex down.
        if (abandoned)
            break;
        {
            QMutexLocker lock(claimMutex);
            cell = ++*nextUploadCell;
        }
    }

    if (!limitRows && !abandoned) {
        if (stopRequested)
            emit addLog(QStringLiteral("%1 停止上传").arg(name));
        else
            emit addLog(QStringLiteral("%1 结束").arg(name));
    }
    running = false;
    emit finished(name);
}

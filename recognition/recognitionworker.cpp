#include "recognitionworker.h"

#include <QMutexLocker>
#include <QThread>

void runRecognitionWorker(const PipelineContext &ctx, RecognitionRun &run, WorkerState &worker, int start,
                          int end, const std::atomic<bool> &stop, PipelineSink &sink)
{
    Q_UNUSED(start);
    worker.configure(ctx.settings);
    const int pages = ctx.model ? ctx.model->pagesPerSheet : 0;
    // Without pages a claim would never advance the cursor.
    while (pages > 0 && !stop) {
        int row = 0;
        {
            QMutexLocker lock(&run.claimMutex);
            if (run.processNextRow > end)
                break;
            row = run.processNextRow;
            run.processNextRow += pages;
            run.currentRow(worker.index) = row;
        }
        const QVector<PageRowInput> rows = sink.sheetRows(row, pages);
        processStudent(ctx, run, worker, row, rows, sink);
        QThread::msleep(1);
    }
    run.currentRow(worker.index) = -1;
    sink.finished(worker.name);
}

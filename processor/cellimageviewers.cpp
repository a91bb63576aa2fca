// The result table's cell viewers: a double click opens the viewer that fits
// the cell's column key, filled from the cell, its row's student code and the
// exam folder; an accepted objective correction is written back and scored.

#include "mytablewidgetresult.h"

#include "cellviewerkind.h"
#include "dialogcodeimageshow.h"
#include "dialogobjectimageshow.h"
#include "dialogoptionalimageshow.h"
#include "dialogsubjectimageshow.h"
#include "mainwindow.h"
#include "objectivecorrection.h"

#include <QFileInfo>

const QVector<AnswerSetting> &MyTableWidgetResult::objectiveKeys() const
{
    static const QVector<AnswerSetting> none;
    const MainWindow *mw = const_cast<MyTableWidgetResult *>(this)->mainWindowNow();
    return mw ? mw->answerSettings : none;
}

const QVector<AnswerSetting> &MyTableWidgetResult::optionalKeys() const
{
    static const QVector<AnswerSetting> none;
    const MainWindow *mw = const_cast<MyTableWidgetResult *>(this)->mainWindowNow();
    return mw ? mw->optionalAnswerSettings : none;
}

void MyTableWidgetResult::showCellImages(QTableWidgetItem *item)
{
    MainWindow *mw = mainWindowNow();
    if (!item || !mw)
        return;
    const int row = item->row();
    const QTableWidgetItem *header = horizontalHeaderItem(item->column());
    const QString key = header ? header->text() : QString();
    const QTableWidgetItem *codeItem = this->item(row, 0);
    const QString code = codeItem ? codeItem->text() : QString();
    const QString examFolder = mw->examFolder();

    switch (cellViewerKind(key)) {
    case CellViewerKind::None:
        return;
    case CellViewerKind::Subject:
    case CellViewerKind::EntireSheet: {
        DialogSubjectImageShow viewer(this);
        viewer.remoteAddress = item->data(ResultServerPathRole).toString();
        viewer.localPath = item->data(ResultLocalPathRole).toString();
        viewer.fileName = QFileInfo(viewer.localPath).fileName();
        viewer.scale = subjectImageScale;
        if (cellViewerKind(key) == CellViewerKind::EntireSheet)
            viewer.pageMemory = &sheetPage;
        viewer.exec();
        subjectImageScale = viewer.scale;
        return;
    }
    case CellViewerKind::Object: {
        DialogObjectImageShow viewer(this);
        const CropFiles crops = cropFiles(examFolder, QStringLiteral("objects"), code + QLatin1Char('-') + key);
        viewer.originalImagePath = crops.original;
        viewer.processedImagePath = crops.processed;
        viewer.code = code;
        viewer.itemId = key;
        viewer.mark = item->text();
        viewer.optionCount = item->data(ResultOptionCountRole).toInt();
        viewer.restoreRemembered();
        // While the viewer is open, running workers may drop or move the
        // row: `item` is not touched again, the row is looked up by code.
        if (viewer.exec() != QDialog::Accepted)
            return;
        if (!writeBackObjectiveMark(this, row, code, key, viewer.mark, objectiveKeys(), optionalKeys()))
            reportCorrectionNotWritten(this, code);
        return;
    }
    case CellViewerKind::Optional: {
        DialogOptionalImageShow viewer(this);
        viewer.code = code;
        viewer.itemId = key.mid(2);
        viewer.caption = code + QLatin1Char('-') + viewer.itemId;
        const CropFiles crops = cropFiles(examFolder, QStringLiteral("optionals"), viewer.caption);
        viewer.originalImagePath = crops.original;
        viewer.processedImagePath = crops.processed;
        viewer.restoreRemembered();
        viewer.exec();
        return;
    }
    case CellViewerKind::Code: {
        DialogCodeImageShow viewer(this, mw->codeType);
        viewer.code = code;
        const CropFiles crops = cropFiles(examFolder, QStringLiteral("codes"), code);
        viewer.originalImagePath = crops.original;
        viewer.processedImagePath = crops.processed;
        viewer.restoreRemembered();
        viewer.exec();
        return;
    }
    }
}

#include "dialogoptionalimageshow.h"

#include "resultreviewhost.h"

#include <QLabel>

DialogOptionalImageShow::DialogOptionalImageShow(QWidget *parent) : CropImageViewer(parent)
{
    resize(532, 261);
    label = addLabel(QStringLiteral("label"), QStringLiteral("考号："));
    labelCode = addLabel(QStringLiteral("labelCode"));
    label_3 = addLabel(QStringLiteral("label_3"), QStringLiteral("选做的题号："));
    labelOptional = addLabel(QStringLiteral("labelOptional"));
    pushButtonOK = layOutViewsAbove({label, labelCode, label_3, labelOptional});

    if (ResultReviewHost *host = ResultReviewHost::of(parent))
        rememberIn(&host->optionalImagePos, &host->optionalImageSize, &host->optionalShowType);
}

void DialogOptionalImageShow::showEvent(QShowEvent *event)
{
    loadCrops(originalImagePath, processedImagePath);
    labelCode->setText(code);
    labelOptional->setText(itemId);
    setWindowTitle(QStringLiteral("选做题图片：") + caption);
    CropImageViewer::showEvent(event);
}

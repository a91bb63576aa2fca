#include "dialogcodeimageshow.h"

#include "resultreviewhost.h"

#include <QComboBox>
#include <QLabel>
#include <QScrollArea>

DialogCodeImageShow::DialogCodeImageShow(QWidget *parent, int codeType)
    : CropImageViewer(parent), m_barcode(codeType == 1)
{
    resize(480, 399);
    label_2 = addLabel(QStringLiteral("label_2"), QStringLiteral("考号："));
    labelCode = addLabel(QStringLiteral("labelCode"));
    pushButtonOK = layOutViewsAbove({label_2, labelCode});

    if (m_barcode) {
        labelImageBinary->hide();
        scrollAreaBinary->hide();
        scrollAreaBinary->setFixedHeight(0);
        comboBoxShowType->hide();
    }
    if (ResultReviewHost *host = ResultReviewHost::of(parent))
        rememberIn(&host->codeImagePos, &host->codeImageSize, &host->codeShowType);
}

void DialogCodeImageShow::applyShowType(int type)
{
    if (!m_barcode) {
        CropImageViewer::applyShowType(type);
        return;
    }
    scrollAreaOrignal->show();
    scrollAreaBinary->hide();
}

void DialogCodeImageShow::showEvent(QShowEvent *event)
{
    loadCrops(originalImagePath, processedImagePath);
    labelCode->setText(code);
    setWindowTitle(QStringLiteral("考号图片：") + code);
    CropImageViewer::showEvent(event);
}

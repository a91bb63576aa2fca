#include "dialogsetanchorpointroi.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

DialogSetAnchorPointROI::DialogSetAnchorPointROI(QWidget *parent) : QDialog(parent)
{
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(QStringLiteral("设为定位点搜索区域"));

    auto *pages = new QGroupBox(QStringLiteral("页面"), this);
    radioButtonAllPages = new QRadioButton(QStringLiteral("所有页"), pages);
    radioButtonAllPages->setObjectName(QStringLiteral("radioButtonAllPages"));
    radioButtonCurrentPage = new QRadioButton(pages);
    radioButtonCurrentPage->setObjectName(QStringLiteral("radioButtonCurrentPage"));
    auto *pagesLayout = new QVBoxLayout(pages);
    pagesLayout->addWidget(radioButtonAllPages);
    pagesLayout->addWidget(radioButtonCurrentPage);
    radioButtonAllPages->setChecked(true);

    auto *anchors = new QGroupBox(QStringLiteral("定位点"), this);
    radioButtonAnchorA = new QRadioButton(QStringLiteral("定位点A"), anchors);
    radioButtonAnchorA->setObjectName(QStringLiteral("radioButtonAnchorA"));
    radioButtonAnchorB = new QRadioButton(QStringLiteral("定位点B"), anchors);
    radioButtonAnchorB->setObjectName(QStringLiteral("radioButtonAnchorB"));
    radioButtonPrintText = new QRadioButton(QStringLiteral("文本定位点"), anchors);
    radioButtonPrintText->setObjectName(QStringLiteral("radioButtonPrintText"));
    auto *anchorsLayout = new QVBoxLayout(anchors);
    anchorsLayout->addWidget(radioButtonAnchorA);
    anchorsLayout->addWidget(radioButtonAnchorB);
    anchorsLayout->addWidget(radioButtonPrintText);
    radioButtonAnchorA->setChecked(true);

    checkBoxApplyToAllSheets = new QCheckBox(QStringLiteral("应用到所有答卷"), this);
    checkBoxApplyToAllSheets->setObjectName(QStringLiteral("checkBoxApplyToAllSheets"));
    checkBoxApplyToAllSheets->setChecked(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    connect(buttons, &QDialogButtonBox::accepted, this, &DialogSetAnchorPointROI::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DialogSetAnchorPointROI::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    layout->addWidget(anchors);
    layout->addWidget(checkBoxApplyToAllSheets);
    layout->addWidget(buttons);
}

void DialogSetAnchorPointROI::showEvent(QShowEvent *event)
{
    radioButtonCurrentPage->setText(QStringLiteral("仅当前页：%1").arg(currentPage));
    radioButtonAnchorA->setVisible(isRectangleAnchor);
    radioButtonAnchorB->setVisible(isRectangleAnchor);
    radioButtonPrintText->setVisible(!isRectangleAnchor);
    if (isRectangleAnchor && radioButtonPrintText->isChecked())
        radioButtonAnchorA->setChecked(true);
    if (!isRectangleAnchor)
        radioButtonPrintText->setChecked(true);
    QDialog::showEvent(event);
}

void DialogSetAnchorPointROI::accept()
{
    pageScope = radioButtonCurrentPage->isChecked() ? 1 : 0;
    if (radioButtonPrintText->isChecked())
        anchorType = 2;
    else if (radioButtonAnchorB->isChecked())
        anchorType = 1;
    else
        anchorType = 0;
    applyToAllSheets = checkBoxApplyToAllSheets->isChecked();
    QDialog::accept();
}

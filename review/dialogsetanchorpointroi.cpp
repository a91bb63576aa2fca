#include "dialogsetanchorpointroi.h"
#include "ui_dialogsetanchorpointroi.h"

#include "formsize.h"

#include <QButtonGroup>

DialogSetAnchorPointROI::DialogSetAnchorPointROI(QWidget *parent)
    : QDialog(parent), ui(new Ui::DialogSetAnchorPointROI), m_pageScope(new QButtonGroup(this)),
      m_anchorType(new QButtonGroup(this))
{
    ui->setupUi(this);
    FormSize::fixAtLeastLayout(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_pageScope->addButton(ui->radioButtonApplyToAllPage, 0);
    m_pageScope->addButton(ui->radioButtonApplyToPresentPage, 1);
    m_anchorType->addButton(ui->radioButtonA, 0);
    m_anchorType->addButton(ui->radioButtonB, 1);
    m_anchorType->addButton(ui->radioButtonPrintTextAnchor, 2);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogSetAnchorPointROI::accept);
}

DialogSetAnchorPointROI::~DialogSetAnchorPointROI()
{
    delete ui;
}

void DialogSetAnchorPointROI::showEvent(QShowEvent *event)
{
    ui->radioButtonApplyToPresentPage->setText(QStringLiteral("仅当前页：%1").arg(currentPage));
    if (isRectangleAnchor) {
        ui->stackedWidget->setCurrentWidget(ui->page);
    } else {
        ui->stackedWidget->setCurrentWidget(ui->page_2);
        ui->radioButtonPrintTextAnchor->setChecked(true);
    }
    // The page number has just lengthened a text.
    FormSize::fixAtLeastLayout(this);
    QDialog::showEvent(event);
}

void DialogSetAnchorPointROI::accept()
{
    pageScope = m_pageScope->checkedId();
    anchorType = m_anchorType->checkedId();
    applyToAllSheets = ui->checkBoxApplyToAll->isChecked();
    QDialog::accept();
}

#include "dialogsectioncode.h"

#include "sectiondialogcommon.h"
#include "ui_dialogsectioncode.h"

#include <QButtonGroup>
#include <QIntValidator>

DialogSectionCode::DialogSectionCode(QWidget *parent)
    : QDialog(parent), ui(new Ui::DialogSectionCode), typeGroup_(new QButtonGroup(this))
{
    ui->setupUi(this);
    SectionDialogs::fixFrame(this);
    typeGroup_->addButton(ui->radioButtonMarkPoint, 0);
    typeGroup_->addButton(ui->radioButtonBar, 1);
    typeGroup_->setExclusive(true);
    ui->comboBoxCodeLength->setValidator(new QIntValidator(kMinCodeLength, kMaxCodeLength, this));
    ui->comboBoxCodeLength->setEditText(QStringLiteral("6"));
    ui->comboBoxCodeNumDirection->setCurrentIndex(0);
    ui->comboBoxBarDirection->setCurrentIndex(0);
    ui->stackedWidget->setCurrentWidget(ui->page);
    connect(ui->radioButtonMarkPoint, &QRadioButton::clicked, this, &DialogSectionCode::onMarkPointSelected);
    connect(ui->radioButtonBar, &QRadioButton::clicked, this, &DialogSectionCode::onBarSelected);
    connect(ui->pushButton, &QPushButton::clicked, this, &DialogSectionCode::accept);
}

DialogSectionCode::~DialogSectionCode()
{
    delete ui;
}

void DialogSectionCode::onMarkPointSelected()
{
    ui->stackedWidget->setCurrentWidget(ui->page);
}

void DialogSectionCode::onBarSelected()
{
    ui->stackedWidget->setCurrentWidget(ui->page_2);
}

void DialogSectionCode::accept()
{
    codeType = typeGroup_->checkedId();
    codeLength = SectionDialogs::number(ui->comboBoxCodeLength->currentText());
    numberDirection = ui->comboBoxCodeNumDirection->currentText() == QStringLiteral("横排") ? 1 : 0;
    barDirection = ui->comboBoxBarDirection->currentText() == QStringLiteral("水平") ? 0 : 1;
    if (codeType == 0) {
        if (markPointWidth == 0 || markPointHeight == 0) {
            SectionDialogs::refuse(this, QStringLiteral("设置涂点考号之前需要先【测量涂点大小】"));
            return;
        }
        // The validator lets a short or empty text stand; a grid of that
        // length would read no code at all.
        if (codeLength < kMinCodeLength || codeLength > kMaxCodeLength) {
            SectionDialogs::refuse(this, QStringLiteral("考号长度必须在 %1 到 %2 之间")
                                             .arg(kMinCodeLength)
                                             .arg(kMaxCodeLength));
            return;
        }
    }
    QDialog::accept();
}

#include "dialogimagedelete.h"
#include "ui_dialogimagedelete.h"

DialogImageDelete::DialogImageDelete(QWidget *parent, Form form) : QDialog(parent), ui(new Ui::DialogImageDelete)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    if (form == Form::FileList) {
        setWindowTitle(QStringLiteral("提示"));
        setWindowIcon(QIcon());
        resize(473, 127);
        QFont big = font();
        big.setPointSize(20);
        setFont(big);
        ui->pushButtonOK->setObjectName(QStringLiteral("pushButton"));
        ui->checkBoxDeleteLocalFile->setStyleSheet(QStringLiteral(
            "QCheckBox { padding:5px 20px 5px 5px; border-radius:5px; border:none; spacing:10px; font-size:16px; }"
            "QCheckBox::indicator { width:16px; height:16px; }"
            "QCheckBox::indicator:unchecked { image:url(:/svgs/res/svgs/unchecked.svg); }"
            "QCheckBox::indicator:checked { image:url(:/svgs/res/svgs/checked.svg); }"));
    }
    connect(ui->checkBoxDeleteLocalFile, &QCheckBox::clicked, this, [this](bool checked) { deleteLocalFile = checked; },
            Qt::DirectConnection);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogImageDelete::accept);
}

DialogImageDelete::~DialogImageDelete()
{
    delete ui;
}

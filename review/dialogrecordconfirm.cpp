#include "dialogrecordconfirm.h"

#include "dialogabsentstudentstat.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

DialogRecordConfirm::DialogRecordConfirm(QTableWidget *results, QWidget *parent)
    : QDialog(parent), results(results)
{
    setObjectName(QStringLiteral("DialogRecordConfirm"));
    setWindowTitle(QStringLiteral("数据确认"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    QFont dialogFont = font();
    dialogFont.setPointSize(14);
    setFont(dialogFont);
    resize(533, 304);

    label = new QLabel(this);
    label->setObjectName(QStringLiteral("label"));
    label->setWordWrap(true);

    pushButtonAbsentStudentStat = new QPushButton(QStringLiteral("缺考统计"), this);
    pushButtonAbsentStudentStat->setObjectName(QStringLiteral("pushButtonAbsentStudentStat"));
    QFont statFont = pushButtonAbsentStudentStat->font();
    statFont.setPointSize(18);
    pushButtonAbsentStudentStat->setFont(statFont);
    pushButtonAbsentStudentStat->setStyleSheet(QStringLiteral("padding:10px 10px;"));
    pushButtonAbsentStudentStat->setIcon(QIcon(QStringLiteral(":/image/res/images/stat.png")));
    pushButtonAbsentStudentStat->setIconSize(QSize(32, 32));
    pushButtonAbsentStudentStat->setAutoDefault(false);
    auto *statRow = new QHBoxLayout;
    statRow->setContentsMargins(0, 20, 0, 20);
    statRow->addWidget(pushButtonAbsentStudentStat);
    statRow->addStretch();

    auto *line = new QFrame(this);
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    pushButtonCancel = new QPushButton(QStringLiteral("取消"), this);
    pushButtonCancel->setObjectName(QStringLiteral("pushButtonCancel"));
    pushButtonCancel->setAutoDefault(false);
    pushButtonOK = new QPushButton(QStringLiteral("确认"), this);
    pushButtonOK->setObjectName(QStringLiteral("pushButtonOK"));
    pushButtonOK->setAutoDefault(true);
    pushButtonOK->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(pushButtonCancel);
    buttons->addWidget(pushButtonOK);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(statRow);
    layout->addStretch();
    layout->addWidget(line);
    layout->addLayout(buttons);

    connect(pushButtonAbsentStudentStat, &QPushButton::clicked, this, &DialogRecordConfirm::absent);
    connect(pushButtonCancel, &QPushButton::clicked, this, &DialogRecordConfirm::reject);
    connect(pushButtonOK, &QPushButton::clicked, this, &DialogRecordConfirm::accept);
}

void DialogRecordConfirm::setCounts(int imageCount, int expectedRecords, int successfulRecords)
{
    label->setText(QStringLiteral("答卷列表中共 %1 张图片，预期学生记录数为 %2。").arg(imageCount).arg(expectedRecords)
                   + QStringLiteral("\r\n")
                   + QStringLiteral("实际成功的学生记录数为 %1。").arg(successfulRecords));
}

void DialogRecordConfirm::absent()
{
    if (!results)
        return;
    DialogAbsentStudentStat dialog(this, results);
    dialog.exec();
}

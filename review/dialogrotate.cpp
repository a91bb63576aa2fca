#include "dialogrotate.h"

#include "messagebox.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include <algorithm>
#include <utility>

DialogRotate::DialogRotate(QTableWidget *imageTable, int filePathRole, RotateFile rotateFile, QWidget *parent)
    : QDialog(parent), imageTable(imageTable), filePathRole(filePathRole), rotateFile(std::move(rotateFile))
{
    setWindowTitle(QStringLiteral("批量旋转"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto *layout = new QGridLayout(this);
    spinBoxFrom = new QSpinBox(this);
    spinBoxFrom->setObjectName(QStringLiteral("spinBoxFrom"));
    spinBoxTo = new QSpinBox(this);
    spinBoxTo->setObjectName(QStringLiteral("spinBoxTo"));
    comboBoxAngle = new QComboBox(this);
    comboBoxAngle->setObjectName(QStringLiteral("comboBoxAngle"));
    comboBoxAngle->addItems({QStringLiteral("顺时针90度"), QStringLiteral("逆时针90度"), QStringLiteral("180度")});
    pushButtonOK = new QPushButton(QStringLiteral("确定"), this);
    pushButtonOK->setObjectName(QStringLiteral("pushButtonOK"));
    layout->addWidget(new QLabel(QStringLiteral("起始行："), this), 0, 0);
    layout->addWidget(spinBoxFrom, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("结束行："), this), 1, 0);
    layout->addWidget(spinBoxTo, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("旋转："), this), 2, 0);
    layout->addWidget(comboBoxAngle, 2, 1);
    layout->addWidget(pushButtonOK, 3, 1);
    connect(pushButtonOK, &QPushButton::clicked, this, &DialogRotate::accept);
}

void DialogRotate::showEvent(QShowEvent *event)
{
    const int rows = imageTable ? imageTable->rowCount() : 0;
    for (QSpinBox *box : {spinBoxFrom, spinBoxTo})
        box->setRange(rows > 0 ? 1 : 0, rows);
    spinBoxFrom->setValue(spinBoxFrom->minimum());
    spinBoxTo->setValue(rows);
    QDialog::showEvent(event);
}

void DialogRotate::accept()
{
    rotatedCount = 0;
    failedFiles.clear();
    const int rows = imageTable ? imageTable->rowCount() : 0;
    // 1-based range, clamped to the table.
    const int first = std::max(spinBoxFrom->value(), 1);
    const int last = std::min(spinBoxTo->value(), rows);
    static const int modes[] = {0, 2, 1};
    const int mode = modes[std::clamp(comboBoxAngle->currentIndex(), 0, 2)];
    for (int row = first; row <= last; ++row) {
        const QTableWidgetItem *cell = imageTable->item(row - 1, 0);
        const QString path = cell ? cell->data(filePathRole).toString() : QString();
        if (path.isEmpty())
            continue;
        if (rotateFile && rotateFile(path, mode))
            ++rotatedCount;
        else
            failedFiles << path;
    }
    if (!failedFiles.isEmpty())
        MessageBox::warning(this, QStringLiteral("提示"),
                             QStringLiteral("以下图片旋转失败：\n") + failedFiles.join(QLatin1Char('\n')));
    QDialog::accept();
}

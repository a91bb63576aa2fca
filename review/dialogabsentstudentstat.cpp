#include "dialogabsentstudentstat.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

// Only the frame for now: the statistics come with the review dialogs.
DialogAbsentStudentStat::DialogAbsentStudentStat(QWidget *parent, QTableWidget *results)
    : QDialog(parent), results(results)
{
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(QStringLiteral("缺考统计"));

    const int rows = results ? results->rowCount() : 0;
    auto *label = new QLabel(QStringLiteral("识别份数：%1").arg(rows), this);
    label->setObjectName(QStringLiteral("labelCount"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &DialogAbsentStudentStat::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(buttons);
}

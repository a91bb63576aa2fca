#include "dialogimagedelete.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

DialogImageDelete::DialogImageDelete(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("删除"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(QStringLiteral("确定从列表中删除选中的行吗？"), this);
    label->setObjectName(QStringLiteral("label"));
    layout->addWidget(label);
    auto *row = new QHBoxLayout;
    checkBox = new QCheckBox(QStringLiteral("同时删除本地文件"), this);
    checkBox->setObjectName(QStringLiteral("checkBox"));
    pushButtonOK = new QPushButton(QStringLiteral("确定"), this);
    pushButtonOK->setObjectName(QStringLiteral("pushButtonOK"));
    row->addWidget(checkBox);
    row->addStretch();
    row->addWidget(pushButtonOK);
    layout->addLayout(row);
    connect(checkBox, &QCheckBox::toggled, this, [this](bool on) { deleteLocalFile = on; });
    connect(pushButtonOK, &QPushButton::clicked, this, &QDialog::accept);
}

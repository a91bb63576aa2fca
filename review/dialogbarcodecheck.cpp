#include "dialogbarcodecheck.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

DialogBarCodeCheck::DialogBarCodeCheck(QWidget *parent) : QDialog(parent)
{
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(QStringLiteral("条码考号检测"));

    auto *horizontal = new QPushButton(QStringLiteral("水平"), this);
    horizontal->setObjectName(QStringLiteral("pushButtonHorizontal"));
    auto *vertical = new QPushButton(QStringLiteral("垂直"), this);
    vertical->setObjectName(QStringLiteral("pushButtonVertical"));
    connect(horizontal, &QPushButton::clicked, this, [this] {
        direction = 0;
        accept();
    });
    connect(vertical, &QPushButton::clicked, this, [this] {
        direction = 1;
        accept();
    });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(horizontal);
    buttons->addWidget(vertical);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("条码方向："), this));
    layout->addLayout(buttons);
}

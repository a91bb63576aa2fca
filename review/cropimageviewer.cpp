#include "cropimageviewer.h"

#include "resultreviewhost.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

QLabel *imageLabel(const QString &name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setStyleSheet(QStringLiteral("background-color: rgb(148, 148, 148);"));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QScrollArea *imageArea(const QString &name, QLabel *label, QWidget *parent)
{
    auto *area = new QScrollArea(parent);
    area->setObjectName(name);
    area->setWidgetResizable(true);
    area->setAlignment(Qt::AlignCenter);
    area->setWidget(label);
    return area;
}

} // namespace

Qt::WindowFlags reviewViewerFlags()
{
    return Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
           | Qt::WindowCloseButtonHint;
}

CropImageViewer::CropImageViewer(QWidget *parent) : QDialog(parent, reviewViewerFlags())
{
    QFont big = font();
    big.setPointSize(12);
    setFont(big);

    labelImageOrignal = imageLabel(QStringLiteral("labelImageOrignal"), this);
    scrollAreaOrignal = imageArea(QStringLiteral("scrollAreaOrignal"), labelImageOrignal, this);
    labelImageBinary = imageLabel(QStringLiteral("labelImageBinary"), this);
    scrollAreaBinary = imageArea(QStringLiteral("scrollAreaBinary"), labelImageBinary, this);

    comboBoxShowType = new QComboBox(this);
    comboBoxShowType->setObjectName(QStringLiteral("comboBoxShowType"));
    comboBoxShowType->addItems(
        {QStringLiteral("原图"), QStringLiteral("处理后图片"), QStringLiteral("原图和处理后图片")});
    comboBoxShowType->setCurrentIndex(ShowBoth);
    connect(comboBoxShowType, &QComboBox::currentTextChanged, this, &CropImageViewer::showImageTypeChanged);
}

QLabel *CropImageViewer::addLabel(const QString &objectName, const QString &text)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(objectName);
    return label;
}

QPushButton *CropImageViewer::layOutViewsAbove(const QList<QWidget *> &rowWidgets)
{
    auto *close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("pushButtonOK"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(scrollAreaOrignal);
    layout->addWidget(scrollAreaBinary);
    auto *row = new QHBoxLayout;
    row->addWidget(comboBoxShowType);
    for (QWidget *widget : rowWidgets)
        row->addWidget(widget);
    row->addStretch();
    row->addWidget(close);
    layout->addLayout(row);
    return close;
}

void CropImageViewer::rememberIn(QPoint *pos, QSize *size, int *showType)
{
    m_pos = pos;
    m_size = size;
    m_showType = showType;
}

void CropImageViewer::applyShowType(int type)
{
    if (type < ShowOriginal || type > ShowBoth)
        return;
    {
        const QSignalBlocker quiet(comboBoxShowType);
        comboBoxShowType->setCurrentIndex(type);
    }
    scrollAreaOrignal->setVisible(type != ShowProcessed);
    scrollAreaBinary->setVisible(type != ShowOriginal);
}

void CropImageViewer::showImageTypeChanged()
{
    const int type = comboBoxShowType->currentIndex();
    if (m_showType)
        *m_showType = type;
    applyShowType(type);
}

void CropImageViewer::restoreRemembered()
{
    if (m_pos && m_size && ResultReviewHost::remembered(*m_pos, *m_size)) {
        move(*m_pos);
        resize(*m_size);
    }
    if (m_showType)
        applyShowType(*m_showType);
}

void CropImageViewer::loadCrops(const QString &originalPath, const QString &processedPath)
{
    labelImageOrignal->setPixmap(QPixmap(originalPath));
    labelImageBinary->setPixmap(QPixmap(processedPath));
}

// Every move and resize is remembered, the first placement on showing too.
void CropImageViewer::moveEvent(QMoveEvent *event)
{
    QDialog::moveEvent(event);
    if (m_pos)
        *m_pos = pos();
}

void CropImageViewer::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (m_size)
        *m_size = size();
}

#include "formimage.h"
#include "ui_formimage.h"

#include "dialogabout.h"
#include "formscan.h"
#include "formstatusbar.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "mylabel.h"

#include <QScrollBar>

FormImage::FormImage(QWidget *parent) : QWidget(parent), ui(new Ui::FormImage)
{
    ui->setupUi(this);
    mainWindow = qobject_cast<MainWindow *>(parent);
    label = ui->label;
    // The station pans with either mouse button.
    ui->scrollArea->setVariant(MyScrollArea::Variant::Scanner);
    ui->scrollArea->setWidget(label);

    connect(ui->toolButtonZoomIn, &QToolButton::clicked, label, &MyLabel::zoomIn);
    connect(ui->toolButtonZoomOut, &QToolButton::clicked, label, &MyLabel::zoomOut);
    connect(ui->toolButtonOriginal, &QToolButton::clicked, label, &MyLabel::showFullSize);
    connect(ui->toolButtonFit, &QToolButton::clicked, this, [this] {
        QScrollArea *area = ui->scrollArea;
        label->fitToSize(area->width() - area->verticalScrollBar()->width(),
                         area->height() - area->horizontalScrollBar()->height());
    });
    connect(ui->toolButtonRotateRight, &QToolButton::clicked, this, [this] { rotateShown(90); });
    connect(ui->toolButtonRotate180, &QToolButton::clicked, this, [this] { rotateShown(180); });
    connect(ui->toolButtonRotateLeft, &QToolButton::clicked, this, [this] { rotateShown(270); });
    connect(ui->toolButtonAbout, &QToolButton::clicked, this, [this] {
        DialogAbout about(DialogAbout::pellwyn(), this);
        about.exec();
    });
    connect(label, &MyLabel::signalRotate, this, &FormImage::updateFileInfo);
}

FormImage::~FormImage()
{
    delete ui;
}

void FormImage::updateFileInfo(int width, int height, int size)
{
    if (mainWindow && mainWindow->formStatusBar)
        mainWindow->formStatusBar->setFileInfo(width, height, size);
}

int FormImage::currentQuality() const
{
    if (imageQuality)
        return imageQuality();
    if (mainWindow && mainWindow->formScan)
        return mainWindow->formScan->imageQuality;
    return -1;
}

void FormImage::rotateShown(int angle)
{
    if (label->filePath.isEmpty())
        return;
    if (!label->rotateImage(angle, currentQuality()))
        MessageBox::warning(this, QStringLiteral("提示"), label->lastError);
}

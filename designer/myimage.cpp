#include "myimage.h"
#include "ui_myimage.h"

#include "mylabel.h"
#include "myscrollarea.h"

#include <QScrollBar>

MyImage::MyImage(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::MyImage>())
{
    ui->setupUi(this);
    ui->labelScale->hide();
    ui->scrollArea->setVariant(MyScrollArea::Variant::Designer);
    ui->scrollArea->setBackgroundRole(QPalette::Dark);

    MyLabel *canvas = ui->label;
    connect(ui->toolButtonZoomIn, &QToolButton::clicked, canvas, [canvas] { canvas->zoomIn(); });
    connect(ui->toolButtonZoomOut, &QToolButton::clicked, canvas, [canvas] { canvas->zoomOut(); });
    connect(ui->toolButtonOriginal, &QToolButton::clicked, canvas, [canvas] { canvas->showFullSize(); });
    connect(ui->toolButtonFit, &QToolButton::clicked, canvas, [this, canvas] {
        const QScrollArea *area = ui->scrollArea;
        canvas->fitToSize(area->width() - area->verticalScrollBar()->width(),
                          area->height() - area->horizontalScrollBar()->height());
    });
    connect(ui->toolButtonClockwise, &QToolButton::clicked, canvas, [canvas] { canvas->rotatePage(0); });
    connect(ui->toolButtonAntiClockwise, &QToolButton::clicked, canvas, [canvas] { canvas->rotatePage(2); });
    connect(ui->toolButtonRotate180, &QToolButton::clicked, canvas, [canvas] { canvas->rotatePage(1); });
}

MyImage::~MyImage() = default;

MyLabel *MyImage::label() const
{
    return ui->label;
}

void MyImage::setImage(const QString &path, int page)
{
    ui->label->loadImage(path, page);
}

void MyImage::setScaleText(const QString &text)
{
    ui->labelScale->setText(text);
}

#include "dialoghorizontal.h"
#include "ui_dialoghorizontal.h"

#include "mylabel.h"
#include "selectioncrop.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <cmath>

MyLabelHorizontal::MyLabelHorizontal(QWidget *parent)
    : QLabel(parent)
{
}

float MyLabelHorizontal::lineAngle(const QPoint &from, const QPoint &to)
{
    const int dx = to.x() - from.x();
    const int dy = to.y() - from.y();
    const float radians = float(std::atan2(double(float(dy)), double(float(dx))));
    float degrees = radians * 180.0f / 3.14159f;
    // A line has no direction: fold into -90 .. 90.
    if (degrees > 90.0f)
        degrees -= 180.0f;
    if (degrees < -90.0f)
        degrees += 180.0f;
    return degrees;
}

void MyLabelHorizontal::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        pressPoint = endPoint = event->pos();
        setCursor(Qt::CrossCursor);
    }
    QLabel::mousePressEvent(event);
}

void MyLabelHorizontal::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton) {
        endPoint = event->pos();
        angle = lineAngle(pressPoint, endPoint);
        update();
    }
    QLabel::mouseMoveEvent(event);
}

void MyLabelHorizontal::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        setCursor(Qt::ArrowCursor);
    QLabel::mouseReleaseEvent(event);
}

void MyLabelHorizontal::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::red, 2, Qt::SolidLine));
    painter.drawLine(pressPoint, endPoint);
    painter.drawText(endPoint, QString::number(double(angle), 'f', 3));
}

DialogHorizontal::DialogHorizontal(MyLabel *canvas)
    : QDialog(canvas)
    , ui(new Ui::DialogHorizontal)
{
    ui->setupUi(this);
    setWindowFlags((windowFlags() & ~Qt::WindowContextHelpButtonHint) | Qt::Window | Qt::WindowMaximizeButtonHint
                   | Qt::WindowCloseButtonHint);
    labelImage = ui->labelImage;
    ui->scrollArea->setWidget(labelImage);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogHorizontal::accept);

    if (canvas && !canvas->imagePath.isEmpty()) {
        // An unreadable page keeps the placeholder text; the canvas reports
        // the file when it tries to rewrite it.
        labelImage->image = SelectionCrop::cut(canvas, nullptr, nullptr);
        if (!labelImage->image.isNull())
            labelImage->setPixmap(QPixmap::fromImage(labelImage->image));
    }
}

DialogHorizontal::~DialogHorizontal()
{
    delete ui;
}

void DialogHorizontal::accept()
{
    angle = labelImage->angle;
    QDialog::accept();
}

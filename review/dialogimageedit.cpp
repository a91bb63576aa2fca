#include "dialogimageedit.h"
#include "ui_dialogimageedit.h"

#include "imageconvert.h"
#include "imagefile.h"
#include "messagebox.h"

#include <QPixmap>
#include <QRegularExpressionValidator>
#include <QSettings>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace {

const QString kWhite = QStringLiteral("白色");
// OpenCV's limit for a line's thickness.
constexpr int kMaxThickness = 32767;

// The selection cut back to the image; empty when none of it is inside.
QRect areaIn(const QRect &selection, const cv::Mat &image)
{
    return image.empty() ? QRect() : selection.intersected(QRect(0, 0, image.cols, image.rows));
}

} // namespace

DialogImageEdit::DialogImageEdit(const QString &imagePath, const QRect &selection, int penGrey, int penWidth,
                                 const QString &iniPath, QWidget *parent)
    : QDialog(parent), imagePath(imagePath), imageEditColor(penGrey), imageEditWidth(penWidth),
      ui(new Ui::DialogImageEdit), m_selection(selection), m_iniPath(iniPath)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    for (int width = 5; width <= 99; width += 2)
        ui->comboBoxWidth->addItem(QString::number(width));
    ui->comboBoxWidth->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,4}")), ui->comboBoxWidth));
    connect(ui->labelImage, &MyImageEditLabel::pointerEntered, this, &DialogImageEdit::setCursorParams);
    connect(ui->toolButtonUndo, &QToolButton::clicked, this, &DialogImageEdit::undoStroke);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogImageEdit::accept);
}

DialogImageEdit::~DialogImageEdit()
{
    delete ui;
}

bool DialogImageEdit::loadSelection(QString *error)
{
    if (imagePath.isEmpty()) {
        *error = QStringLiteral("没有可编辑的图片");
        return false;
    }
    sheetImage = ImageFile::read(imagePath, cv::IMREAD_GRAYSCALE, error);
    if (sheetImage.empty())
        return false;
    m_editRect = areaIn(m_selection, sheetImage);
    if (m_editRect.isEmpty()) {
        *error = QStringLiteral("选择区域不在图片内");
        return false;
    }
    editArea = sheetImage(cv::Rect(m_editRect.x(), m_editRect.y(), m_editRect.width(), m_editRect.height()));
    ui->labelImage->setPixmap(QPixmap::fromImage(matToQImage(editArea).copy()));
    return true;
}

int DialogImageEdit::exec()
{
    QString error;
    if (!loadSelection(&error)) {
        MessageBox::warning(parentWidget(), QStringLiteral("提示"), error);
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

void DialogImageEdit::showEvent(QShowEvent *event)
{
    if (imageEditColor == 0)
        ui->comboBoxColor->setCurrentText(QStringLiteral("黑色"));
    else if (imageEditColor == 255)
        ui->comboBoxColor->setCurrentText(kWhite);
    ui->comboBoxWidth->setCurrentText(QString::number(imageEditWidth));
    setCursorParams();
    QDialog::showEvent(event);
}

int DialogImageEdit::chosenWidth() const
{
    // The field takes any four digits; a line needs at least one pixel.
    return std::max(ui->comboBoxWidth->currentText().toInt(), 1);
}

void DialogImageEdit::setCursorParams()
{
    const int grey = ui->comboBoxColor->currentText() == kWhite ? 255 : 0;
    ui->labelImage->setPen(grey, chosenWidth());
}

void DialogImageEdit::undoStroke()
{
    ui->labelImage->undoStroke();
}

void DialogImageEdit::burnStrokes(cv::Mat &area, const QList<QList<QPoint>> &strokes, const QList<int> &greys,
                                  const QList<int> &widths)
{
    for (int i = 0; i < strokes.size(); ++i) {
        const QList<QPoint> &stroke = strokes.at(i);
        const cv::Scalar grey = cv::Scalar::all(greys.at(i));
        const int width = std::clamp(widths.at(i), 1, kMaxThickness);
        if (stroke.size() == 1 || (stroke.size() == 2 && stroke.first() == stroke.last())) {
            const QPoint p = stroke.first();
            const int half = width / 2;
            cv::rectangle(area, cv::Point(p.x() - half, p.y() - half), cv::Point(p.x() + half, p.y() + half), grey,
                          cv::FILLED, cv::LINE_8);
            continue;
        }
        for (int k = 1; k < stroke.size(); ++k) {
            cv::line(area, cv::Point(stroke.at(k - 1).x(), stroke.at(k - 1).y()),
                     cv::Point(stroke.at(k).x(), stroke.at(k).y()), grey, width, cv::LINE_8);
        }
    }
}

void DialogImageEdit::accept()
{
    // The file again, as it is now: the strokes go into its present pixels.
    QString error;
    sheetImage = ImageFile::read(imagePath, cv::IMREAD_GRAYSCALE, &error);
    const QRect area = areaIn(m_selection, sheetImage);
    if (sheetImage.empty() || area.isEmpty()) {
        MessageBox::warning(this, QStringLiteral("提示"),
                            error.isEmpty() ? QStringLiteral("选择区域不在图片内") : error);
        return;
    }
    m_editRect = area;
    editArea = sheetImage(cv::Rect(area.x(), area.y(), area.width(), area.height()));
    const MyImageEditLabel *canvas = ui->labelImage;
    burnStrokes(editArea, canvas->strokes, canvas->strokeGreys, canvas->strokeWidths);
    if (!ImageFile::write(imagePath, sheetImage, {cv::IMWRITE_JPEG_QUALITY, 100}, &error)) {
        MessageBox::warning(this, QStringLiteral("提示"), error);
        return;
    }

    imageEditColor = ui->comboBoxColor->currentIndex() == 0 ? 255 : 0;
    imageEditWidth = chosenWidth();
    saveEditSettings();
    QDialog::accept();
}

void DialogImageEdit::saveEditSettings() const
{
    QSettings settings(m_iniPath, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    settings.setValue(QStringLiteral("ImageEdit/Color"), QString::number(imageEditColor));
    settings.setValue(QStringLiteral("ImageEdit/Width"), QString::number(imageEditWidth));
}

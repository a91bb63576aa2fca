#include "dialogthreshold.h"
#include "ui_dialogthreshold.h"

#include "imageconvert.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "myimage.h"
#include "mylabel.h"
#include "myrubberbandcontainer.h"
#include "settingsfile.h"

#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QSettings>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

const QString kInstruction = QStringLiteral(
    "在程序主界面的答卷图片显示区域框选出部分涂点区域，然后切换算法或者调节阈值可实时显示转化效果。");

QString helpHtml()
{
    const char *paragraphs[] = {
        "    【自适应】算法软件会对涂点区域自动进行“黑白”二值的转化，而无需进行相关参数的设置。"
        "该算法对填涂质量要求相对严厉些，涂得过浅可能导致涂点检测失败。",
        "",
        "    【阈值可调】算法通过设定一个某个“可能的合理”阈值，然后软件按此值进行“黑白”二值的转化。"
        "值的范围为 0 - 255，建议值为180-230。该值越大表现为检测越灵敏，越浅的涂点也可以识别。"
        "在程序主界面的答卷图片显示区域框选出部分涂点区域，调节阈值时可实时显示转化效果，方便找出合理值。",
        "",
        "    官方建议用户先选用【自适应】算法，这样可以侧面地提高对学生的填涂质量要求，养成良好的涂卡习惯。"
        "待后期对相关参数调节有了深入了解，建议切换为【阈值可调】算法。",
        "    不要太依赖【阈值可调】算法去识别过浅的涂点，只说一个极限的棘手情况：学生A涂卡颜色比较重，"
        "对某个涂点进行了擦除修改，但颜色仍然比涂得浅的学生B的涂点还要颜色深，导致擦除的涂点仍然被检测出为填涂，"
        "导致软件识别结果不合要求。为了照顾涂卡不规范（过浅）的学生B，而造成学生A的错误失分，这是不应该的。",
    };
    QString html = QStringLiteral("<html><body>");
    for (const char *paragraph : paragraphs) {
        const QString text = QString::fromUtf8(paragraph);
        html += QStringLiteral("<p style=\"white-space:pre-wrap; margin-top:0px; margin-bottom:0px;\">%1</p>")
                    .arg(text.isEmpty() ? QStringLiteral("<br />") : text.toHtmlEscaped());
    }
    return html + QStringLiteral("</body></html>");
}

// Shows an 8-bit grey image; the pixmap is a copy, so `image` may go afterwards.
void showImage(QLabel *label, const cv::Mat &image)
{
    label->setPixmap(QPixmap::fromImage(matToQImage(image)));
}

// One coordinate in file pixels: value / scale in single precision, truncated,
// and kept to a range where the int conversion is defined.
double toFilePixels(int value, float scale)
{
    const double v = std::trunc(double(float(value) / scale));
    return std::clamp(v, -1e9, 1e9);
}

} // namespace

SheetSelection sheetSelectionOf(QWidget *settingsDialog)
{
    SheetSelection selection;
    QWidget *top = settingsDialog ? settingsDialog->parentWidget() : nullptr;
    if (!top || !top->inherits("MainWindow"))
        return selection;
    const auto *window = static_cast<MainWindow *>(top);
    const MyLabel *label = window->myImage ? window->myImage->imageLabel : nullptr;
    if (!label)
        return selection;
    selection.imagePath = label->imagePath;
    selection.scale = label->scale;
    // Taken whether or not the box is shown.
    if (label->rubberBand)
        selection.box = label->rubberBand->geometry();
    return selection;
}

cv::Rect selectionInFilePixels(const QRect &box, float scale, const cv::Size &imageSize)
{
    if (!(scale > 0.0f) || !std::isfinite(scale) || imageSize.width <= 0 || imageSize.height <= 0)
        return cv::Rect();
    const double x0 = toFilePixels(box.x(), scale);
    const double y0 = toFilePixels(box.y(), scale);
    const double w = toFilePixels(box.width(), scale);
    const double h = toFilePixels(box.height(), scale);
    // Cut back to the image on every side, not only the right and bottom.
    const double left = std::max(x0, 0.0);
    const double top = std::max(y0, 0.0);
    const double right = std::min(x0 + w, double(imageSize.width));
    const double bottom = std::min(y0 + h, double(imageSize.height));
    if (right <= left || bottom <= top)
        return cv::Rect();
    return cv::Rect(int(left), int(top), int(right - left), int(bottom - top));
}

DialogThreshold::DialogThreshold(QWidget *parent)
    : DialogThreshold(sheetSelectionOf(parent), parent)
{
}

DialogThreshold::DialogThreshold(const SheetSelection &selection, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::DialogThreshold)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->horizontalSliderThreshold->setRange(0, 255);
    ui->textEdit->setHtml(helpHtml());

    connect(ui->comboBoxAlgo, &QComboBox::currentTextChanged, this, [this]() {
        setThresholdWidgetsVisible(ui->comboBoxAlgo->currentIndex() != 0);
        updatePreview();
    });

    takeSelection(selection);

    connect(ui->horizontalSliderThreshold, &QSlider::valueChanged, this, [this](int value) {
        threshold = value;
        ui->labelThreshold->setText(QString::number(value));
        updatePreview();
    });
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogThreshold::accept);

    loadSettings();
}

DialogThreshold::~DialogThreshold()
{
    delete ui;
}

void DialogThreshold::takeSelection(const SheetSelection &selection)
{
    if (selection.imagePath.isEmpty())
        return;

    try {
        sheetImage = cv::imread(QFile::encodeName(selection.imagePath).toStdString(), cv::IMREAD_GRAYSCALE);
    } catch (const cv::Exception &) {
        sheetImage.release();
    }
    if (sheetImage.empty()) {
        ui->labelImageOriginal->setText(QStringLiteral("原图\n无法读取答卷图片：%1")
                                            .arg(QDir::toNativeSeparators(selection.imagePath)));
        return;
    }

    const cv::Rect crop = selectionInFilePixels(selection.box, selection.scale, sheetImage.size());
    if (crop.empty())
        return;
    selectionImage = sheetImage(crop);
    showImage(ui->labelImage, selectionImage);
    showImage(ui->labelImageOriginal, selectionImage);
}

void DialogThreshold::setThresholdWidgetsVisible(bool visible)
{
    ui->labelThreshold->setVisible(visible);
    ui->horizontalSliderThreshold->setVisible(visible);
}

void DialogThreshold::loadSettings()
{
    const auto settings = openSettingsFile();

    markPointAlgo = settingToInt(settingText(*settings, SettingKeys::MarkPointAlgo, true));
    // Recognition treats every value but 0 as the fixed threshold; show it so.
    ui->comboBoxAlgo->setCurrentIndex(markPointAlgo == 0 ? 0 : 1);
    setThresholdWidgetsVisible(markPointAlgo != 0);

    // A hand-edited value outside 0 to 255 would make every pixel paper or
    // every pixel ink; show and keep the nearest value the slider offers.
    threshold = std::clamp(settingToInt(settingText(*settings, SettingKeys::Threshold, true)), 0, 255);
    ui->labelThreshold->setText(QString::number(threshold));
    ui->horizontalSliderThreshold->setValue(threshold);

    updatePreview();
}

bool DialogThreshold::saveSettings()
{
    markPointAlgo = ui->comboBoxAlgo->currentIndex();
    threshold = ui->labelThreshold->text().toInt();

    const auto settings = openSettingsFile();
    settings->setValue(QLatin1String(SettingKeys::MarkPointAlgo.path), markPointAlgo);
    settings->setValue(QLatin1String(SettingKeys::Threshold.path), threshold);
    settings->sync();
    if (settings->status() != QSettings::NoError) {
        MessageBox::warning(this, QStringLiteral("提示"), settingsWriteFailedMessage(settings->fileName()));
        return false;
    }
    return true;
}

void DialogThreshold::updatePreview()
{
    if (selectionImage.empty() || selectionImage.total() == 0) {
        ui->labelImage->setText(kInstruction);
        return;
    }
    cv::Mat binary;
    if (ui->comboBoxAlgo->currentIndex() == 0)
        cv::threshold(selectionImage, binary, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    else
        cv::threshold(selectionImage, binary, threshold, 255, cv::THRESH_BINARY);
    showImage(ui->labelImage, binary);
}

void DialogThreshold::accept()
{
    if (saveSettings())
        QDialog::accept();
}

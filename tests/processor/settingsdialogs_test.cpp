// The settings dialog and the threshold dialog against a real ini file in a
// temporary folder: loading, saving, refusals that must leave the file alone,
// and the binarisation preview on a small synthetic sheet.

#include "desktopopener.h"
#include "dialogsetting.h"
#include "dialogthreshold.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "myimage.h"
#include "mylabel.h"
#include "myrubberbandcontainer.h"
#include "settingsfile.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <limits>
#include <memory>

namespace {

template <typename T>
T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

QLineEdit *edit(QWidget *dialog, const char *name) { return child<QLineEdit>(dialog, name); }

// The 28 keys the settings dialog owns, in its save order.
const QStringList &dialogKeys()
{
    static const QStringList keys = {
        QStringLiteral("SettingAnchorAndProcess/ProcessType"),
        QStringLiteral("SettingAnchorAndProcess/SheetSizeErrorMargin"),
        QStringLiteral("SettingAnchorAndProcess/AnchorPointErrorMargin"),
        QStringLiteral("SettingAnchorAndProcess/MaxObjectFeaturePointCount"),
        QStringLiteral("SettingAnchorAndProcess/MaxSceneFeaturePointCount"),
        QStringLiteral("SettingAnchorAndProcess/MaxFeaturePointDistance"),
        QStringLiteral("SettingAnchorAndProcess/FeaturePointSearchLevel"),
        QStringLiteral("SettingAnchorAndProcess/FeaturePointSearchScale"),
        QStringLiteral("SettingAnchorAndProcess/MiniMatchFeaturePointCount"),
        QStringLiteral("SettingAnchorAndProcess/MatchAreaErrorMargin"),
        QStringLiteral("SettingAnchorAndProcess/IgnorAbsentMark"),
        QStringLiteral("SettingMarkPoint/CoverPercentageCode"),
        QStringLiteral("SettingMarkPoint/CoverPercentageAbsent"),
        QStringLiteral("SettingMarkPoint/CoverPercentageObject"),
        QStringLiteral("SettingMarkPoint/CoverPercentageOptional"),
        QStringLiteral("SettingImage/RedFilter"),
        QStringLiteral("SettingImage/SubjectImageFormatIndex"),
        QStringLiteral("SettingImage/SubjectImageQuality"),
        QStringLiteral("SettingImage/SubjectImagePNGCompressionLevel"),
        QStringLiteral("SettingImage/SubjectImageScaleDown"),
        QStringLiteral("SettingSheetUpload/SheetUploadTimeout"),
        QStringLiteral("SettingSheetUpload/SheetUpload"),
        QStringLiteral("SettingSheetUpload/EntireSheetUpload"),
        QStringLiteral("SettingSheetUpload/EntrieSheetPNGCompressionLevel"),
        QStringLiteral("SettingSheetUpload/LocalServer"),
        QStringLiteral("SettingSheetUpload/Address"),
        QStringLiteral("SettingSheetUpload/Password"),
        QStringLiteral("SettingOther/ExchangeNameWhenRowsExchange"),
    };
    return keys;
}

// A grey sheet: a left-to-right ramp with a dark filled bubble, so the
// automatic threshold and a fixed one give different pictures.
cv::Mat syntheticSheet()
{
    cv::Mat sheet(40, 60, CV_8UC1);
    for (int y = 0; y < sheet.rows; ++y)
        for (int x = 0; x < sheet.cols; ++x)
            sheet.at<uchar>(y, x) = uchar(120 + x * 2 + y);
    cv::circle(sheet, cv::Point(20, 20), 6, cv::Scalar(40), cv::FILLED);
    return sheet;
}

cv::Mat binarised(const cv::Mat &grey, int algo, int threshold)
{
    cv::Mat out;
    if (algo == 0)
        cv::threshold(grey, out, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    else
        cv::threshold(grey, out, threshold, 255, cv::THRESH_BINARY);
    return out;
}

// What a label shows, as an 8-bit grey image; empty when it shows no picture.
cv::Mat shownImage(QLabel *label)
{
    const QPixmap pixmap = label->pixmap(Qt::ReturnByValue);
    if (pixmap.isNull())
        return cv::Mat();
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_Grayscale8);
    cv::Mat out(image.height(), image.width(), CV_8UC1);
    for (int y = 0; y < image.height(); ++y)
        memcpy(out.ptr(y), image.constScanLine(y), size_t(image.width()));
    return out;
}

bool sameImage(const cv::Mat &a, const cv::Mat &b)
{
    return a.size() == b.size() && a.type() == b.type() && cv::countNonZero(a != b) == 0;
}

} // namespace

class SettingsDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // DialogSetting
    void testLoadDefaultsFromEmptyFile();
    void testOkWithDefaultsWritesAllKeys();
    void testLoadShowsStoredValuesAndOkKeepsThem();
    void testFormatChoiceOnLoad_data();
    void testFormatChoiceOnLoad();
    void testRefusedValueWritesNothing_data();
    void testRefusedValueWritesNothing();
    void testBoundariesAccepted_data();
    void testBoundariesAccepted();
    void testFailedWriteKeepsDialogOpen();
    void testListClickTurnsPage();
    void testLocalServerFieldsFollowCheckBox();
    void testFormatChoiceSwitchesRows();
    void testServerTestPage();
    void testExchangeNameHelp();
    void testThresholdButtonOpensDialog();

    // DialogThreshold
    void testThresholdWithoutKeys();
    void testThresholdStoredValuesAndSlider();
    void testThresholdAutomaticPreview();
    void testThresholdHandEditedValues();
    void testThresholdCloseWritesNothing();
    void testSelectionInFilePixels_data();
    void testSelectionInFilePixels();
    void testThresholdSelectionSharesPixels();
    void testThresholdUnreadableImage_data();
    void testThresholdUnreadableImage();
    void testThresholdTakesMainWindowSelection();

private:
    void writeRaw(const QByteArray &text);
    QByteArray fileBytes() const;
    QString stored(const QString &key) const;
    QString writeSheet(const cv::Mat &sheet);

    std::unique_ptr<QTemporaryDir> dir;
    QString ini;
    std::unique_ptr<MessageBoxRecorder> boxes;
};

void SettingsDialogsTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    ini = dir->filePath(QStringLiteral("Ardentiq.ini"));
    setSettingsFilePathForTesting(ini);
    boxes = std::make_unique<MessageBoxRecorder>();
}

void SettingsDialogsTest::cleanup()
{
    boxes.reset();
    setSettingsFilePathForTesting(QString());
    dir.reset();
}

void SettingsDialogsTest::writeRaw(const QByteArray &text)
{
    QFile file(ini);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

QByteArray SettingsDialogsTest::fileBytes() const
{
    QFile file(ini);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// What any reader in this process would now see, including writes not yet on disk.
QString SettingsDialogsTest::stored(const QString &key) const
{
    const auto handle = openSettingsFile(ini);
    return handle->contains(key) ? handle->value(key).toString() : QStringLiteral("<absent>");
}

QString SettingsDialogsTest::writeSheet(const cv::Mat &sheet)
{
    const QString path = dir->filePath(QStringLiteral("答卷 1.png"));
    if (!cv::imwrite(QFile::encodeName(path).toStdString(), sheet))
        qFatal("cannot write the synthetic sheet");
    return path;
}

// ------------------------------------------------------------- DialogSetting

void SettingsDialogsTest::testLoadDefaultsFromEmptyFile()
{
    writeRaw(QByteArray());
    DialogSetting dialog;

    QCOMPARE(dialog.windowTitle(), QStringLiteral("参数设置"));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(child<QStackedWidget>(&dialog, "stackedWidget")->currentIndex(), 0);
    QCOMPARE(child<QListWidget>(&dialog, "listWidget")->count(), 5);
    QCOMPARE(child<QComboBox>(&dialog, "comboBoxProcessType")->currentText(), QStringLiteral("快速"));
    QCOMPARE(edit(&dialog, "lineEditAnchorPointErrorMargin")->text(), QStringLiteral("0.20"));
    QCOMPARE(edit(&dialog, "lineEditSheetSizeErrorMargin")->text(), QStringLiteral("0.05"));
    QCOMPARE(edit(&dialog, "lineEditMaxObjectFeaturePointCount")->text(), QStringLiteral("1500"));
    QCOMPARE(edit(&dialog, "lineEditMaxSceneFeaturePointCount")->text(), QStringLiteral("3000"));
    QCOMPARE(edit(&dialog, "lineEditMaxFeaturePointDistance")->text(), QStringLiteral("50"));
    QCOMPARE(edit(&dialog, "lineEditFeaturePointSearchLevel")->text(), QStringLiteral("2"));
    QCOMPARE(edit(&dialog, "lineEditFeaturePointSearchScale")->text(), QStringLiteral("1.05"));
    QCOMPARE(edit(&dialog, "lineEditMiniMatchFeaturePointCount")->text(), QStringLiteral("10"));
    QCOMPARE(edit(&dialog, "lineEditMatchAreaErrorMargin")->text(), QStringLiteral("0.25"));
    QCOMPARE(edit(&dialog, "lineEditCoverPercentageObject")->text(), QStringLiteral("0.5"));
    QCOMPARE(edit(&dialog, "lineEditImageQuality")->text(), QStringLiteral("75"));
    QCOMPARE(edit(&dialog, "lineEditSubjectImageScaleDown")->text(), QStringLiteral("1.0"));
    QCOMPARE(child<QComboBox>(&dialog, "comboBoxSubjectImageFormat")->currentText(), QStringLiteral("JPG"));
    QCOMPARE(child<QComboBox>(&dialog, "comboBoxSubjectImagePNGCompressionLevel")->currentText(), QStringLiteral("3"));
    QCOMPARE(child<QComboBox>(&dialog, "comboBoxEntireSheetPNGCompressionLevel")->currentText(), QStringLiteral("4"));
    QCOMPARE(edit(&dialog, "lineEditSheetUploadTimeout")->text(), QStringLiteral("5"));
    QVERIFY(!child<QCheckBox>(&dialog, "checkBoxIgnorAbsentMark")->isChecked());
    QVERIFY(!child<QCheckBox>(&dialog, "checkBoxLocalServer")->isChecked());
    QVERIFY(child<QCheckBox>(&dialog, "checkBoxExchangeName")->isChecked());
    QVERIFY(child<QWidget>(&dialog, "widgetEntireSheetUpload")->isHidden());
    QVERIFY(!child<QWidget>(&dialog, "widgetForJPG")->isHidden());
    QVERIFY(child<QWidget>(&dialog, "widgetForPNG")->isHidden());
}

void SettingsDialogsTest::testOkWithDefaultsWritesAllKeys()
{
    writeRaw(QByteArray());
    DialogSetting dialog;
    dialog.show();
    QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonOK"), Qt::LeftButton);

    QCOMPARE(boxes->count(), 0);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    for (const QString &key : dialogKeys())
        QVERIFY2(stored(key) != QStringLiteral("<absent>"), qPrintable(key));
    QCOMPARE(stored(QStringLiteral("SettingAnchorAndProcess/ProcessType")), QStringLiteral("1"));
    QCOMPARE(stored(QStringLiteral("SettingImage/SubjectImageFormatIndex")), QStringLiteral("0"));
    QCOMPARE(stored(QStringLiteral("SettingImage/SubjectImagePNGCompressionLevel")), QStringLiteral("3"));
    QCOMPARE(stored(QStringLiteral("SettingSheetUpload/EntrieSheetPNGCompressionLevel")), QStringLiteral("4"));
    QCOMPARE(stored(QStringLiteral("SettingAnchorAndProcess/IgnorAbsentMark")), QStringLiteral("0"));
    QCOMPARE(stored(QStringLiteral("SettingOther/ExchangeNameWhenRowsExchange")), QStringLiteral("1"));
    QCOMPARE(stored(QStringLiteral("SettingMarkPoint/CoverPercentageCode")), QStringLiteral("0.5"));
    QCOMPARE(stored(QStringLiteral("SettingSheetUpload/Address")), QString());
    // The dialog's own handle reaches the disk when it goes; the threshold keys are not its own.
    QVERIFY(!fileBytes().contains("MarkPointAlgo"));

    // From now on recognition runs fast and writes JPG cut images.
    ProcessorSettings read;
    QVERIFY(readSettingsFile(ini, read));
    QCOMPARE(read.recognition.processType, 1);
    QCOMPARE(read.recognition.subjectImageFormatIndex, 0);
}

void SettingsDialogsTest::testLoadShowsStoredValuesAndOkKeepsThem()
{
    writeRaw(QStringLiteral("[SettingAnchorAndProcess]\n"
                            "ProcessType=0\nAnchorPointErrorMargin=0.15\nSheetSizeErrorMargin=0.08\n"
                            "MaxObjectFeaturePointCount=800\nMaxSceneFeaturePointCount=5000\n"
                            "MaxFeaturePointDistance=70\nFeaturePointSearchLevel=4\nFeaturePointSearchScale=1.2\n"
                            "MiniMatchFeaturePointCount=20\nMatchAreaErrorMargin=0.3\nIgnorAbsentMark=1\n"
                            "[SettingMarkPoint]\nCoverPercentageCode=0.41\nCoverPercentageAbsent=0.42\n"
                            "CoverPercentageObject=0.43\nCoverPercentageOptional=0.44\n"
                            "[SettingImage]\nRedFilter=true\nSubjectImageFormatIndex=1\nSubjectImageQuality=60\n"
                            "SubjectImagePNGCompressionLevel=5\nSubjectImageScaleDown=0.8\n"
                            "[SettingSheetUpload]\nSheetUpload=1\nEntireSheetUpload=1\nEntrieSheetPNGCompressionLevel=2\n"
                            "LocalServer=1\nAddress=http://192.168.0.9\nPassword=口令 1\nSheetUploadTimeout=7\n"
                            "[SettingOther]\nExchangeNameWhenRowsExchange=0\n")
                 .toUtf8());
    DialogSetting dialog;
    QCOMPARE(child<QComboBox>(&dialog, "comboBoxProcessType")->currentText(), QStringLiteral("普通"));
    QCOMPARE(edit(&dialog, "lineEditAnchorPointErrorMargin")->text(), QStringLiteral("0.15"));
    QCOMPARE(edit(&dialog, "lineEditMatchAreaErrorMargin")->text(), QStringLiteral("0.3"));
    QVERIFY(child<QCheckBox>(&dialog, "checkBoxIgnorAbsentMark")->isChecked());
    QCOMPARE(edit(&dialog, "lineEditCoverPercentageOptional")->text(), QStringLiteral("0.44"));
    QVERIFY(child<QCheckBox>(&dialog, "checkBoxRedFilter")->isChecked());
    QCOMPARE(child<QComboBox>(&dialog, "comboBoxSubjectImageFormat")->currentText(), QStringLiteral("PNG"));
    QCOMPARE(child<QComboBox>(&dialog, "comboBoxSubjectImagePNGCompressionLevel")->currentText(), QStringLiteral("5"));
    QVERIFY(child<QCheckBox>(&dialog, "checkBoxEntireSheetUpload")->isChecked());
    QCOMPARE(child<QComboBox>(&dialog, "comboBoxEntireSheetPNGCompressionLevel")->currentText(), QStringLiteral("2"));
    QCOMPARE(edit(&dialog, "lineEditPassword")->text(), QStringLiteral("口令 1"));
    QVERIFY(!child<QCheckBox>(&dialog, "checkBoxExchangeName")->isChecked());

    dialog.show();
    QVERIFY(edit(&dialog, "lineEditAddress")->isEnabled());
    QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonOK"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    // Every value goes back as it was; the hidden whole-sheet option keeps its 1.
    ProcessorSettings read;
    QVERIFY(readSettingsFile(ini, read));
    QCOMPARE(read.recognition.processType, 0);
    QCOMPARE(read.recognition.maxSceneFeaturePointCount, 5000);
    QCOMPARE(read.recognition.coverPercentageObject, 0.43f);
    QCOMPARE(read.recognition.subjectImageFormatIndex, 1);
    QCOMPARE(read.recognition.subjectImagePNGCompressionLevel, 5);
    QCOMPARE(read.entireSheetUpload, true);
    QCOMPARE(read.entrieSheetPNGCompressionLevel, 2);
    QCOMPARE(read.localServerPassword, QStringLiteral("口令 1"));
    QCOMPARE(read.sheetUploadTimeout, 7);
    QCOMPARE(read.exchangeNameWhenRowsExchange, false);
    QCOMPARE(stored(QStringLiteral("SettingImage/RedFilter")), QStringLiteral("1"));
    QCOMPARE(stored(QStringLiteral("SettingAnchorAndProcess/FeaturePointSearchScale")), QStringLiteral("1.2"));
}

void SettingsDialogsTest::testFormatChoiceOnLoad_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("jpgShown");
    QTest::addColumn<bool>("pngShown");
    QTest::addColumn<QString>("savedAs");

    QTest::newRow("0: JPG") << QByteArray("0") << 0 << true << false << QStringLiteral("0");
    QTest::newRow("1: PNG") << QByteArray("1") << 1 << false << true << QStringLiteral("1");
    // The readers' PNG default shows as JPG with both rows, and OK makes it JPG.
    QTest::newRow("65: JPG, both rows") << QByteArray("65") << 0 << true << true << QStringLiteral("0");
    QTest::newRow("2: JPG, both rows") << QByteArray("2") << 0 << true << true << QStringLiteral("0");
    QTest::newRow("negative: no choice") << QByteArray("-1") << -1 << true << true << QStringLiteral("-1");
}

void SettingsDialogsTest::testFormatChoiceOnLoad()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, index);
    QFETCH(bool, jpgShown);
    QFETCH(bool, pngShown);
    QFETCH(QString, savedAs);

    writeRaw("[SettingImage]\nSubjectImageFormatIndex=" + stored + "\n");
    DialogSetting dialog;
    QCOMPARE(child<QComboBox>(&dialog, "comboBoxSubjectImageFormat")->currentIndex(), index);
    QCOMPARE(!child<QWidget>(&dialog, "widgetForJPG")->isHidden(), jpgShown);
    QCOMPARE(!child<QWidget>(&dialog, "widgetForPNG")->isHidden(), pngShown);
    QVERIFY(dialog.saveSettings());
    QCOMPARE(this->stored(QStringLiteral("SettingImage/SubjectImageFormatIndex")), savedAs);
}

void SettingsDialogsTest::testRefusedValueWritesNothing_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("takesFocus");

    auto row = [](const char *name, const char *field, const QString &text, const QString &message,
                  bool focus = false) {
        QTest::newRow(name) << QByteArray(field) << text << message << focus;
    };
    const QString sheetSize = QStringLiteral("答卷大小允许误差值范围为 0.0 - 1.0");
    row("sheet size above 1", "lineEditSheetSizeErrorMargin", QStringLiteral("1.5"), sheetSize);
    row("sheet size empty", "lineEditSheetSizeErrorMargin", QString(), sheetSize);
    row("anchor size above 1", "lineEditAnchorPointErrorMargin", QStringLiteral("1.5"),
        QStringLiteral("定位点大小允许误差值范围为 0.0 - 1.0"));
    row("anchor size negative", "lineEditAnchorPointErrorMargin", QStringLiteral("-0.1"),
        QStringLiteral("定位点大小允许误差值范围为 0.0 - 1.0"));
    const QString objectPoints = QStringLiteral("目标特征点数范围为 200 - 4999");
    row("object points 5000", "lineEditMaxObjectFeaturePointCount", QStringLiteral("5000"), objectPoints);
    row("object points 199", "lineEditMaxObjectFeaturePointCount", QStringLiteral("199"), objectPoints);
    // Would pass as a decimal but read back as 0.
    row("object points with fraction", "lineEditMaxObjectFeaturePointCount", QStringLiteral("1500.5"), objectPoints);
    row("scene points 399", "lineEditMaxSceneFeaturePointCount", QStringLiteral("399"),
        QStringLiteral("场景特征点数范围为 400 - 10000"));
    row("scene points 10001", "lineEditMaxSceneFeaturePointCount", QStringLiteral("10001"),
        QStringLiteral("场景特征点数范围为 400 - 10000"));
    row("distance 101", "lineEditMaxFeaturePointDistance", QStringLiteral("101"),
        QStringLiteral("距离匹配阈值范围 20 - 100"));
    row("search level 0", "lineEditFeaturePointSearchLevel", QStringLiteral("0"), QStringLiteral("搜索层级范围 1 - 8"));
    row("search level 9", "lineEditFeaturePointSearchLevel", QStringLiteral("9"), QStringLiteral("搜索层级范围 1 - 8"));
    row("search scale 2.01", "lineEditFeaturePointSearchScale", QStringLiteral("2.01"),
        QStringLiteral("层级变化比例范围 1 - 2"));
    row("search scale empty", "lineEditFeaturePointSearchScale", QString(), QStringLiteral("层级变化比例范围 1 - 2"));
    row("mini match 4", "lineEditMiniMatchFeaturePointCount", QStringLiteral("4"),
        QStringLiteral("最少匹配特征点数 取值范围 5 - 10000"));
    row("match area 0.009", "lineEditMatchAreaErrorMargin", QStringLiteral("0.009"),
        QStringLiteral("匹配区域面积允许误差 取值范围 0.01 - 0.5"));
    row("match area 0.51", "lineEditMatchAreaErrorMargin", QStringLiteral("0.51"),
        QStringLiteral("匹配区域面积允许误差 取值范围 0.01 - 0.5"));
    row("cover code empty", "lineEditCoverPercentageCode", QString(), QStringLiteral("涂点覆盖率-考号 值范围为 0.0 - 1.0"));
    row("cover absent 1.1", "lineEditCoverPercentageAbsent", QStringLiteral("1.1"),
        QStringLiteral("涂点覆盖率-缺考标记 值范围为 0.0 - 1.0"));
    // An empty ratio stored as 0 would count every bubble as marked.
    row("cover object empty", "lineEditCoverPercentageObject", QString(),
        QStringLiteral("涂点覆盖率-客观题 值范围为 0.0 - 1.0"));
    row("cover optional letters", "lineEditCoverPercentageOptional", QStringLiteral("abc"),
        QStringLiteral("涂点覆盖率-选做题 值范围为 0.0 - 1.0"));
    row("quality 0", "lineEditImageQuality", QStringLiteral("0"), QStringLiteral("图片质量值范围为 1 - 100"), true);
    row("quality 101", "lineEditImageQuality", QStringLiteral("101"), QStringLiteral("图片质量值范围为 1 - 100"), true);
    row("scale down 0.29", "lineEditSubjectImageScaleDown", QStringLiteral("0.29"),
        QStringLiteral("主观题图片缩小比例范围为 0.3 - 1"), true);
    row("scale down 1.01", "lineEditSubjectImageScaleDown", QStringLiteral("1.01"),
        QStringLiteral("主观题图片缩小比例范围为 0.3 - 1"), true);
    row("timeout 11", "lineEditSheetUploadTimeout", QStringLiteral("11"), QStringLiteral("上传超时（秒）值范围为 0 - 10"));
    row("timeout 99", "lineEditSheetUploadTimeout", QStringLiteral("99"), QStringLiteral("上传超时（秒）值范围为 0 - 10"));
    row("timeout empty", "lineEditSheetUploadTimeout", QString(), QStringLiteral("上传超时（秒）值范围为 0 - 10"));
}

void SettingsDialogsTest::testRefusedValueWritesNothing()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(bool, takesFocus);

    // Values the user had before; the refused OK must leave every one of them.
    writeRaw("[SettingAnchorAndProcess]\nProcessType=0\nSheetSizeErrorMargin=0.06\n"
             "[SettingMarkPoint]\nCoverPercentageObject=0.45\n");
    const QByteArray before = fileBytes();

    DialogSetting dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // Fields before the refused one hold new, valid values: none may be written either.
    child<QCheckBox>(&dialog, "checkBoxIgnorAbsentMark")->setChecked(true);
    child<QComboBox>(&dialog, "comboBoxProcessType")->setCurrentIndex(1);
    QLineEdit *refused = edit(&dialog, field.constData());
    refused->setText(text);
    QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonOK"), Qt::LeftButton);

    QCOMPARE(boxes->count(), 1);
    QCOMPARE(boxes->last().icon, QMessageBox::Warning);
    QCOMPARE(boxes->last().title, QStringLiteral("提示"));
    QCOMPARE(boxes->last().text, message);
    QCOMPARE(boxes->last().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(boxes->last().parent.data(), static_cast<QWidget *>(&dialog));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    if (takesFocus)
        QCOMPARE(dialog.focusWidget(), static_cast<QWidget *>(refused));

    // Nothing reached the file, nor the view other readers in this process get.
    QCOMPARE(fileBytes(), before);
    QCOMPARE(stored(QStringLiteral("SettingAnchorAndProcess/ProcessType")), QStringLiteral("0"));
    QCOMPARE(stored(QStringLiteral("SettingAnchorAndProcess/SheetSizeErrorMargin")), QStringLiteral("0.06"));
    QCOMPARE(stored(QStringLiteral("SettingMarkPoint/CoverPercentageObject")), QStringLiteral("0.45"));
    QCOMPARE(stored(QStringLiteral("SettingAnchorAndProcess/IgnorAbsentMark")), QStringLiteral("<absent>"));
    QCOMPARE(stored(QString::fromLatin1(SettingKeys::SheetUploadTimeout.path)), QStringLiteral("<absent>"));

    // Closing the window now rejects and still writes nothing.
    dialog.reject();
    QCOMPARE(fileBytes(), before);

    // Mended, the same dialog saves.
    boxes->clear();
    dialog.show();
    refused->setText(QStringLiteral("0.5"));
    if (field == "lineEditMaxObjectFeaturePointCount" || field == "lineEditMaxSceneFeaturePointCount")
        refused->setText(QStringLiteral("3000"));
    else if (field == "lineEditMaxFeaturePointDistance")
        refused->setText(QStringLiteral("50"));
    else if (field == "lineEditFeaturePointSearchLevel")
        refused->setText(QStringLiteral("2"));
    else if (field == "lineEditFeaturePointSearchScale" || field == "lineEditSubjectImageScaleDown")
        refused->setText(QStringLiteral("1.0"));
    else if (field == "lineEditMiniMatchFeaturePointCount" || field == "lineEditImageQuality")
        refused->setText(QStringLiteral("10"));
    else if (field == "lineEditSheetUploadTimeout")
        refused->setText(QStringLiteral("5"));
    else if (field == "lineEditMatchAreaErrorMargin")
        refused->setText(QStringLiteral("0.25"));
    QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonOK"), Qt::LeftButton);
    QCOMPARE(boxes->count(), 0);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(stored(QStringLiteral("SettingAnchorAndProcess/IgnorAbsentMark")), QStringLiteral("1"));
    QCOMPARE(stored(QStringLiteral("SettingAnchorAndProcess/ProcessType")), QStringLiteral("1"));
}

void SettingsDialogsTest::testBoundariesAccepted_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");

    auto row = [](const char *field, const char *text, const SettingKey &key) {
        QTest::newRow(qPrintable(QStringLiteral("%1=%2").arg(QLatin1String(field), QLatin1String(text))))
            << QByteArray(field) << QString::fromLatin1(text) << QString::fromLatin1(key.path);
    };
    namespace K = SettingKeys;
    row("lineEditSheetSizeErrorMargin", "0.0", K::SheetSizeErrorMargin);
    row("lineEditSheetSizeErrorMargin", "1", K::SheetSizeErrorMargin);
    row("lineEditAnchorPointErrorMargin", "0.0001", K::AnchorPointErrorMargin);
    row("lineEditMaxObjectFeaturePointCount", "200", K::MaxObjectFeaturePointCount);
    row("lineEditMaxObjectFeaturePointCount", "4999", K::MaxObjectFeaturePointCount);
    row("lineEditMaxSceneFeaturePointCount", "10000", K::MaxSceneFeaturePointCount);
    row("lineEditMaxFeaturePointDistance", "20", K::MaxFeaturePointDistance);
    row("lineEditFeaturePointSearchLevel", "8", K::FeaturePointSearchLevel);
    row("lineEditFeaturePointSearchScale", "2", K::FeaturePointSearchScale);
    row("lineEditMiniMatchFeaturePointCount", "5", K::MiniMatchFeaturePointCount);
    row("lineEditMatchAreaErrorMargin", "0.01", K::MatchAreaErrorMargin);
    row("lineEditMatchAreaErrorMargin", "0.5", K::MatchAreaErrorMargin);
    row("lineEditCoverPercentageCode", "0", K::CoverPercentageCode);
    row("lineEditCoverPercentageCode", "1.0", K::CoverPercentageCode);
    row("lineEditImageQuality", "1", K::SubjectImageQuality);
    row("lineEditImageQuality", "100", K::SubjectImageQuality);
    row("lineEditSubjectImageScaleDown", "0.3", K::SubjectImageScaleDown);
    row("lineEditSheetUploadTimeout", "0", K::SheetUploadTimeout);
    row("lineEditSheetUploadTimeout", "10", K::SheetUploadTimeout);
}

void SettingsDialogsTest::testBoundariesAccepted()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, text);
    QFETCH(QString, key);

    writeRaw(QByteArray());
    DialogSetting dialog;
    edit(&dialog, field.constData())->setText(text);
    QVERIFY(dialog.saveSettings());
    QCOMPARE(boxes->count(), 0);
    // Written exactly as typed.
    QCOMPARE(stored(key), text);
}

void SettingsDialogsTest::testFailedWriteKeepsDialogOpen()
{
    // A path under a plain file can never be written, even by root.
    const QString blocker = dir->filePath(QStringLiteral("not-a-folder"));
    {
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString unwritable = blocker + QStringLiteral("/Ardentiq.ini");
    setSettingsFilePathForTesting(unwritable);

    DialogSetting dialog;
    dialog.show();
    QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonOK"), Qt::LeftButton);
    QCOMPARE(boxes->count(), 1);
    QCOMPARE(boxes->last().text, settingsWriteFailedMessage(unwritable));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));

    DialogThreshold threshold(SheetSelection(), nullptr);
    threshold.show();
    QTest::mouseClick(child<QPushButton>(&threshold, "pushButtonOK"), Qt::LeftButton);
    QCOMPARE(boxes->count(), 2);
    QCOMPARE(boxes->last().text, settingsWriteFailedMessage(unwritable));
    QVERIFY(threshold.isVisible());
}

void SettingsDialogsTest::testListClickTurnsPage()
{
    writeRaw(QByteArray());
    DialogSetting dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *list = child<QListWidget>(&dialog, "listWidget");
    auto *pages = child<QStackedWidget>(&dialog, "stackedWidget");

    for (int row : {2, 4, 0, 3, 1}) {
        const QRect rect = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
        QCOMPARE(pages->currentIndex(), row);
    }
    // The keys move the selection but not the page.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentRow(), 2);
    QCOMPARE(pages->currentIndex(), 1);
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("page_mark_point"));
}

void SettingsDialogsTest::testLocalServerFieldsFollowCheckBox()
{
    writeRaw(QByteArray());
    DialogSetting dialog;
    dialog.show();
    auto *box = child<QCheckBox>(&dialog, "checkBoxLocalServer");
    const QList<QLineEdit *> fields = {edit(&dialog, "lineEditAddress"), edit(&dialog, "lineEditPassword"),
                                       edit(&dialog, "lineEditSheetUploadTimeout")};
    for (QLineEdit *f : fields)
        QVERIFY(!f->isEnabled());
    child<QStackedWidget>(&dialog, "stackedWidget")->setCurrentIndex(3);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(5, box->height() / 2));
    QVERIFY(box->isChecked());
    for (QLineEdit *f : fields)
        QVERIFY(f->isEnabled());
}

void SettingsDialogsTest::testFormatChoiceSwitchesRows()
{
    writeRaw(QByteArray());
    DialogSetting dialog;
    auto *format = child<QComboBox>(&dialog, "comboBoxSubjectImageFormat");
    format->setCurrentIndex(1);
    QVERIFY(child<QWidget>(&dialog, "widgetForJPG")->isHidden());
    QVERIFY(!child<QWidget>(&dialog, "widgetForPNG")->isHidden());
    format->setCurrentIndex(0);
    QVERIFY(!child<QWidget>(&dialog, "widgetForJPG")->isHidden());
    QVERIFY(child<QWidget>(&dialog, "widgetForPNG")->isHidden());
}

void SettingsDialogsTest::testServerTestPage()
{
    writeRaw("[SettingSheetUpload]\nLocalServer=1\nAddress=http://192.168.1.20:8080\n");
    DesktopOpenRecorder opened;
    DialogSetting dialog;
    auto *button = child<QPushButton>(&dialog, "pushButtonLocalServerTest");
    button->click();
    QCOMPARE(opened.urls.size(), 1);
    QCOMPARE(opened.urls.at(0), QUrl(QStringLiteral("http://192.168.1.20:8080/test.php")));

    edit(&dialog, "lineEditAddress")->clear();
    button->click();
    QCOMPARE(opened.urls.size(), 1);
    QVERIFY(button->isEnabled());
}

void SettingsDialogsTest::testExchangeNameHelp()
{
    writeRaw(QByteArray());
    DialogSetting dialog;
    auto *help = child<QPushButton>(&dialog, "pushButtonHelpExchangeSheetImageName");
    QVERIFY(!help->icon().isNull());
    help->click();
    QCOMPARE(boxes->count(), 1);
    QCOMPARE(boxes->last().icon, QMessageBox::Information);
    QCOMPARE(boxes->last().title, QStringLiteral("提示"));
    QVERIFY(boxes->last().text.startsWith(QStringLiteral("如果因为答卷图片顺序错误")));
    QVERIFY(boxes->last().text.endsWith(QStringLiteral("这个功能就是防止这种情况的。\r\n")));
}

void SettingsDialogsTest::testThresholdButtonOpensDialog()
{
    writeRaw(QByteArray());
    DialogSetting dialog;
    dialog.show();
    QPointer<DialogThreshold> opened;
    bool wasModal = false;
    // Answer the modal dialog from inside its own event loop.
    QTimer closer;
    closer.setInterval(10);
    connect(&closer, &QTimer::timeout, &dialog, [&]() {
        if (auto *threshold = qobject_cast<DialogThreshold *>(QApplication::activeModalWidget())) {
            opened = threshold;
            wasModal = threshold->isModal();
            QCOMPARE(threshold->parentWidget(), static_cast<QWidget *>(&dialog));
            threshold->reject();
            closer.stop();
        }
    });
    closer.start();
    child<QPushButton>(&dialog, "pushButtonThreshold")->click();
    closer.stop();

    QVERIFY(wasModal);
    // Destroyed when the reaction ends, having written nothing.
    QVERIFY(opened.isNull());
    QCOMPARE(stored(QString::fromLatin1(SettingKeys::MarkPointAlgo.path)), QStringLiteral("<absent>"));
}

// ----------------------------------------------------------- DialogThreshold

void SettingsDialogsTest::testThresholdWithoutKeys()
{
    writeRaw(QByteArray());
    DialogThreshold dialog(SheetSelection(), nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("涂点二值化算法"));
    auto *algo = child<QComboBox>(&dialog, "comboBoxAlgo");
    auto *slider = child<QSlider>(&dialog, "horizontalSliderThreshold");
    auto *label = child<QLabel>(&dialog, "labelThreshold");
    QCOMPARE(algo->currentText(), QStringLiteral("自适应"));
    QVERIFY(slider->isHidden());
    QVERIFY(label->isHidden());
    QCOMPARE(slider->value(), 220);
    QCOMPARE(slider->minimum(), 0);
    QCOMPARE(slider->maximum(), 255);
    // No sheet: no picture, both labels keep their instruction texts.
    QVERIFY(child<QLabel>(&dialog, "labelImage")->text().contains(QStringLiteral("框选出部分涂点区域")));
    QCOMPARE(child<QLabel>(&dialog, "labelImageOriginal")->text(), QStringLiteral("原图"));
    QVERIFY(child<QTextEdit>(&dialog, "textEdit")->toPlainText().startsWith(QStringLiteral("    【自适应】")));

    algo->setCurrentIndex(1);
    QVERIFY(!slider->isHidden());
    QCOMPARE(label->text(), QStringLiteral("220"));
    dialog.show();
    QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonOK"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(stored(QStringLiteral("SettingMarkPoint/MarkPointAlgo")), QStringLiteral("1"));
    QCOMPARE(stored(QStringLiteral("SettingMarkPoint/Threshold")), QStringLiteral("220"));
    ProcessorSettings read;
    QVERIFY(readSettingsFile(ini, read));
    QCOMPARE(read.recognition.markPointAlgo, 1);
    QCOMPARE(read.recognition.threshold, 220);
}

void SettingsDialogsTest::testThresholdStoredValuesAndSlider()
{
    writeRaw("[SettingMarkPoint]\nMarkPointAlgo=1\nThreshold=180\n");
    const cv::Mat sheet = syntheticSheet();
    SheetSelection selection;
    selection.imagePath = writeSheet(sheet);
    selection.scale = 2.0f;
    selection.box = QRect(10, 6, 60, 40);     // file pixels (5, 3, 30, 20)
    const cv::Mat crop = sheet(cv::Rect(5, 3, 30, 20));

    DialogThreshold dialog(selection, nullptr);
    auto *slider = child<QSlider>(&dialog, "horizontalSliderThreshold");
    auto *effect = child<QLabel>(&dialog, "labelImage");
    QCOMPARE(child<QComboBox>(&dialog, "comboBoxAlgo")->currentIndex(), 1);
    QVERIFY(!slider->isHidden());
    QCOMPARE(slider->value(), 180);
    QVERIFY(sameImage(shownImage(child<QLabel>(&dialog, "labelImageOriginal")), crop));
    QVERIFY(sameImage(shownImage(effect), binarised(crop, 1, 180)));

    slider->setValue(200);
    QCOMPARE(dialog.threshold, 200);
    QCOMPARE(child<QLabel>(&dialog, "labelThreshold")->text(), QStringLiteral("200"));
    QVERIFY(sameImage(shownImage(effect), binarised(crop, 1, 200)));
    QVERIFY(!sameImage(binarised(crop, 1, 180), binarised(crop, 1, 200)));

    // OK writes the values shown.
    QVERIFY(dialog.saveSettings());
    QCOMPARE(stored(QStringLiteral("SettingMarkPoint/MarkPointAlgo")), QStringLiteral("1"));
    QCOMPARE(stored(QStringLiteral("SettingMarkPoint/Threshold")), QStringLiteral("200"));
}

void SettingsDialogsTest::testThresholdAutomaticPreview()
{
    writeRaw(QByteArray());
    const cv::Mat sheet = syntheticSheet();
    SheetSelection selection;
    selection.imagePath = writeSheet(sheet);
    selection.scale = 1.0f;
    selection.box = QRect(8, 8, 30, 24);
    const cv::Mat crop = sheet(cv::Rect(8, 8, 30, 24));

    DialogThreshold dialog(selection, nullptr);
    auto *effect = child<QLabel>(&dialog, "labelImage");
    QVERIFY(sameImage(shownImage(effect), binarised(crop, 0, 0)));
    // Switching the algorithm redraws at once.
    child<QComboBox>(&dialog, "comboBoxAlgo")->setCurrentIndex(1);
    QVERIFY(sameImage(shownImage(effect), binarised(crop, 1, 220)));
    child<QComboBox>(&dialog, "comboBoxAlgo")->setCurrentIndex(0);
    QVERIFY(sameImage(shownImage(effect), binarised(crop, 0, 0)));
}

void SettingsDialogsTest::testThresholdHandEditedValues()
{
    // Values no control offers: shown and saved as the nearest the controls can
    // hold, the way recognition reads them (any algorithm but 0 is the fixed one).
    writeRaw("[SettingMarkPoint]\nMarkPointAlgo=2\nThreshold=300\n");
    DialogThreshold dialog(SheetSelection(), nullptr);
    QCOMPARE(child<QComboBox>(&dialog, "comboBoxAlgo")->currentIndex(), 1);
    QVERIFY(!child<QSlider>(&dialog, "horizontalSliderThreshold")->isHidden());
    QCOMPARE(child<QLabel>(&dialog, "labelThreshold")->text(), QStringLiteral("255"));
    QVERIFY(dialog.saveSettings());
    QCOMPARE(stored(QStringLiteral("SettingMarkPoint/MarkPointAlgo")), QStringLiteral("1"));
    QCOMPARE(stored(QStringLiteral("SettingMarkPoint/Threshold")), QStringLiteral("255"));
}

void SettingsDialogsTest::testThresholdCloseWritesNothing()
{
    writeRaw("[SettingMarkPoint]\nMarkPointAlgo=0\nThreshold=190\n");
    const QByteArray before = fileBytes();
    DialogThreshold dialog(SheetSelection(), nullptr);
    dialog.show();
    child<QComboBox>(&dialog, "comboBoxAlgo")->setCurrentIndex(1);
    child<QSlider>(&dialog, "horizontalSliderThreshold")->setValue(10);
    dialog.close();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(fileBytes(), before);
    QCOMPARE(stored(QStringLiteral("SettingMarkPoint/Threshold")), QStringLiteral("190"));
}

void SettingsDialogsTest::testSelectionInFilePixels_data()
{
    QTest::addColumn<QRect>("box");
    QTest::addColumn<float>("scale");
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QRect>("expected");   // empty: no selection

    const QSize a4(1000, 1400);
    QTest::newRow("inside, zoom 1") << QRect(10, 20, 30, 40) << 1.0f << a4 << QRect(10, 20, 30, 40);
    QTest::newRow("zoomed out, truncated") << QRect(5, 7, 33, 21) << 0.5f << a4 << QRect(10, 14, 66, 42);
    QTest::newRow("zoomed in, truncated toward zero") << QRect(5, 7, 33, 21) << 2.0f << a4 << QRect(2, 3, 16, 10);
    QTest::newRow("start box, cut to the image") << QRect(0, 0, 516, 222) << 0.25f << a4 << QRect(0, 0, 1000, 888);
    QTest::newRow("past right and bottom") << QRect(900, 1300, 300, 300) << 1.0f << a4 << QRect(900, 1300, 100, 100);
    QTest::newRow("starts left of and above the image") << QRect(-20, -10, 50, 40) << 1.0f << a4 << QRect(0, 0, 30, 30);
    QTest::newRow("starts past the right edge") << QRect(1200, 10, 50, 50) << 1.0f << a4 << QRect();
    QTest::newRow("starts past the bottom edge") << QRect(10, 1400, 50, 50) << 1.0f << a4 << QRect();
    QTest::newRow("empty box") << QRect(10, 10, 0, 0) << 1.0f << a4 << QRect();
    QTest::newRow("box smaller than a file pixel") << QRect(10, 10, 1, 1) << 4.0f << a4 << QRect();
    QTest::newRow("zoom 0") << QRect(10, 10, 50, 50) << 0.0f << a4 << QRect();
    QTest::newRow("negative zoom") << QRect(10, 10, 50, 50) << -1.0f << a4 << QRect();
    QTest::newRow("zoom not a number") << QRect(10, 10, 50, 50) << std::numeric_limits<float>::quiet_NaN() << a4
                                       << QRect();
    QTest::newRow("tiny zoom") << QRect(1, 1, 50, 50) << 1e-30f << a4 << QRect();
    QTest::newRow("no image") << QRect(0, 0, 50, 50) << 1.0f << QSize(0, 0) << QRect();
}

void SettingsDialogsTest::testSelectionInFilePixels()
{
    QFETCH(QRect, box);
    QFETCH(float, scale);
    QFETCH(QSize, image);
    QFETCH(QRect, expected);

    const cv::Rect r = selectionInFilePixels(box, scale, cv::Size(image.width(), image.height()));
    if (expected.isEmpty()) {
        QVERIFY2(r.empty(), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(r.x).arg(r.y).arg(r.width).arg(r.height)));
        return;
    }
    QCOMPARE(QRect(r.x, r.y, r.width, r.height), expected);
}

void SettingsDialogsTest::testThresholdSelectionSharesPixels()
{
    writeRaw(QByteArray());
    const cv::Mat sheet = syntheticSheet();
    SheetSelection selection;
    selection.imagePath = writeSheet(sheet);
    selection.box = QRect(50, 30, 100, 100);   // reaches past the right and bottom edges

    DialogThreshold dialog(selection, nullptr);
    QCOMPARE(dialog.sheetImage.type(), CV_8UC1);
    QCOMPARE(dialog.selectionImage.cols, 10);
    QCOMPARE(dialog.selectionImage.rows, 10);
    QCOMPARE(static_cast<const void *>(dialog.selectionImage.data),
             static_cast<const void *>(dialog.sheetImage.ptr(30) + 50));
}

void SettingsDialogsTest::testThresholdUnreadableImage_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing file") << QStringLiteral("missing");
    QTest::newRow("not an image") << QStringLiteral("text");
    QTest::newRow("selection off the image") << QStringLiteral("outside");
}

void SettingsDialogsTest::testThresholdUnreadableImage()
{
    QFETCH(QString, kind);
    writeRaw("[SettingMarkPoint]\nMarkPointAlgo=1\nThreshold=180\n");
    SheetSelection selection;
    selection.box = QRect(0, 0, 516, 222);
    if (kind == QLatin1String("missing")) {
        selection.imagePath = dir->filePath(QStringLiteral("gone.png"));
    } else if (kind == QLatin1String("text")) {
        selection.imagePath = dir->filePath(QStringLiteral("notes.png"));
        QFile file(selection.imagePath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
    } else {
        selection.imagePath = writeSheet(syntheticSheet());
        selection.box = QRect(500, 500, 50, 50);
    }

    DialogThreshold dialog(selection, nullptr);
    QVERIFY(dialog.selectionImage.empty());
    auto *effect = child<QLabel>(&dialog, "labelImage");
    QVERIFY(shownImage(effect).empty());
    QVERIFY(effect->text().contains(QStringLiteral("框选出部分涂点区域")));
    const QString original = child<QLabel>(&dialog, "labelImageOriginal")->text();
    if (kind == QLatin1String("outside"))
        QCOMPARE(original, QStringLiteral("原图"));
    else
        QVERIFY2(original.contains(QStringLiteral("无法读取答卷图片")), qPrintable(original));
    // The controls still work.
    child<QSlider>(&dialog, "horizontalSliderThreshold")->setValue(90);
    QVERIFY(dialog.saveSettings());
    QCOMPARE(stored(QStringLiteral("SettingMarkPoint/Threshold")), QStringLiteral("90"));
    QCOMPARE(boxes->count(), 0);
}

void SettingsDialogsTest::testThresholdTakesMainWindowSelection()
{
    writeRaw("[SettingMarkPoint]\nMarkPointAlgo=1\nThreshold=170\n");
    const cv::Mat sheet = syntheticSheet();
    MainWindow window;
    DialogSetting settings(&window);
    MyLabel *label = window.myImage->imageLabel;

    {
        // Nothing loaded yet: no preview.
        DialogThreshold threshold(&settings);
        QVERIFY(threshold.selectionImage.empty());
    }
    {
        // No box drawn since start: the box's start geometry, cut back to the image.
        window.myImage->loadImage(writeSheet(sheet));
        QCOMPARE(label->imagePath, dir->filePath(QStringLiteral("答卷 1.png")));
        DialogThreshold threshold(&settings);
        QCOMPARE(threshold.selectionImage.cols, sheet.cols);
        QCOMPARE(threshold.selectionImage.rows, sheet.rows);
    }
    {
        // A box drawn at zoom 2: label pixels halved, then the preview at 170.
        label->scale = 2.0f;
        label->rubberBand->setGeometry(QRect(10, 6, 40, 30));
        DialogThreshold threshold(&settings);
        const cv::Mat crop = sheet(cv::Rect(5, 3, 20, 15));
        QVERIFY(sameImage(threshold.selectionImage, crop));
        QVERIFY(sameImage(shownImage(child<QLabel>(&threshold, "labelImage")), binarised(crop, 1, 170)));
    }
}

QTEST_MAIN(SettingsDialogsTest)
#include "settingsdialogs_test.moc"

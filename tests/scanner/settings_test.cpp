// The station's settings file: what the form shows for what the file holds,
// and what a batch start writes back.

#include "stationfixture.h"

#include "messagebox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSlider>

#include <memory>

using namespace StationFixture;

class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void reading_data();
    void reading();
    void missingFile();
    void writingRoundTrip();

private:
    template <typename T>
    T *child(const char *name) const
    {
        return findNamed<T>(m_form.get(), name);
    }
    void build(const QByteArray &ini);
    QString iniPath() const { return m_dir->filePath(QStringLiteral("Pellwyn.ini")); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<QWidget> m_parent;
    std::unique_ptr<FormScan> m_form;
};

void SettingsTest::initTestCase()
{
    useSimulatedManager();
}

void SettingsTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_boxes = std::make_unique<MessageBoxRecorder>();
}

void SettingsTest::cleanup()
{
    m_form.reset();
    m_parent.reset();
    m_boxes.reset();
    m_dir.reset();
}

void SettingsTest::build(const QByteArray &ini)
{
    prepare(*m_dir, sources({}), ini);
    m_parent = std::make_unique<QWidget>();
    m_form = std::make_unique<FormScan>(m_parent.get());
}

void SettingsTest::reading_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("savePath");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("length");
    QTest::addColumn<int>("rotateTop");
    QTest::addColumn<int>("rotateBottom");
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("qualityShown");
    QTest::addColumn<bool>("tiffShown");
    QTest::addColumn<int>("quality");      // the member
    QTest::addColumn<QString>("qualityLabel");
    QTest::addColumn<bool>("lzw");
    QTest::addColumn<bool>("avision");
    QTest::addColumn<bool>("stopButton");
    QTest::addColumn<bool>("upload");

    QTest::newRow("empty file: every default") << QByteArray() << "" << "" << "6" << 0 << 0 << "jpg" << true << false
                                               << 50 << "50" << false << false << false << false;
    QTest::newRow("every key set")
        << QByteArray("[Main]\nSavePath=/data/考试 1\nNamePrefix=七年级\nNumberLegnth=4\nRotateTop=1\nRotateBottom=3\n"
                      "ImageFormat=1\nImageQuality=80\nTiffLZW=1\n[Other]\nIsAvision=1\nShowStopScanButton=2\nUpload=1\n")
        << "/data/考试 1" << "七年级" << "4" << 1 << 3 << "png" << false << false << 80 << "80" << true << true << true
        << true;
    QTest::newRow("length 8 selects nothing") << QByteArray("[Main]\nNumberLegnth=8\n") << "" << "" << "2" << 0 << 0
                                              << "jpg" << true << false << 50 << "50" << false << false << false << false;
    QTest::newRow("tiff") << QByteArray("[Main]\nImageFormat=3\nTiffLZW=1\n") << "" << "" << "6" << 0 << 0 << "tiff"
                          << false << true << 50 << "50" << true << false << false << false;
    QTest::newRow("format index outside") << QByteArray("[Main]\nImageFormat=7\n") << "" << "" << "6" << 0 << 0 << ""
                                          << false << false << 50 << "50" << false << false << false << false;
    QTest::newRow("rotation outside") << QByteArray("[Main]\nRotateTop=5\n") << "" << "" << "6" << -1 << 0 << "jpg"
                                      << true << false << 50 << "50" << false << false << false << false;
    QTest::newRow("quality 150 shows 100") << QByteArray("[Main]\nImageQuality=150\n") << "" << "" << "6" << 0 << 0
                                           << "jpg" << true << false << 150 << "100" << false << false << false << false;
    QTest::newRow("not integers read as 0")
        << QByteArray("[Main]\nNumberLegnth=six\nImageQuality=high\nRotateTop=x\nImageFormat=png\n[Other]\nUpload=yes\n")
        << "" << "" << "2" << 0 << 0 << "jpg" << true << false << 0 << "0" << false << false << false << false;
}

void SettingsTest::reading()
{
    QFETCH(QByteArray, ini);
    build(ini);
    QCOMPARE(m_boxes->count(), 0);
    QTEST(child<QLineEdit>("lineEditImageSavePath")->text(), "savePath");
    QTEST(m_form->savePath, "savePath");
    QTEST(child<QLineEdit>("lineEditNamePrefix")->text(), "prefix");
    QTEST(child<QComboBox>("comboBoxLength")->currentText(), "length");
    QTEST(child<QComboBox>("comboBoxRotateFlagTop")->currentIndex(), "rotateTop");
    QTEST(child<QComboBox>("comboBoxRotateFlagBottom")->currentIndex(), "rotateBottom");
    QTEST(child<QComboBox>("comboBoxFormat")->currentText(), "format");
    QTEST(m_form->imageFormat, "format");
    QTEST(child<QWidget>("widgetQuality")->isVisibleTo(m_form.get()), "qualityShown");
    QTEST(child<QWidget>("widgetTIFFCompression")->isVisibleTo(m_form.get()), "tiffShown");
    QTEST(m_form->imageQuality, "quality");
    QTEST(child<QLabel>("labelQuality")->text(), "qualityLabel");
    QFETCH(QString, qualityLabel);
    QCOMPARE(child<QSlider>("horizontalSliderQuality")->value(), qualityLabel.toInt());
    QTEST(child<QCheckBox>("checkBoxTIFFLZW")->isChecked(), "lzw");
    QTEST(m_form->isAvision, "avision");
    QTEST(m_form->showStopScanButton, "stopButton");
    QTEST(m_form->uploadSetting, "upload");
    QVERIFY(child<QWidget>("widgetMain")->isVisibleTo(m_form.get()));
    QVERIFY(!child<QWidget>("widget_2")->isVisibleTo(m_form.get()));
    QCOMPARE(child<QLineEdit>("lineEditStartNumber")->text(), QStringLiteral("1"));
}

void SettingsTest::missingFile()
{
    prepare(*m_dir, sources({}), QByteArray());
    QVERIFY(QFile::remove(iniPath()));
    m_parent = std::make_unique<QWidget>();
    m_form = std::make_unique<FormScan>(m_parent.get());
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().text, QStringLiteral("ini配置文件不存在"));
    QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
    // The form keeps what it was built with; nothing was created.
    QCOMPARE(child<QComboBox>("comboBoxLength")->currentText(), QStringLiteral("2"));
    QCOMPARE(child<QLabel>("labelQuality")->text(), QStringLiteral("50"));
    QVERIFY(!QFileInfo::exists(iniPath()));
}

void SettingsTest::writingRoundTrip()
{
    build("[Main]\nRotateTop=5\nImageQuality=150\n[Other]\nIsAvision=1\nUpload=1\n");
    child<QLineEdit>("lineEditImageSavePath")->setText(QStringLiteral("/srv/扫描"));
    child<QLineEdit>("lineEditNamePrefix")->setText(QStringLiteral("B班"));
    child<QComboBox>("comboBoxLength")->setCurrentText(QStringLiteral("3"));
    child<QComboBox>("comboBoxFormat")->setCurrentText(QStringLiteral("tiff"));
    child<QComboBox>("comboBoxRotateFlagBottom")->setCurrentIndex(2);
    child<QCheckBox>("checkBoxTIFFLZW")->setChecked(true);
    child<QLineEdit>("lineEditStartNumber")->setText(QStringLiteral("42"));
    m_form->saveSettings();

    QSettings written(iniPath(), QSettings::IniFormat);
    written.setIniCodec("UTF-8");
    QCOMPARE(written.value("Main/SavePath").toString(), QStringLiteral("/srv/扫描"));
    QCOMPARE(written.value("Main/NamePrefix").toString(), QStringLiteral("B班"));
    QCOMPARE(written.value("Main/NumberLegnth").toString(), QStringLiteral("3"));
    QCOMPARE(written.value("Main/ImageFormat").toInt(), 3);
    QCOMPARE(written.value("Main/ImageQuality").toString(), QStringLiteral("100"));  // as the label shows it
    QCOMPARE(written.value("Main/RotateTop").toInt(), -1);  // no item was selected
    QCOMPARE(written.value("Main/RotateBottom").toInt(), 2);
    QCOMPARE(written.value("Main/TiffLZW").toInt(), 1);
    // Only the Main keys are written; the hand-set ones stay as they were.
    QCOMPARE(written.value("Other/IsAvision").toInt(), 1);
    QCOMPARE(written.value("Other/Upload").toInt(), 1);
    QVERIFY(!written.contains("Other/ShowStopScanButton"));
    QVERIFY(!written.contains("Main/StartNumber"));
    QCOMPARE(written.childGroups(), (QStringList{"Main", "Other"}));

    // A new form reads back what was written.
    m_form.reset();
    m_parent = std::make_unique<QWidget>();
    m_form = std::make_unique<FormScan>(m_parent.get());
    QCOMPARE(child<QLineEdit>("lineEditImageSavePath")->text(), QStringLiteral("/srv/扫描"));
    QCOMPARE(child<QLineEdit>("lineEditNamePrefix")->text(), QStringLiteral("B班"));
    QCOMPARE(child<QComboBox>("comboBoxLength")->currentText(), QStringLiteral("3"));
    QCOMPARE(child<QComboBox>("comboBoxFormat")->currentText(), QStringLiteral("tiff"));
    QCOMPARE(child<QComboBox>("comboBoxRotateFlagTop")->currentIndex(), -1);
    QCOMPARE(child<QComboBox>("comboBoxRotateFlagBottom")->currentIndex(), 2);
    QCOMPARE(child<QLabel>("labelQuality")->text(), QStringLiteral("100"));
    QVERIFY(child<QCheckBox>("checkBoxTIFFLZW")->isChecked());
    QCOMPARE(child<QLineEdit>("lineEditStartNumber")->text(), QStringLiteral("1"));
    QCOMPARE(m_boxes->count(), 0);
}

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"

// Reading "Ardentiq.ini" into the processing program: defaults, the text
// conversions, every key reaching its own member, UTF-8 text, and a missing file.

#include "mainwindow.h"
#include "messagebox.h"
#include "settingsfile.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// Every value readSettings fills, as "name=value" lines; two equal texts mean equal settings.
QStringList describe(const ProcessorSettings &s)
{
    const RecognitionSettings &r = s.recognition;
    auto b = [](bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); };
    auto f = [](float v) { return QString::number(double(v), 'g', 9); };
    return {
        QStringLiteral("customerType=") + s.customerType,
        QStringLiteral("customerCode=") + s.customerCode,
        QStringLiteral("dataKey=") + s.dataKey,
        QStringLiteral("schoolName=") + s.schoolName,
        QStringLiteral("schoolID=") + s.schoolID,
        QStringLiteral("processType=%1").arg(r.processType),
        QStringLiteral("anchorPointErrorMargin=") + f(r.anchorPointErrorMargin),
        QStringLiteral("sheetSizeErrorMargin=") + f(r.sheetSizeErrorMargin),
        QStringLiteral("maxObjectFeaturePointCount=%1").arg(r.maxObjectFeaturePointCount),
        QStringLiteral("maxSceneFeaturePointCount=%1").arg(r.maxSceneFeaturePointCount),
        QStringLiteral("maxFeaturePointDistance=%1").arg(r.maxFeaturePointDistance),
        QStringLiteral("featurePointSearchLevel=%1").arg(r.featurePointSearchLevel),
        QStringLiteral("featurePointSearchScale=") + f(r.featurePointSearchScale),
        QStringLiteral("miniMatchFeaturePointCount=%1").arg(r.miniMatchFeaturePointCount),
        QStringLiteral("matchAreaErrorMargin=") + f(r.matchAreaErrorMargin),
        QStringLiteral("ignorAbsentMark=") + b(r.ignorAbsentMark),
        QStringLiteral("coverPercentageCode=") + f(r.coverPercentageCode),
        QStringLiteral("coverPercentageAbsent=") + f(r.coverPercentageAbsent),
        QStringLiteral("coverPercentageObject=") + f(r.coverPercentageObject),
        QStringLiteral("coverPercentageOptional=") + f(r.coverPercentageOptional),
        QStringLiteral("markPointAlgo=%1").arg(r.markPointAlgo),
        QStringLiteral("threshold=%1").arg(r.threshold),
        QStringLiteral("redFilter=") + b(r.redFilter),
        QStringLiteral("subjectImageFormatIndex=%1").arg(r.subjectImageFormatIndex),
        QStringLiteral("subjectImagePNGCompressionLevel=%1").arg(r.subjectImagePNGCompressionLevel),
        QStringLiteral("subjectImageQuality=%1").arg(r.subjectImageQuality),
        QStringLiteral("subjectImageScaleDown=") + f(r.subjectImageScaleDown),
        QStringLiteral("sheetUpload=") + b(r.sheetUpload),
        QStringLiteral("sheetUploadTimeout=%1").arg(s.sheetUploadTimeout),
        QStringLiteral("localServerAddress=") + s.localServerAddress,
        QStringLiteral("localServerPassword=") + s.localServerPassword,
        QStringLiteral("localServer=") + b(s.localServer),
        QStringLiteral("entireSheetUpload=") + b(s.entireSheetUpload),
        QStringLiteral("entrieSheetPNGCompressionLevel=%1").arg(s.entrieSheetPNGCompressionLevel),
        QStringLiteral("exchangeNameWhenRowsExchange=") + b(s.exchangeNameWhenRowsExchange),
        QStringLiteral("imageEditColor=%1").arg(s.imageEditColor),
        QStringLiteral("imageEditWidth=%1").arg(s.imageEditWidth),
    };
}

// The window's members, read through the names other code uses.
ProcessorSettings membersOf(const MainWindow &w)
{
    ProcessorSettings s;
    s.customerType = w.customerType;
    s.customerCode = w.customerCode;
    s.dataKey = w.dataKey;
    s.schoolName = w.schoolName;
    s.schoolID = w.schoolID;
    RecognitionSettings &r = s.recognition;
    r.processType = w.processType;
    r.anchorPointErrorMargin = w.anchorPointErrorMargin;
    r.sheetSizeErrorMargin = w.sheetSizeErrorMargin;
    r.maxObjectFeaturePointCount = w.maxObjectFeaturePointCount;
    r.maxSceneFeaturePointCount = w.maxSceneFeaturePointCount;
    r.maxFeaturePointDistance = w.maxFeaturePointDistance;
    r.featurePointSearchLevel = w.featurePointSearchLevel;
    r.featurePointSearchScale = w.featurePointSearchScale;
    r.miniMatchFeaturePointCount = w.miniMatchFeaturePointCount;
    r.matchAreaErrorMargin = w.matchAreaErrorMargin;
    r.ignorAbsentMark = w.ignorAbsentMark;
    r.coverPercentageCode = w.coverPercentageCode;
    r.coverPercentageAbsent = w.coverPercentageAbsent;
    r.coverPercentageObject = w.coverPercentageObject;
    r.coverPercentageOptional = w.coverPercentageOptional;
    r.markPointAlgo = w.markPointAlgo;
    r.threshold = w.threshold;
    r.redFilter = w.redFilter;
    r.subjectImageFormatIndex = w.subjectImageFormatIndex;
    r.subjectImagePNGCompressionLevel = w.subjectImagePNGCompressionLevel;
    r.subjectImageQuality = w.subjectImageQuality;
    r.subjectImageScaleDown = w.subjectImageScaleDown;
    r.sheetUpload = w.sheetUpload;
    s.sheetUploadTimeout = w.sheetUploadTimeout;
    s.localServerAddress = w.localServerAddress;
    s.localServerPassword = w.localServerPassword;
    s.localServer = w.localServer;
    s.entireSheetUpload = w.entireSheetUpload;
    s.entrieSheetPNGCompressionLevel = w.entrieSheetPNGCompressionLevel;
    s.exchangeNameWhenRowsExchange = w.exchangeNameWhenRowsExchange;
    s.imageEditColor = w.imageEditColor;
    s.imageEditWidth = w.imageEditWidth;
    return s;
}

// One key with a value unlike its default, and the member it must change.
struct KeyCase {
    const char *key;
    const char *stored;
    std::function<void(ProcessorSettings &)> expect;
};

const QVector<KeyCase> &keyCases()
{
    static const QVector<KeyCase> cases = {
        {"Account/CustomerType", "union", [](ProcessorSettings &s) { s.customerType = QStringLiteral("union"); }},
        {"Account/CustomerCode", "c-001", [](ProcessorSettings &s) { s.customerCode = QStringLiteral("c-001"); }},
        {"Account/DataKey", "k3y", [](ProcessorSettings &s) { s.dataKey = QStringLiteral("k3y"); }},
        {"Account/SchoolName", "north", [](ProcessorSettings &s) { s.schoolName = QStringLiteral("north"); }},
        {"Account/SchoolID", "s42", [](ProcessorSettings &s) { s.schoolID = QStringLiteral("s42"); }},
        {"SettingAnchorAndProcess/ProcessType", "1", [](ProcessorSettings &s) { s.recognition.processType = 1; }},
        {"SettingAnchorAndProcess/AnchorPointErrorMargin", "0.31",
         [](ProcessorSettings &s) { s.recognition.anchorPointErrorMargin = 0.31f; }},
        {"SettingAnchorAndProcess/SheetSizeErrorMargin", "0.07",
         [](ProcessorSettings &s) { s.recognition.sheetSizeErrorMargin = 0.07f; }},
        {"SettingAnchorAndProcess/MaxObjectFeaturePointCount", "1234",
         [](ProcessorSettings &s) { s.recognition.maxObjectFeaturePointCount = 1234; }},
        {"SettingAnchorAndProcess/MaxSceneFeaturePointCount", "4321",
         [](ProcessorSettings &s) { s.recognition.maxSceneFeaturePointCount = 4321; }},
        {"SettingAnchorAndProcess/MaxFeaturePointDistance", "61",
         [](ProcessorSettings &s) { s.recognition.maxFeaturePointDistance = 61; }},
        {"SettingAnchorAndProcess/FeaturePointSearchLevel", "3",
         [](ProcessorSettings &s) { s.recognition.featurePointSearchLevel = 3; }},
        {"SettingAnchorAndProcess/FeaturePointSearchScale", "1.17",
         [](ProcessorSettings &s) { s.recognition.featurePointSearchScale = 1.17f; }},
        {"SettingAnchorAndProcess/MiniMatchFeaturePointCount", "12",
         [](ProcessorSettings &s) { s.recognition.miniMatchFeaturePointCount = 12; }},
        {"SettingAnchorAndProcess/MatchAreaErrorMargin", "0.33",
         [](ProcessorSettings &s) { s.recognition.matchAreaErrorMargin = 0.33f; }},
        {"SettingAnchorAndProcess/IgnorAbsentMark", "1",
         [](ProcessorSettings &s) { s.recognition.ignorAbsentMark = true; }},
        {"SettingMarkPoint/CoverPercentageCode", "0.41",
         [](ProcessorSettings &s) { s.recognition.coverPercentageCode = 0.41f; }},
        {"SettingMarkPoint/CoverPercentageAbsent", "0.42",
         [](ProcessorSettings &s) { s.recognition.coverPercentageAbsent = 0.42f; }},
        {"SettingMarkPoint/CoverPercentageObject", "0.43",
         [](ProcessorSettings &s) { s.recognition.coverPercentageObject = 0.43f; }},
        {"SettingMarkPoint/CoverPercentageOptional", "0.44",
         [](ProcessorSettings &s) { s.recognition.coverPercentageOptional = 0.44f; }},
        {"SettingMarkPoint/MarkPointAlgo", "1", [](ProcessorSettings &s) { s.recognition.markPointAlgo = 1; }},
        {"SettingMarkPoint/Threshold", "190", [](ProcessorSettings &s) { s.recognition.threshold = 190; }},
        {"SettingImage/RedFilter", "1", [](ProcessorSettings &s) { s.recognition.redFilter = true; }},
        {"SettingImage/SubjectImageFormatIndex", "0",
         [](ProcessorSettings &s) { s.recognition.subjectImageFormatIndex = 0; }},
        {"SettingImage/SubjectImagePNGCompressionLevel", "5",
         [](ProcessorSettings &s) { s.recognition.subjectImagePNGCompressionLevel = 5; }},
        {"SettingImage/SubjectImageQuality", "66",
         [](ProcessorSettings &s) { s.recognition.subjectImageQuality = 66; }},
        {"SettingImage/SubjectImageScaleDown", "0.8",
         [](ProcessorSettings &s) { s.recognition.subjectImageScaleDown = 0.8f; }},
        {"SettingSheetUpload/SheetUpload", "1", [](ProcessorSettings &s) { s.recognition.sheetUpload = true; }},
        {"SettingSheetUpload/EntireSheetUpload", "1", [](ProcessorSettings &s) { s.entireSheetUpload = true; }},
        {"SettingSheetUpload/EntrieSheetPNGCompressionLevel", "2",
         [](ProcessorSettings &s) { s.entrieSheetPNGCompressionLevel = 2; }},
        {"SettingSheetUpload/LocalServer", "1", [](ProcessorSettings &s) { s.localServer = true; }},
        {"SettingSheetUpload/Address", "http://10.0.0.2",
         [](ProcessorSettings &s) { s.localServerAddress = QStringLiteral("http://10.0.0.2"); }},
        {"SettingSheetUpload/Password", "pw", [](ProcessorSettings &s) { s.localServerPassword = QStringLiteral("pw"); }},
        {"SettingSheetUpload/SheetUploadTimeout", "9", [](ProcessorSettings &s) { s.sheetUploadTimeout = 9; }},
        {"SettingOther/ExchangeNameWhenRowsExchange", "0",
         [](ProcessorSettings &s) { s.exchangeNameWhenRowsExchange = false; }},
        {"ImageEdit/Color", "0", [](ProcessorSettings &s) { s.imageEditColor = 0; }},
        {"ImageEdit/Width", "13", [](ProcessorSettings &s) { s.imageEditWidth = 13; }},
    };
    return cases;
}

// The values a file without any key gives, written out by hand from the key tables.
ProcessorSettings documentedDefaults()
{
    ProcessorSettings s;
    RecognitionSettings &r = s.recognition;
    r.processType = 0;
    r.anchorPointErrorMargin = 0.20f;
    r.sheetSizeErrorMargin = 0.05f;
    r.maxObjectFeaturePointCount = 1500;
    r.maxSceneFeaturePointCount = 3000;
    r.maxFeaturePointDistance = 50;
    r.featurePointSearchLevel = 2;
    r.featurePointSearchScale = 1.05f;
    r.miniMatchFeaturePointCount = 10;
    r.matchAreaErrorMargin = 0.25f;
    r.ignorAbsentMark = false;
    r.coverPercentageCode = r.coverPercentageAbsent = r.coverPercentageObject = r.coverPercentageOptional = 0.5f;
    r.markPointAlgo = 0;
    r.threshold = 200;
    r.redFilter = false;
    r.subjectImageFormatIndex = 65;
    r.subjectImagePNGCompressionLevel = 3;
    r.subjectImageQuality = 75;
    r.subjectImageScaleDown = 1.0f;
    r.sheetUpload = false;
    s.sheetUploadTimeout = 5;
    s.localServer = false;
    s.entireSheetUpload = false;
    s.entrieSheetPNGCompressionLevel = 4;
    s.exchangeNameWhenRowsExchange = true;
    s.imageEditColor = 255;
    s.imageEditWidth = 25;
    return s;
}

// Values no key table holds, so a kept member is told apart from a default.
ProcessorSettings unusualValues()
{
    ProcessorSettings s;
    s.customerType = QStringLiteral("school");
    s.schoolName = QStringLiteral("东城中学");
    s.recognition.processType = 7;
    s.recognition.threshold = 17;
    s.recognition.coverPercentageObject = 0.9f;
    s.recognition.subjectImageFormatIndex = 3;
    s.sheetUploadTimeout = 8;
    s.exchangeNameWhenRowsExchange = false;
    s.localServerAddress = QStringLiteral("http://kept");
    return s;
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void testEmptyFileGivesDefaults();
    void testConversions_data();
    void testConversions();
    void testUtf8RoundTrip();
    void testHandWrittenUtf8File();
    void testMissingFileKeepsValues_data();
    void testMissingFileKeepsValues();

    void testEachKeyReachesItsMember_data();
    void testEachKeyReachesItsMember();
    void testWindowLogsMissingFileAndKeepsMembers();

private:
    void writeRaw(const QByteArray &text);
    ProcessorSettings readBack();
    MainWindow &window();

    std::unique_ptr<QTemporaryDir> dir;
    QString ini;
    // One window for all cases; it finds the file of the current case through iniPath().
    std::unique_ptr<MainWindow> mainWindow;
    // Answers the start-up question about the platform account.
    std::unique_ptr<MessageBoxRecorder> boxes;
};

void SettingsTest::initTestCase()
{
    // The window checks the platform account when it is built: keep any such
    // request on this machine (nothing listens on port 1).
    qputenv("VOSTRA_PLATFORM_HOST", "127.0.0.1:1");
    boxes = std::make_unique<MessageBoxRecorder>();
}

void SettingsTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    ini = dir->filePath(QStringLiteral("Ardentiq.ini"));
    setSettingsFilePathForTesting(ini);
}

void SettingsTest::cleanup()
{
    setSettingsFilePathForTesting(QString());
    dir.reset();
}

void SettingsTest::cleanupTestCase()
{
    mainWindow.reset();
    boxes.reset();
}

void SettingsTest::writeRaw(const QByteArray &text)
{
    QFile file(ini);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

ProcessorSettings SettingsTest::readBack()
{
    ProcessorSettings values = unusualValues();
    if (!readSettingsFile(ini, values))
        qWarning("the settings file was not read");
    return values;
}

MainWindow &SettingsTest::window()
{
    if (!mainWindow) {
        writeRaw(QByteArray());
        mainWindow = std::make_unique<MainWindow>();
    }
    return *mainWindow;
}

void SettingsTest::testEmptyFileGivesDefaults()
{
    writeRaw(QByteArray());
    const ProcessorSettings read = readBack();
    QCOMPARE(describe(read), describe(documentedDefaults()));
    // The recognition engine's own start values must agree with the file's defaults.
    QCOMPARE(describe(ProcessorSettings()), describe(documentedDefaults()));
    QCOMPARE(MainWindow::iniPath(), ini);
}

void SettingsTest::testConversions_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("expected");

    auto row = [](const char *name, const char *group, const char *line, const char *member, const char *expected) {
        QTest::newRow(name) << QByteArray("[") + group + "]\n" + line + "\n" << QString::fromLatin1(member)
                            << QString::fromLatin1(expected);
    };
    // Integers: base 10, anything else is 0.
    row("int plain", "SettingMarkPoint", "Threshold=180", "threshold", "180");
    row("int negative", "SettingMarkPoint", "Threshold=-3", "threshold", "-3");
    row("int with fraction", "SettingMarkPoint", "Threshold=3.5", "threshold", "0");
    row("int letters", "SettingMarkPoint", "Threshold=abc", "threshold", "0");
    row("int empty", "SettingMarkPoint", "Threshold=", "threshold", "0");
    row("int hex is not base 10", "SettingMarkPoint", "Threshold=0x10", "threshold", "0");
    row("format 0 is JPG", "SettingImage", "SubjectImageFormatIndex=0", "subjectImageFormatIndex", "0");
    row("format 1", "SettingImage", "SubjectImageFormatIndex=1", "subjectImageFormatIndex", "1");
    row("format 2", "SettingImage", "SubjectImageFormatIndex=2", "subjectImageFormatIndex", "2");
    row("format 65", "SettingImage", "SubjectImageFormatIndex=65", "subjectImageFormatIndex", "65");
    // Decimals: single precision, anything else is 0.
    row("decimal plain", "SettingMarkPoint", "CoverPercentageObject=0.35", "coverPercentageObject", "0.349999994");
    row("decimal letters", "SettingMarkPoint", "CoverPercentageObject=abc", "coverPercentageObject", "0");
    row("decimal empty", "SettingMarkPoint", "CoverPercentageObject=", "coverPercentageObject", "0");
    row("decimal nan", "SettingMarkPoint", "CoverPercentageObject=nan", "coverPercentageObject", "0");
    row("decimal integer text", "SettingImage", "SubjectImageScaleDown=1", "subjectImageScaleDown", "1");
    // Booleans: false only for empty, "0" and "false" in any case.
    row("bool false", "SettingImage", "RedFilter=false", "redFilter", "false");
    row("bool FALSE", "SettingImage", "RedFilter=FALSE", "redFilter", "false");
    row("bool 0", "SettingImage", "RedFilter=0", "redFilter", "false");
    row("bool empty", "SettingImage", "RedFilter=", "redFilter", "false");
    row("bool 1", "SettingImage", "RedFilter=1", "redFilter", "true");
    row("bool true", "SettingImage", "RedFilter=true", "redFilter", "true");
    row("bool yes", "SettingImage", "RedFilter=yes", "redFilter", "true");
    row("bool default true, stored empty", "SettingOther", "ExchangeNameWhenRowsExchange=",
        "exchangeNameWhenRowsExchange", "false");
    // Text: as stored.
    row("text", "SettingSheetUpload", "Address=http://192.168.1.5:8080", "localServerAddress",
        "http://192.168.1.5:8080");
    row("text with comma typed by hand", "SettingSheetUpload", "Password=a,b", "localServerPassword", "a,b");
    row("text quoted", "SettingSheetUpload", "Password=\"x y\"", "localServerPassword", "x y");
}

void SettingsTest::testConversions()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, member);
    QFETCH(QString, expected);

    writeRaw(file);
    const QStringList lines = describe(readBack());
    const QString prefix = member + QLatin1Char('=');
    QString actual;
    for (const QString &line : lines) {
        if (line.startsWith(prefix))
            actual = line.mid(prefix.size());
    }
    QCOMPARE(actual, expected);
}

void SettingsTest::testUtf8RoundTrip()
{
    const QString school = QStringLiteral("北京市第一中学（高中部）");
    const QString folder = QStringLiteral("D:\\考试\\2024 期中\\答卷图片");
    const QString address = QStringLiteral("http://例子.cn/上传");
    {
        // Written the way the dialogs write.
        const auto handle = openSettingsFile(ini);
        handle->setValue(QStringLiteral("Account/SchoolName"), school);
        handle->setValue(QStringLiteral("Scan/SavePath"), folder);
        handle->setValue(QStringLiteral("SettingSheetUpload/Address"), address);
    }
    QFile file(ini);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // Stored as UTF-8 text, not escaped.
    QVERIFY2(bytes.contains(school.toUtf8()), bytes.constData());
    QVERIFY(bytes.contains(QStringLiteral("答卷图片").toUtf8()));

    const ProcessorSettings read = readBack();
    QCOMPARE(read.schoolName, school);
    QCOMPARE(read.localServerAddress, address);
    const auto handle = openSettingsFile(ini);
    QCOMPARE(settingText(*handle, SettingKey{"Scan/SavePath", "", ""}), folder);
}

void SettingsTest::testHandWrittenUtf8File()
{
    // An operator edits the file in a text editor that saves UTF-8.
    writeRaw(QStringLiteral("[Account]\nSchoolName=第二中学\n[SettingSheetUpload]\nPassword=密码123\n").toUtf8());
    const ProcessorSettings read = readBack();
    QCOMPARE(read.schoolName, QStringLiteral("第二中学"));
    QCOMPARE(read.localServerPassword, QStringLiteral("密码123"));
}

void SettingsTest::testMissingFileKeepsValues_data()
{
    QTest::addColumn<bool>("folderInItsPlace");
    QTest::newRow("no file") << false;
    QTest::newRow("a folder of that name") << true;
}

void SettingsTest::testMissingFileKeepsValues()
{
    QFETCH(bool, folderInItsPlace);
    if (folderInItsPlace)
        QVERIFY(QDir().mkpath(ini));
    ProcessorSettings values = unusualValues();
    QVERIFY(!readSettingsFile(ini, values));
    QCOMPARE(describe(values), describe(unusualValues()));
}

void SettingsTest::testEachKeyReachesItsMember_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < keyCases().size(); ++i)
        QTest::newRow(keyCases().at(i).key) << i;
}

void SettingsTest::testEachKeyReachesItsMember()
{
    QFETCH(int, index);
    const KeyCase &c = keyCases().at(index);
    MainWindow &w = window();

    const QString path = QString::fromLatin1(c.key);
    const int slash = path.indexOf(QLatin1Char('/'));
    writeRaw(QStringLiteral("[%1]\n%2=%3\n")
                 .arg(path.left(slash), path.mid(slash + 1), QString::fromLatin1(c.stored))
                 .toUtf8());
    w.readSettings();

    ProcessorSettings expected = documentedDefaults();
    c.expect(expected);
    // Only this key's member differs from the defaults, under every name it has.
    QCOMPARE(describe(membersOf(w)), describe(expected));
    ProcessorSettings snapshot = expected;
    snapshot.recognition = w.recognitionSnapshot();
    QCOMPARE(describe(snapshot), describe(expected));
}

void SettingsTest::testWindowLogsMissingFileAndKeepsMembers()
{
    MainWindow &w = window();
    writeRaw("[SettingMarkPoint]\nThreshold=150\n[SettingSheetUpload]\nAddress=http://a\n");
    w.readSettings();
    QCOMPARE(w.threshold, 150);
    QVERIFY(!w.textEditLog->toPlainText().contains(QStringLiteral("ini配置文件不存在")));

    QVERIFY(QFile::remove(ini));
    w.threshold = 17;
    w.localServerAddress = QStringLiteral("http://kept");
    const ProcessorSettings before = membersOf(w);
    w.readSettings();

    QCOMPARE(describe(membersOf(w)), describe(before));
    QCOMPARE(w.threshold, 17);
    QVERIFY(w.textEditLog->toPlainText().endsWith(QStringLiteral("ini配置文件不存在\n")));
}

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"

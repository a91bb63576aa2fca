// The designer's new-template and open-template dialogs and its hidden
// complement tool.

#include "dialogeditfile.h"
#include "dialogencrypt.h"
#include "dialognewfile.h"
#include "messagebox.h"
#include "omrresources.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QListWidget>
#include <QtTest>

#include "designertestutil.h"

using namespace DesignerTest;

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { m_boxes.clear(); }
    void testNewFile_data();
    void testNewFile();
    void testEditFileChecks_data();
    void testEditFileChecks();
    void testEditFileNeedsImagesChosen();
    void testComplementTool();

private:
    QStringList pages(const QStringList &sizes);

    QTemporaryDir m_dir;
    MessageBoxRecorder m_boxes;
};

void DialogsTest::initTestCase()
{
    initOmrResources();
    QVERIFY(m_dir.isValid());
}

// Page images of these sizes ("WxH"), named so they sort in page order.
QStringList DialogsTest::pages(const QStringList &sizes)
{
    QStringList paths;
    for (int i = 0; i < sizes.size(); ++i) {
        const QStringList wh = sizes.at(i).split(QLatin1Char('x'));
        const QString path = m_dir.filePath(QStringLiteral("page-%1-%2.png").arg(i + 1).arg(sizes.at(i)));
        if (!writePage(path, wh.value(0).toInt(), wh.value(1).toInt()))
            return {};
        paths << path;
    }
    return paths;
}

void DialogsTest::testNewFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<QStringList>>("choices");   // chooser answers, in turn
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QStringList>("images");

    const QStringList ba{QStringLiteral("/s/b.png"), QStringLiteral("/s/a.png")};
    const QStringList ab{QStringLiteral("/s/a.png"), QStringLiteral("/s/b.png")};
    QTest::newRow("trimmed name, images in sorted order")
        << QStringLiteral("  期中 数学 ") << QList<QStringList>{ba} << true << QStringLiteral("期中 数学") << ab;
    QTest::newRow("blank name") << QStringLiteral("   ") << QList<QStringList>{ba} << false << QString() << QStringList();
    QTest::newRow("no images") << QStringLiteral("期中") << QList<QStringList>{} << false << QString() << QStringList();
    QTest::newRow("cancelled chooser keeps the listed images")
        << QStringLiteral("期中") << QList<QStringList>{ba, {}} << true << QStringLiteral("期中") << ab;
    QTest::newRow("a new choice replaces the list")
        << QStringLiteral("期中") << QList<QStringList>{ba, {QStringLiteral("/s/c.png")}} << true
        << QStringLiteral("期中") << QStringList{QStringLiteral("/s/c.png")};
}

void DialogsTest::testNewFile()
{
    QFETCH(QString, name);
    QFETCH(QList<QStringList>, choices);
    QFETCH(bool, accepted);
    QFETCH(QString, storedName);
    QFETCH(QStringList, images);

    DialogNewFile dialog;
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    dialog.chooseImages = [&choices](QWidget *) { return choices.takeFirst(); };
    child<QLineEdit>(&dialog, "lineEditFileName")->setText(name);
    while (!choices.isEmpty())
        child<QPushButton>(&dialog, "pushButtonLoadImages")->click();
    child<QPushButton>(&dialog, "pushButtonOK")->click();

    QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
    QCOMPARE(m_boxes.count(), 0);   // refusals are silent
    if (accepted) {
        QCOMPARE(dialog.templateName, storedName);
        QCOMPARE(dialog.imageList, images);
    }
}

void DialogsTest::testEditFileChecks_data()
{
    QTest::addColumn<QByteArray>("stored");       // file content; "@plain:" stores the text as is
    QTest::addColumn<QStringList>("imageSizes");
    QTest::addColumn<QString>("message");         // empty: accepted; "%path" stands for the file
    QTest::addColumn<QString>("name");

    const QStringList three{QStringLiteral("40x30"), QStringLiteral("50x30"), QStringLiteral("60x30")};
    const QByteArray good = pagesXml(QStringLiteral("期末 物理"), three);
    const QString countMessage = QStringLiteral("文件中包含的页数与指定的图片数不一致");
    const QString openMessage = QStringLiteral("打开文件 %path 失败");

    QTest::newRow("pages match") << good << three << QString() << QStringLiteral("期末 物理");
    QTest::newRow("fewer images than pages") << good << QStringList(three.mid(0, 2)) << countMessage << QString();
    QTest::newRow("page 2 and 3 differ: page 2 named")
        << pagesXml(QStringLiteral("x"), {QStringLiteral("40x30"), QStringLiteral("50x31"), QStringLiteral("61x30")})
        << three << QStringLiteral("文件中第 2 页保存的图片宽高信息与指定图片相应次序的宽高不一致") << QString();
    QTest::newRow("width swapped with height")
        << pagesXml(QStringLiteral("x"), {QStringLiteral("30x40")}) << QStringList{QStringLiteral("40x30")}
        << QStringLiteral("文件中第 1 页保存的图片宽高信息与指定图片相应次序的宽高不一致") << QString();
    QByteArray commented = good;
    commented.replace("<Pages>\n", "<Pages>\n        <!-- 三页 -->\n");
    QTest::newRow("a comment is no page") << commented << three << QString() << QStringLiteral("期末 物理");
    QByteArray extra = good;
    extra.replace("</Pages>", "    <Note/>\n    </Pages>");
    QTest::newRow("every element under Pages counts") << extra << three << countMessage << QString();
    QByteArray noName = good;
    noName.replace(" Name=\"期末 物理\"", "");
    QTest::newRow("no Name attribute") << noName << three << QString() << QString();
    QTest::newRow("no Pages") << QByteArray("<Lumbrisk Name=\"x\"/>") << three << countMessage << QString();
    QTest::newRow("truncated") << good.left(good.size() / 2) << three << openMessage << QString();
    QTest::newRow("plain XML") << QByteArray("@plain:" + good) << three << openMessage << QString();
    QTest::newRow("declaration only") << QByteArray("<?xml version=\"1.0\"?>\n") << three << openMessage << QString();
    QTest::newRow("empty file") << QByteArray() << three << openMessage << QString();
}

void DialogsTest::testEditFileChecks()
{
    QFETCH(QByteArray, stored);
    QFETCH(QStringList, imageSizes);
    QFETCH(QString, message);
    QFETCH(QString, name);

    const QString file = m_dir.filePath(QStringLiteral("模板 %1.tpl").arg(QTest::currentDataTag()));
    if (stored.startsWith("@plain:"))
        QVERIFY(writeFile(file, stored.mid(7)));
    else
        QVERIFY(writeStored(file, stored));
    const QByteArray before = fileBytes(file);
    const QStringList images = pages(imageSizes);
    QVERIFY(!images.isEmpty());

    DialogEditFile dialog;
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(child<QLineEdit>(&dialog, "lineEditFileName")->isReadOnly());
    dialog.chooseTemplate = [&file](QWidget *) { return file; };
    dialog.chooseImages = [&images](QWidget *) { return images; };
    child<QPushButton>(&dialog, "pushButtonBrowse")->click();
    child<QPushButton>(&dialog, "pushButtonLoadImages")->click();
    child<QPushButton>(&dialog, "pushButtonOk")->click();

    if (message.isEmpty()) {
        QCOMPARE(m_boxes.count(), 0);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.templateFile, file);
        QCOMPARE(dialog.templateName, name);
        QCOMPARE(dialog.imageList, images);
    } else {
        QCOMPARE(m_boxes.count(), 1);
        QCOMPARE(m_boxes.last().title, QStringLiteral("提示"));
        QCOMPARE(m_boxes.last().icon, QMessageBox::Warning);
        QCOMPARE(m_boxes.last().text, QString(message).replace(QStringLiteral("%path"), file));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
    // Whatever the outcome, the user's file is as it was.
    QCOMPARE(fileBytes(file), before);
}

void DialogsTest::testEditFileNeedsImagesChosen()
{
    const QString file = m_dir.filePath(QStringLiteral("one.tpl"));
    QVERIFY(writeStored(file, pagesXml(QStringLiteral("x"), {QStringLiteral("40x30")})));
    const QStringList images = pages({QStringLiteral("40x30")});
    QList<QStringList> choices{images, {}};

    DialogEditFile dialog;
    dialog.chooseTemplate = [&file](QWidget *) { return file; };
    dialog.chooseImages = [&choices](QWidget *) { return choices.takeFirst(); };
    child<QPushButton>(&dialog, "pushButtonBrowse")->click();
    child<QPushButton>(&dialog, "pushButtonOk")->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));    // no images yet

    child<QPushButton>(&dialog, "pushButtonLoadImages")->click();
    child<QPushButton>(&dialog, "pushButtonLoadImages")->click();              // cancelled: list kept, OK refused
    QCOMPARE(child<QListWidget>(&dialog, "listWidget")->count(), 1);
    child<QPushButton>(&dialog, "pushButtonOk")->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));

    dialog.chooseImages = [&images](QWidget *) { return images; };
    dialog.chooseTemplate = [](QWidget *) { return QString(); };
    child<QPushButton>(&dialog, "pushButtonBrowse")->click();                  // cancelled: path kept
    child<QPushButton>(&dialog, "pushButtonLoadImages")->click();
    child<QPushButton>(&dialog, "pushButtonOk")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.templateFile, file);
    QCOMPARE(m_boxes.count(), 0);
}

void DialogsTest::testComplementTool()
{
    const QByteArray xml = pagesXml(QStringLiteral("期末"), {QStringLiteral("40x30")});
    const QString file = m_dir.filePath(QStringLiteral("tool.tpl"));
    QVERIFY(writeStored(file, xml));
    const QByteArray stored = fileBytes(file);

    DialogEncrypt tool;
    QVERIFY(!(tool.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(child<QDialogButtonBox>(&tool, "buttonBox")->button(QDialogButtonBox::Ok)->text(), QStringLiteral("关闭"));
    QVERIFY(child<QLineEdit>(&tool, "lineEditFileName")->isReadOnly());

    // Nothing chosen: a warning, and the file is not touched.
    child<QPushButton>(&tool, "pushButtonEncrypt")->click();
    QCOMPARE(m_boxes.count(), 1);
    QCOMPARE(m_boxes.last().title, QStringLiteral("警告"));
    QCOMPARE(m_boxes.last().text, QStringLiteral("请指定模板文件！"));

    QString answer = file;
    tool.chooseTemplate = [&answer](QWidget *) { return answer; };
    child<QPushButton>(&tool, "pushButtonBrowse")->click();
    child<QPushButton>(&tool, "pushButtonEncrypt")->click();
    QCOMPARE(m_boxes.last().text, QStringLiteral("成功！"));
    QCOMPARE(fileBytes(file), xml);          // the plain text, byte for byte
    child<QPushButton>(&tool, "pushButtonEncrypt")->click();
    QCOMPARE(m_boxes.last().text, QStringLiteral("成功！"));
    QCOMPARE(fileBytes(file), stored);       // twice is the identity

    // A file that cannot be read or written is reported, never as success.
    answer = m_dir.filePath(QStringLiteral("gone/none.tpl"));
    child<QPushButton>(&tool, "pushButtonBrowse")->click();
    m_boxes.clear();
    child<QPushButton>(&tool, "pushButtonEncrypt")->click();
    QCOMPARE(m_boxes.count(), 1);
    QCOMPARE(m_boxes.last().title, QStringLiteral("提示"));
    QVERIFY(m_boxes.last().text != QStringLiteral("成功！"));
    QVERIFY2(m_boxes.last().text.contains(answer), qPrintable(m_boxes.last().text));

    answer.clear();                          // browse cancelled: the path stays
    child<QPushButton>(&tool, "pushButtonBrowse")->click();
    QCOMPARE(child<QLineEdit>(&tool, "lineEditFileName")->text(), m_dir.filePath(QStringLiteral("gone/none.tpl")));
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"

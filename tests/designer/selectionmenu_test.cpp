// The selection rectangle's menu: which section kinds it offers for each
// page state, the checks and messages of its commands, measuring the bubble
// size (drawn and smart) and the smart-mode toggle.

#include "anchorsections.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "myscrollarea.h"
#include "omrresources.h"
#include "questionsections.h"
#include "selectionfixture.h"
#include "widgettestutil.h"

#include <QMenu>
#include <QtTest>

using namespace SelectionTest;

namespace {

const QString kA = QStringLiteral("矩形黑块定位点A");
const QString kB = QStringLiteral("矩形黑块定位点B");
const QString kText = QStringLiteral("印刷体文字定位(&P)");
const QString kAbsent = QStringLiteral("缺考标记(&A)");
const QString kCode = QStringLiteral("考号(&C)");
const QStringList kContent = {QStringLiteral("客观题(&O)"),        QStringLiteral("主观题(&S)"),
                              QStringLiteral("客观题-异型"),       QStringLiteral("选做题的备选题 题号"),
                              QStringLiteral("选做题客观题"),      QStringLiteral("选做题主观题"),
                              QStringLiteral("选做题客观题-异型")};
const QString kMeasure = QStringLiteral("测量涂点大小(&M)");
const QString kDeskew = QStringLiteral("水平校正(&H)");
const QString kCorner = QStringLiteral("边角检测");
const QString kSmartOn = QStringLiteral("开启 智能获取涂点大小和区域");
const QString kSmartOff = QStringLiteral("关闭 智能获取涂点大小和区域");

QString sizeEntry(int w, int h)
{
    return QStringLiteral("涂点宽：%1 涂点高 ：%2").arg(w).arg(h);
}

// Puts sections described as "page:kind" (A, B, T printed text, X absent
// mark, C code) on the canvas.
void putSections(MyLabel *canvas, const QString &state)
{
    for (const QString &token : state.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int page = token.section(QLatin1Char(':'), 0, 0).toInt();
        const QString kind = token.section(QLatin1Char(':'), 1);
        if (kind == QLatin1String("A"))
            put<MySectionAnchorPointA>(canvas, page);
        else if (kind == QLatin1String("B"))
            put<MySectionAnchorPointB>(canvas, page);
        else if (kind == QLatin1String("T"))
            put<MySectionPrintTextAnchor>(canvas, page);
        else if (kind == QLatin1String("X"))
            put<MySectionAbsentMark>(canvas, page);
        else if (kind == QLatin1String("C"))
            put<MySectionCode>(canvas, page);
        else
            qFatal("unknown kind %s", qPrintable(kind));
    }
}

struct MenuEntry {
    QString text;
    bool enabled;
    bool separatorBefore;
};

QList<MenuEntry> entries(QMenu *menu)
{
    QList<MenuEntry> found;
    bool separator = false;
    for (QAction *action : menu->actions()) {
        if (action->isSeparator()) {
            separator = true;
            continue;
        }
        found.append({action->text(), action->isEnabled(), separator});
        separator = false;
    }
    return found;
}

QStringList texts(QMenu *menu)
{
    QStringList t;
    for (const MenuEntry &e : entries(menu))
        t << e.text;
    return t;
}

QAction *entry(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

} // namespace

class SelectionMenuTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initOmrResources();
        MyScrollArea::setDefaultVariant(MyScrollArea::Variant::Designer);
    }

    void entriesPerPageState_data();
    void entriesPerPageState();
    void separatorsAndIcons();
    void rightPressOpensTheMenu();
    void smartToggle();
    void refusals_data();
    void refusals();
    void measureFromTheSelection_data();
    void measureFromTheSelection();
    void smartMeasureFramesTheLargestBubble();
    void smartMeasureWithoutABubbleKeepsTheValues();
    void measuredSizeOutlivesPagesAndTemplates();
    void menuEntryCreatesTheSection();
};

void SelectionMenuTest::entriesPerPageState_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("expected");

    const QStringList tail = {kMeasure, sizeEntry(0, 0), kCorner, kSmartOn};
    const QStringList tailDeskew = {kMeasure, sizeEntry(0, 0), kDeskew, kCorner, kSmartOn};

    QTest::newRow("fresh page 1") << 1 << QString() << (QStringList{kA, kB, kText, kAbsent, kCode} + tailDeskew);
    QTest::newRow("page 1 anchored, no code")
        << 1 << QStringLiteral("1:A,1:B") << (QStringList{kAbsent, kCode} + tail);
    QTest::newRow("page 1 anchored with code")
        << 1 << QStringLiteral("1:A,1:B,1:C") << (QStringList{kAbsent} + kContent + tail);
    QTest::newRow("page 1 absent mark and code, only anchor A")
        << 1 << QStringLiteral("1:A,1:X,1:C") << (QStringList{kB} + tail);
    QTest::newRow("page 2 printed text") << 2 << QStringLiteral("2:T") << (kContent + tail);
    QTest::newRow("page 2 only anchor A") << 2 << QStringLiteral("2:A") << (QStringList{kB} + tail);
    QTest::newRow("page 2 only anchor B") << 2 << QStringLiteral("2:B") << (QStringList{kA} + tail);
    // Anchors count per page, code and absent mark for the template.
    QTest::newRow("page 2 while page 1 is complete")
        << 2 << QStringLiteral("1:A,1:B,1:C,1:X") << (QStringList{kA, kB, kText} + tailDeskew);
    QTest::newRow("page 1 with the code on another page")
        << 1 << QStringLiteral("1:T,2:C") << (QStringList{kAbsent} + kContent + tail);
}

void SelectionMenuTest::entriesPerPageState()
{
    QFETCH(int, page);
    QFETCH(QString, state);
    QFETCH(QStringList, expected);
    PageScene scene;
    scene.show(page);
    putSections(scene.canvas, state);
    const std::unique_ptr<QMenu> menu(scene.canvas->rubberBand->buildMenu());
    QCOMPARE(texts(menu.get()), expected);
}

void SelectionMenuTest::separatorsAndIcons()
{
    PageScene scene;
    scene.show(1);
    scene.canvas->rubberBand->markPointWidth = 21;
    scene.canvas->rubberBand->markPointHeight = 13;
    const std::unique_ptr<QMenu> menu(scene.canvas->rubberBand->buildMenu());
    const QList<MenuEntry> all = entries(menu.get());
    QStringList withSeparator;
    for (const MenuEntry &e : all) {
        if (e.separatorBefore)
            withSeparator << e.text;
        // Only the bubble size is shown and cannot be chosen.
        QCOMPARE(e.enabled, e.text != sizeEntry(21, 13));
    }
    QCOMPARE(withSeparator, (QStringList{kText, kAbsent, kMeasure, kDeskew, kCorner, kSmartOn}));
    QVERIFY(!entry(menu.get(), kA)->icon().isNull());
    QVERIFY(entry(menu.get(), sizeEntry(21, 13))->icon().isNull());
}

void SelectionMenuTest::rightPressOpensTheMenu()
{
    PageScene scene;
    scene.show(1);
    scene.select(QRect(20, 20, 100, 60));
    MyRubberBandContainer *band = scene.canvas->rubberBand;
    const QStringList shown = WidgetTest::popupTexts(
        [band] { sendMouse(band, QEvent::MouseButtonPress, QPoint(10, 10), Qt::RightButton, Qt::RightButton); });
    QCOMPARE(shown.first(), kA);
    QCOMPARE(shown.last(), kSmartOn);
}

void SelectionMenuTest::smartToggle()
{
    PageScene scene;
    scene.show(1);
    MyRubberBandContainer *band = scene.canvas->rubberBand;
    QVERIFY(!band->smartMode);
    for (const QString &text : {kSmartOn, kSmartOff}) {
        const std::unique_ptr<QMenu> menu(band->buildMenu());
        QCOMPARE(texts(menu.get()).last(), text);
        entry(menu.get(), text)->trigger();
        QCOMPARE(band->smartMode, text == kSmartOn);
    }
}

void SelectionMenuTest::refusals_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("measured");
    QTest::addColumn<float>("zoom");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("message");
    QTest::addColumn<float>("zoomAfter");

    const int yes = QMessageBox::Yes;
    const int no = QMessageBox::No;
    const int ok = QMessageBox::Ok;
    const QString objective = QStringLiteral("设置客观题之前需要先【测量涂点大小】");
    const QString optional = QStringLiteral("设置之前需要先【测量涂点大小】");

    QTest::newRow("printed text exists") << QByteArray("setPrintTextAnchor") << QStringLiteral("1:T") << false
                                         << 1.0f << ok << QStringLiteral("印刷体文字定位点已存在") << 1.0f;
    QTest::newRow("anchor A exists") << QByteArray("setSectionAnchorPointA") << QStringLiteral("1:A") << false
                                     << 1.0f << ok << QStringLiteral("定位点A已存在") << 1.0f;
    QTest::newRow("anchor B exists") << QByteArray("setSectionAnchorPointB") << QStringLiteral("1:B") << false
                                     << 1.0f << ok << QStringLiteral("定位点B已存在") << 1.0f;
    QTest::newRow("absent mark on another page") << QByteArray("setSectionAbsentMark") << QStringLiteral("2:X")
                                                 << false << 0.5f << ok << QStringLiteral("缺考标记已存在") << 0.5f;
    QTest::newRow("absent mark reduced, no")
        << QByteArray("setSectionAbsentMark") << QString() << false << 0.5f << no
        << QStringLiteral("不能在图片缩小时进行【缺考标记】设置。是否进行原图显示？") << 0.5f;
    QTest::newRow("code exists") << QByteArray("setSectionCode") << QStringLiteral("2:C") << false << 1.0f << ok
                                 << QStringLiteral("考号已存在") << 1.0f;
    QTest::newRow("measure reduced, yes")
        << QByteArray("setMarkPointSize") << QString() << false << 0.5f << yes
        << QStringLiteral("不能在图片缩小时进行【测量涂点大小】操作。是否进行原图显示？") << 1.0f;
    // Not measured is told before the zoom.
    QTest::newRow("objective unmeasured, reduced")
        << QByteArray("setSectionObject") << QString() << false << 0.5f << ok << objective << 0.5f;
    QTest::newRow("irregular unmeasured")
        << QByteArray("setSectionObjectAbnormal") << QString() << false << 1.0f << ok << objective << 1.0f;
    QTest::newRow("optional objective unmeasured")
        << QByteArray("setSectionObjectOptional") << QString() << false << 1.0f << ok << optional << 1.0f;
    QTest::newRow("optional irregular unmeasured")
        << QByteArray("setSectionObjectOptionalAbnormal") << QString() << false << 1.0f << ok << optional << 1.0f;
    QTest::newRow("candidates unmeasured") << QByteArray("setSectionOptionalItem") << QString() << false << 1.0f
                                           << ok << QStringLiteral("设置选做题题号之前需要先【测量涂点大小】")
                                           << 1.0f;
    QTest::newRow("objective reduced, yes")
        << QByteArray("setSectionObject") << QString() << true << 0.5f << yes
        << QStringLiteral("不能在图片缩小时进行【客观题】设置。是否进行原图显示？") << 1.0f;
    QTest::newRow("irregular reduced, no")
        << QByteArray("setSectionObjectAbnormal") << QString() << true << 0.5f << no
        << QStringLiteral("不能在图片缩小时进行【客观题】设置。是否进行原图显示？") << 0.5f;
    QTest::newRow("optional objective reduced")
        << QByteArray("setSectionObjectOptional") << QString() << true << 0.5f << yes
        << QStringLiteral("不能在图片缩小时进行【选做题客观题】设置。是否进行原图显示？") << 1.0f;
    QTest::newRow("optional irregular reduced")
        << QByteArray("setSectionObjectOptionalAbnormal") << QString() << true << 0.5f << no
        << QStringLiteral("不能在图片缩小时进行【选做题客观题】设置。是否进行原图显示？") << 0.5f;
    QTest::newRow("candidates reduced")
        << QByteArray("setSectionOptionalItem") << QString() << true << 0.5f << yes
        << QStringLiteral("不能在图片缩小时进行【选做题的备选题 题号】设置。是否进行原图显示？") << 1.0f;
}

void SelectionMenuTest::refusals()
{
    QFETCH(QByteArray, slot);
    QFETCH(QString, state);
    QFETCH(bool, measured);
    QFETCH(float, zoom);
    QFETCH(int, answer);
    QFETCH(QString, message);
    QFETCH(float, zoomAfter);

    PageScene scene;
    scene.show(1);
    scene.setZoom(zoom);
    QCOMPARE(scene.canvas->scale, zoom);
    putSections(scene.canvas, state);
    MyRubberBandContainer *band = scene.canvas->rubberBand;
    if (measured) {
        band->markPointWidth = 20;
        band->markPointHeight = 14;
    }
    scene.select(QRect(10, 10, 200, 100));
    const int sectionsBefore = scene.canvas->sectionList().size();

    MessageBoxRecorder boxes;
    boxes.queueAnswer(QMessageBox::StandardButton(answer));
    // A dialog opening here would be a missed check: close it and fail.
    bool dialogOpened = false;
    QTimer guard;
    connect(&guard, &QTimer::timeout, [&dialogOpened] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            dialogOpened = true;
            modal->close();
        }
    });
    guard.start(10);
    QVERIFY(QMetaObject::invokeMethod(band, slot.constData()));

    QVERIFY(!dialogOpened);
    QCOMPARE(boxes.count(), 1);
    const MessageBoxSpec box = boxes.last();
    QCOMPARE(box.title, QStringLiteral("提示"));
    QCOMPARE(box.text, message);
    QCOMPARE(box.icon, QMessageBox::Warning);
    if (answer == QMessageBox::Ok) {
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    } else {
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.defaultButton, QMessageBox::Yes);
    }
    QCOMPARE(scene.canvas->scale, zoomAfter);
    QCOMPARE(scene.canvas->sectionList().size(), sectionsBefore);
    QCOMPARE(band->markPointWidth, measured ? 20 : 0);
}

void SelectionMenuTest::measureFromTheSelection_data()
{
    QTest::addColumn<float>("zoom");
    QTest::addColumn<QRect>("selection");
    QTest::addColumn<QSize>("measured");
    QTest::newRow("full size") << 1.0f << QRect(30, 40, 23, 15) << QSize(23, 15);
    // Truncated: 45 / 2 is 22.
    QTest::newRow("zoom 2") << 2.0f << QRect(60, 80, 45, 31) << QSize(22, 15);
}

void SelectionMenuTest::measureFromTheSelection()
{
    QFETCH(float, zoom);
    QFETCH(QRect, selection);
    QFETCH(QSize, measured);
    PageScene scene;
    scene.show(1);
    scene.setZoom(zoom);
    scene.select(selection);
    MyRubberBandContainer *band = scene.canvas->rubberBand;
    MessageBoxRecorder boxes;
    band->setMarkPointSize();
    QCOMPARE(QSize(band->markPointWidth, band->markPointHeight), measured);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().icon, QMessageBox::Information);
    QCOMPARE(boxes.last().buttons, QMessageBox::StandardButtons(QMessageBox::Yes));
    QCOMPARE(boxes.last().text,
             QStringLiteral("测量完成\n涂点宽：%1  涂点高：%2").arg(measured.width()).arg(measured.height()));
    QCOMPARE(band->geometry(), selection);
    const std::unique_ptr<QMenu> menu(band->buildMenu());
    QVERIFY(texts(menu.get()).contains(sizeEntry(measured.width(), measured.height())));
}

void SelectionMenuTest::smartMeasureFramesTheLargestBubble()
{
    PageScene scene;
    cv::Mat page = whitePage(600, 800);
    // Two dark bubbles; the larger one is measured.
    cv::rectangle(page, cv::Rect(110, 100, 20, 14), cv::Scalar(0), cv::FILLED);
    cv::rectangle(page, cv::Rect(160, 100, 31, 21), cv::Scalar(0), cv::FILLED);
    scene.redraw(1, page);
    scene.setZoom(2.0f);
    MyRubberBandContainer *band = scene.canvas->rubberBand;
    band->smartMode = true;
    scene.select(QRect(200, 180, 220, 100));   // page (100, 90) 110 x 50
    MessageBoxRecorder boxes;
    band->setMarkPointSize();
    // The box found is 31 x 21 at (60, 10) in the region; the measured size
    // is one less, and the selection frames it at the zoom.
    QCOMPARE(band->markPointWidth, 30);
    QCOMPARE(band->markPointHeight, 20);
    QCOMPARE(band->geometry(), QRect(200 + 120, 180 + 20, 60, 40));
    QCOMPARE(boxes.last().text, QStringLiteral("测量完成\n涂点宽：30  涂点高：20"));
}

void SelectionMenuTest::smartMeasureWithoutABubbleKeepsTheValues()
{
    PageScene scene;
    scene.show(1);
    MyRubberBandContainer *band = scene.canvas->rubberBand;
    band->smartMode = true;
    band->markPointWidth = 17;
    band->markPointHeight = 12;
    scene.select(QRect(50, 50, 80, 40));
    MessageBoxRecorder boxes;
    band->setMarkPointSize();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().text, QStringLiteral("自动测量涂点大小失败"));
    QCOMPARE(boxes.last().icon, QMessageBox::Information);
    QCOMPARE(boxes.last().buttons, QMessageBox::StandardButtons(QMessageBox::Yes));
    QCOMPARE(band->markPointWidth, 17);
    QCOMPARE(band->markPointHeight, 12);
    QCOMPARE(band->geometry(), QRect(50, 50, 80, 40));
}

void SelectionMenuTest::measuredSizeOutlivesPagesAndTemplates()
{
    QTemporaryDir dir;
    QStringList pages;
    for (int i = 1; i <= 2; ++i) {
        pages << dir.filePath(QStringLiteral("p%1.png").arg(i));
        QImage white(400, 500, QImage::Format_Grayscale8);
        white.fill(255);
        QVERIFY(white.save(pages.last()));
    }
    MessageBoxRecorder boxes;
    MainWindow w;
    w.loadTemplate(QStringLiteral("甲"), pages, false, QString());
    MyRubberBandContainer *band = w.findChild<MyRubberBandContainer *>();
    QVERIFY(band);
    band->markPointWidth = 19;
    band->markPointHeight = 11;
    band->smartMode = true;
    w.loadTemplate(QStringLiteral("乙"), pages.mid(1), false, QString());
    QCOMPARE(w.findChild<MyRubberBandContainer *>(), band);
    QCOMPARE(band->markPointWidth, 19);
    QCOMPARE(band->markPointHeight, 11);
    QVERIFY(band->smartMode);
}

void SelectionMenuTest::menuEntryCreatesTheSection()
{
    PageScene scene;
    scene.show(1);
    scene.select(QRect(40, 30, 60, 20));
    MessageBoxRecorder boxes;
    const std::unique_ptr<QMenu> menu(scene.canvas->rubberBand->buildMenu());
    entry(menu.get(), kAbsent)->trigger();
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(scene.sections().size(), 1);
    QVERIFY(qobject_cast<MySectionAbsentMark *>(scene.sections().first()));
    QCOMPARE(scene.treeTexts(1), QStringList{QStringLiteral("缺考标记")});
    QVERIFY(!scene.canvas->rubberBand->isVisible());
    // Gone from the next menu.
    const std::unique_ptr<QMenu> next(scene.canvas->rubberBand->buildMenu());
    QVERIFY(!texts(next.get()).contains(kAbsent));
}

QTEST_MAIN(SelectionMenuTest)
#include "selectionmenu_test.moc"

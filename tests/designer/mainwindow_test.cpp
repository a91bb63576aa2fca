// The designer's window: start-up, new and open, saving, the pre-save
// check, the page tree's menu, the flash, stored orientations and closing.

#include "anchorsections.h"
#include "dialogabout.h"
#include "dialogeditfile.h"
#include "dialogencrypt.h"
#include "dialognewfile.h"
#include "dialogupgradeinfo.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "myimage.h"
#include "mylabel.h"
#include "myscrollarea.h"
#include "mystatusbar.h"
#include "mytreewidget.h"
#include "omrresources.h"
#include "platformrequest.h"
#include "platformsimulator.h"
#include "questionsections.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QPushButton>
#include <QListWidget>
#include <QtTest>

#include "designertestutil.h"
#include "widgettestutil.h"

using namespace DesignerTest;

namespace {

// Shows and hides of a widget, in order: "S" and "H".
class VisibilityLog : public QObject {
public:
    explicit VisibilityLog(QWidget *watched) { watched->installEventFilter(this); }
    QString events;
    std::function<void(QEvent::Type)> onEvent;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent) {
            events += event->type() == QEvent::ShowToParent ? QLatin1Char('S') : QLatin1Char('H');
            if (onEvent)
                onEvent(event->type());
        }
        return false;
    }
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { m_boxes.clear(); }
    void testVersionThroughTheBinary_data();
    void testVersionThroughTheBinary();
    void testNewTemplate();
    void testNewFileCommand();
    void testOpenWriterFile();
    void testBrokenTemplateFiles_data();
    void testBrokenTemplateFiles();
    void testNewTemplateDeletesOldSectionsAtOnce();
    void testValidation_data();
    void testValidation();
    void testSaveStartPathAndScoringStep();
    void testUnreadablePageRefusesSave();
    void testUnwritableTargetReported_data();
    void testUnwritableTargetReported();
    void testTreeMenu();
    void testFlash();
    void testFlashSurvivesDeletion_data();
    void testFlashSurvivesDeletion();
    void testStoredOrientation_data();
    void testStoredOrientation();
    void testOrientationFailureReported();
    void testCloseAsks_data();
    void testCloseAsks();
    void testAboutHiddenTool();
    void testUpgradeAsksForTheDesigner();

private:
    QStringList pages(int count, const QString &prefix = QStringLiteral("page"));
    QTreeWidgetItem *addItem(MainWindow &w, MySectionBase *section, TreeItemType type);
    template <typename T, typename... Args>
    T *place(MainWindow &w, int page, const QRect &area, TreeItemType type, Args... args);
    MySectionObjectAbnormal *placeIrregular(MainWindow &w, int page, int bubbles);
    // Gives the tree a right click on `item` (or at `pos` without one) and
    // picks `choice` from the menu; returns the menu's entries.
    QStringList rightClick(MainWindow &w, QTreeWidgetItem *item, const QString &choice = QString(),
                           QPoint pos = QPoint());
    // Page 1: anchors and code; further pages: anchors.
    void completeAnchors(MainWindow &w);

    QTemporaryDir m_dir;
    MessageBoxRecorder m_boxes;
};

void MainWindowTest::initTestCase()
{
    initOmrResources();
    MyScrollArea::setDefaultVariant(MyScrollArea::Variant::Designer);
    QVERIFY(m_dir.isValid());
}

QStringList MainWindowTest::pages(int count, const QString &prefix)
{
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = m_dir.filePath(QStringLiteral("%1-%2.png").arg(prefix).arg(i + 1));
        if (!writePage(path, 400, 600))
            return {};
        paths << path;
    }
    return paths;
}

QTreeWidgetItem *MainWindowTest::addItem(MainWindow &w, MySectionBase *section, TreeItemType type)
{
    auto *item = new QTreeWidgetItem;
    item->setText(0, section->sectionName());
    item->setData(0, TreeItemTypeRole, int(type));
    item->setData(0, TreeItemDataRole, QVariant::fromValue<QObject *>(section));
    w.treeWidget->topLevelItem(section->page - 1)->addChild(item);
    section->treeItem = item;
    return item;
}

template <typename T, typename... Args>
T *MainWindowTest::place(MainWindow &w, int page, const QRect &area, TreeItemType type, Args... args)
{
    auto *section = new T(page, w.myImage->label(), args...);
    section->X = area.x();
    section->Y = area.y();
    section->Width = area.width();
    section->Height = area.height();
    section->setGeometry(area);
    // What detection gives a drawn anchor: the black block inside its area.
    if constexpr (std::is_same_v<T, MySectionAnchorPointA> || std::is_same_v<T, MySectionAnchorPointB>) {
        section->anchorRect = QRect(5, 5, area.width() - 10, area.height() - 10);
        section->CenterX = area.x() + 5 + section->anchorRect.width() / 2;
        section->CenterY = area.y() + 5 + section->anchorRect.height() / 2;
    }
    if constexpr (std::is_same_v<T, MySectionPrintTextAnchor>) {
        section->textRect = QRect(10, 5, area.width() - 20, area.height() - 10);
        section->patch = cv::Mat(section->textRect.height(), section->textRect.width(), CV_8UC1, cv::Scalar(0));
        section->CenterX = area.x() + 10 + section->textRect.width() / 2;
        section->CenterY = area.y() + 5 + section->textRect.height() / 2;
    }
    w.sectionList().append(section);
    addItem(w, section, type);
    return section;
}

MySectionObjectAbnormal *MainWindowTest::placeIrregular(MainWindow &w, int page, int bubbles)
{
    auto *question = place<MySectionObjectAbnormal>(w, page, QRect(50, 300, 200, 60), TreeItemTypeObject, false,
                                                    0, 41, bubbles);
    for (int i = 0; i < bubbles; ++i) {
        auto *bubble = new ObjectAbnormalOption(page, 41, i, question, w.myImage->label());
        bubble->setGeometry(60 + 40 * i, 310, 30, 20);
        bubble->X = 60 + 40 * i;
        bubble->Y = 310;
        bubble->Width = 30;
        bubble->Height = 20;
        question->options << bubble;
        w.sectionList().append(bubble);
    }
    return question;
}

void MainWindowTest::completeAnchors(MainWindow &w)
{
    for (int p = 1; p <= w.treeWidget->topLevelItemCount(); ++p) {
        place<MySectionAnchorPointA>(w, p, QRect(10, 10, 40, 40), TreeItemTypeAnchorPointA);
        place<MySectionAnchorPointB>(w, p, QRect(340, 10, 40, 40), TreeItemTypeAnchorPointB);
    }
    place<MySectionCode>(w, 1, QRect(100, 60, 200, 100), TreeItemTypeCode, 4, 1, 12, 8);
}

QStringList MainWindowTest::rightClick(MainWindow &w, QTreeWidgetItem *item, const QString &choice, QPoint pos)
{
    QWidget *viewport = w.treeWidget->viewport();
    if (item)
        pos = w.treeWidget->visualItemRect(item).center();
    QStringList texts;
    QTimer timer;
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        timer.stop();
        QAction *picked = nullptr;
        for (QAction *action : menu->actions()) {
            texts << action->text();
            if (action->text() == choice)
                picked = action;
        }
        menu->close();
        if (picked)
            picked->trigger();
    });
    timer.start();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, viewport->mapToGlobal(pos));
    QApplication::sendEvent(viewport, &event);
    return texts;
}

// --- start-up ---

void MainWindowTest::testVersionThroughTheBinary_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("version") << QStringList{QStringLiteral("version")};
    QTest::newRow("arguments after it are ignored") << QStringList{QStringLiteral("version"), QStringLiteral("x")};
}

void MainWindowTest::testVersionThroughTheBinary()
{
    QFETCH(QStringList, arguments);
    // No display and a platform that does not exist: the answer must come
    // before anything would need one.
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(LUMBRISK_BINARY), arguments);
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(p.readAllStandardOutput(), QByteArray(R"({"version_code":2025052800,"version_name":"4.1"})"));
}

// --- new and open ---

void MainWindowTest::testNewTemplate()
{
    SheetSpec spec = SheetSpec::minimal(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 3, 100);
    const SheetRenderer renderer(spec);
    QStringList images;
    for (int i = 0; i < 3; ++i) {
        images << m_dir.filePath(QStringLiteral("rendered-%1.png").arg(i + 1));
        QVERIFY(SheetRenderer::writeImage(images.last(), renderer.blankPage(i), 0));
    }

    MainWindow w;
    QCOMPARE(w.windowTitle(), MainWindow::programTitle());
    QCOMPARE(w.currentPage, -1);
    w.loadTemplate(QStringLiteral("期中 数学"), images, false, QString());

    QCOMPARE(w.templateName, QStringLiteral("期中 数学"));
    QCOMPARE(w.pageImages, images);
    QCOMPARE(w.windowTitle(), QStringLiteral("期中 数学 - Lumbrisk V 4.1 - Vostra答卷模板制作软件"));
    QCOMPARE(w.treeWidget->headerItem()->text(0), QStringLiteral("期中 数学"));
    QCOMPARE(w.myStatusBar->findChild<QLabel *>(QStringLiteral("labelFileName"))->text(), QStringLiteral("期中 数学"));
    QCOMPARE(w.treeWidget->topLevelItemCount(), 3);
    for (int i = 0; i < 3; ++i) {
        QTreeWidgetItem *item = w.treeWidget->topLevelItem(i);
        QCOMPARE(item->text(0), QStringLiteral("第%1页").arg(i + 1));
        QCOMPARE(item->data(0, TreeItemTypeRole).toInt(), 1);
        const TreeItemPage page = item->data(0, TreeItemDataRole).value<TreeItemPage>();
        QCOMPARE(page.id, i + 1);
        QCOMPARE(page.imagePath, images.at(i));
        QCOMPARE(item->childCount(), 0);
    }
    QVERIFY(w.sectionList().isEmpty());
    QVERIFY(w.subjectItemRows.isEmpty());
    // Page 1 is selected and shown.
    QCOMPARE(w.treeWidget->currentItem(), w.treeWidget->topLevelItem(0));
    QCOMPARE(w.currentPage, 1);
    QCOMPARE(w.myImage->label()->page, 1);
    QCOMPARE(w.myImage->label()->imagePath, images.at(0));
    QCOMPARE(w.myStatusBar->findChild<QLabel *>(QStringLiteral("labelPage"))->text(), QStringLiteral("页:1"));
    QCOMPARE(w.myStatusBar->findChild<QLabel *>(QStringLiteral("labelWidth"))->text(),
             QStringLiteral("W:%1").arg(spec.pageSize.width()));
    QCOMPARE(m_boxes.count(), 0);
}

void MainWindowTest::testNewFileCommand()
{
    const QStringList images = pages(2, QStringLiteral("cmd"));
    MainWindow w;
    {   // Closing the dialog changes nothing.
        WidgetTest::WhenShown<DialogNewFile> answer([](DialogNewFile *d) { d->reject(); });
        w.newFile();
        QVERIFY(answer.seen);
        QCOMPARE(w.treeWidget->topLevelItemCount(), 0);
    }
    WidgetTest::WhenShown<DialogNewFile> answer([&images](DialogNewFile *d) {
        d->chooseImages = [&images](QWidget *) { return QStringList{images.at(1), images.at(0)}; };
        child<QLineEdit>(d, "lineEditFileName")->setText(QStringLiteral(" 月考 "));
        child<QPushButton>(d, "pushButtonLoadImages")->click();
        child<QPushButton>(d, "pushButtonOK")->click();
    });
    w.newFile();
    QVERIFY(answer.seen);
    QCOMPARE(w.templateName, QStringLiteral("月考"));
    QCOMPARE(w.pageImages, images);   // the list sorts them
    QCOMPARE(w.currentPage, 1);
}

void MainWindowTest::testOpenWriterFile()
{
    SheetSpec spec = SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 2, 100);
    spec.subjectConfig << SheetSpec::SubjectConfigRow{QStringLiteral("1"), QStringLiteral("作文"), QStringLiteral("50"),
                                                      QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("1,2"),
                                                      QStringLiteral("1,1")}
                       << SheetSpec::SubjectConfigRow{QStringLiteral("2"), QString(), QStringLiteral("10"),
                                                      QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("2"),
                                                      QStringLiteral("2")};
    const SheetRenderer renderer(spec);
    QTemporaryDir dir;
    RenderedTemplate t;
    QVERIFY(writeRendered(renderer, dir.path(), &t));
    const QByteArray stored = fileBytes(t.file);

    MainWindow w;
    w.subjectConfigStep = nullptr;      // the scoring step has tests of its own
    WidgetTest::WhenShown<DialogEditFile> answer([&t](DialogEditFile *d) {
        d->chooseTemplate = [&t](QWidget *) { return t.file; };
        d->chooseImages = [&t](QWidget *) { return t.pages; };
        child<QPushButton>(d, "pushButtonBrowse")->click();
        child<QPushButton>(d, "pushButtonLoadImages")->click();
        child<QPushButton>(d, "pushButtonOk")->click();
    });
    w.openFile();
    QVERIFY(answer.seen);
    QCOMPARE(m_boxes.count(), 0);
    QCOMPARE(fileBytes(t.file), stored);     // opening never writes the file

    QCOMPARE(w.templateName, spec.name);
    QCOMPARE(w.windowTitle(), spec.name + QStringLiteral(" - ") + MainWindow::programTitle());
    int bubbles = 0;
    for (const SheetSpec::IrregularQuestion &q : spec.irregularQuestions)
        bubbles += q.options.size();
    const int sections = 2 * spec.pageCount + spec.cornerChecks.size() + 1 + (spec.hasAbsentMark ? 1 : 0)
        + spec.objectBlocks.size() + spec.irregularQuestions.size() + spec.optionalGroups.size()
        + spec.subjectBlocks.size();
    int treeSections = 0;
    for (int p = 0; p < w.treeWidget->topLevelItemCount(); ++p)
        treeSections += w.treeWidget->topLevelItem(p)->childCount();
    QCOMPARE(treeSections, sections);
    QCOMPARE(w.sectionList().size(), sections + bubbles);
    QCOMPARE(w.subjectItemRows.size(), 2);
    QCOMPARE(w.subjectItemRows.at(0).Alias, QStringLiteral("作文"));
    QCOMPARE(w.subjectItemRows.at(0).Pages, QStringLiteral("1,2"));
    QCOMPARE(w.subjectItemRows.at(1).Alias, QString());
    QCOMPARE(w.currentPage, 1);
    QVERIFY(w.validateTemplate());

    // Saved unchanged: the same document, and twice the same bytes.
    QStringList answers{dir.filePath(QStringLiteral("a.tpl")), dir.filePath(QStringLiteral("b.tpl"))};
    w.chooseSaveFile = [&answers](QWidget *, const QString &) { return answers.takeFirst(); };
    w.saveFile();
    w.saveFile();
    QCOMPARE(m_boxes.count(), 0);
    const QByteArray a = fileBytes(dir.filePath(QStringLiteral("a.tpl")));
    QVERIFY(!a.isEmpty());
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("b.tpl"))), a);
    const QByteArray text = TemplateFormat::complementBytes(a);
    QVERIFY(!text.contains('\r'));
    QCOMPARE(text, t.xml);
}

void MainWindowTest::testBrokenTemplateFiles_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<int>("images");
    QTest::addColumn<QString>("message");   // "%path" stands for the file; empty: any warning or none
    QTest::addColumn<int>("sections");
    QTest::addColumn<int>("currentPage");

    const QByteArray section = "<Section Type=\"Subject\" SubjectSectionID=\"1\" X=\"5\" Y=\"5\" Width=\"50\" Height=\"50\"/>";
    QTest::newRow("no root element") << QByteArray("<?xml version=\"1.0\"?>\n<!-- 空 -->\n") << 2
                                     << QStringLiteral("打开文件 %path 失败") << 0 << -1;
    QTest::newRow("truncated") << QByteArray("<Lumbrisk Name=\"x\"><Pages><Page ID=\"1\"") << 2
                               << QStringLiteral("打开文件 %path 失败") << 0 << -1;
    QTest::newRow("no Pages") << QByteArray("<Lumbrisk Name=\"无页\" Version=\"4.1\"/>") << 2 << QString() << 0 << 1;
    QTest::newRow("pages beyond the images")
        << QByteArray("<Lumbrisk Name=\"x\"><Pages><Page ID=\"1\">" + section + "</Page><Page ID=\"2\">" + section
                      + "</Page><Page ID=\"3\">" + section + "</Page></Pages></Lumbrisk>")
        << 2 << QStringLiteral("*") << 2 << 1;
}

void MainWindowTest::testBrokenTemplateFiles()
{
    QFETCH(QByteArray, xml);
    QFETCH(int, images);
    QFETCH(QString, message);
    QFETCH(int, sections);
    QFETCH(int, currentPage);

    const QString file = m_dir.filePath(QStringLiteral("broken.tpl"));
    QVERIFY(writeStored(file, xml));
    const QByteArray before = fileBytes(file);
    MainWindow w;
    // A page of the previous template is on screen.
    w.loadTemplate(QStringLiteral("前"), pages(1, QStringLiteral("before")), false, QString());
    QVERIFY(w.myImage->label()->pixmap() && !w.myImage->label()->pixmap()->isNull());
    w.loadTemplate(QStringLiteral("名"), pages(images), true, file);
    if (currentPage < 0)   // nothing of the previous template's page stays
        QVERIFY(!w.myImage->label()->pixmap() || w.myImage->label()->pixmap()->isNull());

    QCOMPARE(fileBytes(file), before);
    QCOMPARE(w.treeWidget->topLevelItemCount(), images);
    QCOMPARE(w.sectionList().size(), sections);
    QCOMPARE(w.currentPage, currentPage);
    if (message == QLatin1String("*")) {
        QVERIFY(m_boxes.count() >= 1);
        QCOMPARE(m_boxes.last().title, QStringLiteral("提示"));
    } else if (!message.isEmpty()) {
        QCOMPARE(m_boxes.count(), 1);
        QCOMPARE(m_boxes.last().title, QStringLiteral("提示"));
        QCOMPARE(m_boxes.last().text, QString(message).replace(QStringLiteral("%path"), file));
    }
    for (const MessageBoxSpec &box : m_boxes.boxes())
        QCOMPARE(box.title, QStringLiteral("提示"));
}

void MainWindowTest::testNewTemplateDeletesOldSectionsAtOnce()
{
    MainWindow w;
    w.loadTemplate(QStringLiteral("旧"), pages(2), false, QString());
    completeAnchors(w);
    QPointer<MySectionObjectAbnormal> question = placeIrregular(w, 2, 3);
    QPointer<MySectionBase> bubble = question->options.first();
    QPointer<MySectionBase> subject = place<MySectionSubject>(w, 1, QRect(20, 400, 300, 100), TreeItemTypeSubject);
    QCOMPARE(w.sectionList().size(), 5 + 1 + 3 + 1);

    w.loadTemplate(QStringLiteral("新"), pages(1, QStringLiteral("new")), false, QString());
    // Without the event loop running: nothing of the old template is left.
    QVERIFY(!question);
    QVERIFY(!bubble);
    QVERIFY(!subject);
    QVERIFY(w.myImage->label()->findChildren<MySectionBase *>().isEmpty());
    QVERIFY(w.sectionList().isEmpty());
    QCOMPARE(w.treeWidget->topLevelItemCount(), 1);
    QCOMPARE(w.treeWidget->topLevelItem(0)->childCount(), 0);
}

// --- the pre-save check and saving ---

void MainWindowTest::testValidation_data()
{
    QTest::addColumn<QStringList>("pageSections");   // per page: A, B, P (printed text), C (code)
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("message");

    QTest::newRow("no pages") << QStringList{} << false << QString();
    QTest::newRow("complete") << QStringList{"ABC", "AB"} << true << QString();
    QTest::newRow("printed text instead of rectangles") << QStringList{"PC", "P"} << true << QString();
    QTest::newRow("page 2 has only anchor A") << QStringList{"ABC", "A"} << false << QStringLiteral("第2页 缺少定位点");
    QTest::newRow("page 1 without code") << QStringList{"AB", "AB"} << false << QStringLiteral("第1页 缺少考号");
    QTest::newRow("code on page 2 only") << QStringList{"AB", "ABC"} << false << QStringLiteral("第1页 缺少考号");
    QTest::newRow("anchors are asked before the code") << QStringList{"", "AB"} << false
                                                       << QStringLiteral("第1页 缺少定位点");
}

void MainWindowTest::testValidation()
{
    QFETCH(QStringList, pageSections);
    QFETCH(bool, valid);
    QFETCH(QString, message);

    MainWindow w;
    w.subjectConfigStep = nullptr;      // the scoring step has tests of its own
    if (!pageSections.isEmpty())
        w.loadTemplate(QStringLiteral("查"), pages(pageSections.size()), false, QString());
    for (int p = 1; p <= pageSections.size(); ++p) {
        const QString kinds = pageSections.at(p - 1);
        if (kinds.contains(QLatin1Char('A')))
            place<MySectionAnchorPointA>(w, p, QRect(10, 10, 40, 40), TreeItemTypeAnchorPointA);
        if (kinds.contains(QLatin1Char('B')))
            place<MySectionAnchorPointB>(w, p, QRect(340, 10, 40, 40), TreeItemTypeAnchorPointB);
        if (kinds.contains(QLatin1Char('P')))
            place<MySectionPrintTextAnchor>(w, p, QRect(100, 10, 200, 40), TreeItemTypeAnchorPointA);
        if (kinds.contains(QLatin1Char('C')))
            place<MySectionCode>(w, p, QRect(100, 60, 200, 100), TreeItemTypeCode);
    }
    m_boxes.clear();
    QCOMPARE(w.validateTemplate(), valid);
    if (message.isEmpty()) {
        QCOMPARE(m_boxes.count(), 0);
    } else {
        QCOMPARE(m_boxes.count(), 1);
        QCOMPARE(m_boxes.last().title, QStringLiteral("提示"));
        QCOMPARE(m_boxes.last().text, message);
    }

    // A refused check ends the save before the file chooser.
    bool asked = false;
    w.chooseSaveFile = [&asked](QWidget *, const QString &) {
        asked = true;
        return QString();
    };
    w.saveFile();
    QCOMPARE(asked, valid);
}

void MainWindowTest::testSaveStartPathAndScoringStep()
{
    MainWindow w;
    w.loadTemplate(QStringLiteral("周测"), pages(1, QStringLiteral("start")), false, QString());
    completeAnchors(w);
    // The block the scoring row names.
    auto *block = place<MySectionSubject>(w, 1, QRect(20, 400, 300, 100), TreeItemTypeSubject);
    block->SubjectSectionID = 1;

    const QString folder = m_dir.filePath(QStringLiteral("saves"));
    QVERIFY(QDir().mkpath(folder));
    QStringList starts;
    QString answer;
    w.chooseSaveFile = [&](QWidget *, const QString &start) {
        starts << start;
        return answer;
    };
    int steps = 0;
    w.subjectConfigStep = [&w, &steps] {
        ++steps;
        w.subjectItemRows = {SubjectItemRow{QStringLiteral("1"), QStringLiteral("简答"), QStringLiteral("8"),
                                            QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("1"),
                                            QStringLiteral("1")}};
    };

    w.saveFile();                            // cancelled: the new rows stay
    QCOMPARE(steps, 1);
    QCOMPARE(w.subjectItemRows.size(), 1);
    QVERIFY(w.lastSaveDirectory.isEmpty());

    answer = folder + QStringLiteral("/周测.tpl");
    w.saveFile();
    QCOMPARE(w.lastSaveDirectory, folder);
    QVERIFY(TemplateFormat::complementBytes(fileBytes(answer)).contains("Alias=\"简答\""));

    answer.clear();
    w.saveFile();
    QVERIFY(QDir(folder).removeRecursively());
    w.saveFile();
    QCOMPARE(starts, (QStringList{QStringLiteral("周测"), QStringLiteral("周测"), folder + QStringLiteral("/周测"),
                                  QStringLiteral("周测")}));
}

void MainWindowTest::testUnreadablePageRefusesSave()
{
    MainWindow w;
    w.subjectConfigStep = nullptr;      // the scoring step has tests of its own
    const QStringList images = pages(2, QStringLiteral("unreadable"));
    w.loadTemplate(QStringLiteral("坏页"), images, false, QString());
    completeAnchors(w);
    QVERIFY(writeFile(images.at(1), QByteArray("not an image")));

    const QString target = m_dir.filePath(QStringLiteral("unreadable.tpl"));
    w.chooseSaveFile = [&target](QWidget *, const QString &) { return target; };
    w.saveFile();
    QCOMPARE(m_boxes.count(), 1);
    QCOMPARE(m_boxes.last().title, QStringLiteral("提示"));
    QVERIFY2(m_boxes.last().text.contains(QStringLiteral("第2页")), qPrintable(m_boxes.last().text));
    QVERIFY(m_boxes.last().text.contains(images.at(1)));
    QVERIFY(!QFile::exists(target));
}

void MainWindowTest::testUnwritableTargetReported_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("missing folder") << QStringLiteral("gone/模板.tpl");
    QTest::newRow("a folder") << QStringLiteral("folder.tpl");
}

void MainWindowTest::testUnwritableTargetReported()
{
    QFETCH(QString, target);
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder.tpl")));
    MainWindow w;
    w.subjectConfigStep = nullptr;      // the scoring step has tests of its own
    w.loadTemplate(QStringLiteral("写"), pages(1), false, QString());
    completeAnchors(w);
    const QString path = m_dir.filePath(target);
    w.chooseSaveFile = [&path](QWidget *, const QString &) { return path; };
    w.saveFile();
    QCOMPARE(m_boxes.count(), 1);
    QCOMPARE(m_boxes.last().title, QStringLiteral("提示"));
    QVERIFY2(m_boxes.last().text.contains(path), qPrintable(m_boxes.last().text));
}

// --- the page tree ---

void MainWindowTest::testTreeMenu()
{
    MainWindow w;
    QVERIFY(rightClick(w, nullptr, QString(), QPoint(20, 20)).isEmpty());   // empty tree
    w.loadTemplate(QStringLiteral("菜单"), pages(2, QStringLiteral("menu")), false, QString());
    QPointer<MySectionBase> anchorA = place<MySectionAnchorPointA>(w, 1, QRect(10, 10, 40, 40), TreeItemTypeAnchorPointA);
    QPointer<MySectionObjectAbnormal> question = placeIrregular(w, 2, 2);
    QPointer<MySectionBase> bubble = question->options.first();
    w.treeWidget->expandAll();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    QVERIFY(rightClick(w, w.treeWidget->topLevelItem(0)).isEmpty());          // page item

    // Not the current item: it becomes current, and the entries follow its state.
    QTreeWidgetItem *questionItem = question->treeItem;
    QCOMPARE(rightClick(w, questionItem, QStringLiteral("不可见(&H)")),
             (QStringList{QStringLiteral("删除(&D)"), QStringLiteral("不可见(&H)")}));
    QCOMPARE(w.treeWidget->currentItem(), questionItem);
    QVERIFY(question->hidden);
    QVERIFY(bubble->isHidden());
    QCOMPARE(rightClick(w, questionItem, QStringLiteral("可见(&S)")),
             (QStringList{QStringLiteral("删除(&D)"), QStringLiteral("可见(&S)")}));
    QVERIFY(!question->hidden);

    // Refused while a section flashes.
    w.flashing = true;
    QVERIFY(rightClick(w, questionItem, QStringLiteral("删除(&D)")).isEmpty());
    w.flashing = false;
    QVERIFY(question);

    // Delete asks; No keeps the section.
    m_boxes.queueAnswer(QMessageBox::No);
    rightClick(w, anchorA->treeItem, QStringLiteral("删除(&D)"));
    QCOMPARE(m_boxes.last().text, QStringLiteral("确认删除吗？"));
    QCOMPARE(m_boxes.last().defaultButton, QMessageBox::No);
    QVERIFY(anchorA);
    QVERIFY(!w.hasSectionAnchorPointB(1));
    QVERIFY(w.hasSectionAnchorPointA(1));

    // Yes deletes at once: the section, its item, its place in the list, and
    // the question's bubbles with it.
    m_boxes.queueAnswer(QMessageBox::Yes);
    rightClick(w, anchorA->treeItem, QStringLiteral("删除(&D)"));
    QVERIFY(!anchorA);
    QVERIFY(!w.hasSectionAnchorPointA(1));
    QCOMPARE(w.treeWidget->topLevelItem(0)->childCount(), 0);
    m_boxes.queueAnswer(QMessageBox::Yes);
    rightClick(w, question->treeItem, QStringLiteral("删除(&D)"));
    QVERIFY(!question);
    QVERIFY(!bubble);
    QVERIFY(w.sectionList().isEmpty());
    QCOMPARE(w.treeWidget->topLevelItem(1)->childCount(), 0);
}

void MainWindowTest::testFlash()
{
    MainWindow w;
    w.flashPauseMs = 40;
    w.loadTemplate(QStringLiteral("闪"), pages(2, QStringLiteral("flash")), false, QString());
    MySectionObjectAbnormal *question = placeIrregular(w, 2, 2);
    QTreeWidgetItem *other = place<MySectionSubject>(w, 1, QRect(20, 400, 300, 100), TreeItemTypeSubject)->treeItem;
    w.treeWidget->expandAll();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    VisibilityLog questionLog(question);
    VisibilityLog bubbleLog(question->options.at(1));
    QStringList menuDuringFlash{QStringLiteral("not asked")};
    bool flashingSeen = false;
    questionLog.onEvent = [&](QEvent::Type type) {
        if (type != QEvent::HideToParent || flashingSeen)
            return;
        flashingSeen = w.flashing;
        menuDuringFlash = rightClick(w, other, QStringLiteral("删除(&D)"));
    };

    QElapsedTimer clock;
    clock.start();
    const QRect rect = w.treeWidget->visualItemRect(question->treeItem);
    QTest::mouseClick(w.treeWidget->viewport(), Qt::LeftButton, {}, rect.center());
    QVERIFY(clock.elapsed() >= 3 * w.flashPauseMs);

    // The other page is shown first, then the section blinks twice.
    QCOMPARE(w.currentPage, 2);
    QCOMPARE(w.myImage->label()->page, 2);
    QVERIFY2(questionLog.events.endsWith(QStringLiteral("HSHS")), qPrintable(questionLog.events));
    QCOMPARE(questionLog.events.count(QLatin1Char('H')), 2);
    QVERIFY2(bubbleLog.events.endsWith(QStringLiteral("HSHS")), qPrintable(bubbleLog.events));
    QVERIFY(!question->isHidden());
    QVERIFY(!question->hidden);              // the hidden flag is not the flash's
    QVERIFY(flashingSeen);
    QVERIFY(!w.flashing);
    QVERIFY(menuDuringFlash.isEmpty());      // no menu during the flash
    QVERIFY(other->treeWidget());            // and nothing deleted
}

void MainWindowTest::testFlashSurvivesDeletion_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("deleted through the tree") << QStringLiteral("delete");
    QTest::newRow("a new template") << QStringLiteral("new");
}

void MainWindowTest::testFlashSurvivesDeletion()
{
    QFETCH(QString, how);
    MainWindow w;
    w.flashPauseMs = 40;
    const QStringList images = pages(1, QStringLiteral("survive"));
    w.loadTemplate(QStringLiteral("删"), images, false, QString());
    QPointer<MySectionObjectAbnormal> question = placeIrregular(w, 1, 3);
    QPointer<MySectionBase> bubble = question->options.first();
    w.treeWidget->setCurrentItem(question->treeItem);

    VisibilityLog log(question);
    log.onEvent = [&](QEvent::Type type) {
        if (type != QEvent::HideToParent)
            return;
        // Once the flash waits: the section goes away under it.
        QTimer::singleShot(0, &w, [&] {
            if (how == QLatin1String("new"))
                w.loadTemplate(QStringLiteral("另一个"), images, false, QString());
            else
                delete question.data();
        });
    };
    w.onTreeItemSelected();
    QVERIFY(!question);
    QVERIFY(!bubble);
    QVERIFY(!w.flashing);
    QCOMPARE(log.events.count(QLatin1Char('H')), 1);
}

// --- stored orientation ---

void MainWindowTest::testStoredOrientation_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("rewritten");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("blackAt");      // where the stored top-left block ends up

    QTest::newRow("none") << 0 << false << QSize(80, 40) << QPoint(5, 5);
    QTest::newRow("upright tag") << 1 << false << QSize(80, 40) << QPoint(5, 5);
    QTest::newRow("mirrored") << 2 << true << QSize(80, 40) << QPoint(75, 5);
    QTest::newRow("mirrored and turned") << 5 << true << QSize(40, 80) << QPoint(5, 5);
    QTest::newRow("180 degrees") << 3 << true << QSize(80, 40) << QPoint(75, 35);
    QTest::newRow("90 degrees") << 6 << true << QSize(40, 80) << QPoint(35, 5);
    QTest::newRow("270 degrees") << 8 << true << QSize(40, 80) << QPoint(5, 75);
}

void MainWindowTest::testStoredOrientation()
{
    QFETCH(int, orientation);
    QFETCH(bool, rewritten);
    QFETCH(QSize, size);
    QFETCH(QPoint, blackAt);

    const QString path = m_dir.filePath(QStringLiteral("oriented-%1.jpg").arg(orientation));
    const QByteArray original = orientedJpeg(80, 40, orientation);
    QVERIFY(writeFile(path, original));
    MainWindow w;
    w.loadTemplate(QStringLiteral("方向"), {path}, false, QString());
    QCOMPARE(m_boxes.count(), 0);
    if (!rewritten) {
        QCOMPARE(fileBytes(path), original);
        return;
    }
    // Upright on disk, with nothing left to turn by.
    QImageReader reader(path);
    QCOMPARE(reader.transformation(), QImageIOHandler::TransformationNone);
    const QImage image = reader.read();
    QCOMPARE(image.size(), size);
    QVERIFY(qGray(image.pixel(blackAt)) < 60);
    QVERIFY(qGray(image.pixel(size.width() / 2, size.height() / 2)) > 200);
}

void MainWindowTest::testOrientationFailureReported()
{
    // Decodable by content, but no encoder for its suffix: the rewrite fails.
    const QString path = m_dir.filePath(QStringLiteral("turned.page"));
    const QByteArray original = orientedJpeg(80, 40, 6);
    QVERIFY(writeFile(path, original));
    MainWindow w;
    w.loadTemplate(QStringLiteral("方向"), {path}, false, QString());
    QCOMPARE(m_boxes.count(), 1);
    QCOMPARE(m_boxes.last().title, QStringLiteral("提示"));
    QVERIFY2(m_boxes.last().text.contains(path), qPrintable(m_boxes.last().text));
    QCOMPARE(fileBytes(path), original);
    QCOMPARE(w.treeWidget->topLevelItemCount(), 1);
}

// --- closing and the about box ---

void MainWindowTest::testCloseAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("yes") << int(QMessageBox::Yes) << true;
    QTest::newRow("no") << int(QMessageBox::No) << false;
}

void MainWindowTest::testCloseAsks()
{
    QFETCH(int, answer);
    QFETCH(bool, accepted);
    MainWindow w;
    m_boxes.queueAnswer(QMessageBox::StandardButton(answer));
    QCloseEvent event;
    QApplication::sendEvent(&w, &event);
    QCOMPARE(event.isAccepted(), accepted);
    QCOMPARE(m_boxes.count(), 1);
    QCOMPARE(m_boxes.last().title, QStringLiteral("提示"));
    QCOMPARE(m_boxes.last().text, QStringLiteral("确定退出程序吗？"));
    QCOMPARE(m_boxes.last().defaultButton, QMessageBox::No);
}

void MainWindowTest::testAboutHiddenTool()
{
    MainWindow w;
    WidgetTest::WhenShown<DialogEncrypt> tool([](DialogEncrypt *d) { d->reject(); });
    bool toolOpenedByFifth = false;
    WidgetTest::WhenShown<DialogAbout> about([&](DialogAbout *d) {
        auto *logo = d->findChild<QWidget *>(QStringLiteral("labelLogo"));
        QVERIFY(logo);
        for (int i = 0; i < 4; ++i)
            QTest::mouseClick(logo, Qt::LeftButton);
        const bool earlier = tool.seen;
        QTest::mouseClick(logo, Qt::LeftButton);
        toolOpenedByFifth = !earlier && tool.seen;
        d->reject();
    });
    w.about();
    QVERIFY(about.seen);
    QVERIFY(toolOpenedByFifth);
}

void MainWindowTest::testUpgradeAsksForTheDesigner()
{
    PlatformSimulator sim;
    QString error;
    QVERIFY2(sim.start(&error), qPrintable(error));
    sim.exportEnvironment();
    QVERIFY2(PlatformRequest::installExtraCa(&error), qPrintable(error));
    const QString path = QStringLiteral("/upgrade/online/lumbrisk");
    sim.setReply(path, PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 201},
                                                           {QStringLiteral("message"), QStringLiteral("最新")}}));
    MainWindow w;
    WidgetTest::WhenShown<DialogUpgradeInfo> shown([](DialogUpgradeInfo *d) { d->reject(); });
    w.upgrade();
    QVERIFY(shown.seen);
    const auto requests = sim.requestsTo(path);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().body, QByteArray("version_code=2025052800&version_name=4.1"));
}

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"

#include "mainwindow.h"

#include "dialogsubjectconfig.h"
#include "dialogsubjectconfigtip.h"

#include "anchorsections.h"
#include "dialogabout.h"
#include "dialogeditfile.h"
#include "dialogencrypt.h"
#include "dialognewfile.h"
#include "dialogupgradeinfo.h"
#include "messagebox.h"
#include "myimage.h"
#include "mylabel.h"
#include "mystatusbar.h"
#include "mytreewidget.h"
#include "pageimagefile.h"
#include "questionsections.h"
#include "templatedocument.h"
#include "templateformat.h"
#include "templaterules.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>

#include <tinyxml2.h>

namespace {

const QString kVersionName = QStringLiteral("4.1");
const QString kVersionCode = QStringLiteral("2025052800");

template <typename Kind>
bool hasSectionOn(const QList<MySectionBase *> &sections, int page)
{
    for (MySectionBase *section : sections) {
        if (qobject_cast<Kind *>(section) && section->page == page)
            return true;
    }
    return false;
}

} // namespace

QByteArray MainWindow::versionJson()
{
    QJsonObject version;
    version.insert(QStringLiteral("version_code"), kVersionCode.toLongLong());
    version.insert(QStringLiteral("version_name"), kVersionName);
    return QJsonDocument(version).toJson(QJsonDocument::Compact);
}

QString MainWindow::programTitle()
{
    return QStringLiteral("Lumbrisk V %1 - Vostra答卷模板制作软件").arg(kVersionName);
}

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setWindowTitle(programTitle());

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    treeWidget = new MyTreeWidget(splitter);
    myImage = new MyImage(splitter);
    splitter->addWidget(treeWidget);
    splitter->addWidget(myImage);
    setCentralWidget(splitter);

    splitter->setSizes({200, 800});
    treeWidget->setColumnCount(1);
    treeWidget->setHeaderLabel(QString());
    // setStyle does not take the style: the tree owns it.
    if (QStyle *style = QStyleFactory::create(QStringLiteral("windows"))) {
        style->setParent(treeWidget);
        treeWidget->setStyle(style);
    }
    // No deleting a section while it blinks.
    treeWidget->menuRefused = [this] { return flashing; };

    splitter->setStretchFactor(1, 10);
    showMaximized();
    ui->menuBar->hide();

    auto *bar = new QStatusBar(this);
    myStatusBar = new MyStatusBar(bar);
    bar->addWidget(myStatusBar, 0);
    setStatusBar(bar);

    connect(ui->actionNew, &QAction::triggered, this, &MainWindow::newFile);
    connect(ui->actionOpen, &QAction::triggered, this, &MainWindow::openFile);
    connect(ui->actionSave, &QAction::triggered, this, &MainWindow::saveFile);
    connect(ui->actionUpgrade, &QAction::triggered, this, &MainWindow::upgrade);
    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::about);
    connect(treeWidget, &QTreeWidget::itemClicked, this, &MainWindow::onTreeItemSelected);

    subjectConfigStep = [this] {
        DialogSubjectConfigTip tip;
        if (tip.exec() != QDialog::Accepted)
            return;
        DialogSubjectConfig config(this);
        config.rows = subjectItemRows;
        if (config.exec() == QDialog::Accepted)
            subjectItemRows = config.rows;
    };
}

MainWindow::~MainWindow()
{
    // Sections delete their tree items: they must go while the tree still
    // stands, which as the splitter's first child would be destroyed first.
    clearTemplate();
    delete ui;
}

QTreeWidget *MainWindow::pageTreeWidget() const
{
    return treeWidget;
}

QList<MySectionBase *> &MainWindow::sectionList() const
{
    return static_cast<SectionHost *>(myImage->label())->sectionList();
}

void MainWindow::showImageInfo(const QString &imagePath, int page, int width, int height)
{
    myStatusBar->setImageInfo(imagePath, page, width, height);
}

void MainWindow::showSelectionInfo(int x, int y, int width, int height)
{
    myStatusBar->setSelectionInfo(x, y, width, height);
}

void MainWindow::showSectionName(const QString &text)
{
    myStatusBar->setSectionName(text);
}

void MainWindow::showMousePosition(int x, int y)
{
    myStatusBar->setMousePosition(x, y);
}

void MainWindow::warn(const QString &text)
{
    MessageBox::warning(this, QStringLiteral("提示"), text);
}

// --- commands ---

void MainWindow::newFile()
{
    DialogNewFile dialog;
    if (dialog.exec() == QDialog::Accepted)
        loadTemplate(dialog.templateName, dialog.imageList, false, QString());
}

void MainWindow::openFile()
{
    DialogEditFile dialog;
    if (dialog.exec() == QDialog::Accepted)
        loadTemplate(dialog.templateName, dialog.imageList, true, dialog.templateFile);
}

void MainWindow::saveFile()
{
    if (!validateTemplate())
        return;
    if (subjectConfigStep)
        subjectConfigStep();
    // Scoring rows may name blocks since renumbered or deleted.
    if (!obeysTemplateRules(subjectItemRows))
        return;

    QString start = templateName;
    if (!lastSaveDirectory.isEmpty() && QDir(lastSaveDirectory).exists())
        start = lastSaveDirectory + QLatin1Char('/') + templateName;
    const QString path = chooseSaveFile(this, start);
    if (path.isEmpty())
        return;
    lastSaveDirectory = QFileInfo(path).absolutePath();
    writeTemplate(path, subjectItemRows);
}

void MainWindow::upgrade()
{
    DialogUpgradeInfo dialog(DialogUpgradeInfo::lumbrisk());
    dialog.checkUpgrade();
}

void MainWindow::about()
{
    DialogAbout::Program program = DialogAbout::lumbrisk();
    program.hiddenTool = [](QWidget *aboutBox) {
        DialogEncrypt tool(aboutBox);
        tool.exec();
    };
    DialogAbout dialog(program, this);
    dialog.exec();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (MessageBox::question(this, QStringLiteral("提示"), QStringLiteral("确定退出程序吗？"),
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes)
        event->accept();
    else
        event->ignore();
}

// --- tree selection and the flash ---

void MainWindow::onTreeItemSelected()
{
    QTreeWidgetItem *item = treeWidget->currentItem();
    if (!item)
        return;
    const bool isPage = item->data(0, TreeItemTypeRole).toInt() == TreeItemTypePage;
    QTreeWidgetItem *pageItem = isPage ? item : item->parent();
    if (!pageItem)
        return;
    const TreeItemPage page = pageItem->data(0, TreeItemDataRole).value<TreeItemPage>();
    currentPage = page.id;
    myImage->setImage(page.imagePath, page.id);
    if (!isPage)
        flash(qobject_cast<QWidget *>(item->data(0, TreeItemDataRole).value<QObject *>()));
}

void MainWindow::flash(QWidget *section)
{
    // The section may be deleted while the flash waits (a tree delete, a new
    // template): the guard ends the flash then.
    QPointer<QWidget> guarded(section);
    if (!guarded)
        return;
    ++m_flashDepth;
    flashing = true;
    for (int step = 0; step < 4 && guarded; ++step) {
        if (step > 0)
            pause(flashPauseMs);
        if (guarded)
            setSectionHidden(guarded, step % 2 == 0);
    }
    // A click during the flash starts another one inside it; the outer
    // flash is still running when the inner one ends.
    flashing = --m_flashDepth > 0;
}

void MainWindow::pause(int ms)
{
    // Events go on while the section blinks; nothing sleeps.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QEventLoop loop;
        QTimer::singleShot(int(ms - clock.elapsed()), &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void MainWindow::setSectionHidden(QWidget *section, bool hidden)
{
    if (!section)
        return;
    if (auto *question = qobject_cast<MySectionObjectAbnormal *>(section)) {
        for (ObjectAbnormalOption *bubble : question->options) {
            if (bubble)
                bubble->setVisible(!hidden);
        }
    }
    section->setVisible(!hidden);
}

// --- queries ---

bool MainWindow::hasSectionAnchorPointA(int page) const
{
    return hasSectionOn<MySectionAnchorPointA>(sectionList(), page);
}

bool MainWindow::hasSectionAnchorPointB(int page) const
{
    return hasSectionOn<MySectionAnchorPointB>(sectionList(), page);
}

bool MainWindow::hasPrintTextAnchor(int page) const
{
    return hasSectionOn<MySectionPrintTextAnchor>(sectionList(), page);
}

bool MainWindow::applyImageOrientation(const QString &imagePath)
{
    QString error;
    if (PageImageFile::bakeOrientation(imagePath, nullptr, &error))
        return true;
    warn(QStringLiteral("图片方向校正失败，图片保持原样：\n%1").arg(error));
    return false;
}

// --- saving and loading ---

bool MainWindow::complementFile(const QString &path, QString *errorText)
{
    return TemplateFormat::complementFile(path, errorText);
}

bool MainWindow::validateTemplate()
{
    const int pages = treeWidget->topLevelItemCount();
    if (pages == 0)
        return false;
    const QList<MySectionBase *> &sections = sectionList();
    for (int p = 1; p <= pages; ++p) {
        if (!hasPrintTextAnchor(p) && !(hasSectionAnchorPointA(p) && hasSectionAnchorPointB(p))) {
            warn(QStringLiteral("第%1页 缺少定位点").arg(p));
            return false;
        }
        if (p == 1 && !hasSectionOn<MySectionCode>(sections, 1)) {
            warn(QStringLiteral("第%1页 缺少考号").arg(1));
            return false;
        }
    }
    // The scoring rows are checked once the user has had the chance to edit
    // them, in the save itself.
    return obeysTemplateRules({});
}

bool MainWindow::buildTemplateXml(const QVector<SubjectItemRow> &rows, QByteArray *xml,
                                  QVector<QVector<const MySectionBase *>> *origins)
{
    QVector<TemplateDocument::PageOut> pages;
    for (int k = 0; k < treeWidget->topLevelItemCount(); ++k) {
        QTreeWidgetItem *pageItem = treeWidget->topLevelItem(k);
        const TreeItemPage page = pageItem->data(0, TreeItemDataRole).value<TreeItemPage>();
        // A page without its size would never match a scan: refuse rather
        // than store 0 x 0.
        const QSize size = PageImageFile::size(page.imagePath);
        if (!size.isValid()) {
            warn(QStringLiteral("第%1页的图片无法读取：%2\n模板没有保存。").arg(k + 1).arg(page.imagePath));
            return false;
        }
        TemplateDocument::PageOut out;
        out.id = page.id;
        out.width = size.width();
        out.height = size.height();
        for (int c = 0; c < pageItem->childCount(); ++c) {
            if (MySectionBase *section = MyTreeWidget::sectionOf(pageItem->child(c)))
                out.treeSections << section;
        }
        pages << out;
    }
    *xml = TemplateDocument::writeXml(templateName, pages, sectionList(), rows, origins);
    return true;
}

bool MainWindow::obeysTemplateRules(const QVector<SubjectItemRow> &rows)
{
    QByteArray xml;
    QVector<QVector<const MySectionBase *>> origins;
    if (!buildTemplateXml(rows, &xml, &origins))
        return false;
    tinyxml2::XMLDocument doc;
    doc.Parse(xml.constData(), size_t(xml.size()));
    const QVector<TemplateRules::Problem> problems = TemplateRules::check(doc, 1);
    if (problems.isEmpty())
        return true;
    const TemplateRules::Problem &problem = problems.first();
    const MySectionBase *section = nullptr;
    if (problem.page >= 1 && problem.page <= origins.size() && problem.section >= 1
        && problem.section <= origins.at(problem.page - 1).size())
        section = origins.at(problem.page - 1).at(problem.section - 1);
    selectProblem(problem.page, section);
    warn(QStringLiteral("%1\n模板没有保存。").arg(problem.text));
    return false;
}

void MainWindow::selectProblem(int page, const MySectionBase *section)
{
    QTreeWidgetItem *item = section ? section->treeItem : nullptr;
    // An option bubble has no tree item of its own: its question stands for it.
    if (!item && section) {
        if (const auto *bubble = qobject_cast<const ObjectAbnormalOption *>(section))
            if (bubble->parentSection)
                item = bubble->parentSection->treeItem;
    }
    if (!item && page >= 1 && page <= treeWidget->topLevelItemCount())
        item = treeWidget->topLevelItem(page - 1);
    if (!item)
        return;
    QTreeWidgetItem *pageItem = item->parent() ? item->parent() : item;
    treeWidget->setCurrentItem(item);
    const TreeItemPage shown = pageItem->data(0, TreeItemDataRole).value<TreeItemPage>();
    currentPage = shown.id;
    myImage->setImage(shown.imagePath, shown.id);
}

bool MainWindow::writeTemplate(const QString &path, QVector<SubjectItemRow> rows)
{
    QByteArray xml;
    if (!buildTemplateXml(rows, &xml, nullptr))
        return false;
    QString error;
    if (!TemplateDocument::writeStoredFile(path, xml, &error)) {
        warn(QStringLiteral("保存模板文件 %1 失败：\n%2").arg(path, error));
        return false;
    }
    return true;
}

void MainWindow::clearTemplate()
{
    // Deleted at once, not later: nothing of the old template may stay on
    // the canvas or in reach of a click. A question takes its option bubbles
    // with it, so bubbles are only deleted here when they outlived it.
    QList<MySectionBase *> &sections = sectionList();
    QList<QPointer<MySectionBase>> all;
    for (MySectionBase *section : sections)
        all << section;
    for (int i = all.size() - 1; i >= 0; --i) {
        if (all.at(i) && !all.at(i)->isOptionBubble())
            delete all.at(i).data();
    }
    for (int i = all.size() - 1; i >= 0; --i)
        delete all.at(i).data();
    sections.clear();
    treeWidget->clear();
}

void MainWindow::showTemplateName(const QString &name)
{
    templateName = name;
    myStatusBar->setFileName(name);
    treeWidget->setHeaderLabel(name);
    setWindowTitle(name + QStringLiteral(" - ") + programTitle());
}

void MainWindow::loadTemplate(const QString &name, const QStringList &images, bool read, const QString &path)
{
    clearTemplate();
    currentPage = -1;
    showTemplateName(name);
    myImage->label()->startTemplate();

    pageImages = images;
    QList<QTreeWidgetItem *> pageItems;
    for (int i = 0; i < images.size(); ++i) {
        auto *item = new QTreeWidgetItem;
        item->setText(0, QStringLiteral("第%1页").arg(i + 1));
        treeWidget->insertTopLevelItem(i, item);
        applyImageOrientation(images.at(i));
        item->setData(0, TreeItemTypeRole, int(TreeItemTypePage));
        item->setData(0, TreeItemDataRole, QVariant::fromValue(TreeItemPage{i + 1, images.at(i)}));
        pageItems << item;
    }
    treeWidget->expandAll();
    subjectItemRows.clear();

    if (read) {
        tinyxml2::XMLDocument doc;
        QString error;
        if (!TemplateDocument::parseStoredFile(path, doc, &error) || !doc.RootElement()) {
            warn(QStringLiteral("打开文件 ") + path + QStringLiteral(" 失败"));
            return;
        }
        QStringList warnings;
        const TemplateDocument::DocumentInfo info =
            TemplateDocument::readDocument(doc, myImage->label(), pageItems, &warnings);
        showTemplateName(info.name);
        subjectItemRows = info.rows;
        treeWidget->expandAll();
        // What the processing program would refuse is said now, not on exam day.
        const QVector<TemplateRules::Problem> problems = TemplateRules::check(doc);
        QStringList found;
        if (!problems.isEmpty())
            found << QStringLiteral("模板不符合要求，改正之前不能保存，也不能用于识别：\n%1")
                         .arg(TemplateRules::listProblems(problems));
        if (!warnings.isEmpty())
            found << QStringLiteral("模板文件中有无法读取的内容：\n%1").arg(warnings.join(QLatin1Char('\n')));
        if (!found.isEmpty())
            warn(QStringLiteral("模板文件 %1：\n%2").arg(path, found.join(QStringLiteral("\n\n"))));
    }

    if (pageItems.isEmpty())
        return;
    treeWidget->setCurrentItem(pageItems.first());
    onTreeItemSelected();
}

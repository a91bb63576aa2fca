#include "mainwindow.h"

#include "formimage.h"
#include "formscan.h"
#include "formstatusbar.h"
#include "messagebox.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("答卷扫描 Pellwyn 版本 %1").arg(QStringLiteral("1.0")));

    formScan = new FormScan(this);
    formImage = new FormImage(this);

    splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setHandleWidth(4);
    splitter->addWidget(formScan);
    splitter->addWidget(formImage);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 8);
    setCentralWidget(splitter);

    auto *bar = new QStatusBar(this);
    formStatusBar = new FormStatusBar();
    bar->addWidget(formStatusBar, 0);
    setStatusBar(bar);

    showMaximized();
}

QString MainWindow::settingsFileProblem(const QString &iniPath)
{
    if (!QFileInfo(iniPath).isFile())
        return QStringLiteral("ini配置文件不存在");
    QSettings settings(iniPath, QSettings::IniFormat);
    if (!settings.isWritable())
        return QStringLiteral("ini配置文件不可写。请以【管理员】权限运行本程序。");
    return QString();
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    const auto answer = MessageBox::question(this, QStringLiteral("提示"), QStringLiteral("确定退出程序吗？"),
                                             QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) {
        event->ignore();
        return;
    }
    // Pages on their way from the feeder are written before the window goes.
    if (formScan)
        formScan->stopBatchAndWait();
    event->accept();
}

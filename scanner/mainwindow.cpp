#include "mainwindow.h"

#include "formimage.h"
#include "formscan.h"
#include "formstatusbar.h"
#include "messagebox.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
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

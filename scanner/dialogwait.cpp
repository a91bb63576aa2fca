#include "dialogwait.h"

#include "formscan.h"
#include "mainwindow.h"
#include "threadscan.h"
#include "ui_dialogwait.h"

#include <QKeyEvent>

DialogWait::DialogWait(QWidget *parent) : QDialog(parent), ui(new Ui::DialogWait)
{
    ui->setupUi(this);
    connect(ui->pushButton, &QPushButton::clicked, this, &DialogWait::stopFeeder);
}

DialogWait::~DialogWait()
{
    delete ui;
}

void DialogWait::setStopButtonVisible(bool visible)
{
    ui->pushButton->setVisible(visible);
}

void DialogWait::keyPressEvent(QKeyEvent *event)
{
    // The box ends with the batch, never by a key.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void DialogWait::stopFeeder()
{
    auto *window = qobject_cast<MainWindow *>(parentWidget());
    if (window && window->formScan && window->formScan->threadScan)
        window->formScan->threadScan->stopFeederNow();
}

#include "dialogrotate.h"
#include "ui_dialogrotate.h"

#include "messagebox.h"
#include "rotatethread.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QIntValidator>
#include <QTableWidget>
#include <QThread>

DialogRotate::Program DialogRotate::ardentiq()
{
    return {QStringLiteral("指定每份答卷要旋转的页序"), QStringLiteral("每份答卷的页数"), {}};
}

DialogRotate::Program DialogRotate::pellwyn(std::function<int()> imageQuality)
{
    return {QStringLiteral("指定每份文件要旋转的页序"), QStringLiteral("每份文件的页数"), std::move(imageQuality)};
}

DialogRotate::DialogRotate(QWidget *parent, Program program)
    : QDialog(parent), ui(new Ui::DialogRotate), m_program(std::move(program))
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->checkBoxSpecificPages->setText(m_program.specificPagesText);
    ui->label_5->setText(m_program.sheetPagesText);
    ui->lineEditStartID->setValidator(new QIntValidator(1, 100000, ui->lineEditStartID));
    ui->lineEditEndID->setValidator(new QIntValidator(1, 100000, ui->lineEditEndID));

    worker = new RotateThread;
    workerThread = new QThread(this);
    worker->moveToThread(workerThread);
    connect(worker, &RotateThread::send_msg, this, &DialogRotate::receive_msg);
    connect(worker, &RotateThread::rotateFailed, this, &DialogRotate::collectFailure);
    connect(worker, &RotateThread::finished, this, &DialogRotate::rotateFinished);
    connect(this, &DialogRotate::Start, worker, &RotateThread::ChildThread);
    connect(ui->checkBoxSpecificPages, &QCheckBox::clicked, this, &DialogRotate::specificPages);
    connect(ui->comboBoxSheetPages, &QComboBox::currentTextChanged, this, &DialogRotate::sheetPageCountChange);
    connect(ui->pushButtonStart, &QPushButton::clicked, this, &DialogRotate::onStart);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogRotate::accept);

    ui->comboBoxSheetPages->setCurrentIndex(0);
    ui->widgetSpecificPages->hide();
    ui->progressBar->setRange(0, 0);
    ui->progressBar->hide();
}

DialogRotate::~DialogRotate()
{
    // Only reached during a run when the opener itself goes away.
    workerThread->requestInterruption();
    workerThread->quit();
    workerThread->wait();
    delete worker;
    delete ui;
}

bool DialogRotate::isRotating() const
{
    return workerThread->isRunning();
}

void DialogRotate::showEvent(QShowEvent *event)
{
    const int rows = imageTable ? imageTable->rowCount() : 0;
    ui->progressBar->setRange(0, rows);
    ui->lineEditStartID->setText(QStringLiteral("1"));
    ui->lineEditEndID->setText(QString::number(rows));
    QDialog::showEvent(event);
}

void DialogRotate::initCheckBoxes(int count)
{
    for (QCheckBox *box : qAsConst(pageBoxes)) {
        box->hide();
        ui->gridLayout->removeWidget(box);
        delete box;
    }
    pageBoxes.clear();
    for (int i = 1; i <= count; ++i) {
        auto *box = new QCheckBox(QString::number(i), ui->widgetSpecificPages);
        box->setObjectName(QString::number(i));
        if (count > 4)
            ui->gridLayout->addWidget(box, (i - 1) / 4, (i - 1) % 4);
        else
            ui->gridLayout->addWidget(box, 0, i - 1);
        pageBoxes << box;
    }
}

void DialogRotate::specificPages(bool checked)
{
    if (checked) {
        ui->widgetSpecificPages->show();
        initCheckBoxes(ui->comboBoxSheetPages->currentText().toInt());
    } else {
        ui->widgetSpecificPages->hide();
    }
}

void DialogRotate::sheetPageCountChange(const QString &text)
{
    initCheckBoxes(text.toInt());
}

void DialogRotate::onStart()
{
    if (isRotating())
        return;
    static const int modes[] = {0, 2, 1}; // 顺时针90度, 逆时针90度, 180度
    const int choice = ui->comboBox->currentIndex();
    worker->mode = modes[choice >= 0 && choice < 3 ? choice : 0];

    const int rows = imageTable ? imageTable->rowCount() : 0;
    const int start = ui->lineEditStartID->text().toInt();
    const int end = ui->lineEditEndID->text().toInt();
    // An empty start field reads as 0 and names no row either.
    if (end < start || start < 1) {
        MessageBox::warning(this, QStringLiteral("提示"), QStringLiteral("序号范围无效"));
        return;
    }
    if (end > rows) {
        MessageBox::warning(this, QStringLiteral("提示"), QStringLiteral("序号范围越界"));
        return;
    }

    worker->firstRow = start;
    worker->lastRow = end;
    worker->pages.clear();
    // The worker gets the files, never the list: the list is the GUI thread's.
    worker->paths.clear();
    for (int row = start; row <= end; ++row) {
        const QTableWidgetItem *cell = imageTable->item(row - 1, 0);
        worker->paths << (cell ? cell->data(filePathRole).toString() : QString());
    }
    worker->quality = m_program.imageQuality ? m_program.imageQuality() : -1;
    worker->onlySpecificPages = ui->checkBoxSpecificPages->isChecked();
    if (worker->onlySpecificPages) {
        worker->pagesPerSheet = ui->comboBoxSheetPages->currentText().toInt();
        for (const QCheckBox *box : qAsConst(pageBoxes)) {
            if (box->isChecked())
                worker->pages << box->text().toInt();
        }
    }
    failedFiles.clear();

    ui->progressBar->setRange(0, end - start + 1);
    ui->progressBar->setValue(0);
    ui->pushButtonStart->hide();
    workerThread->start(QThread::InheritPriority);
    ui->progressBar->show();
    emit Start();
}

void DialogRotate::receive_msg(int progress)
{
    ui->progressBar->setValue(progress);
}

void DialogRotate::rotateFinished()
{
    ui->progressBar->setValue(ui->progressBar->maximum());
    // The worker has returned to the thread's loop: the thread ends at once.
    workerThread->quit();
    workerThread->wait();
    ui->pushButtonStart->show();
    if (!failedFiles.isEmpty())
        MessageBox::warning(this, QStringLiteral("提示"),
                            QStringLiteral("以下图片旋转失败：\n") + failedFiles.join(QLatin1Char('\n')));
}

void DialogRotate::accept()
{
    if (!isRotating())
        QDialog::accept();
}

void DialogRotate::reject()
{
    if (!isRotating())
        QDialog::reject();
}

void DialogRotate::closeEvent(QCloseEvent *event)
{
    if (isRotating())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

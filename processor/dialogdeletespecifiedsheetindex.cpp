#include "dialogdeletespecifiedsheetindex.h"
#include "ui_dialogdeletespecifiedsheetindex.h"

DialogDeleteSpecifiedSheetIndex::DialogDeleteSpecifiedSheetIndex(QWidget *parent)
    : QDialog(parent), ui(new Ui::DialogDeleteSpecifiedSheetIndex)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    const QStringList paragraphs{
        QStringLiteral("请指定要删除的页序号，软件会删除答卷图片列表中相应【页序】的图片。"),
        QStringLiteral("在删除前请确认图片列表中的序号是否正确。"),
        QStringLiteral("比如设定值为4，那么软件将会删除图片列表中为4，8，12，16...的行。"),
        QStringLiteral("实际应用情况常见于答卷扫描时，末张答卷只有一页，但设置了双面扫描，从而需要删除末页的空白页。")};
    for (const QString &p : paragraphs)
        ui->textEdit->append(p);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogDeleteSpecifiedSheetIndex::accept);
}

DialogDeleteSpecifiedSheetIndex::~DialogDeleteSpecifiedSheetIndex()
{
    delete ui;
}

void DialogDeleteSpecifiedSheetIndex::accept()
{
    pageIndex = ui->spinBox->value();
    deleteLocalFile = ui->checkBox->isChecked();
    QDialog::accept();
}

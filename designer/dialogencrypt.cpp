#include "dialogencrypt.h"

#include "messagebox.h"
#include "templateformat.h"
#include "ui_dialogencrypt.h"

#include <QPushButton>

DialogEncrypt::DialogEncrypt(QWidget *parent) : QDialog(parent), ui(new Ui::DialogEncrypt)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(QStringLiteral("关闭"));
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ui->pushButtonBrowse, &QPushButton::clicked, this, &DialogEncrypt::onBrowse);
    connect(ui->pushButtonEncrypt, &QPushButton::clicked, this, &DialogEncrypt::onEncrypt);
}

DialogEncrypt::~DialogEncrypt()
{
    delete ui;
}

void DialogEncrypt::onBrowse()
{
    const QString path = chooseTemplate(this);
    if (!path.isEmpty())
        ui->lineEditFileName->setText(path);
}

void DialogEncrypt::onEncrypt()
{
    const QString path = ui->lineEditFileName->text();
    if (path.isEmpty()) {
        MessageBox::warning(this, QStringLiteral("警告"), QStringLiteral("请指定模板文件！"));
        return;
    }
    QString error;
    if (!TemplateFormat::complementFile(path, &error)) {
        MessageBox::warning(this, QStringLiteral("提示"), error);
        return;
    }
    MessageBox::warning(this, QStringLiteral("提示"), QStringLiteral("成功！"));
}

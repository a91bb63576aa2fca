#include "dialogsearchbycode.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

DialogSearchByCode::DialogSearchByCode(QWidget *parent) : QDialog(parent)
{
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(QStringLiteral("考号查找"));

    lineEditCode = new QLineEdit(this);
    lineEditCode->setObjectName(QStringLiteral("lineEditCode"));
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("考号："), lineEditCode);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    connect(buttons, &QDialogButtonBox::accepted, this, &DialogSearchByCode::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DialogSearchByCode::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void DialogSearchByCode::accept()
{
    const QString typed = lineEditCode->text().trimmed();
    if (typed.isEmpty()) {
        lineEditCode->setFocus();
        return;
    }
    code = typed;
    QDialog::accept();
}

#include "dialogdebug.h"
#include "ui_dialogdebug.h"

#include "debugflags.h"

#include <array>
#include <atomic>
#include <utility>

namespace {

// Each box and the switch it sets.
std::array<std::pair<QCheckBox *, std::atomic<bool> *>, 5> switchesOf(const Ui::DialogDebug *ui)
{
    return {{{ui->checkBoxAnchor, &debugAnchor},
             {ui->checkBoxCode, &debugCode},
             {ui->checkBoxAbsentMark, &debugAbsentMark},
             {ui->checkBoxObject, &debugObject},
             {ui->checkBoxSubject, &debugSubject}}};
}

} // namespace

DialogDebug::DialogDebug(QWidget *parent) : QDialog(parent), ui(new Ui::DialogDebug)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogDebug::accept);
}

DialogDebug::~DialogDebug()
{
    delete ui;
}

void DialogDebug::showEvent(QShowEvent *event)
{
    for (const auto &entry : switchesOf(ui)) {
        if (entry.second->load())
            entry.first->setChecked(true);
    }
    QDialog::showEvent(event);
}

void DialogDebug::accept()
{
    for (const auto &entry : switchesOf(ui))
        entry.second->store(entry.first->isChecked());
    QDialog::accept();
}

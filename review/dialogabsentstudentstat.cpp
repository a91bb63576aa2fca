#include "dialogabsentstudentstat.h"
#include "ui_dialogabsentstudentstat.h"

#include "examroster.h"
#include "messagebox.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QSaveFile>
#include <QStringList>
#include <QTableWidget>

DialogAbsentStudentStat::DialogAbsentStudentStat(QWidget *parent, QTableWidget *resultTable)
    : QDialog(parent), resultTable(resultTable), ui(new Ui::DialogAbsentStudentStat)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    while (ui->tabWidget->count() > 0) {
        QWidget *placeholder = ui->tabWidget->widget(0);
        ui->tabWidget->removeTab(0);
        delete placeholder;
    }
    buildTables();
    connect(ui->pushButtonExport, &QPushButton::clicked, this, &DialogAbsentStudentStat::exportAbsentList);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogAbsentStudentStat::accept);
}

DialogAbsentStudentStat::~DialogAbsentStudentStat()
{
    delete ui;
}

QTableWidget *DialogAbsentStudentStat::newTable(const QList<StudentInfo> &students) const
{
    auto *table = new QTableWidget(students.size(), 3);
    table->setHorizontalHeaderLabels({QStringLiteral("班级"), QStringLiteral("姓名"), QStringLiteral("考号")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int row = 0; row < students.size(); ++row) {
        const StudentInfo &student = students.at(row);
        table->setItem(row, 0, new QTableWidgetItem(student.className));
        table->setItem(row, 1, new QTableWidgetItem(student.realname));
        table->setItem(row, 2, new QTableWidgetItem(student.code));
    }
    table->resizeColumnsToContents();
    return table;
}

void DialogAbsentStudentStat::buildTables()
{
    const auto *roster = resultTable ? dynamic_cast<const ExamRoster *>(resultTable->window()) : nullptr;
    absentStudents.clear();
    if (roster) {
        m_gradeName = roster->rosterGradeName();
        m_subjectName = roster->rosterSubjectName();
        const QMap<QString, StudentInfo> &students = roster->rosterByCode();
        for (auto it = students.cbegin(); it != students.cend(); ++it)
            absentStudents.insert(it->code, *it);
    }
    if (resultTable) {
        for (int row = 0; row < resultTable->rowCount(); ++row) {
            if (const QTableWidgetItem *cell = resultTable->item(row, 0))
                absentStudents.remove(cell->text());
        }
    }

    // Classes in the order of their smallest absent code.
    QStringList classes;
    QMap<QString, QList<StudentInfo>> byClass;
    for (const StudentInfo &student : qAsConst(absentStudents)) {
        if (!byClass.contains(student.className))
            classes << student.className;
        byClass[student.className] << student;
    }

    QList<StudentInfo> all;
    for (const QString &className : qAsConst(classes))
        all += byClass.value(className);
    ui->tabWidget->addTab(newTable(all), QStringLiteral("全部-%1").arg(all.size()));
    for (const QString &className : qAsConst(classes)) {
        const QList<StudentInfo> &students = byClass[className];
        ui->tabWidget->addTab(newTable(students), className + QStringLiteral("-%1").arg(students.size()));
    }
}

bool DialogAbsentStudentStat::saveAbsentList(const QString &path, QString *error) const
{
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    for (auto it = absentStudents.cbegin(); ok && it != absentStudents.cend(); ++it) {
        const QByteArray line =
            QStringLiteral("%1\t%2\t%3\n").arg(it->className, it->realname, it->code).toLocal8Bit();
        ok = file.write(line) == line.size();
    }
    if (ok)
        ok = file.commit();
    if (!ok && error)
        *error = file.errorString();
    return ok;
}

void DialogAbsentStudentStat::exportAbsentList()
{
    // The names come from the platform: no folder separators in a suggestion.
    auto plain = [](QString name) { return name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_')); };
    const QString suggested = QStringLiteral("/") + plain(m_gradeName) + QStringLiteral("_") + plain(m_subjectName)
                              + QStringLiteral("_") + QStringLiteral("缺考名单");
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("保存缺考名单"), suggested,
                                                      QStringLiteral("文本文件(*.txt);"));
    if (path.isEmpty())
        return;
    QString error;
    if (!saveAbsentList(path, &error)) {
        MessageBox::warning(this, QStringLiteral("提示"),
                            QStringLiteral("保存缺考名单失败：") + path + QStringLiteral("\n") + error);
        return;
    }
    MessageBox::information(this, QStringLiteral("提示"), QStringLiteral("已保存至：") + path);
}

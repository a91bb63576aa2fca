// The review dialogs on the result table of the real main window after a
// recognition run over rendered scans: which viewer a double click opens for
// each column key, the crops it shows, an objective correction scored with
// the exam's key, the answers editor opened from the table's menu action,
// and a correction whose student was dropped while the viewer was open.

#include "checkboxoption.h"
#include "dialogcodeimageshow.h"
#include "dialogeditobjectanswer.h"
#include "dialogobjectimageshow.h"
#include "dialogoptionalimageshow.h"
#include "dialogsubjectimageshow.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "mylabelforsheetshow.h"
#include "mytablewidgetresult.h"
#include "omrresources.h"
#include "pipelinefixture.h"
#include "reviewtestsupport.h"
#include "widgettestutil.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

using WidgetTest::WhenShown;

const QString kExamId = QStringLiteral("exam-review-1");

QString iniFile()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Ardentiq.ini");
}

bool hasPixmap(const QLabel *label)
{
    return label->pixmap() && !label->pixmap()->isNull();
}

// What the test saw of the viewer a double click opened.
struct Opened {
    QString kind;
    QString title;
    QVariantMap facts;
};

} // namespace

class ReviewWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void testDispatchByColumnKey_data();
    void testDispatchByColumnKey();
    void testObjectiveCorrection();
    void testEditorFromTheMenuAction();
    void testCorrectionOfADroppedStudent();

private:
    MyTableWidgetResult *results() const { return m_window->tableWidgetResults; }
    int column(const QString &key) const { return m_window->resultColumnOf(key); }
    QString code(int row) const { return results()->item(row, 0)->text(); }
    void doubleClick(int row, int column);
    // Double-clicks the cell and reports the viewer it opened, answered by `answer`.
    Opened open(int row, int column, const std::function<void(QDialog *)> &answer = {});
    // An objective question whose mark in `row` differs from its key.
    int wronglyAnswered(int row) const;
    void setMark(DialogObjectImageShow *viewer, const QString &letters);

    QTemporaryDir m_dir;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<PipelineFixture> m_fx;
    std::unique_ptr<MainWindow> m_window;
};

void ReviewWindowTest::initTestCase()
{
    // Keep the start-up key check on this machine (nothing listens on port 1).
    qputenv("VOSTRA_PLATFORM_HOST", "127.0.0.1:1");
    initOmrResources();
    QVERIFY(m_dir.isValid());
    m_boxes.reset(new MessageBoxRecorder);
    {
        QFile::remove(iniFile());
        QFile touch(iniFile());
        QVERIFY(touch.open(QIODevice::WriteOnly));
        touch.close();
        QSettings s(iniFile(), QSettings::IniFormat);
        s.setIniCodec("UTF-8");
        s.setValue(QStringLiteral("SettingImage/SubjectImageFormatIndex"), 0);
        s.setValue(QStringLiteral("SettingSheetUpload/EntireSheetUpload"), 1);
    }

    m_fx.reset(new PipelineFixture(SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 2, 150),
                                   m_dir.filePath(QStringLiteral("fixture"))));
    QVERIFY2(m_fx->ok(), qPrintable(m_fx->error()));
    for (int s = 0; s < 3; ++s) {
        StudentMarks marks = StudentMarks::random(m_fx->spec(), quint32(70 + s));
        marks.code = QString::number(4100000000LL + s);
        // One candidate of every optional group chosen, so every sheet has a choice.
        for (int g = 0; g < m_fx->spec().optionalGroups.size(); ++g)
            marks.optionalChoices[g] = {m_fx->spec().optionalGroups[g].candidates.first()};
        m_fx->addStudent(marks.code, 800 + s);
        QCOMPARE(m_fx->writeStudent(marks, Distortion(), s).size(), 2);
    }

    m_window.reset(new MainWindow);
    MainWindow &w = *m_window;
    w.templateDoc.Parse(m_fx->renderer().templateXml().constData());
    w.answerSettings = m_fx->answerSettings;
    w.optionalAnswerSettings = m_fx->optionalAnswerSettings;
    w.studentHash = m_fx->roster;
    MainWindow::ExamSelection exam;
    exam.examId = kExamId;
    exam.imageSavePath = m_fx->examDir() + QStringLiteral("/scans");
    QVERIFY(w.openExam(exam));
    w.startProcess();
    QTRY_VERIFY_WITH_TIMEOUT(w.processThreads.isEmpty(), 120000);
    QCOMPARE(results()->rowCount(), 3);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    m_boxes->clear();
}

void ReviewWindowTest::cleanupTestCase()
{
    m_window.reset();
    QFile::remove(iniFile());
    QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/sheets/") + kExamId).removeRecursively();
}

void ReviewWindowTest::doubleClick(int row, int column)
{
    QTableWidgetItem *item = results()->item(row, column);
    QVERIFY(item);
    results()->scrollToItem(item);
    // As from a mouse: the press and release of the first click, then the
    // second press, which the widget gets as the double click.
    const QPoint at = results()->visualItemRect(item).center();
    QTest::mouseClick(results()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(results()->viewport(), Qt::LeftButton, {}, at);
}

Opened ReviewWindowTest::open(int row, int column, const std::function<void(QDialog *)> &answer)
{
    Opened seen;
    WhenShown<QDialog> viewer([&](QDialog *dialog) {
        seen.title = dialog->windowTitle();
        if (auto *v = qobject_cast<DialogCodeImageShow *>(dialog)) {
            seen.kind = QStringLiteral("code");
            seen.facts = {{"code", v->code}, {"original", hasPixmap(v->labelImageOrignal)},
                          {"processed", hasPixmap(v->labelImageBinary)}};
        } else if (auto *v = qobject_cast<DialogObjectImageShow *>(dialog)) {
            seen.kind = QStringLiteral("objective");
            seen.facts = {{"mark", v->lineEditMark->text()}, {"options", v->optionCount},
                          {"original", hasPixmap(v->labelImageOrignal)},
                          {"processed", hasPixmap(v->labelImageBinary)}};
        } else if (auto *v = qobject_cast<DialogOptionalImageShow *>(dialog)) {
            seen.kind = QStringLiteral("optional");
            seen.facts = {{"item", v->itemId}, {"original", hasPixmap(v->labelImageOrignal)},
                          {"processed", hasPixmap(v->labelImageBinary)}};
        } else if (auto *v = qobject_cast<DialogSubjectImageShow *>(dialog)) {
            seen.kind = QStringLiteral("subjective");
            seen.facts = {{"path", v->localPath}, {"image", !v->labelImage->originalPixmap.isNull()}};
        } else {
            seen.kind = QString::fromLatin1(dialog->metaObject()->className());
        }
        if (answer)
            answer(dialog);
        else
            dialog->reject();
    });
    doubleClick(row, column);
    return seen;
}

int ReviewWindowTest::wronglyAnswered(int row) const
{
    for (const ObjectItem &item : qAsConst(m_window->objectItems)) {
        const QTableWidgetItem *cell = results()->item(row, column(QString::number(item.item)));
        if (cell && cell->text() != m_fx->keyFor(item.item).answer && item.optionCount >= 4)
            return item.item;
    }
    return -1;
}

void ReviewWindowTest::setMark(DialogObjectImageShow *viewer, const QString &letters)
{
    for (CheckBoxOption *box : viewer->optionBoxes) {
        if (box->isChecked() != letters.contains(box->objectName()))
            QTest::mouseClick(box, Qt::LeftButton);
    }
}

void ReviewWindowTest::testDispatchByColumnKey_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("kind");
    QTest::newRow("student code") << "考号" << "code";
    QTest::newRow("objective total") << "客观题总分" << "";
    QTest::newRow("objective question") << "objective" << "objective";
    QTest::newRow("optional-group question") << "optional objective" << "objective";
    QTest::newRow("optional choice") << "o-" << "optional";
    QTest::newRow("subjective block") << "subject" << "subjective";
    QTest::newRow("whole-sheet page") << "e-2" << "subjective";
    QTest::newRow("five digits") << "12345" << "";
}

void ReviewWindowTest::testDispatchByColumnKey()
{
    QFETCH(QString, key);
    QFETCH(QString, kind);
    const int row = 0;
    const QString student = code(row);
    QTableWidget *t = results();
    // The keys this exam has of each kind.
    if (key == QLatin1String("objective")) {
        key = QString::number(m_window->objectItems.first().item);
    } else if (key == QLatin1String("optional objective")) {
        key = QString::number(m_window->optionalObjectItems.first().item);
    } else if (key == QLatin1String("o-")) {
        for (int c = 0; c < t->columnCount(); ++c) {
            if (t->horizontalHeaderItem(c)->text().startsWith(QLatin1String("o-")) && t->item(row, c))
                key = t->horizontalHeaderItem(c)->text();
        }
    } else if (key == QLatin1String("subject")) {
        const SubjectSection &s = m_window->subjectSections.last();
        key = QStringLiteral("%1-%2").arg(s.page).arg(s.sectionId);
    }
    const bool added = column(key) < 0;
    if (added) {
        t->insertColumn(t->columnCount());
        t->setHorizontalHeaderItem(t->columnCount() - 1, new QTableWidgetItem(key));
        t->setItem(row, t->columnCount() - 1, new QTableWidgetItem(QStringLiteral("A")));
    }
    const int c = added ? t->columnCount() - 1 : column(key);
    QVERIFY2(c >= 0 && t->item(row, c), qPrintable(key));
    const QString before = t->item(row, c)->text();

    const Opened seen = open(row, c);
    if (added)
        t->removeColumn(c);
    QCOMPARE(seen.kind, kind);
    QCOMPARE(t->item(row, c) ? t->item(row, c)->text() : before, before);
    if (kind == QLatin1String("code")) {
        QCOMPARE(seen.title, QStringLiteral("考号图片：") + student);
        QCOMPARE(seen.facts.value("code").toString(), student);
    } else if (kind == QLatin1String("objective")) {
        QCOMPARE(seen.title, QStringLiteral("客观题图片：%1-%2").arg(student, key));
        QCOMPARE(seen.facts.value("mark").toString(), before);
        QCOMPARE(seen.facts.value("options").toInt(), m_fx->spec().optionCount(key.toInt()));
    } else if (kind == QLatin1String("optional")) {
        QCOMPARE(seen.title, QStringLiteral("选做题图片：%1-%2").arg(student, key.mid(2)));
        QCOMPARE(seen.facts.value("item").toString(), key.mid(2));
    } else if (kind == QLatin1String("subjective")) {
        const QString path = results()->item(row, c)->data(Qt::UserRole + 1).toString();
        QCOMPARE(seen.facts.value("path").toString(), path);
        QCOMPARE(seen.title, QStringLiteral("主观题图片：") + QFileInfo(path).fileName());
        QVERIFY(seen.facts.value("image").toBool());
    }
    // The crops the recognition wrote are the ones shown.
    if (kind == QLatin1String("code") || kind == QLatin1String("objective") || kind == QLatin1String("optional")) {
        QVERIFY(seen.facts.value("original").toBool());
        QVERIFY(seen.facts.value("processed").toBool());
    }
}

void ReviewWindowTest::testObjectiveCorrection()
{
    const int row = 0;
    const int item = wronglyAnswered(row);
    QVERIFY(item > 0);
    const AnswerSetting key = m_fx->keyFor(item);
    QTableWidgetItem *cell = results()->item(row, column(QString::number(item)));
    const float oldScore = cell->data(Qt::UserRole + 1).toString().toFloat();
    const float oldTotal = results()->item(row, 1)->text().toFloat();

    // Rejected: nothing changes.
    const QString mark = cell->text();
    open(row, cell->column(), [&](QDialog *d) {
        setMark(static_cast<DialogObjectImageShow *>(d), key.answer);
        d->reject();
    });
    QCOMPARE(cell->text(), mark);

    // Corrected to the key: full score, and the total moves by the difference.
    const Opened seen = open(row, cell->column(), [&](QDialog *d) {
        auto *viewer = static_cast<DialogObjectImageShow *>(d);
        setMark(viewer, key.answer);
        QCOMPARE(viewer->lineEditMark->text(), key.answer);
        viewer->pushButtonOK->click();
    });
    QCOMPARE(seen.kind, QStringLiteral("objective"));
    cell = results()->item(row, column(QString::number(item)));
    QCOMPARE(cell->text(), key.answer);
    QCOMPARE(cell->data(Qt::UserRole + 1).toString(), QString::number(key.score, 'f', 2));
    QCOMPARE(cell->background().style(), Qt::NoBrush);
    QCOMPARE(results()->item(row, 1)->text(), QString::number(oldTotal - oldScore + key.score, 'f', 2));

    // Nothing marked: abnormal, scored 0.
    open(row, cell->column(), [&](QDialog *d) {
        auto *viewer = static_cast<DialogObjectImageShow *>(d);
        setMark(viewer, QString());
        QCOMPARE(viewer->lineEditMark->text(), QStringLiteral("X"));
        viewer->accept();
    });
    QCOMPARE(cell->text(), QStringLiteral("X"));
    QCOMPARE(cell->data(Qt::UserRole + 1).toString(), QStringLiteral("0.00"));
    QCOMPARE(cell->background().color(), QColor(255, 192, 203));
    QCOMPARE(results()->item(row, 1)->text(), QString::number(oldTotal - oldScore, 'f', 2));
    QCOMPARE(m_boxes->count(), 0);
}

void ReviewWindowTest::testEditorFromTheMenuAction()
{
    const int row = 1;
    const int item = wronglyAnswered(row);
    QVERIFY(item > 0);
    const AnswerSetting key = m_fx->keyFor(item);
    results()->setCurrentCell(row, 0);
    results()->openEditObjectAnswer();
    QPointer<DialogEditObjectAnswer> editor = results()->findChild<DialogEditObjectAnswer *>();
    QVERIFY(editor);
    QCOMPARE(editor->windowTitle(), QStringLiteral("修改客观题填涂 - ") + code(row));

    // Every marked objective question of the student, plain and optional.
    QStringList marked;
    for (int c = 2; c < results()->columnCount(); ++c) {
        const QString header = results()->horizontalHeaderItem(c)->text();
        const QTableWidgetItem *cell = results()->item(row, c);
        bool number = false;
        header.toInt(&number);
        if (number && cell && !cell->text().isEmpty())
            marked << header;
    }
    QStringList listed;
    for (int r = 0; r < editor->tableWidget->rowCount(); ++r)
        listed << editor->tableWidget->item(r, 0)->text();
    QCOMPARE(listed, marked);
    QVERIFY(listed.size() > m_window->objectItems.size());

    const int r = listed.indexOf(QString::number(item));
    editor->tableWidget->item(r, 1)->setText(key.answer.toLower());
    QCOMPARE(editor->tableWidget->item(r, 1)->text(), key.answer);
    editor->pushButtonOK->click();
    QTRY_VERIFY(editor.isNull());

    const QTableWidgetItem *cell = results()->item(row, column(QString::number(item)));
    QCOMPARE(cell->text(), key.answer);
    QCOMPARE(cell->data(Qt::UserRole + 1).toString(), QString::number(key.score, 'f', 2));
    // The total is the sum of the listed questions' scores.
    float sum = 0.0f;
    for (const QString &question : qAsConst(listed))
        sum += results()->item(row, column(question))->data(Qt::UserRole + 1).toString().toFloat();
    QCOMPARE(results()->item(row, 1)->text(), QString::number(sum, 'f', 2));
}

void ReviewWindowTest::testCorrectionOfADroppedStudent()
{
    const int row = 2;
    const QString student = code(row);
    const int item = wronglyAnswered(row);
    QVERIFY(item > 0);
    QTableWidgetItem *cell = results()->item(row, column(QString::number(item)));
    const QString mark = cell->text();
    const QString total = results()->item(row, 1)->text();
    m_boxes->clear();

    open(row, cell->column(), [&](QDialog *d) {
        // While the viewer is open a worker finds the code twice and drops
        // every result of it (the window's slot, as its blocking signal runs it).
        m_window->deleteResultByCode(student);
        setMark(static_cast<DialogObjectImageShow *>(d), m_fx->keyFor(item).answer);
        static_cast<DialogObjectImageShow *>(d)->pushButtonOK->click();
    });
    QCOMPARE(results()->rowCount(), 3);
    QCOMPARE(results()->item(row, column(QString::number(item)))->text(), mark);
    QCOMPARE(results()->item(row, 1)->text(), total);
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
    QVERIFY(m_boxes->last().text.contains(student));
}

QTEST_MAIN(ReviewWindowTest)
#include "reviewwindow_test.moc"

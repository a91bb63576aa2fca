// A template drawn the way a school draws it: two blank sheet pages opened in
// the designer, every section made through the selection menu with its
// dialog filled in and confirmed, the template saved; then the processing
// program's loader reads the file and the engine reads filled sheets printed
// from the same description, with the expected codes, answers, optional
// choices and subjective cuts.

#include "dialogcornercheckname.h"
#include "dialogprinttextanchor.h"
#include "dialogsectioncode.h"
#include "dialogsectionobject.h"
#include "dialogsectionobjectoptional.h"
#include "dialogsectionoptionalitem.h"
#include "dialogsectionsubject.h"
#include "dialogsectionsubjectoptional.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "myimage.h"
#include "mylabel.h"
#include "myrubberbandcontainer.h"
#include "myscrollarea.h"
#include "mytreewidget.h"
#include "omrresources.h"
#include "pipelinefixture.h"
#include "templateformat.h"
#include "templateloader.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>

#include <memory>

#include "designertestutil.h"

using namespace DesignerTest;

Q_DECLARE_METATYPE(SheetSpec::AnchorKind)

namespace {

// The sheet the school designs. Irregular questions have their bubbles where
// the designer first lays them out (row by row from the area's corner), so
// nothing needs dragging.
SheetSpec designedSheet(SheetSpec::AnchorKind anchor)
{
    SheetSpec s = SheetSpec::minimal(anchor, SheetSpec::CodeBubbles, 2, 150, 0);
    s.name = QStringLiteral("期中考试 物理");
    auto P = [&s](double x, double y) { return QPoint(s.px(x), s.px(y)); };
    auto R = [&s](double x, double y, double w, double h) { return QRect(s.px(x), s.px(y), s.px(w), s.px(h)); };
    const QSize bubble(s.px(0.2), s.px(0.12));
    auto laidOut = [&bubble](QPoint corner, int count, int perRow) {
        QVector<QRect> boxes;
        for (int i = 0; i < count; ++i)
            boxes << QRect(corner + QPoint(i % perRow * bubble.width(), i / perRow * bubble.height()), bubble);
        return boxes;
    };

    s.hasAbsentMark = true;
    s.absentMark = R(4.4, 1.75, 0.45, 0.3);
    s.objectBlocks << SheetSpec::ObjectBlock::regular(1, 1, 10, 4, 0, P(1.0, 4.2), bubble, s.px(0.3), s.px(0.2));
    s.objectBlocks << SheetSpec::ObjectBlock::regular(1, 11, 15, 6, 1, P(2.9, 4.4), bubble, s.px(0.2), s.px(0.35));
    s.irregularQuestions << SheetSpec::IrregularQuestion::make(1, 21, laidOut(P(5.0, 4.4), 5, 3), 0);
    s.subjectBlocks << SheetSpec::SubjectBlock{1, 1, R(0.6, 8.9, 7.0, 1.5), 0};

    s.objectBlocks << SheetSpec::ObjectBlock::regular(2, 16, 20, 2, 0, P(1.0, 1.9), bubble, s.px(0.3), s.px(0.2));
    s.subjectBlocks << SheetSpec::SubjectBlock{2, 1, R(0.6, 3.3, 7.0, 2.8), 0};
    s.optionalGroups << SheetSpec::OptionalGroup::make(2, {22, 23}, 22, P(1.6, 6.4), bubble, s.px(0.6));
    s.objectBlocks << SheetSpec::ObjectBlock::regular(2, 31, 33, 4, 0, P(1.0, 6.95), bubble, s.px(0.3), s.px(0.2),
                                                      22);
    s.irregularQuestions << SheetSpec::IrregularQuestion::make(2, 34, laidOut(P(3.0, 6.95), 3, 3), 0, 23);
    s.subjectBlocks << SheetSpec::SubjectBlock{2, 5, R(0.6, 7.65, 3.4, 1.1), 22};
    s.subjectBlocks << SheetSpec::SubjectBlock{2, 6, R(4.2, 7.65, 3.4, 1.1), 23};
    return s;
}

template <typename T>
T *field(QWidget *dialog, const char *name)
{
    return DesignerTest::child<T>(dialog, name);
}

void setText(QWidget *dialog, const char *name, const QString &text)
{
    field<QLineEdit>(dialog, name)->setText(text);
}

void click(QWidget *dialog, const char *name)
{
    field<QAbstractButton>(dialog, name)->click();
}

// Answers every dialog the designer opens the way a person would: fills the
// form through its widgets and presses its OK button. A dialog still open
// after that (refused input) is closed so that nothing hangs, and reported.
class DialogAnswers {
public:
    DialogAnswers()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible() || !m_fill)
                return;
            const auto fill = std::move(m_fill);
            m_fill = nullptr;
            ++answered;
            fill(dialog);
            if (dialog->isVisible()) {
                refused << QString::fromLatin1(dialog->metaObject()->className());
                dialog->reject();
            }
        });
        m_timer.start();
    }
    void next(std::function<void(QDialog *)> fill) { m_fill = std::move(fill); }

    int answered = 0;
    QStringList refused;

private:
    QTimer m_timer;
    std::function<void(QDialog *)> m_fill;
};

class Designer {
public:
    Designer(MainWindow &w, DialogAnswers &answers) : m_w(w), m_answers(answers)
    {
        canvas = w.myImage->label();
        band = canvas->rubberBand;
    }

    void showPage(int page)
    {
        m_w.treeWidget->setCurrentItem(m_w.treeWidget->topLevelItem(page - 1));
        m_w.onTreeItemSelected();
    }
    // Drags the selection over a page rectangle (zoom 1).
    void select(const QRect &pageRect)
    {
        const float z = canvas->scale;
        const QPoint from(qRound(float(pageRect.left()) * z), qRound(float(pageRect.top()) * z));
        const QPoint to(qRound(float(pageRect.right() + 1) * z) - 1, qRound(float(pageRect.bottom() + 1) * z) - 1);
        QMouseEvent press(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &press);
        QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &release);
    }
    // Picks a menu entry; false when the menu does not offer it.
    bool choose(const QString &entry, std::function<void(QDialog *)> fill = nullptr)
    {
        const std::unique_ptr<QMenu> menu(band->buildMenu());
        for (QAction *action : menu->actions()) {
            if (action->text() == entry && action->isEnabled()) {
                if (fill)
                    m_answers.next(std::move(fill));
                action->trigger();
                return true;
            }
        }
        return false;
    }

    MyLabel *canvas = nullptr;
    MyRubberBandContainer *band = nullptr;

private:
    MainWindow &m_w;
    DialogAnswers &m_answers;
};

void fillObjective(QDialog *d, int first, int last, int direction, int options, int group = 0)
{
    const bool irregular = !field<QWidget>(d, "widgetAbnormal")->isHidden();
    if (irregular) {
        setText(d, "lineEditItem", QString::number(first));
    } else {
        setText(d, "lineEditItemStart", QString::number(first));
        setText(d, "lineEditItemEnd", QString::number(last));
        field<QComboBox>(d, "comboBoxOptionDirection")->setCurrentIndex(direction);
    }
    auto *count = field<QComboBox>(d, "comboBoxOptionCount");
    count->setCurrentIndex(count->findData(options));
    if (group) {
        auto *groups = field<QComboBox>(d, "comboBoxOptionalItem");
        groups->setCurrentIndex(groups->findText(QString::number(group)));
    }
    field<QDialogButtonBox>(d, "buttonBox")->button(QDialogButtonBox::Ok)->click();
}

// Drags the text rectangle over the dialog's image and confirms.
void fillPrintText(QDialog *d, const QRect &textInCrop)
{
    auto *dialog = qobject_cast<DialogPrintTextAnchor *>(d);
    QWidget *image = dialog->labelImage;
    const QPoint from = textInCrop.topLeft();
    const QPoint to = textInCrop.bottomRight();
    QMouseEvent press(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(image, &press);
    QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(image, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(image, &release);
    click(d, "pushButtonOK");
}

} // namespace

class DesignTemplateTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initOmrResources();
        MyScrollArea::setDefaultVariant(MyScrollArea::Variant::Designer);
    }
    void drawSaveAndRead_data();
    void drawSaveAndRead();
};

void DesignTemplateTest::drawSaveAndRead_data()
{
    QTest::addColumn<SheetSpec::AnchorKind>("anchor");
    QTest::newRow("black rectangles") << SheetSpec::BlackRectangles;
    QTest::newRow("printed text") << SheetSpec::PrintedText;
}

void DesignTemplateTest::drawSaveAndRead()
{
    QFETCH(SheetSpec::AnchorKind, anchor);
    const SheetSpec spec = designedSheet(anchor);
    const SheetRenderer renderer(spec);
    QTemporaryDir dir;
    QStringList pages;
    for (int i = 0; i < spec.pageCount; ++i) {
        pages << dir.filePath(QStringLiteral("空白页-%1.png").arg(i + 1));
        QVERIFY(SheetRenderer::writeImage(pages.last(), renderer.blankPage(i), 0));
    }

    MessageBoxRecorder boxes;
    auto noBoxes = [&boxes] {
        QStringList texts;
        for (const MessageBoxSpec &b : boxes.boxes())
            texts << b.text;
        return texts.join(QLatin1Char('|'));
    };
    DialogAnswers answers;
    MainWindow w;
    w.show();
    w.loadTemplate(spec.name, pages, false, QString());
    Designer d(w, answers);
    QVERIFY(d.canvas->page == 1);
    d.canvas->showFullSize();

    // The bubble size, measured on a printed bubble of the code grid.
    d.select(spec.code.bubbleRect(0, 0));
    QVERIFY(d.choose(QStringLiteral("测量涂点大小(&M)")));
    QCOMPARE(QSize(d.band->markPointWidth, d.band->markPointHeight), spec.code.bubble);
    QVERIFY(boxes.last().text.startsWith(QStringLiteral("测量完成")));
    boxes.clear();

    for (int page = 1; page <= spec.pageCount; ++page) {
        d.showPage(page);
        QCOMPARE(d.canvas->page, page);
        const SheetSpec::PageAnchor &a = spec.anchors.at(page - 1);
        if (anchor == SheetSpec::BlackRectangles) {
            d.select(a.searchA);
            QVERIFY(d.choose(QStringLiteral("矩形黑块定位点A")));
            d.select(a.searchB);
            QVERIFY(d.choose(QStringLiteral("矩形黑块定位点B")));
        } else {
            d.select(a.textSearch);
            const QRect text = spec.patchRect(page).translated(-a.textSearch.topLeft());
            QVERIFY(d.choose(QStringLiteral("印刷体文字定位(&P)"), [text](QDialog *dlg) { fillPrintText(dlg, text); }));
        }
        for (const SheetSpec::CornerCheck &c : spec.cornerChecks) {
            if (c.page != page)
                continue;
            d.select(c.search);
            const QString name = c.name;
            QVERIFY(d.choose(QStringLiteral("边角检测"), [name](QDialog *dlg) {
                field<QComboBox>(dlg, "comboBoxName")->setEditText(name);
                click(dlg, "pushButtonOK");
            }));
        }
        QCOMPARE(noBoxes(), QString());

        if (page == 1) {
            d.select(spec.code.area);
            QVERIFY(d.choose(QStringLiteral("考号(&C)"), [&spec](QDialog *dlg) {
                click(dlg, "radioButtonMarkPoint");
                field<QComboBox>(dlg, "comboBoxCodeLength")->setEditText(QString::number(spec.code.length));
                field<QComboBox>(dlg, "comboBoxCodeNumDirection")->setCurrentIndex(spec.code.direction == 1 ? 1 : 0);
                click(dlg, "pushButton");
            }));
            d.select(spec.absentMark);
            QVERIFY(d.choose(QStringLiteral("缺考标记(&A)")));
        }

        // Groups first: their questions and blocks name them.
        for (const SheetSpec::OptionalGroup &g : spec.optionalGroups) {
            if (g.page != page)
                continue;
            d.select(g.area);
            QVERIFY(d.choose(QStringLiteral("选做题的备选题 题号"), [g](QDialog *dlg) {
                for (int candidate : g.candidates) {
                    setText(dlg, "lineEditItem", QString::number(candidate));
                    click(dlg, "pushButtonAdd");
                }
                setText(dlg, "lineEditItemDefault", QString::number(g.defaultCandidate));
                click(dlg, "pushButtonOk");
            }));
        }
        for (const SheetSpec::ObjectBlock &b : spec.objectBlocks) {
            if (b.page != page)
                continue;
            d.select(b.area);
            const QString entry = b.optional ? QStringLiteral("选做题客观题") : QStringLiteral("客观题(&O)");
            QVERIFY(d.choose(entry, [b](QDialog *dlg) {
                fillObjective(dlg, b.itemStart, b.itemEnd, b.direction, b.optionCount, b.optional);
            }));
        }
        for (const SheetSpec::IrregularQuestion &q : spec.irregularQuestions) {
            if (q.page != page)
                continue;
            d.select(q.area);
            const QString entry = q.optional ? QStringLiteral("选做题客观题-异型") : QStringLiteral("客观题-异型");
            const int count = q.options.size();
            QVERIFY(d.choose(entry, [q, count](QDialog *dlg) { fillObjective(dlg, q.item, q.item, 0, count, q.optional); }));
        }
        for (const SheetSpec::SubjectBlock &b : spec.subjectBlocks) {
            if (b.page != page)
                continue;
            d.select(b.rect);
            const QString entry = b.optional ? QStringLiteral("选做题主观题") : QStringLiteral("主观题(&S)");
            QVERIFY(d.choose(entry, [b](QDialog *dlg) {
                setText(dlg, "lineEditSectionID", QString::number(b.sectionId));
                if (b.optional) {
                    auto *groups = field<QComboBox>(dlg, "comboBoxOptionalItem");
                    groups->setCurrentIndex(groups->findText(QString::number(b.optional)));
                }
                click(dlg, "pushButtonOk");
            }));
        }
        QVERIFY2(answers.refused.isEmpty(), qPrintable(answers.refused.join(QLatin1Char(','))));
        QCOMPARE(noBoxes(), QString());
    }

    QVERIFY(w.validateTemplate());
    const QString saved = dir.filePath(QStringLiteral("物理.tpl"));
    QVERIFY(w.writeTemplate(saved, {}));
    QCOMPARE(noBoxes(), QString());

    // The processing program's loader reads what was drawn.
    const QByteArray text = TemplateFormat::complementBytes(fileBytes(saved));
    TemplateModel model;
    QStringList log;
    const TemplateLoadResult loaded = parseTemplateText(text, model, log);
    QVERIFY2(loaded.ok(), qPrintable(loaded.message + log.join(QLatin1Char('\n'))));
    QCOMPARE(model.templatePages.size(), 2);
    QCOMPARE(model.cornerChecks.size(), spec.cornerChecks.size());
    QCOMPARE(model.codeLength, spec.code.length);
    QCOMPARE(model.codeRect, spec.code.area);
    QVERIFY(model.hasAbsentMark);
    QCOMPARE(model.optionalGroups.size(), 1);

    // The engine reads sheets printed from the description with the drawn template.
    PipelineFixture fx(spec, dir.filePath(QStringLiteral("exam")));
    QVERIFY2(fx.ok(), qPrintable(fx.error()));
    QVERIFY2(fx.loadTemplate(text), qPrintable(fx.error()));
    QVector<StudentMarks> students;
    QStringList paths;
    for (int i = 0; i < 2; ++i) {
        StudentMarks marks = StudentMarks::random(spec, quint32(31 + i));
        marks.scribbles = true;
        students << marks;
        fx.addStudent(spec.expectedCode(marks), 300 + i);
        Distortion distortion;
        distortion.rotationDegrees = i ? -0.7 : 0.5;
        distortion.dx = 4;
        distortion.dy = -3;
        paths << fx.writeStudent(marks, distortion, i);
    }
    RecordingSink sink(paths);
    fx.run(sink, paths.size());
    for (const RecordingSink::ImageRow &row : sink.imageRows())
        QCOMPARE(row.result, QStringLiteral("√"));
    for (const StudentMarks &marks : students) {
        const QString code = spec.expectedCode(marks);
        const RecordingSink::ResultRow *result = sink.resultFor(code);
        QVERIFY2(result, qPrintable(code));
        QCOMPARE(result->optionals, QStringList{QStringLiteral("o-") + spec.expectedOptionalChoice(marks, 0)});
        for (int item : spec.objectiveItems()) {
            if (!spec.isOptionalItem(item))
                QVERIFY2(result->objectives.contains(item), qPrintable(QString::number(item)));
            if (result->objectives.contains(item))
                QCOMPARE(result->objectives.value(item).marks, spec.expectedAnswer(marks, item));
        }
        // One cut per plain block and one for the chosen group's block, each
        // the block's size.
        const int chosen = spec.expectedOptionalChoice(marks, 0).toInt();
        QStringList expectedCuts;
        for (const SheetSpec::SubjectBlock &b : spec.subjectBlocks) {
            if (b.optional == 0 || b.optional == chosen)
                expectedCuts << QStringLiteral("%1-%2").arg(b.page).arg(b.sectionId);
        }
        QStringList cuts = result->subjects.keys();
        cuts.sort();
        expectedCuts.sort();
        QCOMPARE(cuts, expectedCuts);
        for (const SheetSpec::SubjectBlock &b : spec.subjectBlocks) {
            const QString path = result->subjects.value(QStringLiteral("%1-%2").arg(b.page).arg(b.sectionId));
            if (path.isEmpty())
                continue;
            const cv::Mat cut = cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_UNCHANGED);
            QCOMPARE(QSize(cut.cols, cut.rows), b.rect.size());
        }
    }
}

QTEST_MAIN(DesignTemplateTest)
#include "designtemplate_test.moc"

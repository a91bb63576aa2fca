// Whole sheets through the pipeline: synthetic scans rendered from a template,
// turned, shifted, scaled, noisy, compressed and printed in red, read back
// against what the student marked; and one failing perturbation per row.

#include "answers.h"
#include "pipelinefixture.h"
#include "testutil.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

Q_DECLARE_METATYPE(SheetSpec::AnchorKind)
Q_DECLARE_METATYPE(SheetSpec::CodeKind)
Q_DECLARE_METATYPE(Distortion)

namespace {

QStringList pathsOf(const RecordingSink &sink)
{
    QStringList out;
    for (const RecordingSink::ImageRow &r : sink.imageRows())
        out << r.path;
    return out;
}

// Paints a page rectangle white (or any grey) in a written page file.
bool paintOver(const QString &path, const QRect &rect, int grey = 255)
{
    cv::Mat page = cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_UNCHANGED);
    if (page.empty())
        return false;
    cv::rectangle(page, cv::Rect(rect.x(), rect.y(), rect.width(), rect.height()), cv::Scalar::all(grey),
                  cv::FILLED);
    return cv::imwrite(QFile::encodeName(path).toStdString(), page);
}

bool cropPage(const QString &path, int dropColumns, int dropRows)
{
    const cv::Mat page = cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_UNCHANGED);
    if (page.empty())
        return false;
    const cv::Mat cut = page(cv::Rect(0, 0, page.cols - dropColumns, page.rows - dropRows)).clone();
    return cv::imwrite(QFile::encodeName(path).toStdString(), cut);
}

// Where each corner-check point sits in its area, as the template says
// (AnchorPointX, AnchorPointY), for a model loaded without it.
void knowCornerPoints(PipelineFixture &fx)
{
    for (int i = 0; i < fx.model().cornerChecks.size(); ++i) {
        CornerCheckArea &a = fx.model().cornerChecks[i];
        const SheetSpec::CornerCheck &c = fx.spec().cornerChecks.at(i);
        if (a.pointKnown()) {
            QCOMPARE(QPoint(a.anchorPointX, a.anchorPointY), c.block.topLeft() - c.search.topLeft());
            continue;
        }
        a.anchorPointX = c.block.x() - c.search.x();
        a.anchorPointY = c.block.y() - c.search.y();
    }
}

// Looks at the exam folder the moment a sheet is reported done: every item
// image of the sheet must be complete by then.
class ItemImageCheckingSink : public RecordingSink {
public:
    ItemImageCheckingSink(const QStringList &paths, const QString &examDir)
        : RecordingSink(paths), m_examDir(examDir) {}

    void processForOneStudentSuccessed(int start, int end, int resultRowIndex, QStringList paths) override
    {
        const ResultRow result = results().value(resultRowIndex);
        QStringList names;
        for (int item : result.objectives.keys())
            names << QStringLiteral("objects/%1-%2").arg(result.code).arg(item);
        for (const QString &chosen : result.optionals)
            names << QStringLiteral("optionals/%1-%2").arg(result.code, chosen.mid(2));
        QStringList missing;
        for (const QString &name : names) {
            for (const char *suffix : {"-o.jpg", "-b.png"}) {
                const QString file = m_examDir + QLatin1Char('/') + name + QLatin1String(suffix);
                if (TestUtil::readGrey(file).empty())
                    missing << file;
            }
        }
        {
            QMutexLocker lock(&m_checkMutex);
            m_missing << missing;
            m_checked += names.size();
        }
        RecordingSink::processForOneStudentSuccessed(start, end, resultRowIndex, paths);
    }

    QStringList missing() const { QMutexLocker lock(&m_checkMutex); return m_missing; }
    int checked() const { QMutexLocker lock(&m_checkMutex); return m_checked; }

private:
    const QString m_examDir;
    mutable QMutex m_checkMutex;
    QStringList m_missing;
    int m_checked = 0;
};

} // namespace

class SheetPipelineTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void testReadsDistortedSheets_data();
    void testReadsDistortedSheets();
    void testFailures_data();
    void testFailures();
    void testSignalOrder_data();
    void testSignalOrder();
    void testDuplicateCodes_data();
    void testDuplicateCodes();
    void testProcessedRowsAreSkipped();
    void testIrregularCountMismatchRefused_data();
    void testIrregularCountMismatchRefused();
    void testItemImagesOnDiskWhenSheetReported();
    void testScaledSheets_data();
    void testScaledSheets();

private:
    QTemporaryDir m_dir;
};

void SheetPipelineTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void SheetPipelineTest::testReadsDistortedSheets_data()
{
    QTest::addColumn<SheetSpec::AnchorKind>("anchor");
    QTest::addColumn<SheetSpec::CodeKind>("codeKind");
    QTest::addColumn<int>("codeDirection");
    QTest::addColumn<Distortion>("distortion");
    QTest::addColumn<bool>("redFilter");

    const auto R = SheetSpec::BlackRectangles;
    const auto T = SheetSpec::PrintedText;
    const auto B = SheetSpec::CodeBubbles;
    const auto C = SheetSpec::CodeBarcode;
    auto d = [](double angle, double dx, double dy, double scale = 1.0, int blur = 0, double noise = 0,
                int jpeg = 0, bool red = false) {
        Distortion x;
        x.rotationDegrees = angle;
        x.dx = dx;
        x.dy = dy;
        x.scale = scale;
        x.blurKernel = blur;
        x.noiseSigma = noise;
        x.jpegQuality = jpeg;
        x.redPrint = red;
        return x;
    };
    QTest::newRow("rectangles, bubbles, clean") << R << B << 0 << d(0, 0, 0) << false;
    QTest::newRow("rectangles, bubbles, turned 2.5 and shifted") << R << B << 0 << d(2.5, 15, -10) << false;
    QTest::newRow("rectangles, bubbles, turned -3, noisy JPEG") << R << B << 0 << d(-3, -8, 12, 1.0, 0, 4, 85) << false;
    QTest::newRow("rectangles, downward bubbles, scale +0.3%") << R << B << 1 << d(1, 5, 5, 1.003) << false;
    QTest::newRow("rectangles, bubbles, scale -0.3%, blurred") << R << B << 0 << d(-1, 0, 0, 0.997, 3) << false;
    QTest::newRow("rectangles, barcode, turned -1.5") << R << C << 0 << d(-1.5, 10, 3) << false;
    QTest::newRow("rectangles, vertical barcode") << R << C << 1 << d(0.8, -4, 6) << false;
    QTest::newRow("printed text, bubbles, clean") << T << B << 0 << d(0, 0, 0) << false;
    QTest::newRow("printed text, bubbles, turned 1.5 and shifted") << T << B << 0 << d(1.5, 12, 9) << false;
    QTest::newRow("printed text, barcode, turned -2.5, blurred JPEG") << T << C << 0 << d(-2.5, -6, -6, 1.0, 3, 2, 80) << false;
    QTest::newRow("red print read through the red channel") << R << B << 0 << d(1, 4, -4, 1.0, 0, 2, 90, true) << true;
    QTest::newRow("red print, printed text") << T << B << 0 << d(-1, 0, 8, 1.0, 0, 0, 0, true) << true;
}

void SheetPipelineTest::testReadsDistortedSheets()
{
    QFETCH(SheetSpec::AnchorKind, anchor);
    QFETCH(SheetSpec::CodeKind, codeKind);
    QFETCH(int, codeDirection);
    QFETCH(Distortion, distortion);
    QFETCH(bool, redFilter);

    RecognitionSettings settings;
    settings.redFilter = redFilter;
    settings.subjectImageFormatIndex = 0;
    const QString exam = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_')));
    PipelineFixture fx(SheetSpec::standard(anchor, codeKind, 2, 150, codeDirection), exam, settings);
    QVERIFY2(fx.ok(), qPrintable(fx.error()));

    QVector<StudentMarks> students;
    QStringList paths;
    for (int s = 0; s < 2; ++s) {
        StudentMarks marks = StudentMarks::random(fx.spec(), quint32(11 + s));
        marks.scribbles = true;
        students << marks;
        fx.addStudent(fx.spec().expectedCode(marks), 100 + s);
        Distortion perPage = distortion;
        perPage.noiseVariant = quint32(s + 3);
        paths << fx.writeStudent(marks, perPage, s);
    }
    QCOMPARE(paths.size(), 4);

    RecordingSink sink(paths);
    fx.run(sink, paths.size(), 1, &settings);

    for (const RecordingSink::ImageRow &row : sink.imageRows())
        QCOMPARE(row.result, QStringLiteral("√"));
    for (int s = 0; s < students.size(); ++s) {
        const StudentMarks &marks = students.at(s);
        const QString code = fx.spec().expectedCode(marks);
        const RecordingSink::ResultRow *result = sink.resultFor(code);
        QVERIFY2(result, qPrintable(code));
        QCOMPARE(result->studentId, 100 + s);
        QCOMPARE(result->pagePaths, paths.mid(s * 2, 2));

        // Optional choices, in group order.
        QStringList chosen;
        for (int g = 0; g < fx.spec().optionalGroups.size(); ++g)
            chosen << QStringLiteral("o-") + fx.spec().expectedOptionalChoice(marks, g);
        QCOMPARE(result->optionals, chosen);

        float total = 0.0f;
        for (int item : fx.spec().objectiveItems()) {
            const bool optional = fx.spec().isOptionalItem(item);
            bool enabled = !optional;
            for (const SheetSpec::ObjectBlock &b : fx.spec().objectBlocks) {
                if (b.contains(item) && b.optional)
                    enabled = chosen.contains(QStringLiteral("o-%1").arg(b.optional));
            }
            for (const SheetSpec::IrregularQuestion &q : fx.spec().irregularQuestions) {
                if (q.item == item && q.optional)
                    enabled = chosen.contains(QStringLiteral("o-%1").arg(q.optional));
            }
            if (!enabled) {
                QVERIFY2(!result->objectives.contains(item), qPrintable(QString::number(item)));
                continue;
            }
            const QString expected = fx.spec().expectedAnswer(marks, item);
            QVERIFY2(result->objectives.contains(item), qPrintable(QString::number(item)));
            const RecordingSink::Objective &o = result->objectives.value(item);
            QVERIFY2(o.marks == expected, qPrintable(QStringLiteral("item %1: read %2, marked %3")
                                                         .arg(item).arg(o.marks, expected)));
            const AnswerSetting key = fx.keyFor(item);
            const float score = scoreObjectiveItem(expected, key.answer, key.multiple, key.score,
                                                   key.compareType, key.partScore);
            QCOMPARE(o.score, score);
            QCOMPARE(o.fullScore, key.score);
            QCOMPARE(o.chooseType, key.multiple ? 1 : 0);
            QCOMPARE(o.optionCount, fx.spec().optionCount(item));
            total += score;
        }
        QCOMPARE(result->total, total);

        // Every plain subjective block, and those of the chosen candidates,
        // cut at its template size.
        for (const SheetSpec::SubjectBlock &b : fx.spec().subjectBlocks) {
            const QString key = QStringLiteral("%1-%2").arg(b.page).arg(b.sectionId);
            const bool enabled = !b.optional || chosen.contains(QStringLiteral("o-%1").arg(b.optional));
            QCOMPARE(result->subjects.contains(key), enabled);
            if (!enabled)
                continue;
            const QString path = result->subjects.value(key);
            QCOMPARE(path, QStringLiteral("%1/subjects/%2-%3.jpg").arg(exam, code, key));
            const cv::Mat cut = TestUtil::readGrey(path);
            QCOMPARE(cut.cols, b.rect.width());
            QCOMPARE(cut.rows, b.rect.height());
        }
    }
}

void SheetPipelineTest::testFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("failingRow");
    QTest::addColumn<QString>("result");

    QTest::newRow("corner point missing") << "corner" << 1 << QStringLiteral("边角检测【右下角】失败：未发现检测点。");
    QTest::newRow("page too narrow") << "narrow" << 0 << QStringLiteral("答卷图片宽超出允许误差");
    QTest::newRow("page too short") << "short" << 1 << QStringLiteral("答卷图片高超出允许误差");
    QTest::newRow("anchor A missing") << "noA" << 0 << QStringLiteral("定位点A查找失败");
    QTest::newRow("anchor B missing") << "noB" << 1 << QStringLiteral("定位点B查找失败");
    QTest::newRow("anchor A too wide") << "wideA" << 0 << QStringLiteral("定位点A宽或者高超出允许误差");
    QTest::newRow("absent") << "absent" << 0 << QStringLiteral("缺考");
    QTest::newRow("code position unmarked") << "gap" << 0 << QStringLiteral("考号有未涂位：12X4567890");
    QTest::newRow("code not in the roster") << "stranger" << 0 << QStringLiteral("没有考号是 1234567890 的学生");
    QTest::newRow("unreadable page file") << "garbage" << 1 << QStringLiteral("答卷图片读取失败：%1");
    QTest::newRow("page file cut off") << "cut" << 0
        << QStringLiteral("答卷图片文件不完整（JPEG 数据缺少结束标记），可能在传输或保存时被截断：%1");
    QTest::newRow("typed code that would leave its folder") << "typed" << 0
        << QStringLiteral("考号“../../x”含有不能用于文件名的字符，请检查答卷。");
    QTest::newRow("question outside the page") << "question" << 0
        << QStringLiteral("题号 1 客观题区域超出答卷图片范围，可能是定位异常，请检查答卷图片。");
    QTest::newRow("subjective block left of the page") << "subject" << 1 << QStringLiteral("主观题切割异常");
}

void SheetPipelineTest::testFailures()
{
    QFETCH(QString, fault);
    QFETCH(int, failingRow);
    QFETCH(QString, result);

    RecognitionSettings settings;
    const QString exam = m_dir.filePath(QStringLiteral("fail-") + fault);
    SheetSpec spec = SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 2, 150);
    PipelineFixture fx(spec, exam, settings);
    QVERIFY2(fx.ok(), qPrintable(fx.error()));

    StudentMarks marks = StudentMarks::random(fx.spec(), 5);
    marks.code = QStringLiteral("1234567890");
    marks.absent = fault == QLatin1String("absent");
    if (fault == QLatin1String("gap"))
        marks.code = QStringLiteral("12 4567890");
    if (fault != QLatin1String("stranger"))
        fx.addStudent(QStringLiteral("1234567890"), 7);
    QStringList paths = fx.writeStudent(marks, Distortion(), 0);
    QCOMPARE(paths.size(), 2);

    RecordingSink sink(paths);
    const SheetSpec::PageAnchor &anchor = fx.spec().anchors.at(0);
    if (fault == QLatin1String("corner")) {
        for (const SheetSpec::CornerCheck &c : fx.spec().cornerChecks) {
            if (c.page == 2 && c.name == QStringLiteral("右下角"))
                QVERIFY(paintOver(paths[1], c.block));
        }
        for (int r = 0; r < 2; ++r) {
            RecordingSink::ImageRow row = sink.imageRows().at(r);
            row.cornerCheck = true;
            sink.setImageRow(r, row);
        }
    } else if (fault == QLatin1String("narrow")) {
        QVERIFY(cropPage(paths[0], fx.spec().pageSize.width() / 10, 0));
    } else if (fault == QLatin1String("short")) {
        QVERIFY(cropPage(paths[1], 0, fx.spec().pageSize.height() / 10));
    } else if (fault == QLatin1String("noA")) {
        QVERIFY(paintOver(paths[0], anchor.blockA));
    } else if (fault == QLatin1String("noB")) {
        QVERIFY(paintOver(paths[1], fx.spec().anchors.at(1).blockB));
    } else if (fault == QLatin1String("wideA")) {
        const QRect a = anchor.blockA;
        QVERIFY(paintOver(paths[0], a.adjusted(-a.width() / 3, 0, a.width() / 3, 0), 0));
        QVERIFY(anchor.searchA.contains(a.adjusted(-a.width() / 3 - 1, -1, a.width() / 3 + 1, 1)));
    } else if (fault == QLatin1String("garbage")) {
        QFile f(paths[1]);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not an image");
        f.close();
        result = result.arg(paths[1]);
    } else if (fault == QLatin1String("cut")) {
        // A JPEG scan cut off below the questions: what is left decodes, its
        // foot grey. The decoder goes by the content, not the name.
        std::vector<uchar> jpeg;
        QVERIFY(cv::imencode(".jpg", TestUtil::readGrey(paths[0]), jpeg));
        QFile f(paths[0]);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char *>(jpeg.data()), qint64(jpeg.size() * 9 / 10));
        f.close();
        result = result.arg(paths[0]);
    } else if (fault == QLatin1String("typed")) {
        RecordingSink::ImageRow row = sink.imageRows().at(0);
        row.code = QStringLiteral("../../x");
        sink.setImageRow(0, row);
    } else if (fault == QLatin1String("question")) {
        for (ObjectItem &item : fx.model().objectItems) {
            if (item.item == 1)
                item.rect.translate(0, fx.spec().pageSize.height());
        }
    } else if (fault == QLatin1String("subject")) {
        for (SubjectSection &s : fx.model().subjectSections) {
            if (s.page == 2)
                s.rect.moveLeft(-fx.model().pageOrigin(2).x() - 20);
        }
    }

    fx.run(sink, paths.size());

    const QVector<RecordingSink::ImageRow> rows = sink.imageRows();
    QCOMPARE(rows.at(failingRow).result, result);
    for (int r = 0; r < rows.size(); ++r) {
        if (r != failingRow)
            QVERIFY2(rows.at(r).result.isEmpty(), qPrintable(rows.at(r).result));
        QVERIFY(rows.at(r).code.isEmpty());
    }
    for (const RecordingSink::ResultRow &r : sink.results())
        QVERIFY(r.dropped);
    QVERIFY(!sink.names().contains(QStringLiteral("processForOneStudentSuccessed")));
    if (fault == QLatin1String("absent"))
        QVERIFY(sink.logLines().contains(QStringLiteral("检测出缺考")));
    if (fault == QLatin1String("subject")) {
        bool logged = false;
        for (const QString &line : sink.logLines())
            logged = logged || line.contains(QStringLiteral("太靠近图片左边缘"));
        QVERIFY(logged);
    }
}

void SheetPipelineTest::testSignalOrder_data()
{
    QTest::addColumn<SheetSpec::AnchorKind>("anchor");
    QTest::addColumn<bool>("upload");
    QTest::addColumn<QStringList>("names");

    // Grey pages with PNG cut images: the first worker advises JPEG once, right
    // after its first cut.
    const QStringList page1Rect{"loadImage", "setAnchorPointData", "setAnchorPointData", "setAnchorPointData",
                                "setCode", "setProcessResult", "object", "objectTotalScore", "addLog",
                                "subjectSection"};
    const QStringList page2Rect{"loadImage", "setAnchorPointData", "setAnchorPointData", "setAnchorPointData",
                                "setProcessResult"};
    const QStringList page1Text{"loadImage", "setAnchorPointData", "setCode", "setProcessResult", "object",
                                "objectTotalScore", "addLog", "subjectSection"};
    const QStringList page2Text{"loadImage", "setAnchorPointData", "setProcessResult"};
    const QStringList done{"processForOneStudentSuccessed", "finished"};
    const QStringList upload{"startUpload", "startUpload", "startUpload"};
    QTest::newRow("rectangles") << SheetSpec::BlackRectangles << false << page1Rect + page2Rect + done;
    QTest::newRow("printed text") << SheetSpec::PrintedText << false << page1Text + page2Text + done;
    QTest::newRow("immediate upload asks until accepted") << SheetSpec::BlackRectangles << true
                                                          << page1Rect + page2Rect + upload + done;
}

void SheetPipelineTest::testSignalOrder()
{
    QFETCH(SheetSpec::AnchorKind, anchor);
    QFETCH(bool, upload);
    QFETCH(QStringList, names);

    SheetSpec spec = SheetSpec::minimal(anchor, SheetSpec::CodeBubbles, 2, 150);
    const QPoint corner(spec.pageSize.width() / 4, spec.pageSize.height() / 2);
    spec.objectBlocks << SheetSpec::ObjectBlock::regular(1, 1, 1, 4, 0, corner, QSize(24, 16), 40, 30);
    spec.subjectBlocks << SheetSpec::SubjectBlock{1, 1, QRect(corner + QPoint(0, 80), QSize(300, 150)), 0};
    RecognitionSettings settings;
    settings.sheetUpload = upload;
    PipelineFixture fx(spec, m_dir.filePath(QStringLiteral("order-%1").arg(QTest::currentDataTag())), settings);
    QVERIFY2(fx.ok(), qPrintable(fx.error()));
    StudentMarks marks;
    marks.code = QStringLiteral("0123456789");
    marks.answers[1] = QStringLiteral("C");
    fx.addStudent(marks.code, 3);
    const QStringList paths = fx.writeStudent(marks, Distortion(), 0);
    RecordingSink sink(paths);
    sink.setUploadBehaviour(2, 20);
    fx.run(sink, paths.size());
    QCOMPARE(sink.names(), names);
    QVERIFY(sink.events().contains(QStringLiteral("object(0,1,C)")));
    if (upload) {
        QCOMPARE(sink.events().filter(QStringLiteral("startUpload(")).first(), QStringLiteral("startUpload(0,0)"));
        // A refused worker waits for the running pool to end before it asks again.
        QCOMPARE(sink.uploadRequestsWhileRunning(), 0);
    }
    QCOMPARE(sink.logLines(), QStringList{QStringLiteral("答卷图片为灰度模式，建议修改主观题图片格式为 JPG。\r\n"
                                                         "软件-》设置-》图片参数-》主观题图片格式-》JPG")});
}

void SheetPipelineTest::testDuplicateCodes_data()
{
    QTest::addColumn<int>("workers");
    QTest::addColumn<int>("processType");
    QTest::newRow("one worker") << 1 << 0;
    QTest::newRow("three workers, waiting for each other") << 3 << 1;
}

void SheetPipelineTest::testDuplicateCodes()
{
    QFETCH(int, workers);
    QFETCH(int, processType);

    RecognitionSettings settings;
    settings.processType = processType;
    SheetSpec spec = SheetSpec::minimal(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 2, 150);
    PipelineFixture fx(spec, m_dir.filePath(QStringLiteral("dup-%1").arg(workers)), settings);
    QVERIFY2(fx.ok(), qPrintable(fx.error()));

    // Sheets at rows 0, 2, 4, 6, 8, 10; the ones at 2 and 8 share a code.
    const QStringList codes{"1000000001", "2000000002", "1000000003", "1000000004", "2000000002", "1000000006"};
    QStringList paths;
    for (int s = 0; s < codes.size(); ++s) {
        StudentMarks marks;
        marks.code = codes[s];
        marks.variant = quint32(s + 1);
        fx.addStudent(codes[s], s + 1);
        paths << fx.writeStudent(marks, Distortion(), s);
    }
    RecordingSink sink(paths);
    fx.run(sink, paths.size(), workers, &settings);

    const QVector<RecordingSink::ImageRow> rows = sink.imageRows();
    // Whichever of the two came second names the other's first row (1-based).
    const QString at2 = rows.at(2).result;
    const QString at8 = rows.at(8).result;
    QCOMPARE(at2, QStringLiteral("考号 2000000002 重复 相关行 9"));
    QCOMPARE(at8, QStringLiteral("考号 2000000002 重复 相关行 3"));
    QVERIFY(!sink.resultFor(QStringLiteral("2000000002")));
    for (int s : {0, 2, 3, 5}) {
        QCOMPARE(rows.at(s * 2).result, QStringLiteral("√"));
        QVERIFY(sink.resultFor(codes[s]));
    }
    QCOMPARE(sink.finishedCount(), workers);
}

void SheetPipelineTest::testProcessedRowsAreSkipped()
{
    SheetSpec spec = SheetSpec::minimal(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 1, 150);
    PipelineFixture fx(spec, m_dir.filePath(QStringLiteral("skip")));
    QVERIFY2(fx.ok(), qPrintable(fx.error()));
    StudentMarks marks;
    marks.code = QStringLiteral("5555555555");
    fx.addStudent(marks.code, 9);
    const QStringList first = fx.writeStudent(marks, Distortion(), 0);
    marks.code = QStringLiteral("6666666666");
    fx.addStudent(marks.code, 10);
    const QStringList second = fx.writeStudent(marks, Distortion(), 1);
    RecordingSink sink(first + second);
    RecordingSink::ImageRow done = sink.imageRows().at(0);
    done.result = QStringLiteral("√");
    done.code = QStringLiteral("5555555555");
    sink.setImageRow(0, done);

    fx.run(sink, 2);
    // The processed sheet produces no signal at all; the other one is read.
    QVERIFY(!sink.events().join(QLatin1Char('|')).contains(first.first()));
    QVERIFY(sink.resultFor(QStringLiteral("6666666666")));
    QVERIFY(!sink.resultFor(QStringLiteral("5555555555")));
    QCOMPARE(pathsOf(sink), first + second);
}

void SheetPipelineTest::testIrregularCountMismatchRefused_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("written");     // OptionCount in the template

    // Item 21 has five bubbles; item 34, a question of candidate 23, three.
    // Which of the two says the truth no program can tell, so neither reads it.
    QTest::newRow("fewer written") << 21 << 3;
    QTest::newRow("written count zero") << 21 << 0;
    QTest::newRow("optional group question") << 34 << 1;
}

void SheetPipelineTest::testIrregularCountMismatchRefused()
{
    QFETCH(int, item);
    QFETCH(int, written);

    SheetSpec spec = SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 2, 150);
    int boxes = 0;
    for (SheetSpec::IrregularQuestion &q : spec.irregularQuestions) {
        if (q.item == item) {
            q.writtenOptionCount = written;
            boxes = q.options.size();
        }
    }
    QVERIFY(boxes > written);
    const QString exam = m_dir.filePath(QStringLiteral("irregular-%1-%2").arg(item).arg(written));
    PipelineFixture fx(spec, exam);
    QVERIFY(!fx.ok());
    QVERIFY2(fx.error().contains(QStringLiteral("第%1页").arg(spec.itemPage(item)))
                 && fx.error().contains(QStringLiteral("选项数写为 %1，实有 %2 个选项").arg(written).arg(boxes)),
             qPrintable(fx.error()));
}

void SheetPipelineTest::testItemImagesOnDiskWhenSheetReported()
{
    RecognitionSettings settings;
    const QString exam = m_dir.filePath(QStringLiteral("item-images"));
    PipelineFixture fx(SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 2, 150), exam,
                       settings);
    QVERIFY2(fx.ok(), qPrintable(fx.error()));
    QStringList paths;
    for (int s = 0; s < 4; ++s) {
        StudentMarks marks = StudentMarks::random(fx.spec(), quint32(40 + s));
        marks.code = QStringLiteral("30000000%1").arg(s, 2, 10, QLatin1Char('0'));
        fx.addStudent(marks.code, s + 1);
        paths << fx.writeStudent(marks, Distortion(), s);
    }
    ItemImageCheckingSink sink(paths, exam);
    fx.run(sink, paths.size(), 3, &settings);

    QCOMPARE(sink.results().size(), 4);
    for (const RecordingSink::ResultRow &r : sink.results())
        QCOMPARE(r.pagePaths.size(), 2);
    QVERIFY(sink.checked() > 4 * 20);
    QVERIFY2(sink.missing().isEmpty(), qPrintable(sink.missing().join(QLatin1Char('\n'))));
}

void SheetPipelineTest::testScaledSheets_data()
{
    QTest::addColumn<SheetSpec::AnchorKind>("anchor");
    QTest::addColumn<double>("scaleX");
    QTest::addColumn<double>("scaleY");
    QTest::addColumn<bool>("cornerPoints");  // the template's corner-check points are known
    QTest::addColumn<bool>("cornerCheck");   // the rows' corner check is switched on
    QTest::addColumn<QString>("refusal");    // start of the failure text; empty: read exactly

    const auto R = SheetSpec::BlackRectangles;
    const auto T = SheetSpec::PrintedText;
    const QString range = QStringLiteral("第 1 页答卷图片的大小是模板的");
    const QString oneAxis = QStringLiteral("第 1 页答卷图片的大小横向是模板的");
    struct Row { SheetSpec::AnchorKind anchor; double x, y; bool points, check; QString refusal; };
    const QVector<Row> rows{
        // Printed smaller or larger all over.
        {R, 0.94, 0.94, true, false, {}}, {R, 0.97, 0.97, true, true, {}}, {R, 0.99, 0.99, true, false, {}},
        {R, 1.01, 1.01, true, false, {}}, {R, 1.02, 1.02, true, true, {}}, {R, 1.04, 1.04, true, false, {}},
        {R, 0.93, 0.93, true, false, range}, {R, 1.05, 1.05, true, false, range},
        {T, 0.94, 0.94, true, false, {}}, {T, 0.97, 0.97, true, true, {}}, {T, 1.01, 1.01, true, false, {}},
        {T, 1.03, 1.03, true, false, {}}, {T, 0.90, 0.90, true, false, range}, {T, 1.06, 1.06, true, false, range},
        // The feed slips: along y only; and the other axis for good measure.
        {R, 1.0, 0.94, true, false, {}}, {R, 1.0, 0.99, true, false, {}}, {R, 1.0, 1.01, true, true, {}},
        {R, 1.0, 1.03, true, false, {}}, {R, 1.0, 0.93, true, false, range}, {R, 1.0, 1.06, true, false, range},
        {R, 0.94, 1.0, true, false, {}}, {R, 1.02, 1.0, true, false, {}}, {R, 0.90, 1.0, true, false, range},
        {R, 1.07, 1.0, true, false, range},
        {T, 1.0, 0.96, true, false, {}}, {T, 1.0, 1.01, true, true, {}}, {T, 1.0, 1.04, true, false, {}},
        {T, 1.0, 1.07, true, false, range}, {T, 0.95, 1.0, true, false, {}}, {T, 1.02, 1.0, true, false, {}},
        {T, 0.90, 1.0, true, false, range},
        // Anchors on one row and no corner-check point: a page scaled across
        // cannot be told from one printed smaller.
        {R, 0.97, 0.97, false, false, oneAxis}, {R, 1.01, 1.0, false, false, oneAxis},
    };
    for (const Row &r : rows) {
        const QString name = QStringLiteral("%1, x %2%, y %3%%4%5")
                                 .arg(r.anchor == R ? QStringLiteral("rectangles") : QStringLiteral("printed text"))
                                 .arg(r.x * 100.0)
                                 .arg(r.y * 100.0)
                                 .arg(r.points ? QString() : QStringLiteral(", corner points unknown"))
                                 .arg(r.check ? QStringLiteral(", corner check on") : QString());
        QTest::newRow(qPrintable(name)) << r.anchor << r.x << r.y << r.points << r.check << r.refusal;
    }
}

// Each sheet, scaled about the page centre with the paper size kept, is read
// exactly as marked or refused with the scale message; none is graded wrongly.
void SheetPipelineTest::testScaledSheets()
{
    QFETCH(SheetSpec::AnchorKind, anchor);
    QFETCH(double, scaleX);
    QFETCH(double, scaleY);
    QFETCH(bool, cornerPoints);
    QFETCH(bool, cornerCheck);
    QFETCH(QString, refusal);

    RecognitionSettings settings;
    settings.subjectImageFormatIndex = 0;
    const QString exam = m_dir.filePath(QStringLiteral("scaled-%1").arg(QTest::currentDataTag()).replace(' ', '_'));
    PipelineFixture fx(SheetSpec::standard(anchor, SheetSpec::CodeBubbles, 2, 150), exam, settings);
    QVERIFY2(fx.ok(), qPrintable(fx.error()));
    if (cornerPoints) {
        knowCornerPoints(fx);
    } else {
        // As from a template written without them.
        for (CornerCheckArea &a : fx.model().cornerChecks)
            a.anchorPointX = a.anchorPointY = -1;
    }

    QVector<StudentMarks> students;
    QStringList paths;
    for (int s = 0; s < 2; ++s) {
        StudentMarks marks = StudentMarks::random(fx.spec(), quint32(60 + s));
        students << marks;
        fx.addStudent(fx.spec().expectedCode(marks), 200 + s);
        Distortion d;
        // Turned and shifted too, less so just outside the range, where the
        // anchors are near the edges of their search areas.
        const double move = refusal.isEmpty() ? 0.6 : 0.2;
        d.rotationDegrees = (s ? -1.2 : 0.8) * move;
        d.dx = (s ? -6 : 4) * move;
        d.dy = (s ? 5 : -3) * move;
        d.scaleX = scaleX;
        d.scaleY = scaleY;
        d.noiseSigma = 2;
        d.noiseVariant = quint32(s + 5);
        d.jpegQuality = 85;
        paths << fx.writeStudent(marks, d, s);
    }
    RecordingSink sink(paths);
    for (int r = 0; r < paths.size(); ++r) {
        RecordingSink::ImageRow row = sink.imageRows().at(r);
        row.cornerCheck = cornerCheck;
        sink.setImageRow(r, row);
    }
    fx.run(sink, paths.size(), 1, &settings);

    const QVector<RecordingSink::ImageRow> rows = sink.imageRows();
    for (int s = 0; s < students.size(); ++s) {
        const QString code = fx.spec().expectedCode(students.at(s));
        const RecordingSink::ResultRow *result = sink.resultFor(code);
        if (!refusal.isEmpty()) {
            // Refused on its first page, with the page and the scale named.
            QVERIFY(!result);
            const QString text = rows.at(s * 2).result;
            QVERIFY2(text.startsWith(refusal) && text.contains(QStringLiteral("请检查扫描仪")), qPrintable(text));
            QVERIFY(sink.logLines().contains(text));
            continue;
        }
        QVERIFY2(result, qPrintable(rows.at(s * 2).result + QLatin1Char(' ') + rows.at(s * 2 + 1).result));
        QCOMPARE(rows.at(s * 2).result, QStringLiteral("√"));
        QCOMPARE(rows.at(s * 2 + 1).result, QStringLiteral("√"));
        QStringList chosen;
        for (int g = 0; g < fx.spec().optionalGroups.size(); ++g)
            chosen << QStringLiteral("o-") + fx.spec().expectedOptionalChoice(students.at(s), g);
        QCOMPARE(result->optionals, chosen);
        for (int item : result->objectives.keys()) {
            const QString expected = fx.spec().expectedAnswer(students.at(s), item);
            QVERIFY2(result->objectives.value(item).marks == expected,
                     qPrintable(QStringLiteral("item %1: read %2, marked %3")
                                    .arg(item).arg(result->objectives.value(item).marks, expected)));
        }
        // Subjective blocks are cut at the page's scale.
        for (auto it = result->subjects.constBegin(); it != result->subjects.constEnd(); ++it) {
            const QStringList key = it.key().split(QLatin1Char('-'));
            const SheetSpec::SubjectBlock *b = fx.spec().subjectBlock(key.at(0).toInt(), key.at(1).toInt());
            QVERIFY(b);
            const cv::Mat cut = TestUtil::readGrey(it.value());
            QVERIFY2(std::abs(cut.cols - b->rect.width() * scaleX) <= 2.0
                         && std::abs(cut.rows - b->rect.height() * scaleY) <= 2.0,
                     qPrintable(QStringLiteral("%1: %2 x %3").arg(it.key()).arg(cut.cols).arg(cut.rows)));
        }
    }
}

QTEST_GUILESS_MAIN(SheetPipelineTest)
#include "sheetpipeline_test.moc"

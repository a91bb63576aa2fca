// Claim loop and code registry: whole sheets, each claimed once, stop and
// empty ranges, duplicate bookkeeping.

#include "coderegistry.h"
#include "recognitionworker.h"
#include "recordingsink.h"

#include <QtTest>
#include <QThread>

namespace {

TemplateModel twoPageModel()
{
    TemplateModel m;
    for (int id = 1; id <= 2; ++id) {
        TemplatePage p;
        p.id = id;
        p.width = 100;
        p.height = 100;
        m.templatePages << p;
    }
    m.pagesPerSheet = 2;
    return m;
}

QStringList rowPaths(int n)
{
    QStringList paths;
    for (int i = 0; i < n; ++i)
        paths << QStringLiteral("/nonexistent/page-%1.png").arg(i);
    return paths;
}

} // namespace

class RecognitionWorkerTest : public QObject {
    Q_OBJECT
private slots:
    void testClaimsWholeSheetsOnce_data();
    void testClaimsWholeSheetsOnce();
    void testNothingToClaim_data();
    void testNothingToClaim();
    void testWriteParameters_data();
    void testWriteParameters();
    void testParseRect_data();
    void testParseRect();
    void testRegistry();
};

void RecognitionWorkerTest::testClaimsWholeSheetsOnce_data()
{
    QTest::addColumn<int>("workers");
    QTest::addColumn<int>("rows");
    QTest::newRow("one worker") << 1 << 8;
    QTest::newRow("two workers") << 2 << 8;
    QTest::newRow("six workers, few sheets") << 6 << 6;
}

void RecognitionWorkerTest::testClaimsWholeSheetsOnce()
{
    QFETCH(int, workers);
    QFETCH(int, rows);
    const TemplateModel model = twoPageModel();
    PipelineContext ctx;
    ctx.model = &model;
    ctx.imageRowCount = rows;
    QMutex claimMutex;
    int nextRow = 0;
    RecognitionRun run(claimMutex, nextRow, workers);
    RecordingSink sink(rowPaths(rows));
    std::atomic<bool> stop{false};

    std::vector<WorkerState> states(static_cast<size_t>(workers));
    QVector<QThread *> threads;
    for (int w = 0; w < workers; ++w) {
        states[size_t(w)].index = w;
        states[size_t(w)].name = QStringLiteral("识别处理线程 %1").arg(w + 1);
        threads << QThread::create([&, w] {
            runRecognitionWorker(ctx, run, states[size_t(w)], 0, rows - 1, stop, sink);
        });
    }
    for (QThread *t : threads)
        t->start();
    for (QThread *t : threads) {
        QVERIFY(t->wait(30000));
        delete t;
    }

    // Every sheet's first page was loaded exactly once; unreadable files fail
    // the sheet on its first page, so second pages are never loaded.
    QStringList loaded;
    for (const QString &e : sink.events()) {
        if (e.startsWith(QLatin1String("loadImage(")))
            loaded << e;
    }
    loaded.sort();
    QStringList expected;
    for (int r = 0; r < rows; r += 2)
        expected << QStringLiteral("loadImage(/nonexistent/page-%1.png)").arg(r);
    expected.sort();
    QCOMPARE(loaded, expected);
    QCOMPARE(sink.finishedCount(), workers);
    for (int r = 0; r < rows; r += 2)
        QCOMPARE(sink.imageRows().at(r).result, QStringLiteral("答卷图片读取失败：/nonexistent/page-%1.png").arg(r));
}

void RecognitionWorkerTest::testNothingToClaim_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<int>("pages");
    QTest::newRow("start beyond end") << 4 << 3 << false << 2;
    QTest::newRow("stopped before the first claim") << 0 << 3 << true << 2;
    QTest::newRow("template without pages") << 0 << 3 << false << 0;
}

void RecognitionWorkerTest::testNothingToClaim()
{
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(bool, stopped);
    QFETCH(int, pages);
    TemplateModel model = twoPageModel();
    model.pagesPerSheet = pages;
    PipelineContext ctx;
    ctx.model = &model;
    QMutex claimMutex;
    int nextRow = start;
    RecognitionRun run(claimMutex, nextRow, 1);
    RecordingSink sink(rowPaths(4));
    WorkerState state;
    state.name = QStringLiteral("识别处理线程 1");
    std::atomic<bool> stop{stopped};
    runRecognitionWorker(ctx, run, state, start, end, stop, sink);
    QCOMPARE(sink.events(), QStringList{QStringLiteral("finished(识别处理线程 1)")});
}

void RecognitionWorkerTest::testWriteParameters_data()
{
    QTest::addColumn<int>("formatIndex");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<std::vector<int>>("params");
    QTest::newRow("0 is JPEG") << 0 << "jpg" << std::vector<int>{1, 80};
    QTest::newRow("1 is PNG") << 1 << "png" << std::vector<int>{16, 4};
    QTest::newRow("65 is PNG") << 65 << "png" << std::vector<int>{16, 4};
}

void RecognitionWorkerTest::testWriteParameters()
{
    QFETCH(int, formatIndex);
    QFETCH(QString, extension);
    QFETCH(std::vector<int>, params);
    RecognitionSettings s;
    s.subjectImageFormatIndex = formatIndex;
    s.subjectImageQuality = 80;
    s.subjectImagePNGCompressionLevel = 4;
    WorkerState w;
    w.configure(s);
    w.configure(s); // a second run must not pile up parameters
    QCOMPARE(w.extension, extension);
    QCOMPARE(w.imwriteParams, params);
}

void RecognitionWorkerTest::testParseRect_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("four numbers") << "10,20,300,40" << QRect(10, 20, 300, 40);
    QTest::newRow("a piece that is not a number") << "10,x,300,40" << QRect(10, 0, 300, 40);
    QTest::newRow("too few pieces") << "10,20" << QRect(10, 20, 0, 0);
    QTest::newRow("empty") << "" << QRect(0, 0, 0, 0);
}

void RecognitionWorkerTest::testParseRect()
{
    QFETCH(QString, text);
    QFETCH(QRect, rect);
    const cv::Rect r = parseRect(text);
    QCOMPARE(QRect(r.x, r.y, r.width, r.height), rect);
}

void RecognitionWorkerTest::testRegistry()
{
    CodeRegistry reg;
    // Sheet 0 already has a result row with code 123; sheet 4 carries a typed 555.
    reg.reset({QStringLiteral("123")}, {{0, QStringLiteral("123")}, {4, QStringLiteral("555")}});

    // A new code is recorded for the sheet.
    CodeRegistry::Claim c = reg.claim(QStringLiteral("777"), 2);
    QCOMPARE(c.duplicateRow, -1);
    QVERIFY(reg.hasResultCode(QStringLiteral("777")));
    QCOMPARE(reg.sheetCode(2), QStringLiteral("777"));
    // Undo restores exactly what was there.
    reg.undo(c, QStringLiteral("777"), 2);
    QVERIFY(!reg.hasResultCode(QStringLiteral("777")));
    QVERIFY(reg.sheetCode(2).isEmpty());

    // 123 is held by sheet 0: sheet 6 is a duplicate of row 0 and nothing changes.
    c = reg.claim(QStringLiteral("123"), 6);
    QCOMPARE(c.duplicateRow, 0);
    QVERIFY(reg.sheetCode(6).isEmpty());

    // Sheet 0 itself may claim its own code again (re-processing).
    QCOMPARE(reg.claim(QStringLiteral("123"), 0).duplicateRow, -1);

    // A typed code without a result row is no duplicate yet.
    QCOMPARE(reg.claim(QStringLiteral("555"), 8).duplicateRow, -1);
    // Now 555 has a result row (sheet 8) and sheet 4 carries it: the next
    // sheet with 555 collides with the lowest such sheet.
    QCOMPARE(reg.claim(QStringLiteral("555"), 10).duplicateRow, 4);

    // Releasing a sheet takes its code out of the results too.
    reg.releaseSheet(0);
    QVERIFY(!reg.hasResultCode(QStringLiteral("123")));
    QCOMPARE(reg.claim(QStringLiteral("123"), 6).duplicateRow, -1);
}

QTEST_GUILESS_MAIN(RecognitionWorkerTest)
#include "recognitionworker_test.moc"

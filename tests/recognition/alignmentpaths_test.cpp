// The printed-text descriptor matching against cv::BFMatcher's own
// cross-check (OMR_REFERENCE_ALIGNMENT): the matches themselves, every
// search before and after the deskew, and whole sheets of both anchor kinds
// must come out the same to the last pixel, signal for signal.

#include "anchors.h"
#include "featurealign.h"
#include "pipelinefixture.h"
#include "recordingsink.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/features2d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

Q_DECLARE_METATYPE(SheetSpec::AnchorKind)
Q_DECLARE_METATYPE(Distortion)

namespace {

// Switches the general routines on for its lifetime.
class ReferenceAlignment {
public:
    ReferenceAlignment() { qputenv("OMR_REFERENCE_ALIGNMENT", "1"); }
    ~ReferenceAlignment() { qunsetenv("OMR_REFERENCE_ALIGNMENT"); }
};

// Every file under `dir` (subjective cuts of the turned pages, item images)
// by its path relative to `dir`.
QMap<QString, QByteArray> filesUnder(const QString &dir)
{
    QMap<QString, QByteArray> files;
    const QDir root(dir);
    for (const char *sub : {"codes", "objects", "subjects", "optionals"}) {
        QDir d(root.filePath(QLatin1String(sub)));
        for (const QString &name : d.entryList(QDir::Files, QDir::Name)) {
            QFile f(d.filePath(name));
            if (f.open(QIODevice::ReadOnly))
                files.insert(QLatin1String(sub) + QLatin1Char('/') + name, f.readAll());
        }
    }
    return files;
}

struct Located {
    bool found = false;
    cv::Point offset;
    float angle = 0.0f;
    QString error;
    FeatureMatchGeometry geometry;
};

Located locate(const TemplatePage &tp, const cv::Mat &page, const RecognitionSettings &s)
{
    Located r;
    locateByFeatures(tp, page, s.maxSceneFeaturePointCount, s.maxFeaturePointDistance, s.featurePointSearchScale,
                     s.featurePointSearchLevel, s.miniMatchFeaturePointCount, s.matchAreaErrorMargin, r.found,
                     r.offset, r.angle, r.error, nullptr, &r.geometry);
    return r;
}

void compareLocated(const Located &a, const Located &b)
{
    QCOMPARE(a.found, b.found);
    QCOMPARE(a.error, b.error);
    QCOMPARE(a.offset, b.offset);
    QCOMPARE(a.angle, b.angle);   // exact: the same matches give the same fit
    QCOMPARE(a.geometry.scaleX, b.geometry.scaleX);
    QCOMPARE(a.geometry.scaleY, b.geometry.scaleY);
    QCOMPARE(a.geometry.patchShift, b.geometry.patchShift);
    QCOMPARE(a.geometry.templateLineAngle, b.geometry.templateLineAngle);
}

// What cv::BFMatcher's cross-check gives, compared field by field. The
// caller stops at the first failure (QTest::currentTestFailed).
void compareWithGeneralMatcher(const cv::Mat &query, const cv::Mat &train)
{
    std::vector<cv::DMatch> expected;
    cv::BFMatcher(cv::NORM_HAMMING2, true).match(query, train, expected);
    const std::vector<cv::DMatch> matches = matchDescriptors(query, train);
    QCOMPARE(int(matches.size()), int(expected.size()));
    for (size_t i = 0; i < matches.size(); ++i) {
        QCOMPARE(matches[i].queryIdx, expected[i].queryIdx);
        QCOMPARE(matches[i].trainIdx, expected[i].trainIdx);
        QCOMPARE(matches[i].imgIdx, expected[i].imgIdx);
        QCOMPARE(matches[i].distance, expected[i].distance);
    }
}

// `rows` descriptors `width` bytes wide, each a copy of one of `pool` random
// rows (every row its own when `pool` is 0), bytes below `values`: few
// distinct rows and values make many equal distances.
cv::Mat randomDescriptors(cv::RNG &rng, int rows, int width, int values, int pool)
{
    cv::Mat source(pool > 0 ? pool : rows, width, CV_8UC1);
    rng.fill(source, cv::RNG::UNIFORM, 0, values);
    if (pool <= 0)
        return source;
    cv::Mat out(rows, width, CV_8UC1);
    for (int r = 0; r < rows; ++r)
        source.row(rng.uniform(0, pool)).copyTo(out.row(r));
    return out;
}

} // namespace

class AlignmentPathsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void testRandomDescriptorsMatchTheSame_data();
    void testRandomDescriptorsMatchTheSame();
    void testScanDescriptorsMatchTheSame_data();
    void testScanDescriptorsMatchTheSame();
    void testSheetsReadTheSame_data();
    void testSheetsReadTheSame();

private:
    QTemporaryDir m_dir;
};

void AlignmentPathsTest::testRandomDescriptorsMatchTheSame_data()
{
    QTest::addColumn<int>("queries");
    QTest::addColumn<int>("trains");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("values");
    QTest::addColumn<int>("pool");

    // Narrow descriptors of few values tie on almost every distance; equal
    // rows tie at zero both ways.
    QTest::newRow("one against one") << 1 << 1 << 32 << 256 << 0;
    QTest::newRow("one query, all trains equal") << 1 << 50 << 4 << 256 << 1;
    QTest::newRow("all queries equal, one train") << 60 << 1 << 8 << 256 << 1;
    QTest::newRow("everything equal") << 40 << 70 << 32 << 256 << 1;
    QTest::newRow("one byte, two values") << 200 << 300 << 1 << 2 << 0;
    QTest::newRow("one byte, four values") << 300 << 200 << 1 << 4 << 0;
    QTest::newRow("two bytes, three values") << 250 << 250 << 2 << 3 << 0;
    QTest::newRow("odd width, few distinct rows") << 150 << 400 << 3 << 256 << 7;
    QTest::newRow("ORB width, two values") << 400 << 800 << 32 << 2 << 0;
    QTest::newRow("ORB width, twenty distinct rows") << 500 << 900 << 32 << 256 << 20;
    QTest::newRow("ORB width, all values") << 600 << 1200 << 32 << 256 << 0;
    QTest::newRow("more queries than trains") << 700 << 90 << 32 << 16 << 0;
}

void AlignmentPathsTest::testRandomDescriptorsMatchTheSame()
{
    QFETCH(int, queries);
    QFETCH(int, trains);
    QFETCH(int, width);
    QFETCH(int, values);
    QFETCH(int, pool);

    for (int seed = 1; seed <= 20; ++seed) {
        cv::RNG rng(uint64(seed * 7919 + queries * 31 + trains));
        const cv::Mat query = randomDescriptors(rng, queries, width, values, pool);
        const cv::Mat train = randomDescriptors(rng, trains, width, values, pool);
        compareWithGeneralMatcher(query, train);
        compareWithGeneralMatcher(train, query);
        if (QTest::currentTestFailed())
            return;
    }
}

void AlignmentPathsTest::testScanDescriptorsMatchTheSame_data()
{
    QTest::addColumn<int>("dpi");
    QTest::newRow("150 dpi") << 150;
    QTest::newRow("300 dpi") << 300;
}

// The template's descriptors against those of scanned search areas, and one
// scan's against another's, as the printed-text search meets them.
void AlignmentPathsTest::testScanDescriptorsMatchTheSame()
{
    QFETCH(int, dpi);

    const RecognitionSettings s;
    const SheetSpec spec = dpi == 300 ? SheetSpec::benchmark(SheetSpec::PrintedText, 300)
                                      : SheetSpec::standard(SheetSpec::PrintedText, SheetSpec::CodeBubbles, 2, dpi);
    PipelineFixture fx(spec, m_dir.filePath(QStringLiteral("scenes%1").arg(dpi)), s);
    QVERIFY2(fx.ok(), qPrintable(fx.error()));
    const TemplatePage *tp = fx.model().page(1);
    QVERIFY(tp);
    QVERIFY(!tp->descriptors.empty());
    const QRect area = tp->printTextSearchRect;
    const cv::Ptr<cv::ORB> orb = cv::ORB::create(s.maxSceneFeaturePointCount, s.featurePointSearchScale,
                                                 s.featurePointSearchLevel, 3, 0, 2, cv::ORB::HARRIS_SCORE, 31, 20);
    std::vector<cv::Mat> scenes;
    for (int i = 0; i < 3; ++i) {
        Distortion d;
        d.rotationDegrees = 1.1 - 0.9 * i;
        d.dx = 5 * i - 6;
        d.dy = 4 - 3 * i;
        d.noiseSigma = 3 * i;
        d.noiseVariant = quint32(i + 1);
        const cv::Mat page = fx.renderer().renderPage(0, StudentMarks::random(fx.spec(), quint32(i + 1)), d);
        const cv::Rect search = cv::Rect(area.x(), area.y(), area.width(), area.height())
                                & cv::Rect(0, 0, page.cols, page.rows);
        cv::Mat scene;
        cv::threshold(page(search), scene, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
        std::vector<cv::KeyPoint> keys;
        cv::Mat descriptors;
        orb->detectAndCompute(scene, cv::noArray(), keys, descriptors);
        QVERIFY(descriptors.rows > 100);
        compareWithGeneralMatcher(tp->descriptors, descriptors);
        compareWithGeneralMatcher(descriptors, tp->descriptors);
        if (QTest::currentTestFailed())
            return;
        scenes.push_back(descriptors);
    }
    compareWithGeneralMatcher(scenes[0], scenes[1]);
    compareWithGeneralMatcher(scenes[2], scenes[0]);
}

void AlignmentPathsTest::testSheetsReadTheSame_data()
{
    QTest::addColumn<SheetSpec::AnchorKind>("anchor");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<Distortion>("distortion");

    Distortion turned;
    turned.rotationDegrees = 1.4;
    turned.dx = 9;
    turned.dy = -6;
    Distortion noisy;
    noisy.rotationDegrees = -0.9;
    noisy.noiseSigma = 6;
    noisy.blurKernel = 3;
    noisy.jpegQuality = 80;
    Distortion scaled;
    scaled.rotationDegrees = 0.6;
    scaled.dx = -4;
    scaled.scale = 1.004;
    Distortion shifted;
    shifted.dx = 14;
    shifted.dy = 11;

    for (SheetSpec::AnchorKind kind : {SheetSpec::BlackRectangles, SheetSpec::PrintedText}) {
        const char *name = kind == SheetSpec::PrintedText ? "printed text" : "rectangles";
        QTest::newRow(qPrintable(QStringLiteral("%1, turned and shifted").arg(QLatin1String(name))))
            << kind << 150 << turned;
        QTest::newRow(qPrintable(QStringLiteral("%1, noisy JPEG").arg(QLatin1String(name)))) << kind << 150 << noisy;
        QTest::newRow(qPrintable(QStringLiteral("%1, scaled a little").arg(QLatin1String(name))))
            << kind << 150 << scaled;
        QTest::newRow(qPrintable(QStringLiteral("%1, shifted only").arg(QLatin1String(name)))) << kind << 150 << shifted;
        QTest::newRow(qPrintable(QStringLiteral("%1, 300 dpi, turned").arg(QLatin1String(name)))) << kind << 300 << turned;
    }
}

void AlignmentPathsTest::testSheetsReadTheSame()
{
    QFETCH(SheetSpec::AnchorKind, anchor);
    QFETCH(int, dpi);
    QFETCH(Distortion, distortion);

    const RecognitionSettings settings;
    const QString exam = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_')).remove(QLatin1Char(',')));
    const SheetSpec spec = dpi == 300 ? SheetSpec::benchmark(anchor, 300)
                                      : SheetSpec::standard(anchor, SheetSpec::CodeBubbles, 2, dpi);
    PipelineFixture fx(spec, exam, settings);
    QVERIFY2(fx.ok(), qPrintable(fx.error()));
    QStringList paths;
    for (int s = 0; s < 2; ++s) {
        StudentMarks marks = StudentMarks::random(fx.spec(), quint32(31 + s));
        marks.scribbles = true;
        fx.addStudent(fx.spec().expectedCode(marks), 200 + s);
        Distortion perPage = distortion;
        perPage.noiseVariant = quint32(s + 5);
        perPage.rotationDegrees += 0.3 * s;
        paths << fx.writeStudent(marks, perPage, s);
    }
    QCOMPARE(paths.size(), 4);

    // The searches themselves, page by page, before and after the deskew.
    if (anchor == SheetSpec::PrintedText) {
        for (int i = 0; i < paths.size(); ++i) {
            const TemplatePage *tp = fx.model().page(i % 2 + 1);
            QVERIFY(tp);
            cv::Mat fast = cv::imread(QFile::encodeName(paths.at(i)).toStdString(), cv::IMREAD_GRAYSCALE);
            cv::Mat general = fast.clone();
            Located a = locate(*tp, fast, settings);
            Located b;
            {
                ReferenceAlignment reference;
                b = locate(*tp, general, settings);
            }
            compareLocated(a, b);
            QVERIFY2(b.found, qPrintable(b.error));
            rotateImage(fast, a.angle, cv::INTER_LINEAR);
            {
                ReferenceAlignment reference;
                rotateImage(general, b.angle, cv::INTER_LINEAR);
                b = locate(*tp, general, settings);
            }
            QCOMPARE(cv::countNonZero(fast != general), 0);
            a = locate(*tp, fast, settings);
            compareLocated(a, b);
            QVERIFY2(b.found, qPrintable(b.error));
        }
    }

    // Whole sheets: every signal and every file written.
    RecordingSink general(paths);
    {
        ReferenceAlignment reference;
        fx.run(general, paths.size(), 1, &settings);
    }
    const QMap<QString, QByteArray> generalFiles = filesUnder(exam);
    RecordingSink fast(paths);
    fx.run(fast, paths.size(), 1, &settings);
    const QMap<QString, QByteArray> fastFiles = filesUnder(exam);

    for (const RecordingSink::ImageRow &row : general.imageRows())
        QCOMPARE(row.result, QStringLiteral("√"));
    QCOMPARE(fast.events(), general.events());
    QCOMPARE(fastFiles.keys(), generalFiles.keys());
    QVERIFY(!generalFiles.isEmpty());
    for (auto it = generalFiles.cbegin(); it != generalFiles.cend(); ++it)
        QVERIFY2(fastFiles.value(it.key()) == it.value(), qPrintable(it.key()));
}

QTEST_GUILESS_MAIN(AlignmentPathsTest)
#include "alignmentpaths_test.moc"

// The deskew turn and the printed-text descriptor matching against the
// general OpenCV routines (OMR_REFERENCE_ALIGNMENT): every search, every
// turned page, and whole sheets of both anchor kinds must come out the same
// to the last pixel, signal for signal.

#include "anchors.h"
#include "featurealign.h"
#include "pipelinefixture.h"
#include "recordingsink.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

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

} // namespace

class AlignmentPathsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void testSheetsReadTheSame_data();
    void testSheetsReadTheSame();

private:
    QTemporaryDir m_dir;
};

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

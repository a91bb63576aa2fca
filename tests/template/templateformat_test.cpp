#include "templateformat.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <unistd.h>

using namespace TemplateFormat;

Q_DECLARE_METATYPE(cv::Mat)

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

bool writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray allByteValues()
{
    QByteArray b;
    for (int i = 0; i < 256; ++i)
        b.append(char(i));
    return b;
}

cv::Mat patchFrom(int rows, int cols, std::initializer_list<int> values)
{
    cv::Mat m(rows, cols, CV_8UC1);
    int i = 0;
    for (int v : values) {
        m.at<uchar>(i / cols, i % cols) = uchar(v);
        ++i;
    }
    return m;
}

QByteArray uncompressedText(const QString &matData)
{
    return qUncompress(QByteArray::fromBase64(matData.toLatin1()));
}

QString packText(const QByteArray &text)
{
    return QString::fromLatin1(qCompress(text).toBase64());
}

} // namespace

class TemplateFormatTest : public QObject
{
    Q_OBJECT

private slots:
    void testComplementBytes_data();
    void testComplementBytes();
    void testComplementFile_data();
    void testComplementFile();
    void testComplementFileFailure_data();
    void testComplementFileFailure();
    void testMatDataRoundTrip_data();
    void testMatDataRoundTrip();
    void testMatDataOfViewAndEmptyPatch();
    void testMatDataValues_data();
    void testMatDataValues();
    void testMatDataRefused_data();
    void testMatDataRefused();
    void testAngleAB_data();
    void testAngleAB();
};

void TemplateFormatTest::testComplementBytes_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expectedStart");

    QTest::newRow("xml declaration")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Lumbrisk/>\n")
        << QByteArray::fromHex("C3C0879293");
    QTest::newRow("every byte value") << allByteValues() << QByteArray::fromHex("FFFEFDFC");
    QTest::newRow("line ends are plain bytes") << QByteArray("\r\n\r\n") << QByteArray::fromHex("F2F5F2F5");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TemplateFormatTest::testComplementBytes()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expectedStart);

    const QByteArray once = complementBytes(input);
    QCOMPARE(once.size(), input.size());
    QVERIFY(once.startsWith(expectedStart));
    for (int i = 0; i < input.size(); ++i)
        QCOMPARE(uchar(once[i]), uchar(255 - uchar(input[i])));
    QCOMPARE(complementBytes(once), input);
}

void TemplateFormatTest::testComplementFile_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("template text") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                                 "<Lumbrisk Name=\"期中\" Version=\"4.1\">\n</Lumbrisk>\n");
    // CR, LF and their complements must survive unchanged both ways.
    QTest::newRow("binary with CR LF") << (allByteValues() + QByteArray("\r\n\xF2\xF5"));
    QTest::newRow("empty file") << QByteArray();
}

void TemplateFormatTest::testComplementFile()
{
    QFETCH(QByteArray, content);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("模板.tpl"));
    QVERIFY(writeAll(path, content));

    QString error;
    QVERIFY(complementFile(path, &error));
    QVERIFY(error.isEmpty());
    QCOMPARE(readAll(path), complementBytes(content));

    QVERIFY(complementFile(path, &error));
    QCOMPARE(readAll(path), content);

    // No temporary file is left beside the template.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("模板.tpl")});
}

void TemplateFormatTest::testComplementFileFailure_data()
{
    QTest::addColumn<QString>("scenario");

    QTest::newRow("missing file") << QStringLiteral("missing");
    QTest::newRow("path is a folder") << QStringLiteral("folder");
    // The temporary name beside it is longer than a file name may be, so the
    // new content cannot be written; this fails for every user, root included.
    QTest::newRow("temporary file cannot be created") << QStringLiteral("longname");
    QTest::newRow("read-only folder") << QStringLiteral("readonly");
}

void TemplateFormatTest::testComplementFileFailure()
{
    QFETCH(QString, scenario);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray content("<?xml version=\"1.0\"?>\n<Lumbrisk/>\n");
    QString path;
    if (scenario == QLatin1String("missing")) {
        path = dir.filePath(QStringLiteral("nothing.tpl"));
    } else if (scenario == QLatin1String("folder")) {
        path = dir.filePath(QStringLiteral("sub.tpl"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub.tpl")));
    } else if (scenario == QLatin1String("longname")) {
        path = dir.filePath(QString(250, QLatin1Char('a')) + QStringLiteral(".tpl"));
        QVERIFY(writeAll(path, content));
    } else {
        if (::geteuid() == 0)
            QSKIP("folder permissions do not bind root");
        const QString sub = dir.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkdir(sub));
        path = sub + QStringLiteral("/t.tpl");
        QVERIFY(writeAll(path, content));
        QVERIFY(QFile::setPermissions(sub, QFile::ReadOwner | QFile::ExeOwner));
    }

    const QStringList before = QDir(QFileInfo(path).absolutePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QString error;
    const bool ok = complementFile(path, &error);
    const QStringList after = QDir(QFileInfo(path).absolutePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (scenario == QLatin1String("readonly"))
        QFile::setPermissions(QFileInfo(path).absolutePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QVERIFY(!ok);
    QVERIFY(!error.isEmpty());
    QVERIFY2(error.contains(path), qPrintable(error));
    QCOMPARE(after, before);
    if (scenario == QLatin1String("longname") || scenario == QLatin1String("readonly"))
        QCOMPARE(readAll(path), content);
    if (scenario == QLatin1String("missing"))
        QVERIFY(!QFile::exists(path));
    QVERIFY(complementFile(path, nullptr) == false);   // a null message pointer is allowed
}

void TemplateFormatTest::testMatDataRoundTrip_data()
{
    QTest::addColumn<cv::Mat>("patch");
    QTest::addColumn<QByteArray>("expectedText");

    QTest::newRow("2x3 example") << patchFrom(2, 3, {0, 255, 255, 255, 0, 0}) << QByteArray("0,255,255,255,0,0");
    QTest::newRow("one pixel") << patchFrom(1, 1, {7}) << QByteArray("7");
    QTest::newRow("one column") << patchFrom(3, 1, {10, 100, 200}) << QByteArray("10,100,200");

    cv::Mat noise(37, 113, CV_8UC1);
    cv::randu(noise, 0, 256);
    QTest::newRow("noise 37x113") << noise << QByteArray();
}

void TemplateFormatTest::testMatDataRoundTrip()
{
    QFETCH(cv::Mat, patch);
    QFETCH(QByteArray, expectedText);

    const QString text = encodeMatData(patch);
    QVERIFY(!text.contains(QLatin1Char('\n')));

    // qCompress form: big-endian length of the value text, then zlib.
    const QByteArray packed = QByteArray::fromBase64(text.toLatin1());
    const QByteArray values = qUncompress(packed);
    QCOMPARE(qFromBigEndian<quint32>(packed.constData()), quint32(values.size()));
    if (!expectedText.isEmpty())
        QCOMPARE(values, expectedText);
    QCOMPARE(values.count(','), int(patch.total()) - 1);

    cv::Mat back;
    QString error;
    QVERIFY2(decodeMatData(text, patch.rows, patch.cols, back, &error), qPrintable(error));
    QCOMPARE(back.type(), CV_8UC1);
    QCOMPARE(back.rows, patch.rows);
    QCOMPARE(back.cols, patch.cols);
    QCOMPARE(cv::countNonZero(back != patch), 0);
}

void TemplateFormatTest::testMatDataOfViewAndEmptyPatch()
{
    // A view into a larger image encodes its own pixels row by row.
    cv::Mat big(10, 10, CV_8UC1);
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            big.at<uchar>(r, c) = uchar(r * 10 + c);
    const cv::Mat view = big(cv::Rect(2, 3, 3, 2));
    QCOMPARE(uncompressedText(encodeMatData(view)), QByteArray("32,33,34,42,43,44"));

    // A patch without pixels gives the empty value text, and no size can
    // take it back.
    const QString empty = encodeMatData(cv::Mat());
    QVERIFY(!empty.isEmpty());
    QCOMPARE(uncompressedText(empty), QByteArray());
    cv::Mat out = patchFrom(1, 1, {1});
    QString error;
    QVERIFY(!decodeMatData(empty, 0, 0, out, &error));
    QVERIFY(out.empty());
    QVERIFY(!error.isEmpty());
}

void TemplateFormatTest::testMatDataValues_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::addColumn<QVector<int>>("expected");

    QTest::newRow("low eight bits kept") << QByteArray("256,511,7") << 1 << 3 << QVector<int>{0, 255, 7};
    QTest::newRow("piece that is no number reads 0") << QByteArray("x,,9") << 1 << 3 << QVector<int>{0, 0, 9};
    QTest::newRow("row-major order") << QByteArray("1,2,3,4,5,6") << 3 << 2 << QVector<int>{1, 2, 3, 4, 5, 6};
    // A hand-edited or foreign file may carry more values than the patch has
    // pixels: the patch is taken from the first ones.
    QTest::newRow("values beyond the patch ignored") << QByteArray("1,2,3,4,5,6,7,8") << 2 << 3
                                                     << QVector<int>{1, 2, 3, 4, 5, 6};
    QTest::newRow("text far longer than the patch needs") << (QByteArray("9") + QByteArray(",255").repeated(5000))
                                                          << 1 << 1 << QVector<int>{9};
}

void TemplateFormatTest::testMatDataValues()
{
    QFETCH(QByteArray, text);
    QFETCH(int, rows);
    QFETCH(int, cols);
    QFETCH(QVector<int>, expected);

    cv::Mat out;
    QString error;
    QVERIFY2(decodeMatData(packText(text), rows, cols, out, &error), qPrintable(error));
    QCOMPARE(out.rows, rows);
    QCOMPARE(out.cols, cols);
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(int(out.at<uchar>(i / cols, i % cols)), expected[i]);
}

void TemplateFormatTest::testMatDataRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");

    const QString good = encodeMatData(patchFrom(2, 3, {0, 255, 255, 255, 0, 0}));
    QTest::newRow("too few values") << packText("0,255,255,255,0") << 2 << 3;
    QTest::newRow("size does not match") << good << 3 << 3;
    QTest::newRow("bad Base64") << QStringLiteral("@@not base64@@") << 2 << 3;
    QTest::newRow("Base64 with non-Latin text") << (good + QStringLiteral("模")) << 2 << 3;
    QTest::newRow("empty text") << QString() << 2 << 3;
    QTest::newRow("not compressed")
        << QString::fromLatin1(QByteArray("0,255,255,255,0,0 plain").toBase64()) << 2 << 3;
    QByteArray corrupt = qCompress(QByteArray("0,255,255,255,0,0"));
    corrupt[6] = char(corrupt[6] ^ 0x5A);
    corrupt[8] = char(corrupt[8] ^ 0x5A);
    QTest::newRow("corrupt stream") << QString::fromLatin1(corrupt.toBase64()) << 2 << 3;
    // The length prefix claims two gigabytes; it must be refused before
    // anything of that size is allocated.
    QByteArray huge = qCompress(QByteArray("0,255,255,255,0,0"));
    qToBigEndian<quint32>(0x7FFFFFF0u, huge.data());
    QTest::newRow("absurd length prefix") << QString::fromLatin1(huge.toBase64()) << 2 << 3;
    // A small attribute that inflates far beyond the length it declares must
    // not grow its buffer to fit.
    QByteArray bomb = qCompress(QByteArray(",").repeated(32 * 1024 * 1024));
    qToBigEndian<quint32>(64u, bomb.data());
    QTest::newRow("inflates beyond its declared length") << QString::fromLatin1(bomb.toBase64()) << 2 << 3;
    QTest::newRow("zero rows") << good << 0 << 3;
    QTest::newRow("negative cols") << good << 2 << -3;
    QTest::newRow("absurd size") << good << 100000 << 100000;
    QTest::newRow("size overflowing int") << good << 65536 << 65536;
}

void TemplateFormatTest::testMatDataRefused()
{
    QFETCH(QString, text);
    QFETCH(int, rows);
    QFETCH(int, cols);

    cv::Mat out = patchFrom(1, 2, {5, 6});
    QString error;
    QVERIFY(!decodeMatData(text, rows, cols, out, &error));
    QVERIFY(out.empty());
    QVERIFY(!error.isEmpty());
    QVERIFY(!decodeMatData(text, rows, cols, out, nullptr));
}

void TemplateFormatTest::testAngleAB_data()
{
    QTest::addColumn<QPoint>("a");
    QTest::addColumn<QPoint>("b");
    QTest::addColumn<QString>("expected");

    QTest::newRow("A left of B") << QPoint(100, 50) << QPoint(900, 50) << QStringLiteral("3.1416");
    QTest::newRow("A right of B") << QPoint(900, 50) << QPoint(100, 50) << QStringLiteral("0.0000");
    QTest::newRow("A slightly above B") << QPoint(900, 40) << QPoint(100, 50) << QStringLiteral("-0.0125");
    QTest::newRow("A above and left of B") << QPoint(80, 150) << QPoint(100, 500) << QStringLiteral("-1.6279");
    QTest::newRow("A straight below B") << QPoint(100, 600) << QPoint(100, 50) << QStringLiteral("1.5708");
    QTest::newRow("same centre") << QPoint(10, 10) << QPoint(10, 10) << QStringLiteral("0.0000");
}

void TemplateFormatTest::testAngleAB()
{
    QFETCH(QPoint, a);
    QFETCH(QPoint, b);
    QFETCH(QString, expected);
    QCOMPARE(formatAngleAB(a.x(), a.y(), b.x(), b.y()), expected);
}

QTEST_APPLESS_MAIN(TemplateFormatTest)
#include "templateformat_test.moc"

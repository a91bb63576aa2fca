// A printed-text anchor whose MatData holds more values than MatRows x
// MatCols: the designer reads the patch from the first values, warns about
// nothing, and the next save writes the same usable patch again.

#include "anchorsections.h"
#include "templatedocumentfixture.h"
#include "templateformat.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

QByteArray anchorPage(const QString &matData)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Lumbrisk Name=\"t\" Version=\"4.1\"><Pages>"
                          "<Page ID=\"1\" Width=\"1000\" Height=\"1400\"><Section Type=\"AnchorPoint\" "
                          "AnchorType=\"PrintText\"><PrintTextAnchor X=\"50\" Y=\"60\" Width=\"400\" Height=\"100\" "
                          "CenterX=\"62\" CenterY=\"81\" MatX=\"10\" MatY=\"20\" MatRows=\"2\" MatCols=\"3\" "
                          "MatData=\"%1\"/></Section></Page></Pages></Lumbrisk>")
        .arg(matData)
        .toUtf8();
}

QString attribute(const QByteArray &xml, const QString &name)
{
    const QRegularExpression re(QStringLiteral(" %1=\"([^\"]*)\"").arg(name));
    return re.match(QString::fromUtf8(xml)).captured(1);
}

} // namespace

class PrintTextPatchTest : public QObject {
    Q_OBJECT

private slots:
    void extraValuesAreIgnoredAndTheNextSaveKeepsThePatch();
};

void PrintTextPatchTest::extraValuesAreIgnoredAndTheNextSaveKeepsThePatch()
{
    const QString extra = QString::fromLatin1(qCompress(QByteArray("0,255,255,255,0,0,7,9,11")).toBase64());
    DocumentFixture fx(1);
    TemplateDocument::DocumentInfo info;
    QStringList warnings;
    QVERIFY(fx.read(anchorPage(extra), &info, &warnings));
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
    QCOMPARE(fx.canvas.sections.size(), 1);
    auto *anchor = qobject_cast<MySectionPrintTextAnchor *>(fx.canvas.sections.first());
    QVERIFY(anchor);
    QCOMPARE(anchor->textRect, QRect(10, 20, 3, 2));
    QCOMPARE(anchor->patch.rows, 2);
    QCOMPARE(anchor->patch.cols, 3);
    const uchar expected[] = {0, 255, 255, 255, 0, 0};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(int(anchor->patch.at<uchar>(i / 3, i % 3)), int(expected[i]));

    // Saved again: a 2 x 3 patch with exactly its six values, never 0 x 0.
    const QByteArray written = fx.write(info.name, QSize(1000, 1400), info.rows);
    QCOMPARE(attribute(written, QStringLiteral("MatRows")), QStringLiteral("2"));
    QCOMPARE(attribute(written, QStringLiteral("MatCols")), QStringLiteral("3"));
    QCOMPARE(qUncompress(QByteArray::fromBase64(attribute(written, QStringLiteral("MatData")).toLatin1())),
             QByteArray("0,255,255,255,0,0"));
}

QTEST_MAIN(PrintTextPatchTest)
#include "printtextpatch_test.moc"

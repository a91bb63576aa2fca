#pragma once
// Fixtures of the designer tests: small page images, template files in
// their stored form, and the bytes of a file.

#include "sheetrenderer.h"
#include "templateformat.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>
#include "testutil.h"

namespace DesignerTest {

// A named child widget of a form; the test fails loudly on a wrong name.
template <typename T>
T *child(QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

using TestUtil::fileBytes;
using TestUtil::writeFile;

// A white PNG of that size.
inline bool writePage(const QString &path, int width, int height)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(255);
    return image.save(path, "PNG");
}

// A JPEG of the stored size whose EXIF orientation tag holds `orientation`
// (0: no tag), black in the stored image's top-left quarter.
inline QByteArray orientedJpeg(int width, int height, int orientation)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 0; y < height / 4; ++y)
        for (int x = 0; x < width / 4; ++x)
            image.setPixel(x, y, qRgb(0, 0, 0));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 95);
    if (orientation == 0)
        return jpeg;
    const QByteArray tiff = QByteArray("MM\x00\x2a\x00\x00\x00\x08", 8) + QByteArray("\x00\x01", 2)
        + QByteArray("\x01\x12\x00\x03\x00\x00\x00\x01", 8) + char(0) + char(orientation) + QByteArray(2, 0)
        + QByteArray(4, 0);
    const QByteArray payload = QByteArray("Exif\x00\x00", 6) + tiff;
    const int length = payload.size() + 2;
    const QByteArray app1 = QByteArray("\xff\xe1", 2) + char(length >> 8) + char(length & 0xff) + payload;
    return jpeg.left(2) + app1 + jpeg.mid(2);
}

// The stored (complemented) form of a document text.
inline bool writeStored(const QString &path, const QByteArray &xml)
{
    return writeFile(path, TemplateFormat::complementBytes(xml));
}

// A document with one Page element per size, as WxH texts.
inline QByteArray pagesXml(const QString &name, const QStringList &sizes)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Lumbrisk Name=\"" + name.toUtf8()
        + "\" Version=\"4.1\">\n    <Pages>\n";
    for (int i = 0; i < sizes.size(); ++i) {
        const QStringList wh = sizes.at(i).split(QLatin1Char('x'));
        xml += "        <Page ID=\"" + QByteArray::number(i + 1) + "\" Width=\"" + wh.value(0).toUtf8()
            + "\" Height=\"" + wh.value(1).toUtf8() + "\"/>\n";
    }
    xml += "    </Pages>\n</Lumbrisk>\n";
    return xml;
}

// A template written by the sheet renderer in its stored form, with its
// blank pages as PNG files named so that they sort in page order.
struct RenderedTemplate {
    QString file;
    QStringList pages;
    QByteArray xml;     // the document text the file stores
};

inline bool writeRendered(const SheetRenderer &renderer, const QString &folder, RenderedTemplate *out)
{
    out->file = folder + QStringLiteral("/模板.tpl");
    out->xml = renderer.templateXml();
    out->pages.clear();
    if (!renderer.writeTemplate(out->file, true))
        return false;
    for (int i = 0; i < renderer.spec().pageCount; ++i) {
        const QString page = folder + QStringLiteral("/空白页-%1.png").arg(i + 1);
        if (!SheetRenderer::writeImage(page, renderer.blankPage(i), 0))
            return false;
        out->pages << page;
    }
    return true;
}

} // namespace DesignerTest

#pragma once
// Fixtures of the designer tests: small page images, template files in
// their stored form, and the bytes of a file.

#include "templateformat.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>

namespace DesignerTest {

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A white PNG of that size.
inline bool writePage(const QString &path, int width, int height)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(255);
    return image.save(path, "PNG");
}

// The stored (complemented) form of a document text.
inline bool writeStored(const QString &path, const QByteArray &xml)
{
    return writeBytes(path, TemplateFormat::complementBytes(xml));
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

} // namespace DesignerTest

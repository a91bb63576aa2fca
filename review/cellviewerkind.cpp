#include "cellviewerkind.h"

#include <QRegularExpression>

namespace {

bool matches(const QString &pattern, const QString &text)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(text).hasMatch();
}

} // namespace

CellViewerKind cellViewerKind(const QString &columnKey)
{
    if (matches(QStringLiteral("[0-9]{1,4}-[0-9]{1,4}"), columnKey))
        return CellViewerKind::Subject;
    if (matches(QStringLiteral("[0-9]{1,4}"), columnKey))
        return CellViewerKind::Object;
    if (matches(QStringLiteral("o-[0-9]{1,4}"), columnKey))
        return CellViewerKind::Optional;
    if (matches(QStringLiteral("e-[0-9]{1,4}"), columnKey))
        return CellViewerKind::EntireSheet;
    if (columnKey == QStringLiteral("考号"))
        return CellViewerKind::Code;
    return CellViewerKind::None;
}

CropFiles cropFiles(const QString &examFolder, const QString &subFolder, const QString &name)
{
    const QString base = examFolder + QLatin1Char('/') + subFolder + QLatin1Char('/') + name;
    return {base + QStringLiteral("-o.jpg"), base + QStringLiteral("-b.png")};
}

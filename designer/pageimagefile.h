#pragma once
// What the designer asks of a page image file: its size as the page shows it,
// and making a file that relies on a stored orientation upright on disk.

#include <QSize>
#include <QString>

namespace PageImageFile {

// Width and height of the upright page (a stored quarter turn swaps them);
// an invalid size when the file is no readable image.
QSize size(const QString &path);

// When the file's stored orientation is a plain rotation by 90, 180 or 270
// degrees, rewrites it upright (through a temporary file, so a failure
// leaves it as it was) and sets `rewritten`. Any other orientation, mirrored
// ones included, leaves the file untouched. False, with a message, only when
// the file needed rewriting and could not be read or written.
bool bakeOrientation(const QString &path, bool *rewritten, QString *errorText);

} // namespace PageImageFile

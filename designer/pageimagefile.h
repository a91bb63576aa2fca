#pragma once
// What the designer asks of a page image file: its picture and its size as
// the page shows them, and making a file that relies on a stored orientation
// upright on disk. One rule for all three: the page is the file turned (and
// mirrored) as its stored orientation says, as image viewers and the
// processing program's reader show it.

#include <QImage>
#include <QSize>
#include <QString>

namespace PageImageFile {

// The page's picture; a null image when the file is no readable image.
QImage read(const QString &path);

// Width and height of that picture (a stored quarter turn swaps them); an
// invalid size when the file is no readable image.
QSize size(const QString &path);

// When the file stores an orientation other than upright (a turn, a mirror
// or both), rewrites it upright (through a temporary file, so a failure
// leaves it as it was) and sets `rewritten`. False, with a message, only
// when the file needed rewriting and could not be read or written.
bool bakeOrientation(const QString &path, bool *rewritten, QString *errorText);

} // namespace PageImageFile

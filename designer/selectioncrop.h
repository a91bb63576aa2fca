#pragma once
// The page region under the canvas selection, as the dialogs that show it
// at full resolution cut it.

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

class MyLabel;

namespace SelectionCrop {

// The selection in page pixels (canvas geometry over the zoom, truncated)
// clipped to an image of `imageSize`; empty without a selection or when
// nothing of it lies on the image.
QRect region(const MyLabel *canvas, const QSize &imageSize);

// The page image file of the canvas cut to `region`; a null image, with the
// reason in `errorText`, when the file cannot be read or the selection lies
// off the image.
QImage cut(const MyLabel *canvas, QRect *region, QString *errorText);

} // namespace SelectionCrop

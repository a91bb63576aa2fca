#pragma once
// Absent mark, student code (bubbles or barcode) and the two-tone test.

#include <QRect>
#include <QString>
#include <opencv2/core.hpp>

// Share of dark pixels in the absent-mark box (relative to the origin). The
// box is binarised in place. ok is false, with errorText, when the box is not
// wholly inside the image.
void checkAbsentMark(cv::Mat image, QRect box, float coverShare, int originX, int originY,
                     bool &ok, QString &errorText, bool &absent);

// Direction 1 turns the area 90 degrees clockwise first. True when exactly one
// symbol was read; the out-texts are written only then.
bool readBarcodeCode(cv::Mat image, int direction, QString &symbology, QString &code);
bool scanBarcode(cv::Mat image, QString &symbology, QString &code);

// Reads the digit grid and appends the digits ("X" for an unmarked position)
// to `code`; returns the resulting text. Writes "<code>-o.jpg" and
// "<code>-b.png" into `folder` when the code is complete. When the area cannot
// hold the grid (smaller than a bubble, or no positions) nothing is read, the
// returned text is empty and *errorText says why.
QString readCodeBubbles(cv::Mat image, const QString &folder, int numberDirection, int count,
                        int bubbleWidth, int bubbleHeight, float coverShare, int markPointAlgo,
                        int threshold, QString &code, QString *errorText = nullptr);

// True when at most two grey levels occur (large images are sampled down).
bool isBinaryImage(cv::Mat image);

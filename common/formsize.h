#pragma once
// Fixed-size forms: the size drawn in the form editor, but never smaller than
// what the layout needs for its texts in the font actually in use (a Chinese
// font needs more height than the one the form was drawn with).

class QWidget;

namespace FormSize {

// Fixes the form at its present size grown to its layout's minimum. Call it
// again after a text of the form changed.
void fixAtLeastLayout(QWidget *form);

} // namespace FormSize

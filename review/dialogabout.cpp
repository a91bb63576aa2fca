#include "dialogabout.h"
DialogAbout::DialogAbout(QWidget *parent) : QDialog(parent)
{
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(QStringLiteral("关于"));
}

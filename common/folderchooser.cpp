#include "folderchooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

QString chooseFolder(QWidget *parent, const QString &title, const QString &current)
{
    const QString start = !current.isEmpty() && QFileInfo(current).isDir() ? current : QString();
    const QString chosen = QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir())
        return QString();
    return QDir::toNativeSeparators(chosen);
}

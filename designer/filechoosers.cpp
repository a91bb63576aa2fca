#include "filechoosers.h"

#include <QFileDialog>
#include <QListWidget>

namespace FileChoosers {

namespace {
const QString kTemplateFilter = QStringLiteral("Template File(*.tpl);");
}

QStringList pageImages(QWidget *parent)
{
    return QFileDialog::getOpenFileNames(parent, QStringLiteral("指定答卷图片"), QString(),
                                         QStringLiteral("Image files(*.dll *.bmp *.jpg *.png *.gif *.tif);;All files (*.*)"));
}

QString templateToOpen(QWidget *parent)
{
    return QFileDialog::getOpenFileName(parent, QStringLiteral("打开模板文件"), QString(), kTemplateFilter);
}

QString templateToComplement(QWidget *parent)
{
    return QFileDialog::getOpenFileName(parent, QStringLiteral("指定模板文件"), QString(), kTemplateFilter);
}

QString templateToSave(QWidget *parent, const QString &startPath)
{
    return QFileDialog::getSaveFileName(parent, QStringLiteral("保存文件"), startPath, kTemplateFilter);
}

void showImages(QListWidget *list, const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    list->clear();
    for (const QString &path : paths)
        list->insertItem(list->count(), path);
}

QStringList listedImages(const QListWidget *list)
{
    QStringList paths;
    for (int row = 0; row < list->count(); ++row)
        paths << list->item(row)->text();
    return paths;
}

} // namespace FileChoosers

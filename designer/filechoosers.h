#pragma once
// The designer's file choosers. Each dialog holds its chooser as a function
// that starts as one of these, so a test can answer it instead of a person.

#include <QString>
#include <QStringList>

#include <functional>

class QListWidget;
class QWidget;

namespace FileChoosers {

using OpenFiles = std::function<QStringList(QWidget *parent)>;
using OpenFile = std::function<QString(QWidget *parent)>;
using SaveFile = std::function<QString(QWidget *parent, const QString &startPath)>;

// Blank sheet images, one per page: "指定答卷图片".
QStringList pageImages(QWidget *parent);
// A template file to open: "打开模板文件" (the open dialog) or
// "指定模板文件" (the complement tool).
QString templateToOpen(QWidget *parent);
QString templateToComplement(QWidget *parent);
// Where to save a template: "保存文件".
QString templateToSave(QWidget *parent, const QString &startPath);

// Replaces the list's items by `paths` (the list sorts them) when there are
// any; keeps them otherwise.
void showImages(QListWidget *list, const QStringList &paths);
// The listed paths, first row to last: the page order.
QStringList listedImages(const QListWidget *list);

} // namespace FileChoosers

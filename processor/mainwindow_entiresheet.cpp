// Whole-sheet images: a black-and-white PNG of every page of a student's
// sheet, made for the image upload and the results data file.

#include "dialoginitforentiresheetuploadtip.h"
#include "mainwindow.h"
#include "mytablewidgetresult.h"
#include "threadinitforentiresheetupload.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QThread>

#include <algorithm>
#include <vector>

namespace {

// Student codes and exam ids become file and folder names.
bool isSafeName(const QString &name)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_-]+$"));
    return safe.match(name).hasMatch();
}

// The page as an Otsu-binarised PNG; empty when the page cannot be read.
QByteArray binaryPng(const QString &pagePath, int compressionLevel)
{
    try {
        cv::Mat grey = cv::imread(QFile::encodeName(pagePath).toStdString(), cv::IMREAD_GRAYSCALE);
        if (grey.empty())
            return QByteArray();
        cv::threshold(grey, grey, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
        std::vector<uchar> png;
        if (!cv::imencode(".png", grey, png, {cv::IMWRITE_PNG_COMPRESSION, compressionLevel}))
            return QByteArray();
        return QByteArray(reinterpret_cast<const char *>(png.data()), int(png.size()));
    } catch (const cv::Exception &) {
        return QByteArray();
    }
}

// Writes beside the target and renames over it only when every byte is on
// disk, so a failed write never leaves a broken or empty file.
bool writeFileSafely(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace

void MainWindow::saveSheetsToBinaryPNG(int row)
{
    if (row < 0 || row >= tableWidgetResults->rowCount())
        return;
    const QTableWidgetItem *codeItem = tableWidgetResults->item(row, 0);
    if (!codeItem)
        return;
    // Until the sheet is complete the role holds the dropped flag, not paths.
    const QVariant pathsData = codeItem->data(Qt::UserRole + 2);
    if (pathsData.userType() != QMetaType::QStringList)
        return;
    const QStringList paths = pathsData.toStringList();
    if (paths.isEmpty())
        return;

    const QString code = codeItem->text();
    if (!isSafeName(code)) {
        addLog(QStringLiteral("考号“%1”含有不能用于文件名的字符，没有生成整卷图片").arg(code));
        return;
    }
    if (!isSafeName(examId)) {
        addLog(QStringLiteral("考试编号“%1”不能用于文件夹名，没有生成整卷图片").arg(examId));
        return;
    }
    const QString folder = examFolder() + QStringLiteral("/entires");
    if (!QDir().mkpath(folder)) {
        addLog(QStringLiteral("创建文件夹失败，没有生成整卷图片：") + folder);
        return;
    }
    const int level = std::clamp(entrieSheetPNGCompressionLevel, 0, 9);

    for (int i = 1; i <= paths.size(); ++i) {
        const int column = resultColumnOf(QStringLiteral("e-%1").arg(i));
        if (column < 0)
            continue;
        const QString pagePath = paths.at(i - 1);
        const QByteArray png = binaryPng(pagePath, level);
        if (png.isEmpty()) {
            addLog(QStringLiteral("整卷图片读取失败，已跳过：") + pagePath);
            continue;
        }
        const QString target = QStringLiteral("%1/%2-%3.png").arg(folder, code).arg(i);
        QString error;
        if (!writeFileSafely(target, png, &error)) {
            addLog(QStringLiteral("整卷图片保存失败：%1（%2）").arg(target, error));
            continue;
        }
        auto *item = new QTableWidgetItem(QStringLiteral("×"));
        item->setData(Qt::UserRole + 1, target);
        item->setForeground(QColor(255, 0, 0));
        item->setBackground(QColor(230, 230, 230));
        tableWidgetResults->setItem(row, column, item);
    }
}

void MainWindow::slotSaveSheetsToBinaryPNG(int row)
{
    saveSheetsToBinaryPNG(row);
    initForEntireSheetUploadTip->setValue(row + 1);
    initForEntireSheetUploadWorker->rowCount = tableWidgetResults->rowCount();
}

void MainWindow::initForEntireSheetUploadFinished()
{
    initForEntireSheetUploadThread->quit();
    // The worker has sent its last signal; waiting here means the next
    // preparation never finds the thread half-stopped and loses its start.
    initForEntireSheetUploadThread->wait();
    initForEntireSheetUploadTip->accept();
    tableWidgetResults->resizeColumnsToContents();
}

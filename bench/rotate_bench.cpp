// Batch rotation throughput: the rotation tool (dialog, worker thread,
// temporary file and rename per page) against a plain OpenCV loop of read,
// rotate and write over the same 300-dpi JPEG scans.

#include "unattended.h"
#include "dialogrotate.h"
#include "omrresources.h"
#include "pipelinefixture.h"
#include "rotatethread.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>

namespace {

// Seconds the rotation tool takes for every row of `table`.
double timeTool(QTableWidget &table)
{
    DialogRotate dialog;
    dialog.imageTable = &table;
    dialog.show();
    dialog.findChild<QLineEdit *>(QStringLiteral("lineEditStartID"))->setText(QStringLiteral("1"));
    dialog.findChild<QLineEdit *>(QStringLiteral("lineEditEndID"))->setText(QString::number(table.rowCount()));
    QElapsedTimer clock;
    clock.start();
    dialog.findChild<QPushButton *>(QStringLiteral("pushButtonStart"))->click();
    while (dialog.isRotating())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (!dialog.failedFiles.isEmpty())
        std::fprintf(stderr, "the tool failed on %d files\n", dialog.failedFiles.size());
    return seconds;
}

// Seconds of imread, rotate and imwrite over every file.
double timePlainLoop(const QStringList &paths)
{
    QElapsedTimer clock;
    clock.start();
    for (const QString &path : paths) {
        const std::string file = QFile::encodeName(path).toStdString();
        const cv::Mat image = cv::imread(file, cv::IMREAD_UNCHANGED);
        cv::Mat turned;
        cv::rotate(image, turned, cv::ROTATE_90_CLOCKWISE);
        if (!cv::imwrite(file, turned))
            std::fprintf(stderr, "plain loop cannot write %s\n", qPrintable(path));
    }
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    initOmrResources();
    UnattendedBoxes boxes;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Batch rotation benchmark"));
    parser.addHelpOption();
    const QCommandLineOption pagesOption(QStringLiteral("pages"), QStringLiteral("Page files to rotate."),
                                         QStringLiteral("n"), QStringLiteral("500"));
    const QCommandLineOption dpiOption(QStringLiteral("dpi"), QStringLiteral("Scan resolution."), QStringLiteral("dpi"),
                                       QStringLiteral("300"));
    const QCommandLineOption roundsOption(QStringLiteral("rounds"),
                                          QStringLiteral("Timed runs of each; the best counts."), QStringLiteral("n"),
                                          QStringLiteral("2"));
    parser.addOptions({pagesOption, dpiOption, roundsOption});
    parser.process(app);
    const int pages = std::max(parser.value(pagesOption).toInt(), 1);
    const int dpi = std::clamp(parser.value(dpiOption).toInt(), 100, 600);
    const int rounds = std::max(parser.value(roundsOption).toInt(), 1);

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    // A few rendered scans, copied to as many page files as asked.
    PipelineFixture fx(SheetSpec::benchmark(SheetSpec::BlackRectangles, dpi), dir.filePath(QStringLiteral("exam")),
                       RecognitionSettings());
    if (!fx.ok()) {
        std::fprintf(stderr, "template not loaded: %s\n", qPrintable(fx.error()));
        return 1;
    }
    QStringList samples;
    for (int s = 0; s < 4; ++s) {
        StudentMarks marks = StudentMarks::random(fx.spec(), quint32(s + 1));
        marks.scribbles = true;
        Distortion d;
        d.noiseSigma = 2;
        d.noiseVariant = quint32(s);
        d.jpegQuality = 85;
        samples << fx.writeStudent(marks, d, s);
    }
    if (samples.isEmpty()) {
        std::fprintf(stderr, "rendering failed\n");
        return 1;
    }
    QDir().mkpath(dir.filePath(QStringLiteral("pages")));
    QStringList paths;
    QTableWidget table(0, 1);
    qint64 bytes = 0;
    for (int i = 0; i < pages; ++i) {
        const QString path = dir.filePath(QStringLiteral("pages/%1.jpg").arg(i + 1, 4, 10, QLatin1Char('0')));
        if (!QFile::copy(samples[i % samples.size()], path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        bytes += QFileInfo(path).size();
        paths << path;
        table.insertRow(i);
        auto *cell = new QTableWidgetItem(QFileInfo(path).fileName());
        cell->setData(Qt::UserRole + 2, QDir::toNativeSeparators(path));
        table.setItem(i, 0, cell);
    }
    const cv::Mat first = cv::imread(QFile::encodeName(paths.first()).toStdString(), cv::IMREAD_UNCHANGED);
    std::printf("%d JPEG pages of %dx%d (%d channel), %d dpi, %.0f KiB each on average; best of %d runs\n", pages,
                first.cols, first.rows, first.channels(), dpi, bytes / 1024.0 / pages, rounds);
    std::fflush(stdout);

    // Alternate the two so both meet the same cache and disk state.
    double tool = 1e300;
    double plain = 1e300;
    for (int r = 0; r < rounds; ++r) {
        plain = std::min(plain, timePlainLoop(paths));
        tool = std::min(tool, timeTool(table));
    }
    const double toolRate = pages / tool;
    const double plainRate = pages / plain;
    const double ratio = toolRate / plainRate;
    std::printf("  plain OpenCV loop   %7.2f s   %6.2f pages/s\n", plain, plainRate);
    std::printf("  rotation tool       %7.2f s   %6.2f pages/s\n", tool, toolRate);
    std::printf("rotation tool >= 0.8 of the plain loop: ratio %.2f %s\n", ratio, ratio >= 0.8 ? "(met)" : "(NOT MET)");
    return 0;
}

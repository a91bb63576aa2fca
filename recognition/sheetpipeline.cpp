#include "sheetpipeline.h"

#include "anchors.h"
#include "answers.h"
#include "codereader.h"
#include "featurealign.h"
#include "imagewritequeue.h"
#include "markreader.h"
#include "pagescale.h"
#include "pageimage.h"
#include "subjectcutter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <exception>

RecognitionRun::RecognitionRun(QMutex &mutex, int &nextRow, int workerCount)
    : claimMutex(mutex)
    , processNextRow(nextRow)
    , m_count(workerCount > 0 ? workerCount : 1)
    , m_rows(new std::atomic<int>[size_t(m_count)])
    , m_waiting(new std::atomic<bool>[size_t(m_count)])
{
    for (int i = 0; i < m_count; ++i) {
        m_rows[size_t(i)] = -1;
        m_waiting[size_t(i)] = false;
    }
}

void WorkerState::configure(const RecognitionSettings &settings)
{
    extension = settings.subjectImageFormatIndex != 0 ? QStringLiteral("png") : QStringLiteral("jpg");
    jpegQuality = settings.subjectImageQuality;
    pngCompressionLevel = settings.subjectImagePNGCompressionLevel;
    imwriteParams.clear();
    if (extension == QLatin1String("jpg"))
        imwriteParams = {cv::IMWRITE_JPEG_QUALITY, jpegQuality};
    else
        imwriteParams = {cv::IMWRITE_PNG_COMPRESSION, pngCompressionLevel};
}

cv::Rect parseRect(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    int v[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4 && i < parts.size(); ++i)
        v[i] = parts.at(i).toInt();
    return cv::Rect(v[0], v[1], v[2], v[3]);
}

bool saveOriginalJpg(const cv::Mat &image, const QString &code, const QString &dir)
{
    const QString path = QStringLiteral("%1/%2-o.jpg").arg(dir, code);
    try {
        return cv::imwrite(QFile::encodeName(path).toStdString(), image, {cv::IMWRITE_JPEG_QUALITY, 30});
    } catch (const cv::Exception &) {
        return false;
    }
}

namespace {

// A student code becomes part of file names: only letters, digits, '-' and '_'.
bool isSafeCode(const QString &code)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-]+$"));
    return pattern.match(code).hasMatch();
}

bool outsideMargin(int found, int expected, float margin)
{
    if (expected <= 0)
        return true;
    return std::fabs(float(found - expected) / float(expected)) > margin;
}

// The found rectangle is relative to the search area clipped at the image's
// top-left corner, so its page position starts from the clipped corner.
cv::Point clippedCorner(const cv::Rect &area)
{
    return cv::Point(std::max(area.x, 0), std::max(area.y, 0));
}

cv::Point blockCentre(const cv::Rect &found, const cv::Rect &area)
{
    const cv::Point c = clippedCorner(area);
    return cv::Point(found.width / 2 + found.x + c.x, found.height / 2 + found.y + c.y);
}

cv::Point2d toPoint(const QPoint &p)
{
    return cv::Point2d(p.x(), p.y());
}

QString pointText(int x, int y)
{
    return QStringLiteral("%1,%2").arg(x).arg(y);
}

// Angles differ by whole turns when the line between the anchors points
// almost straight left; the rotation wanted is the smallest equivalent one.
float normalisedDegrees(float degrees)
{
    while (degrees > 180.0f)
        degrees -= 360.0f;
    while (degrees < -180.0f)
        degrees += 360.0f;
    return degrees;
}

// The pixels of the areas a search binarises in place, kept to be put back
// once it is done, so that the page itself can be searched instead of a copy.
class SearchedAreas {
public:
    // The part of `area` a search changes: its start clipped at 0, its size
    // at the page.
    void save(const cv::Mat &page, const cv::Rect &area)
    {
        const cv::Rect changed = cv::Rect(std::max(area.x, 0), std::max(area.y, 0), area.width, area.height)
                                 & cv::Rect(0, 0, page.cols, page.rows);
        if (changed.area() > 0)
            m_saved.push_back({changed, page(changed).clone()});
    }
    // Newest first: where areas overlap, the first one's pixels come last.
    void restore(cv::Mat &page)
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
            it->pixels.copyTo(page(it->area));
        m_saved.clear();
    }
    void clear() { m_saved.clear(); }

private:
    struct Saved {
        cv::Rect area;
        cv::Mat pixels;
    };
    std::vector<Saved> m_saved;
};

// Adds the time of a scope to one counter, when timings are wanted.
class StageClock {
public:
    explicit StageClock(std::atomic<long long> *counter) : m_counter(counter)
    {
        if (m_counter)
            m_timer.start();
    }
    ~StageClock() { stop(); }
    void stop()
    {
        if (m_counter)
            *m_counter += m_timer.nsecsElapsed();
        m_counter = nullptr;
    }

private:
    std::atomic<long long> *m_counter;
    QElapsedTimer m_timer;
};

class SheetJob {
public:
    SheetJob(const PipelineContext &ctx, RecognitionRun &run, WorkerState &worker, int firstRow,
             const QVector<PageRowInput> &rows, PipelineSink &sink)
        : m_ctx(ctx), m_model(*ctx.model), m_s(ctx.settings), m_run(run), m_worker(worker),
          m_firstRow(firstRow), m_rows(rows), m_sink(sink),
          m_pages(ctx.model->pagesPerSheet),
          m_codesDir(ctx.sheetDir + QStringLiteral("/codes")),
          m_objectsDir(ctx.sheetDir + QStringLiteral("/objects")),
          m_subjectsDir(ctx.sheetDir + QStringLiteral("/subjects")),
          m_optionalsDir(ctx.sheetDir + QStringLiteral("/optionals"))
    {
    }

    void run()
    {
        m_row = m_firstRow;
        try {
            for (int i = 0; i < m_pages; ++i) {
                m_row = m_firstRow + i;
                if (!processPage(i))
                    return;
            }
            finishSheet();
        } catch (const cv::Exception &e) {
            fail(QStringLiteral("答卷识别时发生图像处理错误：%1").arg(QString::fromStdString(e.msg)));
        } catch (const std::exception &e) {
            fail(QStringLiteral("答卷识别时发生未知错误：%1").arg(QString::fromLocal8Bit(e.what())));
        } catch (...) {
            fail(QStringLiteral("答卷识别时发生未知错误。"));
        }
    }

private:
    // The sheet goes back to unprocessed; the code registry follows what the
    // receiver does to the tables.
    void unprocessed(int start)
    {
        drainItemImages();
        m_run.codes.releaseSheet(start);
        m_sink.setUnprocessed(start, start + m_pages);
    }

    // The answer images for review: a write that failed is told, with its
    // file and the system's reason, the answers stand as read.
    void drainItemImages()
    {
        m_itemImages.drain();
        for (const QString &failed : m_itemImages.takeFailures())
            m_sink.addLog(QStringLiteral("考号：%1 题目图片无法写入文件 %2").arg(m_code, failed));
    }

    // log, unprocessed, result: the usual way a sheet fails.
    void fail(const QString &text)
    {
        m_sink.addLog(text);
        unprocessed(m_firstRow);
        m_sink.setProcessResult(m_row, text);
    }

    bool processPage(int i)
    {
        if (i >= m_rows.size()) {
            fail(QStringLiteral("答卷图片行不完整，请检查图片列表。"));
            return false;
        }
        const PageRowInput &in = m_rows.at(i);
        const int pageId = i % m_pages + 1;
        const TemplatePage *tp = m_model.page(pageId);
        if (!tp) {
            fail(QStringLiteral("模板中没有第 %1 页").arg(pageId));
            return false;
        }
        if (in.processed)
            return false;

        m_originalPaths << in.path;
        m_sink.loadImage(in.path);

        cv::Mat loaded;
        QString loadError;
        {
            StageClock clock(counter(&PipelineTimings::decode));
            loaded = loadPage(in.path, loadError);
        }
        if (m_ctx.timings)
            ++m_ctx.timings->pages;
        if (loaded.empty()) {
            fail(loadError);
            return false;
        }
        // The searches and readers work on `work`: the page itself, with what
        // they binarise put back.
        m_searched.clear();
        cv::Mat work = scratchOf(loaded);

        if (m_worker.classifyImageModeOnce && !m_worker.classifyDone) {
            m_isBinary = isBinaryImage(work);
            m_worker.classifyDone = true;
        } else if (m_worker.extension == QLatin1String("png")) {
            m_isBinary = isBinaryImage(work);
        }

        StageClock alignClock(counter(&PipelineTimings::alignment));
        QVector<FoundCornerPoint> corners;
        if (in.cornerCheck) {
            QString error;
            for (const CornerCheckArea &a : m_model.cornerChecks) {
                if (a.page == pageId)
                    m_searched.save(work, cv::Rect(a.rect.x(), a.rect.y(), a.rect.width(), a.rect.height()));
            }
            if (!checkCorners(m_model.cornerChecks, pageId, work, error, m_s.anchorPointErrorMargin, &corners)) {
                fail(error);
                return false;
            }
        } else if (hasKnownCornerPoints(pageId)) {
            // A point far off its area still tells how far off the page is.
            corners = findCornerPoints(m_model.cornerChecks, pageId, work, m_s.anchorPointErrorMargin,
                                       kScaleReach);
        }
        m_scaleMarks.clear();
        for (const FoundCornerPoint &f : qAsConst(corners)) {
            const CornerCheckArea &a = m_model.cornerChecks.at(f.area);
            if (a.pointKnown())
                m_scaleMarks << ScaleMark{toPoint(a.pointCentre()), cv::Point2d(f.centre)};
        }
        m_scale = PageScale();

        if (!checkSize(work.cols, tp->width, QStringLiteral("答卷图片宽超出允许误差"))
            || !checkSize(work.rows, tp->height, QStringLiteral("答卷图片高超出允许误差")))
            return false;

        int ox = 0;
        int oy = 0;
        const bool aligned = tp->isRectangleAnchor ? alignByRectangles(*tp, in, loaded, work, ox, oy)
                                                   : alignByPrintText(*tp, in, loaded, work, ox, oy);
        if (!aligned)
            return false;
        alignClock.stop();
        if (m_scale.isUnit()) {
            m_sections = &m_model;
        } else {
            m_scaledSections = scaledSections(m_model, pageId, m_scale);
            m_sections = &m_scaledSections;
        }

        if (pageId == 1 && !readCodePage(in, work, ox, oy))
            return false;

        m_sink.setProcessResult(m_row, QStringLiteral("√"));

        return readObjectives(pageId, work, ox, oy) && cutSubjects(pageId, loaded, ox, oy)
            && readOptionals(pageId, work, loaded, ox, oy);
    }

    std::atomic<long long> *counter(std::atomic<long long> PipelineTimings::*member) const
    {
        return m_ctx.timings ? &(m_ctx.timings->*member) : nullptr;
    }

    cv::Mat loadPage(const QString &path, QString &error) const
    {
        if (!m_s.redFilter)
            return readPageImage(path, cv::IMREAD_GRAYSCALE, &error);
        cv::Mat colour = readPageImage(path, cv::IMREAD_COLOR, &error);
        if (colour.empty())
            return colour;
        std::vector<cv::Mat> channels;
        cv::split(colour, channels);
        if (channels.size() > 2)
            return channels[2];
        error = QStringLiteral("答卷图片读取失败：%1").arg(path);
        return cv::Mat();
    }

    bool checkSize(int actual, int expected, const QString &text)
    {
        if (!outsideMargin(actual, expected, m_s.sheetSizeErrorMargin))
            return true;
        unprocessed(m_firstRow);
        m_sink.setProcessResult(m_row, text);
        m_sink.addLog(text);
        return false;
    }

    bool alignByRectangles(const TemplatePage &tp, const PageRowInput &in, cv::Mat &loaded, cv::Mat &work,
                           int &ox, int &oy)
    {
        cv::Rect areaA, areaB;
        float angleAB = 0.0f;
        int aw = 0, ah = 0, bw = 0, bh = 0, pw = 0, ph = 0;
        tp.anchorData(areaA, areaB, angleAB, aw, ah, bw, bh, pw, ph);
        if (!in.anchorAArea.isEmpty())
            areaA = parseRect(in.anchorAArea);
        if (!in.anchorBArea.isEmpty())
            areaB = parseRect(in.anchorBArea);

        bool found = false;
        m_searched.save(work, areaA);
        m_searched.save(work, areaB);
        const cv::Rect blockA = findAnchorBlock(work, areaA, found);
        if (!found) {
            fail(QStringLiteral("定位点A查找失败"));
            return false;
        }
        if (outsideMargin(blockA.width, aw, m_s.anchorPointErrorMargin)
            || outsideMargin(blockA.height, ah, m_s.anchorPointErrorMargin)) {
            fail(QStringLiteral("定位点A宽或者高超出允许误差"));
            return false;
        }
        const cv::Rect blockB = findAnchorBlock(work, areaB, found);
        if (!found) {
            fail(QStringLiteral("定位点B查找失败"));
            return false;
        }
        if (outsideMargin(blockB.width, bw, m_s.anchorPointErrorMargin)
            || outsideMargin(blockB.height, bh, m_s.anchorPointErrorMargin)) {
            fail(QStringLiteral("定位点B宽或者高超出允许误差"));
            return false;
        }

        const cv::Point a = blockCentre(blockA, areaA);
        const cv::Point b = blockCentre(blockB, areaB);
        m_sink.setAnchorPointData(m_row, QStringLiteral("A"), pointText(a.x, a.y));
        m_sink.setAnchorPointData(m_row, QStringLiteral("B"), pointText(b.x, b.y));

        const float measured = std::atan2(float(a.y - b.y), float(a.x - b.x));
        float angle = normalisedDegrees((measured - angleAB) * 180.0f / 3.1415927f);
        const cv::Point2d templateA(tp.anchorA.centerX, tp.anchorA.centerY);
        const cv::Point2d templateB(tp.anchorB.centerX, tp.anchorB.centerY);
        m_scaleMarks << ScaleMark{templateB, cv::Point2d(b)};
        if (!measureScale(tp, ScaleMark{templateA, cv::Point2d(a)}, angle, templateA - templateB, nullptr))
            return false;
        m_searched.restore(work);
        if (std::fabs(angle) > 0.01f)
            rotateImage(loaded, angle, cv::INTER_LINEAR);
        work = scratchOf(loaded);

        m_searched.save(work, areaA);
        const cv::Rect again = findAnchorBlock(work, areaA, found);
        if (!found) {
            unprocessed(m_firstRow);
            m_sink.setProcessResult(m_row, QStringLiteral("行%1二次查找定位点A失败").arg(m_firstRow + 1));
            return false;
        }
        // The search left A's area binarised; later readers need the clean pixels.
        m_searched.restore(work);
        const cv::Point a2 = blockCentre(again, areaA);
        m_sink.setAnchorPointData(m_row, QStringLiteral("A"), pointText(a2.x, a2.y));
        ox = a2.x;
        oy = a2.y;
        return true;
    }

    // The page the searches binarise parts of: the page itself, or with page
    // memory switched off a copy of it, as every page had before.
    static cv::Mat scratchOf(const cv::Mat &page) { return pageMemoryKept() ? page : page.clone(); }

    bool alignByPrintText(const TemplatePage &tp, const PageRowInput &in, cv::Mat &loaded, cv::Mat &work,
                          int &ox, int &oy)
    {
        const bool hasOverride = !in.printTextArea.isEmpty();
        const cv::Rect override = hasOverride ? parseRect(in.printTextArea) : cv::Rect();
        const cv::Rect *overridePtr = hasOverride ? &override : nullptr;

        const QRect base = hasOverride ? QRect(override.x, override.y, override.width, override.height)
                                       : tp.printTextSearchRect;
        const cv::Point corner(std::max(base.x(), 0), std::max(base.y(), 0));

        bool found = false;
        cv::Point offset;
        float angle = 0.0f;
        QString error;
        FeatureMatchGeometry geometry;
        locate(tp, work, found, offset, angle, error, overridePtr, &geometry);
        if (!found) {
            fail(error.isEmpty() ? QStringLiteral("印刷体定位区域超出答卷图片范围，定位失败") : error);
            return false;
        }
        // The direction of the template's fitted text line.
        const double slope = std::tan(double(geometry.templateLineAngle) * CV_PI / 180.0);
        const cv::Point2d line = geometry.transposed ? cv::Point2d(slope, 1.0) : cv::Point2d(1.0, slope);
        if (!measureScale(tp, ScaleMark{cv::Point2d(tp.printTextCenterX, tp.printTextCenterY),
                                        cv::Point2d(offset + corner)},
                          angle, line, &geometry))
            return false;
        m_searched.restore(work);
        if (std::fabs(angle) > 0.01f)
            rotateImage(loaded, angle, cv::INTER_LINEAR);
        work = scratchOf(loaded);

        error.clear();
        locate(tp, work, found, offset, angle, error, overridePtr, &geometry);
        if (!found) {
            const QString t = QStringLiteral("行%1二次定位失败").arg(m_firstRow + 1);
            m_sink.addLog(t + QStringLiteral("\r\n") + error);
            unprocessed(m_firstRow);
            m_sink.setProcessResult(m_row, t);
            return false;
        }
        ox = offset.x + corner.x;
        oy = offset.y + corner.y;
        if (!m_scale.isUnit()) {
            // The offset carries the matched points' shift from the patch
            // centre at the template's scale; on this page it is scaled.
            ox += int(std::lround((1.0 - m_scale.x) * geometry.patchShift.x));
            oy += int(std::lround((1.0 - m_scale.y) * geometry.patchShift.y));
        }
        m_sink.setAnchorPointData(m_row, QStringLiteral("x"), pointText(ox, oy));
        return true;
    }

    void locate(const TemplatePage &tp, const cv::Mat &work, bool &found, cv::Point &offset, float &angle,
                QString &error, const cv::Rect *area, FeatureMatchGeometry *geometry) const
    {
        locateByFeatures(tp, work, m_s.maxSceneFeaturePointCount, m_s.maxFeaturePointDistance,
                         m_s.featurePointSearchScale, m_s.featurePointSearchLevel,
                         m_s.miniMatchFeaturePointCount, m_s.matchAreaErrorMargin, found, offset, angle,
                         error, area, geometry);
    }

    bool hasKnownCornerPoints(int pageId) const
    {
        for (const CornerCheckArea &a : m_model.cornerChecks) {
            if (a.page == pageId && a.pointKnown())
                return true;
        }
        return false;
    }

    // The page's scale from the marks found so far and the page origin's
    // mark, before deskewing; a page too far off the template's scale fails.
    // The turn was measured along `line` of the template: on a page scaled
    // unequally that line is tilted, which the deskew must not follow.
    bool measureScale(const TemplatePage &tp, const ScaleMark &origin, float &angle, cv::Point2d line,
                      const FeatureMatchGeometry *features)
    {
        const QSize size(tp.width, tp.height);
        m_scale = measurePageScale(origin, m_scaleMarks, angle, size, features);
        if (m_scale.unknownAxis == 0 && !m_scale.isUnit()) {
            // Once more with the page's own turn taken away.
            const float measured = angle;
            m_scale = measurePageScale(origin, m_scaleMarks, float(measured - lineTurnByScale(line, m_scale)),
                                       size, features);
            if (m_scale.unknownAxis == 0)
                angle = normalisedDegrees(float(measured - lineTurnByScale(line, m_scale)));
        }
        if (m_scale.readable())
            return true;
        fail(scaleOutOfRangeText(tp.id, m_scale));
        m_scale = PageScale();
        return false;
    }

    const TemplateModel &sections() const { return *m_sections; }

    // Absent mark, student code, duplicate and roster checks, result row.
    bool readCodePage(const PageRowInput &in, cv::Mat &work, int ox, int oy)
    {
        StageClock clock(counter(&PipelineTimings::marks));
        if (!m_s.ignorAbsentMark && sections().hasAbsentMark) {
            bool ok = false;
            bool absent = false;
            QString error;
            const QRect &box = sections().absentMarkRect;
            m_searched.save(work, cv::Rect(ox + box.x(), oy + box.y(), box.width(), box.height()));
            checkAbsentMark(work, box, m_s.coverPercentageAbsent, ox, oy, ok, error, absent);
            // Binarised for the check; the readers and cutters need the clean pixels.
            m_searched.restore(work);
            if (!ok) {
                m_sink.addLog(error);
                unprocessed(m_firstRow);
                m_sink.setProcessResult(m_row, QStringLiteral("检测缺考标记失败"));
                return false;
            }
            if (absent) {
                unprocessed(m_firstRow);
                m_sink.setProcessResult(m_row, QStringLiteral("缺考"));
                m_sink.addLog(QStringLiteral("检测出缺考"));
                return false;
            }
        }

        QString code;
        cv::Mat barcodeArea;
        if (!in.typedCode.isEmpty()) {
            code = in.typedCode;
        } else {
            const QRect &r = sections().codeRect;
            const int x = std::max(ox + r.x(), 0);
            const int y = std::max(oy + r.y(), 0);
            const int w = std::min(r.width(), work.cols - x);
            const int h = std::min(r.height(), work.rows - y);
            if (w <= 0 || h <= 0) {
                fail(QStringLiteral("考号区域超出答卷图片范围，可能是定位异常，请检查答卷图片。"));
                return false;
            }
            const cv::Mat area = work(cv::Rect(x, y, w, h));
            if (sections().codeType == 1) {
                QString symbology;
                if (!readBarcodeCode(area, sections().barDirection, symbology, code)) {
                    fail(QStringLiteral("识别考号失败"));
                    return false;
                }
                barcodeArea = area;
            } else {
                QString error;
                readCodeBubbles(area, m_codesDir, sections().numberDirection, sections().codeLength,
                                sections().codeMarkPointWidth, sections().codeMarkPointHeight, m_s.coverPercentageCode,
                                m_s.markPointAlgo, m_s.threshold, code, &error);
                if (!error.isEmpty()) {
                    fail(error);
                    return false;
                }
                if (code.contains(QLatin1Char('X'))) {
                    fail(QStringLiteral("考号有未涂位：") + code);
                    return false;
                }
            }
        }

        code = code.trimmed();
        // The code names files in the exam folder: nothing may lead out of it.
        if (!isSafeCode(code)) {
            fail(QStringLiteral("考号“%1”含有不能用于文件名的字符，请检查答卷。").arg(code));
            return false;
        }
        if (!barcodeArea.empty())
            saveOriginalJpg(barcodeArea, code, m_codesDir);

        const CodeRegistry::Claim claim = m_run.codes.claim(code, m_firstRow);
        if (claim.duplicateRow >= 0) {
            handleDuplicate(code, claim.duplicateRow);
            return false;
        }

        m_studentID = findStudentIndex(code, m_ctx.studentHash);
        if (m_studentID == -1) {
            m_run.codes.undo(claim, code, m_firstRow);
            fail(QStringLiteral("没有考号是 %1 的学生").arg(code));
            return false;
        }
        m_code = code;
        m_resultRowIndex = -1;
        m_sink.setCode(m_firstRow, code, m_studentID, &m_resultRowIndex);
        return true;
    }

    void handleDuplicate(const QString &code, int other)
    {
        const QString message = QStringLiteral("考号 %1 重复 相关行 %2").arg(code).arg(other + 1);
        if (m_s.processType == 1) {
            // Let the worker that holds the other sheet finish it first. No lock
            // is held here, and a worker never waits for one that is itself
            // waiting, so two duplicates cannot wait for each other forever.
            m_run.waiting(m_worker.index) = true;
            for (;;) {
                bool busy = false;
                for (int w = 0; w < m_run.workerCount(); ++w) {
                    if (w != m_worker.index && m_run.currentRow(w) == other && !m_run.waiting(w))
                        busy = true;
                }
                if (!busy)
                    break;
                QThread::msleep(100);
            }
            m_run.waiting(m_worker.index) = false;
        }
        m_sink.addLog(message);
        unprocessed(m_firstRow);
        unprocessed(other);
        m_run.codes.removeResultCode(code);
        m_sink.deleteResultByCode(code);
        m_sink.setProcessResult(m_row, message);
        m_sink.setProcessResult(other, QStringLiteral("考号 %1 重复 相关行 %2").arg(code).arg(m_row + 1));
    }

    // Reads, scores and reports one question; false when it could not be read.
    bool readAndScore(const ObjectItem &item, const QVector<AnswerSetting> &keys, const cv::Mat &work, int ox,
                      int oy)
    {
        StageClock clock(counter(&PipelineTimings::marks));
        QString error;
        const QString marks = readObjectiveItem(work, item, m_s.coverPercentageObject, ox, oy, m_s.markPointAlgo,
                                                m_s.threshold, m_objectsDir, m_code, &error, &m_itemImages);
        if (marks.isEmpty()) {
            fail(error.isEmpty() ? QStringLiteral("题号 %1 的客观题无法识别").arg(item.item) : error);
            return false;
        }
        const AnswerSetting *key = findAnswerSetting(keys, item.item);
        if (!key) {
            fail(QStringLiteral("没有找到题号 %1 的答案设置，请检查").arg(item.item));
            return false;
        }
        const float score = scoreObjectiveItem(marks, key->answer, key->multiple, key->score, key->compareType,
                                               key->partScore);
        m_sink.object(m_resultRowIndex, item.item, marks, item.optionCount, key->multiple ? 1 : 0, score,
                      key->score);
        m_total += score;
        m_sink.objectTotalScore(m_resultRowIndex, m_total);
        return true;
    }

    bool readObjectives(int pageId, const cv::Mat &work, int ox, int oy)
    {
        for (const ObjectItem &item : sections().objectItems) {
            if (item.page == pageId && !readAndScore(item, m_ctx.answerSettings, work, ox, oy))
                return false;
        }
        if (m_model.objectItems.isEmpty())
            m_sink.objectTotalScore(m_resultRowIndex, 0.0f);
        return true;
    }

    bool cutOne(cv::Mat &loaded, int pageId, int block, const QRect &rect, int ox, int oy, bool adviseFormat)
    {
        StageClock clock(counter(&PipelineTimings::writing));
        bool ok = false;
        QString message;
        // The cutter binarises a black-and-white page's block in place; the
        // readers after it read the page as scanned.
        if (m_isBinary)
            m_searched.save(loaded, cv::Rect(ox + rect.x(), oy + rect.y(), rect.width(), rect.height()));
        const QString path = cutSubjectImage(loaded, m_subjectsDir, m_code, pageId, block, rect.x(), rect.y(),
                                             rect.width(), rect.height(), ox, oy, m_worker.extension,
                                             m_worker.imwriteParams, m_isBinary, m_s.subjectImageScaleDown, ok,
                                             message);
        m_searched.restore(loaded);
        if (adviseFormat)
            formatAdvice();
        if (!message.isEmpty())
            m_sink.addLog(message);
        if (!ok || path.isEmpty()) {
            unprocessed(m_firstRow);
            m_sink.setProcessResult(m_row, QStringLiteral("主观题切割异常"));
            return false;
        }
        m_sink.subjectSection(m_resultRowIndex, QStringLiteral("%1-%2").arg(pageId).arg(block), path, m_studentID);
        return true;
    }

    bool cutSubjects(int pageId, cv::Mat &loaded, int ox, int oy)
    {
        for (const SubjectSection &section : sections().subjectSections) {
            if (section.page == pageId && !cutOne(loaded, pageId, section.sectionId, section.rect, ox, oy, true))
                return false;
        }
        return true;
    }

    void formatAdvice()
    {
        if (!m_worker.classifyImageModeOnce || !m_worker.adviceNotYetLogged)
            return;
        m_worker.adviceNotYetLogged = false;
        if (m_worker.extension == QLatin1String("jpg") && m_isBinary)
            m_sink.addLog(QStringLiteral("答卷图片为二值（黑白）模式，建议修改主观题图片格式为 PNG。\r\n"
                                         "软件-》设置-》图片参数-》主观题图片格式-》PNG"));
        else if (m_worker.extension == QLatin1String("png") && !m_isBinary)
            m_sink.addLog(QStringLiteral("答卷图片为灰度模式，建议修改主观题图片格式为 JPG。\r\n"
                                         "软件-》设置-》图片参数-》主观题图片格式-》JPG"));
    }

    bool readOptionals(int pageId, const cv::Mat &work, cv::Mat &loaded, int ox, int oy)
    {
        for (const OptionalGroup &group : sections().optionalGroups) {
            if (group.page != pageId)
                continue;
            StageClock clock(counter(&PipelineTimings::marks));
            QString error;
            const QString chosen = readOptionalChoice(work, m_optionalsDir, m_code, group, ox, oy,
                                                      m_s.coverPercentageOptional, m_s.markPointAlgo,
                                                      m_s.threshold, &error, &m_itemImages);
            if (chosen.isEmpty() && !error.isEmpty()) {
                fail(error);
                return false;
            }
            if (!error.isEmpty()) // read, but its item images could not be named
                m_sink.addLog(error);
            m_chosenItems << chosen;
            m_sink.optionalItem(m_resultRowIndex, QStringLiteral("o-%1").arg(chosen));
        }
        for (const OptionalObjectItem &item : sections().optionalObjectItems) {
            if (item.page != pageId)
                continue;
            for (const QString &c : qAsConst(m_chosenItems)) {
                if (c.toInt() == item.optional && !readAndScore(item, m_ctx.optionalAnswerSettings, work, ox, oy))
                    return false;
            }
        }
        for (const OptionalSubjectSection &section : sections().optionalSubjectSections) {
            if (section.page != pageId)
                continue;
            for (const QString &c : qAsConst(m_chosenItems)) {
                if (c.toInt() == section.optional
                    && !cutOne(loaded, pageId, section.sectionId, section.rect, ox, oy, false))
                    return false;
            }
        }
        return true;
    }

    void waitForUploadPool()
    {
        while (m_sink.uploadPoolRunning())
            QThread::msleep(1);
    }

    void finishSheet()
    {
        if (m_originalPaths.size() != m_pages)
            return;
        // Nothing of the sheet is reported done before its files are on disk.
        drainItemImages();
        if (m_s.sheetUpload) {
            // Another worker may start the pool between our poll and our
            // request: a refused worker waits for that pool to end before it
            // asks again, instead of asking the GUI thread in a tight loop.
            bool accepted = false;
            while (!accepted) {
                waitForUploadPool();
                m_sink.startUpload(m_resultRowIndex, m_resultRowIndex * m_ctx.resultCols, &accepted);
            }
            waitForUploadPool();
        }
        m_sink.processForOneStudentSuccessed(m_firstRow, m_firstRow + m_pages - 1, m_resultRowIndex,
                                             m_originalPaths);
    }

    const PipelineContext &m_ctx;
    const TemplateModel &m_model;
    const RecognitionSettings &m_s;
    RecognitionRun &m_run;
    WorkerState &m_worker;
    const int m_firstRow;
    const QVector<PageRowInput> &m_rows;
    PipelineSink &m_sink;
    const int m_pages;
    const QString m_codesDir;
    const QString m_objectsDir;
    const QString m_subjectsDir;
    const QString m_optionalsDir;

    int m_row = 0;
    // Marks of the page being read, its measured scale, and the sections the
    // readers use: the model's, or a copy placed at the page's scale.
    QVector<ScaleMark> m_scaleMarks;
    SearchedAreas m_searched;
    PageScale m_scale;
    TemplateModel m_scaledSections;
    const TemplateModel *m_sections = &m_model;
    QStringList m_originalPaths;
    QStringList m_chosenItems;
    bool m_isBinary = false;
    QString m_code;
    int m_studentID = -1;
    int m_resultRowIndex = -1;
    float m_total = 0.0f;
    // Item images are encoded and written while the next questions are read;
    // drained before the sheet is reported done or failed, and on leaving.
    ImageWriteQueue m_itemImages;
};

} // namespace

void processStudent(const PipelineContext &ctx, RecognitionRun &run, WorkerState &worker, int firstRow,
                    const QVector<PageRowInput> &rows, PipelineSink &sink)
{
    if (!ctx.model || ctx.model->pagesPerSheet <= 0)
        return;
    SheetJob(ctx, run, worker, firstRow, rows, sink).run();
}

#include "featurealign.h"
#include "debugflags.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

#include <QtGlobal>

#include <algorithm>
#include <climits>
#include <cmath>
#include <exception>

namespace {

cv::Ptr<cv::ORB> makeOrb(int featureCount, float scaleFactor, int levels)
{
    // A small edge threshold keeps keypoints near the border of a tight patch.
    return cv::ORB::create(featureCount, scaleFactor, levels, 3, 0, 2, cv::ORB::HARRIS_SCORE, 31, 20);
}

cv::Mat colourCopy(const cv::Mat &grey)
{
    cv::Mat colour;
    if (grey.channels() == 1)
        cv::cvtColor(grey, colour, cv::COLOR_GRAY2BGR);
    else
        colour = grey.clone();
    return colour;
}

void showKeypoints(const std::string &window, const cv::Mat &image,
                   const std::vector<cv::KeyPoint> &points)
{
    cv::Mat picture = colourCopy(image);
    for (const cv::KeyPoint &k : points)
        cv::circle(picture, k.pt, 3, cv::Scalar(0, 0, 255), cv::FILLED);
    DebugView::show(window, picture);
}

void showMatches(const std::string &window, const cv::Mat &patch,
                 const std::vector<cv::KeyPoint> &patchPoints, const cv::Mat &scene,
                 const std::vector<cv::KeyPoint> &scenePoints, const std::vector<cv::DMatch> &matches)
{
    cv::Mat picture;
    cv::drawMatches(patch, patchPoints, scene, scenePoints, matches, picture, cv::Scalar(0, 0, 255),
                    cv::Scalar(0, 0, 255), std::vector<char>(),
                    cv::DrawMatchesFlags::NOT_DRAW_SINGLE_POINTS);
    DebugView::show(window, picture);
    DebugView::waitKey();
}

void drawRotatedRect(cv::Mat &picture, const cv::RotatedRect &r)
{
    cv::Point2f corners[4];
    r.points(corners);
    for (int i = 0; i < 4; ++i)
        cv::line(picture, corners[i], corners[(i + 1) % 4], cv::Scalar(0, 255, 0), 1);
}

void drawFit(cv::Mat &picture, const std::vector<cv::Point2f> &points, const cv::Rect &bound,
             float slope, float intercept, bool transposed)
{
    for (const cv::Point2f &p : points)
        cv::circle(picture, p, 3, cv::Scalar(0, 0, 255), cv::FILLED);
    cv::rectangle(picture, bound, cv::Scalar(128, 128, 0));
    // The fit ran on swapped coordinates when the text stands upright.
    const int span = transposed ? picture.rows : picture.cols;
    cv::Point a(0, static_cast<int>(intercept));
    cv::Point b(span, static_cast<int>(intercept + slope * span));
    if (transposed) {
        std::swap(a.x, a.y);
        std::swap(b.x, b.y);
    }
    cv::line(picture, a, b, cv::Scalar(255, 0, 0), 2);
}

QString exceptionText(const std::string &what)
{
    return QStringLiteral("印刷体定位时图像处理出错：%1").arg(QString::fromStdString(what).trimmed());
}

// The search itself; returns with found still false at the first failure.
void locate(const TemplatePage &page, const cv::Mat &image, int maxSceneFeaturePointCount,
            int maxFeaturePointDistance, float featurePointSearchScale, int featurePointSearchLevel,
            int miniMatchFeaturePointCount, float matchAreaErrorMargin, bool &found,
            cv::Point &offset, float &angle, QString &errorText, const cv::Rect *searchOverride,
            FeatureMatchGeometry *geometry, bool debug)
{
    const cv::Mat &patch = page.printTextMat;
    if (debug) {
        DebugView::show("mat object", patch);
        DebugView::waitKey();
    }

    const cv::Rect search = searchOverride
        ? *searchOverride
        : cv::Rect(page.printTextSearchRect.x(), page.printTextSearchRect.y(),
                   page.printTextSearchRect.width(), page.printTextSearchRect.height());
    const int x = std::max(search.x, 0);
    const int y = std::max(search.y, 0);
    const int w = std::min(search.width, image.cols - x);
    const int h = std::min(search.height, image.rows - y);
    if (image.empty() || w <= 0 || h <= 0)
        return;

    // Binarised straight out of the page: the caller's pixels stay as they are.
    cv::Mat scene;
    cv::threshold(image(cv::Rect(x, y, w, h)), scene, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);

    std::vector<cv::KeyPoint> sceneKeys;
    cv::Mat sceneDescriptors;
    makeOrb(maxSceneFeaturePointCount, featurePointSearchScale, featurePointSearchLevel)
        ->detectAndCompute(scene, cv::noArray(), sceneKeys, sceneDescriptors);
    if (static_cast<int>(sceneKeys.size()) < miniMatchFeaturePointCount) {
        errorText = QStringLiteral("场景特征点数小于 %1，定位失败").arg(miniMatchFeaturePointCount);
        return;
    }
    if (debug) {
        showKeypoints("特征角点检测 - object", patch, page.keyPoints);
        showKeypoints("特征角点检测 - scene", scene, sceneKeys);
        DebugView::waitKey();
    }

    const std::vector<cv::DMatch> matches = matchDescriptors(page.descriptors, sceneDescriptors);
    std::vector<cv::DMatch> kept;
    for (const cv::DMatch &m : matches) {
        if (m.distance <= static_cast<float>(maxFeaturePointDistance))
            kept.push_back(m);
    }
    if (debug)
        showMatches("匹配结果", patch, page.keyPoints, scene, sceneKeys, kept);

    const QString tooFewMatches = QStringLiteral("匹配特征点数小于 %1，定位失败").arg(miniMatchFeaturePointCount);
    if (static_cast<int>(kept.size()) < miniMatchFeaturePointCount) {
        errorText = tooFewMatches;
        return;
    }

    // Only the RANSAC inlier mask is wanted: it drops the stray matches.
    std::vector<cv::Point2d> from;
    std::vector<cv::Point2d> to;
    from.reserve(kept.size());
    to.reserve(kept.size());
    for (const cv::DMatch &m : kept) {
        from.emplace_back(page.keyPoints.at(m.queryIdx).pt);
        to.emplace_back(sceneKeys.at(m.trainIdx).pt);
    }
    std::vector<uchar> mask;
    cv::findHomography(from, to, cv::RANSAC, 3.0, mask, 2000, 0.995);
    std::vector<cv::DMatch> inliers;
    if (mask.size() == kept.size()) {
        for (size_t i = 0; i < kept.size(); ++i) {
            if (mask[i])
                inliers.push_back(kept[i]);
        }
    }
    if (static_cast<int>(inliers.size()) < miniMatchFeaturePointCount) {
        errorText = tooFewMatches;
        return;
    }
    if (debug)
        showMatches("去除误匹配点后", patch, page.keyPoints, scene, sceneKeys, inliers);

    std::vector<cv::Point2f> t;
    std::vector<cv::Point2f> s;
    for (const cv::DMatch &m : inliers) {
        t.push_back(page.keyPoints.at(m.queryIdx).pt);
        s.push_back(sceneKeys.at(m.trainIdx).pt);
    }
    const QString tooFewPoints = QStringLiteral("匹配特征点太少，定位失败。");
    if (t.size() < 3) {
        errorText = tooFewPoints;
        return;
    }

    const cv::Mat affine = cv::estimateAffine2D(t, s, cv::noArray(), cv::RANSAC, 3.0, 2000, 0.99, 10);
    if (affine.empty()) {
        errorText = tooFewPoints;
        return;
    }
    angle = static_cast<float>(std::atan2(affine.at<double>(1, 0), affine.at<double>(0, 0)) * 180.0 / CV_PI);
    const QString tooSteep = QStringLiteral("纠偏角度大于 15，定位失败");
    if (std::fabs(angle) > 165.0f) {
        errorText = QStringLiteral("图片可能180度旋转了，定位失败");
        return;
    }
    if (std::fabs(angle) > 15.0f) {
        errorText = tooSteep;
        return;
    }

    const cv::Rect r1 = cv::boundingRect(t);
    const cv::Rect r2 = cv::boundingRect(s);
    const cv::RotatedRect m1 = cv::minAreaRect(t);
    const cv::RotatedRect m2 = cv::minAreaRect(s);
    if (debug) {
        cv::Mat object = colourCopy(patch);
        cv::Mat sceneColour = colourCopy(scene);
        drawRotatedRect(object, m1);
        drawRotatedRect(sceneColour, m2);
        DebugView::show("最终最佳匹配点之最小RotatedRect-object", object);
        DebugView::show("最终最佳匹配点之最小RotatedRect-scene", sceneColour);
        DebugView::waitKey();
    }

    // The matched points must cover about the same area on both sides; a
    // degenerate template side (all inliers on one line) cannot be compared.
    const int a1 = static_cast<int>(m1.size.width * m1.size.height);
    const int a2 = static_cast<int>(m2.size.width * m2.size.height);
    if (a1 <= 0 || static_cast<float>(std::abs(a2 - a1)) / static_cast<float>(a1) > matchAreaErrorMargin) {
        errorText = QStringLiteral("匹配区域面积误差超过 %1，定位失败。").arg(matchAreaErrorMargin);
        return;
    }

    // Measure the turn along the text lines: upright text is fitted transposed.
    const bool transposed = r1.height > r1.width;
    std::vector<cv::Point2f> tl = t;
    std::vector<cv::Point2f> sl = s;
    int patchW = patch.cols, patchH = patch.rows, sceneW = scene.cols, sceneH = scene.rows;
    if (transposed) {
        for (cv::Point2f &p : tl)
            std::swap(p.x, p.y);
        for (cv::Point2f &p : sl)
            std::swap(p.x, p.y);
        std::swap(patchW, patchH);
        std::swap(sceneW, sceneH);
    }
    float slopeT = 0, interceptT = 0, slopeS = 0, interceptS = 0;
    const float aT = fitLineAngle(tl, slopeT, interceptT, patchW, patchH);
    const float aS = fitLineAngle(sl, slopeS, interceptS, sceneW, sceneH);
    angle = transposed ? aT - aS : aS - aT;
    if (std::fabs(angle) > 15.0f) {
        errorText = tooSteep;
        return;
    }

    if (debug) {
        cv::Mat object = colourCopy(patch);
        cv::Mat sceneColour = colourCopy(scene);
        drawFit(object, t, r1, slopeT, interceptT, transposed);
        drawFit(sceneColour, s, r2, slopeS, interceptS, transposed);
        DebugView::show("rectBound m1", object);
        DebugView::show("rectBound m2", sceneColour);
        DebugView::waitKey();
    }

    const cv::Point c1(r1.x + r1.width / 2, r1.y + r1.height / 2);
    const cv::Point c2(r2.x + r2.width / 2, r2.y + r2.height / 2);
    const cv::Point centre(patch.cols / 2, patch.rows / 2);
    offset = c2 - (c1 - centre);
    if (geometry) {
        geometry->scaleX = std::hypot(affine.at<double>(0, 0), affine.at<double>(1, 0));
        geometry->scaleY = std::hypot(affine.at<double>(0, 1), affine.at<double>(1, 1));
        geometry->spanX = r1.width;
        geometry->spanY = r1.height;
        geometry->patchShift = c1 - centre;
        geometry->templateLineAngle = aT;
        geometry->transposed = transposed;
    }
    found = true;
}

} // namespace

bool referenceAlignment()
{
    return qEnvironmentVariableIsSet("OMR_REFERENCE_ALIGNMENT");
}

std::vector<cv::DMatch> matchDescriptors(const cv::Mat &queryDescriptors, const cv::Mat &trainDescriptors)
{
    std::vector<cv::DMatch> matches;
    if (queryDescriptors.empty() || trainDescriptors.empty())
        return matches;
    // Above this many pairs (16 MB of distances, per worker) the table would
    // take more memory than the matching is worth; the general matcher
    // measures pair by pair.
    const double maxTable = 4.0 * 1024 * 1024;
    if (referenceAlignment() || queryDescriptors.type() != CV_8UC1 || trainDescriptors.type() != CV_8UC1
        || queryDescriptors.cols != trainDescriptors.cols
        || double(queryDescriptors.rows) * double(trainDescriptors.rows) > maxTable) {
        cv::BFMatcher matcher(cv::NORM_HAMMING2, true);
        matcher.match(queryDescriptors, trainDescriptors, matches);
        return matches;
    }
    // The cross-checking matcher measures every pair twice, once each way;
    // one table serves both ways.
    cv::Mat dist;
    cv::batchDistance(queryDescriptors, trainDescriptors, dist, CV_32S, cv::noArray(), cv::NORM_HAMMING2, 0);
    const int queries = dist.rows;
    const int trains = dist.cols;
    // The nearest query of every train descriptor and the nearest train
    // descriptor of every query, the first of equals counting as nearest.
    std::vector<int> trainBest(size_t(trains), INT_MAX);
    std::vector<int> trainPartner(size_t(trains), -1);
    std::vector<int> queryBest(size_t(queries), INT_MAX);
    std::vector<int> queryPartner(size_t(queries), -1);
    for (int q = 0; q < queries; ++q) {
        const int *row = dist.ptr<int>(q);
        int best = INT_MAX;
        int partner = -1;
        for (int t = 0; t < trains; ++t) {
            const int d = row[t];
            if (d < best) {
                best = d;
                partner = t;
            }
            if (d < trainBest[size_t(t)]) {
                trainBest[size_t(t)] = d;
                trainPartner[size_t(t)] = q;
            }
        }
        queryBest[size_t(q)] = best;
        queryPartner[size_t(q)] = partner;
    }
    for (int q = 0; q < queries; ++q) {
        const int t = queryPartner[size_t(q)];
        if (t >= 0 && trainPartner[size_t(t)] == q)
            matches.emplace_back(q, t, 0, float(queryBest[size_t(q)]));
    }
    return matches;
}

void prepareTemplateFeatures(TemplatePage &page, int featureCount, float scaleFactor, int levels,
                             bool &ok, QString &errorText)
{
    if (page.featuresReady)
        return;
    page.keyPoints.clear();
    page.descriptors.release();
    if (page.printTextMat.empty()) {
        ok = false;
        errorText = QStringLiteral("印刷体定位区域的图像数据无效，请重新制作模板。");
        return;
    }
    bool failedToCompute = false;
    QString failed;
    try {
        makeOrb(featureCount, scaleFactor, levels)
            ->detectAndCompute(page.printTextMat, cv::noArray(), page.keyPoints, page.descriptors);
    } catch (const cv::Exception &e) {
        failedToCompute = true;
        failed = QString::fromStdString(e.err);
    } catch (const std::exception &e) {
        failedToCompute = true;
        failed = QString::fromStdString(e.what());
    }
    if (failedToCompute) {
        page.keyPoints.clear();
        page.descriptors.release();
        ok = false;
        errorText = QStringLiteral("计算印刷体定位区域的特征点出错：%1").arg(failed.trimmed());
        return;
    }
    if (page.keyPoints.size() >= 10) {
        page.featuresReady = true;
        ok = true;
    } else {
        ok = false;
        errorText = QStringLiteral("目标特征点数小于 10。可能是设置的印刷体文字区域包含的内容不够丰富，不够多。");
    }
}

void locateByFeatures(const TemplatePage &page, const cv::Mat &image,
                      int maxSceneFeaturePointCount, int maxFeaturePointDistance,
                      float featurePointSearchScale, int featurePointSearchLevel,
                      int miniMatchFeaturePointCount, float matchAreaErrorMargin,
                      bool &found, cv::Point &offset, float &angle, QString &errorText,
                      const cv::Rect *searchOverride, FeatureMatchGeometry *geometry)
{
    found = false;
    const bool debug = DebugView::enabled(debugAnchor);
    try {
        locate(page, image, maxSceneFeaturePointCount, maxFeaturePointDistance, featurePointSearchScale,
               featurePointSearchLevel, miniMatchFeaturePointCount, matchAreaErrorMargin, found, offset,
               angle, errorText, searchOverride, geometry, debug);
    } catch (const cv::Exception &e) {
        found = false;
        errorText = exceptionText(e.err);
    } catch (const std::exception &e) {
        found = false;
        errorText = exceptionText(e.what());
    }
}

float fitLineAngle(std::vector<cv::Point2f> points, float &slope, float &intercept, int width, int height)
{
    // Normal equations of y = a0 + a1 x.
    double sumX = 0, sumY = 0, sumXX = 0, sumXY = 0;
    for (const cv::Point2f &p : points) {
        sumX += std::pow(p.x, 1);
        sumY += std::pow(p.y, 1);
        sumXX += std::pow(p.x, 2);
        sumXY += std::pow(p.x, 1) * std::pow(p.y, 1);
    }
    const double n = static_cast<double>(points.size());
    const cv::Mat a = (cv::Mat_<double>(2, 2) << n, sumX, sumX, sumXX);
    const cv::Mat b = (cv::Mat_<double>(2, 1) << sumY, sumXY);
    cv::Mat x = cv::Mat::zeros(2, 1, CV_64F);
    // A singular system (every point in one column) leaves the zero solution.
    if (!cv::solve(a, b, x, cv::DECOMP_LU))
        x = cv::Mat::zeros(2, 1, CV_64F);
    const double a0 = x.at<double>(0, 0);
    const double a1 = x.at<double>(1, 0);

    if (DebugView::enabled(debugAnchor) && width > 0 && height > 0) {
        try {
            cv::Mat picture = cv::Mat::zeros(height, width, CV_8UC3);
            for (const cv::Point2f &p : points) {
                const cv::Point at(cvRound(p.x <= 0 ? -p.x : p.x), cvRound(p.y));
                cv::circle(picture, at, 3, cv::Scalar(0, 0, 255), 1);
            }
            std::vector<cv::Point> line;
            for (int j = 0; j < width; ++j)
                line.emplace_back(j, static_cast<int>(a0 + a1 * j));
            cv::polylines(picture, line, false, cv::Scalar(255, 0, 0));
            DebugView::show("src", picture);
            DebugView::waitKey();
        } catch (const cv::Exception &) {
        }
    }

    slope = static_cast<float>(a1);
    intercept = static_cast<float>(a0);
    return static_cast<float>(std::atan(a1) * 180.0 / 3.1415926);
}

#pragma once
// Subjective block cutting.

#include <QString>
#include <opencv2/core.hpp>
#include <vector>

// Cuts one block (relative to the origin) and writes it as
// "<folder>/<code>-<pageId>-<block>.<extension>". Returns the path, or empty
// when nothing was cut. ok is set only when the write was tried; messages are
// appended to `message` (newline-separated).
QString cutSubjectImage(cv::Mat image, const QString &folder, const QString &code, int pageId,
                        int blockNumber, int x, int y, int width, int height, int originX,
                        int originY, const QString &extension, std::vector<int> writeParams,
                        bool binarise, float scale, bool &ok, QString &message);

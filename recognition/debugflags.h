#pragma once
// Process-wide debug switches of the recognition stages. They are set by the
// hidden debug dialog; the stages read them at the start of each operation.
// A stage shows its OpenCV windows only when its switch is on and a display
// exists, so tests and headless runs never block in a window.

#include <atomic>
#include <opencv2/core.hpp>
#include <string>

extern std::atomic<bool> debugAnchor;
extern std::atomic<bool> debugCode;
extern std::atomic<bool> debugAbsentMark;
extern std::atomic<bool> debugObject;
extern std::atomic<bool> debugSubject;

namespace DebugView {
// True when the switch is on and a window can be shown here.
bool enabled(const std::atomic<bool> &flag);
void show(const std::string &window, const cv::Mat &image);   // namedWindow(AUTOSIZE) + imshow
void waitKey();                                                // cv::waitKey(0)
void destroy(const std::string &window);
} // namespace DebugView

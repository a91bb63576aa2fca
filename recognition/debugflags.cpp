#include "debugflags.h"

#include <opencv2/highgui.hpp>

#include <cstdlib>
#include <cstring>

std::atomic<bool> debugAnchor{false};
std::atomic<bool> debugCode{false};
std::atomic<bool> debugAbsentMark{false};
std::atomic<bool> debugObject{false};
std::atomic<bool> debugSubject{false};

namespace {
bool displayAvailable()
{
    // HighGUI needs a real display; the offscreen Qt platform has none.
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && std::strcmp(platform, "offscreen") == 0)
        return false;
    const char *x = std::getenv("DISPLAY");
    const char *wl = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wl && *wl);
}
} // namespace

namespace DebugView {

bool enabled(const std::atomic<bool> &flag)
{
    static const bool canShow = displayAvailable();
    return flag.load() && canShow;
}

void show(const std::string &window, const cv::Mat &image)
{
    if (image.empty())
        return;
    try {
        cv::namedWindow(window, cv::WINDOW_AUTOSIZE);
        cv::imshow(window, image);
    } catch (const cv::Exception &) {
        // A diagnostic window that cannot open must not stop recognition.
    }
}

void waitKey()
{
    try {
        cv::waitKey(0);
    } catch (const cv::Exception &) {
    }
}

void destroy(const std::string &window)
{
    try {
        cv::destroyWindow(window);
    } catch (const cv::Exception &) {
    }
}

} // namespace DebugView

#pragma once
// Image files written on a thread of their own, so that a recognition worker
// reads its next question while the disk takes the last one's images.

#include <QString>
#include <opencv2/core.hpp>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// One queue belongs to one worker. Files are written in the order queued;
// a failed write is dropped silently, as for a direct cv::imwrite whose
// result is ignored. The thread starts with the first file.
class ImageWriteQueue {
public:
    ImageWriteQueue() = default;
    ~ImageWriteQueue();   // drains, then ends the thread
    ImageWriteQueue(const ImageWriteQueue &) = delete;
    ImageWriteQueue &operator=(const ImageWriteQueue &) = delete;

    // `image` must not share pixels with anything that changes later (clone
    // a view of the page).
    void write(const QString &path, cv::Mat image, std::vector<int> params);
    // Returns once every file queued so far has been written or has failed.
    void drain();

private:
    struct Job {
        std::string path;
        cv::Mat image;
        std::vector<int> params;
    };
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    int m_busy = 0;          // jobs taken but not yet written
    bool m_stop = false;
    std::thread m_thread;
};

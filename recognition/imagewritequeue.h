#pragma once
// Image files written on a thread of their own, so that a recognition worker
// reads its next question while the disk takes the last one's images.

#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// Encodes `image` by the path's suffix and writes it through Qt, so a failed
// write (a full disk, a folder gone) comes with the system's reason; nothing
// is left under the name then.
bool writeImageFile(const QString &path, const cv::Mat &image, const std::vector<int> &params, QString *reason);
// The write half of it, for bytes encoded already.
bool writeFileBytes(const QString &path, const std::vector<uchar> &bytes, QString *reason);

// One queue belongs to one worker. Files are written in the order queued;
// a failed write is kept, with its file and reason, for the worker to tell.
// The thread starts with the first file.
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
    // "<file>：<reason>" of each write that failed since the last call.
    QStringList takeFailures();

private:
    struct Job {
        QString path;
        cv::Mat image;
        std::vector<int> params;
    };
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    QStringList m_failures;
    int m_busy = 0;          // jobs taken but not yet written
    bool m_stop = false;
    std::thread m_thread;
};

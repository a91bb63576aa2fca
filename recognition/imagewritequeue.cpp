#include "imagewritequeue.h"

#include <QFile>

#include <opencv2/imgcodecs.hpp>

#include <exception>

ImageWriteQueue::~ImageWriteQueue()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void ImageWriteQueue::write(const QString &path, cv::Mat image, std::vector<int> params)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back({QFile::encodeName(path).toStdString(), std::move(image), std::move(params)});
        if (!m_thread.joinable())
            m_thread = std::thread(&ImageWriteQueue::run, this);
    }
    m_changed.notify_all();
}

void ImageWriteQueue::drain()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.empty() && m_busy == 0; });
}

void ImageWriteQueue::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        // The queue is emptied before the thread ends, so nothing queued is lost.
        m_changed.wait(lock, [this] { return !m_jobs.empty() || m_stop; });
        if (m_jobs.empty())
            return;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        ++m_busy;
        lock.unlock();
        try {
            cv::imwrite(job.path, job.image, job.params);
        } catch (const cv::Exception &) {
        } catch (const std::exception &) {
        }
        job = Job();   // the pixels go before the drain can return
        lock.lock();
        --m_busy;
        if (m_jobs.empty() && m_busy == 0)
            m_changed.notify_all();
    }
}

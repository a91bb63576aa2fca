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
        m_jobs.push_back({path, std::move(image), std::move(params)});
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

QStringList ImageWriteQueue::takeFailures()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QStringList failures;
    failures.swap(m_failures);
    return failures;
}

bool writeImageFile(const QString &path, const cv::Mat &image, const std::vector<int> &params, QString *reason)
{
    std::vector<uchar> encoded;
    try {
        const int dot = path.lastIndexOf(QLatin1Char('.'));
        if (dot < 0 || !cv::imencode(path.mid(dot).toStdString(), image, encoded, params)) {
            *reason = QStringLiteral("图片无法编码");
            return false;
        }
    } catch (const std::exception &e) {
        *reason = QStringLiteral("图片无法编码（%1）").arg(QString::fromLocal8Bit(e.what()));
        return false;
    }
    return writeFileBytes(path, encoded, reason);
}

bool writeFileBytes(const QString &path, const std::vector<uchar> &bytes, QString *reason)
{
    QFile out(path);
    const auto size = qint64(bytes.size());
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && out.write(reinterpret_cast<const char *>(bytes.data()), size) == size && out.flush())
        return true;
    *reason = out.errorString();
    out.close();
    QFile::remove(path);
    return false;
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
        QString reason;
        const bool written = writeImageFile(job.path, job.image, job.params, &reason);
        const QString failed = written ? QString() : job.path + QStringLiteral("：") + reason;
        job = Job();   // the pixels go before the drain can return
        lock.lock();
        if (!written)
            m_failures << failed;
        --m_busy;
        if (m_jobs.empty() && m_busy == 0)
            m_changed.notify_all();
    }
}

// The page transfers of the scan form, run on the scan thread: every page
// the source delivers becomes one file under the next running number, or the
// batch stops with a message. A page is never skipped silently and no later
// page takes the number of one that failed.

#include "formscan.h"

#include "pagefile.h"

#include <QDebug>
#include <QMetaObject>

#include <algorithm>
#include <exception>
#include <memory>

namespace {

// A source that keeps answering neither done, cancel nor failure is given
// this many passes, then the batch is abandoned.
constexpr int kMaxIdlePasses = 300;
// The largest buffer a memory transfer takes, whatever the source prefers.
constexpr TW_UINT32 kMaxStripBuffer = 64u << 20;

QString writeFailedText(const QString &why)
{
    return QStringLiteral("图像文件保存失败，扫描已停止：\n%1").arg(why);
}

QString unreadablePageText(const QString &why)
{
    return QStringLiteral("扫描仪传来的图像无法读取，扫描已停止：\n%1").arg(why);
}

const QString kNoResponseText = QStringLiteral("扫描仪没有正常响应，扫描已停止。");

QString noImageInfoText(int number)
{
    return QStringLiteral("扫描仪没有给出第 %1 页的图像信息，扫描已停止。请从这一页重新扫描。").arg(number);
}

QString endFailedText(int number)
{
    return QStringLiteral("扫描仪未能结束第 %1 页之后的传输，扫描已停止。请检查已保存的页面，从下一页重新扫描。")
        .arg(number);
}

// Handles a source hands over with an answer that does not end the page are
// not ours to keep: they go back at once.
void releaseHandedOver(TW_HANDLE &dib)
{
    if (dib)
        dsmMemFree(dib);
    dib = nullptr;
}

// The buffer of one memory-transfer page, given back however the page ends.
struct StripBuffer
{
    TW_HANDLE handle = nullptr;
    unsigned char *data = nullptr;
    TW_UINT32 size = 0;

    ~StripBuffer()
    {
        if (handle) {
            if (data)
                dsmMemUnlock(handle);
            dsmMemFree(handle);
        }
    }
};

} // namespace

void FormScan::tellOperator(const QString &message)
{
    QMetaObject::invokeMethod(this, "showMsg", Qt::QueuedConnection, Q_ARG(QString, message));
}

void FormScan::startScan()
{
    if (m_DSMState != 6) {
        printError(m_currentSource, QStringLiteral("A scan cannot be initiated unless we are in state 6"));
        return;
    }
    // The native transfer is every source's default; a mechanism that cannot
    // be read is taken as that one, and a source in another mode refuses the
    // first page with a message.
    TW_UINT32 mechanism = TWSX_NATIVE;
    if (!GetCurrent(m_ICAP_XFERMECH, mechanism)) {
        printError(m_currentSource, QStringLiteral("Error: could not get the transfer mechanism"));
        mechanism = TWSX_NATIVE;
    }
    try {
        if (mechanism == TWSX_MEMORY)
            doMemoryTransfer(savePath, namePrefix, imageFormat, imageQuality, startNumber, numberLength, rotateTop,
                             rotateBottom, isTiff, tiffLzw);
        else
            doNativeTransfer(savePath, namePrefix, imageFormat, imageQuality, startNumber, numberLength, rotateTop,
                             rotateBottom, isTiff, tiffLzw);
    } catch (const std::exception &e) {
        // No memory for a page, most likely: the batch stops where it is.
        qDebug() << "save exception" << e.what();
        tellOperator(writeFailedText(QString::fromLocal8Bit(e.what())));
        stopPendingTransfers();
        m_DSMState = 5;
    }
}

int FormScan::pageRotation(int rotateTop, int rotateBottom)
{
    TW_UINT16 side = 1;
    if (getPageSide(side) != TWRC_SUCCESS)
        return 0;
    return side == 1 ? rotateTop : rotateBottom;
}

void FormScan::doNativeTransfer(QString savePath, QString namePrefix, QString imageFormat, int imageQuality,
                                int &startNumber, int numberLength, int rotateTop, int rotateBottom, bool isTiff,
                                bool tiffLzw)
{
    bool abandon = false;
    int idlePasses = 0;
    for (;;) {
        if (!getImageInfo()) {
            tellOperator(noImageInfoText(startNumber));
            abandon = true;
            break;
        }
        TW_HANDLE dib = nullptr;
        const TW_UINT16 rc = dsmCall(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
        if (rc == TWRC_XFERDONE) {
            idlePasses = 0;
            m_DSMState = 7;
            const int rotation = pageRotation(rotateTop, rotateBottom);
            bool stored = false;
            if (dib) {
                const QString filePath = scanFileName(savePath, namePrefix, startNumber, numberLength, imageFormat);
                stored = saveDibToFile(dib, filePath, rotation, imageQuality, startNumber, isTiff, tiffLzw);
                emit updateStartNumber(QString::number(startNumber));
            } else {
                // A page went through the scanner but brought no image: the
                // operator must know before the next sheet takes its number.
                tellOperator(unreadablePageText(QStringLiteral("页面没有图像数据 (no image handle)")));
            }
            if (!stored) {
                abandon = true;
                break;
            }
            TW_PENDINGXFERS pending = {};
            if (dsmCall(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) != TWRC_SUCCESS) {
                printError(m_currentSource, QStringLiteral("failed to properly end the transfer"));
                tellOperator(endFailedText(startNumber - 1));
                abandon = true;
                break;
            }
            m_DSMState = pending.Count == 0 ? 5 : 6;
            if (pending.Count == 0)
                break;
            continue;
        }
        releaseHandedOver(dib);
        if (rc == TWRC_CANCEL) {
            tellOperator(QStringLiteral("Canceled transfer image."));
            abandon = true;
            break;
        }
        if (rc == TWRC_FAILURE) {
            tellOperator(QStringLiteral("Failed to transfer image."));
            abandon = true;
            break;
        }
        if (++idlePasses >= kMaxIdlePasses) {
            tellOperator(kNoResponseText);
            abandon = true;
            break;
        }
    }
    if (abandon)
        stopPendingTransfers();
    m_DSMState = 5;
}

void FormScan::doMemoryTransfer(QString savePath, QString namePrefix, QString imageFormat, int imageQuality,
                                int &startNumber, int numberLength, int rotateTop, int rotateBottom, bool isTiff,
                                bool tiffLzw)
{
    printLog("app: Starting a TWSX_MEMORY transfer...\n");
    bool abandon = false;
    for (;;) {
        if (!getImageInfo()) {
            tellOperator(noImageInfoText(startNumber));
            abandon = true;
            break;
        }
        const QString filePath = scanFileName(savePath, namePrefix, startNumber, numberLength, imageFormat);

        printLog("app: getting the buffer sizes...\n");
        TW_SETUPMEMXFER setup = {};
        if (dsmCall(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) != TWRC_SUCCESS) {
            printError(m_currentSource, QStringLiteral("Error while trying to get the buffer sizes from the source!"));
            abandon = true;
            break;
        }
        StripAssembler page;
        QString why;
        if (!page.begin(m_imageInfo.ImageWidth, m_imageInfo.ImageLength, m_imageInfo.BitsPerPixel, &why)) {
            tellOperator(unreadablePageText(why));
            abandon = true;
            break;
        }
        // The preferred size, within what one row needs and what we allow;
        // a source that prefers nothing gets its largest, then its smallest.
        TW_UINT32 size = setup.Preferred;
        if (size == 0 || size == TWON_DONTCARE32)
            size = setup.MaxBufSize != 0 && setup.MaxBufSize != TWON_DONTCARE32 ? setup.MaxBufSize : setup.MinBufSize;
        size = std::min(std::max(size, TW_UINT32(page.rowBytes())), kMaxStripBuffer);

        StripBuffer buffer;
        buffer.handle = dsmMemAllocate(size);
        buffer.data = buffer.handle ? static_cast<unsigned char *>(dsmMemLock(buffer.handle)) : nullptr;
        if (!buffer.data) {
            printError(nullptr, QStringLiteral("Error allocating memory"));
            abandon = true;
            break;
        }
        buffer.size = size;
        TW_IMAGEMEMXFER prepared = {};
        prepared.Compression = TWON_DONTCARE16;
        prepared.BytesPerRow = prepared.Columns = prepared.Rows = TWON_DONTCARE32;
        prepared.XOffset = prepared.YOffset = prepared.BytesWritten = TWON_DONTCARE32;
        prepared.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
        prepared.Memory.Length = size;
        prepared.Memory.TheMem = buffer.data;

        printLog("app: starting the memory transfer...\n");
        bool complete = false;
        int idlePasses = 0;
        while (!complete && !abandon) {
            std::fill(buffer.data, buffer.data + buffer.size, 0);
            TW_IMAGEMEMXFER strip = prepared;
            const TW_UINT16 rc = dsmCall(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
            if (rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) {
                m_DSMState = 7;
                if (!page.addStrip(buffer.data, buffer.size, strip, &why)) {
                    tellOperator(unreadablePageText(why));
                    abandon = true;
                    break;
                }
                complete = rc == TWRC_XFERDONE;
                // A strip that brings no row the page lacked has not moved
                // the page on: it counts as an idle answer.
                if (page.lastNewRows() > 0 || complete)
                    idlePasses = 0;
                else if (++idlePasses >= kMaxIdlePasses) {
                    tellOperator(kNoResponseText);
                    abandon = true;
                }
            } else if (rc == TWRC_FAILURE) {
                const QString text = QStringLiteral("Error while trying to get a strip of data from the source!");
                printError(m_currentSource, text);
                tellOperator(text);
                abandon = true;
            } else if (rc == TWRC_CANCEL) {
                const QString text =
                    QStringLiteral("Canceled transfer while trying to get a strip of data from the source!");
                printError(m_currentSource, text);
                tellOperator(text);
                abandon = true;
            } else if (++idlePasses >= kMaxIdlePasses) {
                tellOperator(kNoResponseText);
                abandon = true;
            }
        }
        if (abandon)
            break;

        QImage image = page.finish(&why);
        if (image.isNull()) {
            tellOperator(unreadablePageText(why));
            abandon = true;
            break;
        }
        const int rotation = pageRotation(rotateTop, rotateBottom);
        if (!storePage(image, filePath, rotation, imageQuality, startNumber, isTiff, tiffLzw)) {
            abandon = true;
            break;
        }
        emit updateStartNumber(QString::number(startNumber));
        getExtImageInfo();

        printLog("app: Checking to see if there are more images to transfer...\n");
        TW_PENDINGXFERS pending = {};
        if (dsmCall(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) != TWRC_SUCCESS) {
            printError(m_currentSource, QStringLiteral("failed to properly end the transfer"));
            tellOperator(endFailedText(startNumber - 1));
            abandon = true;
            break;
        }
        printLog("app: Remaining images to transfer: %u\n", unsigned(pending.Count));
        m_DSMState = pending.Count == 0 ? 5 : 6;
        if (pending.Count == 0)
            break;
    }
    if (abandon)
        stopPendingTransfers();
    printLog("app: DONE!\n");
    m_DSMState = 5;
}

TW_UINT16 FormScan::getPageSide(TW_UINT16 &side)
{
    if (!m_currentSource)
        return TWRC_FAILURE;
    const double protocol = QStringLiteral("%1.%2")
                                .arg(m_currentSource->ProtocolMajor)
                                .arg(m_currentSource->ProtocolMinor)
                                .toDouble();
    TW_EXTIMAGEINFO ext = {};
    ext.NumInfos = 1;
    TW_INFO &info = ext.Info[0];
    if (protocol >= 2.1 - 1e-9) {
        info.InfoID = TWEI_PAGESIDE;
        info.ItemType = TWTY_UINT16;
    } else if (protocol >= 1.9 - 1e-9) {
        info.InfoID = TWEI_CAMERA;
        info.ItemType = TWTY_STR255;
    } else {
        return TWRC_FAILURE;
    }
    const TW_UINT16 rc = dsmCall(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, &ext);
    if (rc != TWRC_SUCCESS)
        return rc;
    if (info.ReturnCode != TWRC_SUCCESS)
        return TWRC_FAILURE;
    TW_UINT16 result = TWRC_SUCCESS;
    if (info.InfoID == TWEI_PAGESIDE) {
        // One small integer travels in Item itself; anything else is not an
        // answer to this question.
        if (info.NumItems == 1 && !itemsInHandle(info)) {
            if (info.Item == TWCS_TOP)
                side = 1;
            else if (info.Item == TWCS_BOTTOM)
                side = 2;
        } else {
            result = TWRC_FAILURE;
        }
    } else {
        // The text is read no further than it takes to tell.
        int named = 1;
        side = info.ItemType == TWTY_STR255 && cameraTextSide(info, &named) ? TW_UINT16(named) : TW_UINT16(1);
    }
    if (info.Item && itemsInHandle(info))
        dsmMemFree(reinterpret_cast<TW_HANDLE>(info.Item));
    return result;
}

bool FormScan::saveDibToFile(TW_HANDLE dib, const QString &filePath, int rotateFlag, int imageQuality,
                             int &startNumber, bool isTiff, bool tiffLzw)
{
    QImage image;
    QString why;
    const auto *block = static_cast<const unsigned char *>(dsmMemLock(dib));
    if (block) {
        const std::size_t size = dsmMemSize(dib);
        image = dibBlockToImage(block, size ? size : DibView::UnknownSize, &why, &m_imageInfo);
        dsmMemUnlock(dib);
    } else {
        why = QStringLiteral("the image handle cannot be locked");
    }
    // The page is ours once transferred; it goes back as soon as it is read.
    dsmMemFree(dib);
    if (image.isNull()) {
        tellOperator(unreadablePageText(why));
        return false;
    }
    return storePage(image, filePath, rotateFlag, imageQuality, startNumber, isTiff, tiffLzw);
}

bool FormScan::storePage(QImage &image, const QString &filePath, int rotateFlag, int imageQuality, int &startNumber,
                         bool isTiff, bool tiffLzw)
{
    rotateImage(image, rotateFlag);
    QString why;
    if (!writePageFile(image, filePath, imageQuality, isTiff, tiffLzw, &why)) {
        tellOperator(writeFailedText(why));
        return false;
    }
    QMetaObject::invokeMethod(this, "addOneImage", Qt::QueuedConnection, Q_ARG(QString, filePath));
    ++startNumber;
    return true;
}

void FormScan::rotateImage(QImage &image, int rotateFlag)
{
    rotatePageImage(image, rotateFlag);
}

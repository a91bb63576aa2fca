#pragma once
// A TWAIN application session against the simulated manager, loaded through
// the real loader: the tests speak raw triplets through it.

#include "dsmlibrary.h"
#include "twain.h"
#include "twainsim.h"

#include <QDir>
#include <QImage>
#include <QMutex>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

inline QImage decodeDib(const unsigned char *bytes, std::size_t size);

class SimSession
{
public:
    SimSession()
    {
        library();
        setTraceSink(&SimSession::collect, this);
    }
    ~SimSession()
    {
        shutdown();
        setTraceSink(nullptr, nullptr);
    }

    // The one loaded manager of the test program.
    static DsmLibrary &library()
    {
        static DsmLibrary lib;
        if (!lib.isLoaded() && !lib.load(QStringLiteral(TWAIN_SIM_LIBRARY)))
            qFatal("%s", qPrintable(lib.errorString()));
        return lib;
    }
    static int liveHandles()
    {
        return reinterpret_cast<TwainSimLiveHandlesProc>(library().resolve("TwainSim_LiveHandles"))();
    }
    static void setTraceSink(TwainSimTraceSink sink, void *context)
    {
        reinterpret_cast<TwainSimSetTraceSinkProc>(library().resolve("TwainSim_SetTraceSink"))(sink, context);
    }
    static void setCallHook(TwainSimCallHook hook, void *context)
    {
        reinterpret_cast<TwainSimSetCallHookProc>(library().resolve("TwainSim_SetCallHook"))(hook, context);
    }

    // Writes the sources file and points the manager at it.
    QString writeSources(const QByteArray &json) { return writeSourcesFile(dir.path(), json); }

    // Writes "sources.json" into folder and points the manager at it.
    static QString writeSourcesFile(const QString &folder, const QByteArray &json)
    {
        const QString path = QDir(folder).filePath(QStringLiteral("sources.json"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size())
            qFatal("cannot write %s", qPrintable(path));
        file.close();
        qputenv("VOSTRA_TWAIN_SIM_SOURCES", QFile::encodeName(path));
        return path;
    }
    // For programs that load the manager through the layer's own binding:
    // the sources, the layer pointed at the simulated manager, and the
    // module loaded here as well (one module per path), so its counts can be
    // read.
    static void useSimulatedManager(const QString &folder, const QByteArray &json)
    {
        writeSourcesFile(folder, json);
        qputenv("VOSTRA_TWAIN_DSM", TWAIN_SIM_LIBRARY);
        library();
    }

    TW_UINT16 dsm(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
    {
        return library().entry()(&app, nullptr, dg, dat, msg, data);
    }
    TW_UINT16 ds(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
    {
        return library().entry()(&app, &source, dg, dat, msg, data);
    }
    TW_UINT16 condition(bool ofSource)
    {
        TW_STATUS status = {};
        library().entry()(&app, ofSource ? &source : nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        return status.ConditionCode;
    }

    bool openManager()
    {
        app = {};
        app.ProtocolMajor = 2;
        app.ProtocolMinor = 5;
        app.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
        std::strcpy(app.ProductName, "simulator test");
        if (dsm(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent) != TWRC_SUCCESS)
            return false;
        entry = {};
        entry.Size = sizeof entry;
        return dsm(DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry) == TWRC_SUCCESS;
    }
    // Opens the source of that product name (the first one when empty).
    bool openSource(const char *name = "")
    {
        source = {};
        std::strncpy(source.ProductName, name, sizeof source.ProductName - 1);
        return dsm(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source) == TWRC_SUCCESS;
    }
    bool enable()
    {
        TW_USERINTERFACE ui = {};
        return ds(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui) == TWRC_SUCCESS;
    }
    // Waits for the source's MSG_XFERREADY the message way.
    bool fetchXferReady()
    {
        TW_EVENT event = {};
        return ds(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT && event.TWMessage == MSG_XFERREADY;
    }
    TW_UINT16 endTransfer(TW_UINT16 *count = nullptr)
    {
        TW_PENDINGXFERS pending = {};
        const TW_UINT16 rc = ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
        if (count)
            *count = pending.Count;
        return rc;
    }
    bool setOneValue(TW_UINT16 cap, TW_UINT16 type, TW_UINT32 value, TW_UINT16 *rc = nullptr)
    {
        TW_CAPABILITY c = {cap, TWON_ONEVALUE, entry.DSM_MemAllocate(sizeof(TW_ONEVALUE))};
        auto *one = static_cast<TW_ONEVALUE *>(entry.DSM_MemLock(c.hContainer));
        one->ItemType = type;
        std::memcpy(&one->Item, &value, 4);
        entry.DSM_MemUnlock(c.hContainer);
        const TW_UINT16 result = ds(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &c);
        entry.DSM_MemFree(c.hContainer);
        if (rc)
            *rc = result;
        return result == TWRC_SUCCESS;
    }

    // A page by native transfer, decoded and its block freed; a null image
    // when the transfer or the DIB is not right.
    QImage nativePage()
    {
        TW_HANDLE dib = nullptr;
        if (ds(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib) != TWRC_XFERDONE || !dib)
            return QImage();
        auto *bytes = static_cast<const unsigned char *>(entry.DSM_MemLock(dib));
        // The block is exactly header, palette and rows.
        TW_BITMAPINFOHEADER h;
        std::memcpy(&h, bytes, sizeof h);
        const std::size_t palette = h.biBitCount <= 8 ? (1u << h.biBitCount) : 0;
        const std::size_t size = 40 + 4 * palette + std::size_t((h.biBitCount * h.biWidth + 31) / 32) * 4 * h.biHeight;
        QImage image = decodeDib(bytes, size);
        if (h.biBitCount == 8 && (h.biClrUsed != 0 || bytes[40 + 4 * 200] != 200))
            image = QImage();  // not a grey palette of 256 entries with biClrUsed 0
        entry.DSM_MemUnlock(dib);
        entry.DSM_MemFree(dib);
        return image;
    }
    
    // A page by memory transfer, assembled from its strips with every strip's
    // placement checked.
    QImage memoryPage(TW_UINT32 bufferSize, bool byHandle, int *strips)
    {
        TW_IMAGEINFO info = {};
        if (ds(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info) != TWRC_SUCCESS)
            return QImage();
        const int bits = info.BitsPerPixel;
        const int rowBytes = (bits * info.ImageWidth + 7) / 8;
        QImage image(info.ImageWidth, info.ImageLength, bits == 24 ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
        TW_HANDLE handle = entry.DSM_MemAllocate(bufferSize);
        auto *buffer = static_cast<unsigned char *>(entry.DSM_MemLock(handle));
        int nextRow = 0;
        *strips = 0;
        for (;;) {
            TW_IMAGEMEMXFER xfer = {};
            xfer.Memory.Flags = TWMF_APPOWNS | (byHandle ? TWMF_HANDLE : TWMF_POINTER);
            xfer.Memory.Length = bufferSize;
            xfer.Memory.TheMem = byHandle ? handle : buffer;
            const TW_UINT16 rc = ds(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
            if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE)
                break;
            ++*strips;
            if (int(xfer.YOffset) != nextRow || int(xfer.BytesPerRow) != rowBytes || xfer.Rows == 0
                || xfer.BytesWritten != xfer.Rows * xfer.BytesPerRow || xfer.BytesWritten > bufferSize)
                break;
            for (TW_UINT32 i = 0; i < xfer.Rows; ++i) {
                const unsigned char *row = buffer + i * xfer.BytesPerRow;
                uchar *to = image.scanLine(int(xfer.YOffset + i));
                if (bits != 1)
                    std::memcpy(to, row, std::size_t(rowBytes));
                else
                    for (int x = 0; x < image.width(); ++x)
                        to[x] = (row[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
            }
            nextRow += int(xfer.Rows);
            if (rc == TWRC_XFERDONE) {
                entry.DSM_MemUnlock(handle);
                entry.DSM_MemFree(handle);
                return nextRow == image.height() ? image : QImage();
            }
        }
        entry.DSM_MemUnlock(handle);
        entry.DSM_MemFree(handle);
        return QImage();
    }

    // Brings any state back to a closed manager; failures do not matter.
    void shutdown()
    {
        TW_PENDINGXFERS pending = {};
        TW_USERINTERFACE ui = {};
        for (int i = 0; i < 3; ++i)
            ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
        ds(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
        dsm(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source);
        dsm(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent);
    }

    QStringList trace() const
    {
        QMutexLocker lock(&traceMutex);
        return traceLines;
    }
    bool traced(const QString &part) const
    {
        for (const QString &line : trace())
            if (line.contains(part))
                return true;
        return false;
    }

    QTemporaryDir dir;
    TW_IDENTITY app = {};
    TW_IDENTITY source = {};
    TW_ENTRYPOINT entry = {};
    void *parent = nullptr;

private:
    static void collect(const char *line, void *context)
    {
        auto *self = static_cast<SimSession *>(context);
        QMutexLocker lock(&self->traceMutex);
        self->traceLines << QString::fromUtf8(line);
    }
    mutable QMutex traceMutex;
    QStringList traceLines;
};

// A DIB of a native transfer as an image (1-bit pixels as grey 0 / 255), every
// size checked against the block; a null image when anything does not fit.
inline QImage decodeDib(const unsigned char *bytes, std::size_t size)
{
    TW_BITMAPINFOHEADER h;
    if (size < sizeof h)
        return QImage();
    std::memcpy(&h, bytes, sizeof h);
    if (h.biSize != 40 || h.biWidth <= 0 || h.biHeight <= 0 || h.biCompression != 0)
        return QImage();
    const int bits = h.biBitCount;
    if (bits != 1 && bits != 8 && bits != 24)
        return QImage();
    const std::size_t palette = bits <= 8 ? (h.biClrUsed ? h.biClrUsed : (1u << bits)) : 0;
    const std::size_t stride = std::size_t((bits * h.biWidth + 31) / 32) * 4;
    const std::size_t offset = sizeof h + 4 * palette;
    if (offset + stride * std::size_t(h.biHeight) > size)
        return QImage();
    QImage image(h.biWidth, h.biHeight, bits == 24 ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
    for (int y = 0; y < h.biHeight; ++y) {
        const unsigned char *row = bytes + offset + std::size_t(h.biHeight - 1 - y) * stride;
        uchar *to = image.scanLine(y);
        if (bits == 8) {
            std::memcpy(to, row, std::size_t(h.biWidth));
        } else if (bits == 24) {
            for (int x = 0; x < h.biWidth; ++x) {
                to[3 * x] = row[3 * x + 2];
                to[3 * x + 1] = row[3 * x + 1];
                to[3 * x + 2] = row[3 * x];
            }
        } else {
            for (int x = 0; x < h.biWidth; ++x)
                to[x] = (row[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
        }
    }
    return image;
}

#include "imagefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <opencv2/imgcodecs.hpp>

#include <FreeImage.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace ImageFile {

namespace {

bool fail(QString *error, const QString &what, const QString &path)
{
    if (error)
        *error = what + path;
    return false;
}

// Writes the bytes to a temporary file beside `path` and renames it over.
bool replaceFile(const QString &path, const uchar *data, qint64 size, QString *error)
{
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(reinterpret_cast<const char *>(data), size) != size
        || !out.commit())
        return fail(error, QStringLiteral("无法保存图片："), path);
    return true;
}

void initialiseFreeImage()
{
    static std::once_flag once;
    std::call_once(once, [] { FreeImage_Initialise(FALSE); });
}

using Bitmap = std::unique_ptr<FIBITMAP, decltype(&FreeImage_Unload)>;
using Memory = std::unique_ptr<FIMEMORY, decltype(&FreeImage_CloseMemory)>;

// What the decoder keeps beside the pixels and a turn must carry over: the
// palette and its transparency (a black-and-white page stays 1 bit), and the
// resolution, whose axes swap with a quarter turn.
void carryOver(FIBITMAP *from, FIBITMAP *to, bool quarterTurn)
{
    const unsigned colours = std::min(FreeImage_GetColorsUsed(from), FreeImage_GetColorsUsed(to));
    RGBQUAD *source = FreeImage_GetPalette(from);
    RGBQUAD *target = FreeImage_GetPalette(to);
    if (source && target && colours > 0)
        std::copy(source, source + colours, target);
    if (FreeImage_GetTransparencyCount(from) > 0)
        FreeImage_SetTransparencyTable(to, FreeImage_GetTransparencyTable(from),
                                       int(FreeImage_GetTransparencyCount(from)));
    const unsigned x = FreeImage_GetDotsPerMeterX(from);
    const unsigned y = FreeImage_GetDotsPerMeterY(from);
    FreeImage_SetDotsPerMeterX(to, quarterTurn ? y : x);
    FreeImage_SetDotsPerMeterY(to, quarterTurn ? x : y);
    // An orientation tag carried over would turn the page once more in
    // viewers that obey it.
    FreeImage_SetMetadata(FIMD_EXIF_RAW, to, nullptr, nullptr);
    FreeImage_SetMetadata(FIMD_EXIF_MAIN, to, nullptr, nullptr);
}

} // namespace

cv::Mat read(const QString &path, int flags, QString *error)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        fail(error, QStringLiteral("无法读取图片："), path);
        return cv::Mat();
    }
    const QByteArray bytes = in.readAll();
    in.close();
    cv::Mat image;
    if (!bytes.isEmpty()) {
        try {
            const cv::Mat raw(1, bytes.size(), CV_8U, const_cast<char *>(bytes.constData()));
            image = cv::imdecode(raw, flags);
        } catch (const cv::Exception &) {
            image.release();
        }
    }
    if (image.empty())
        fail(error, QStringLiteral("无法读取图片："), path);
    return image;
}

bool write(const QString &path, const cv::Mat &image, const std::vector<int> &params, QString *error)
{
    std::vector<uchar> encoded;
    try {
        const std::string extension = "." + QFileInfo(path).suffix().toLower().toStdString();
        if (image.empty() || !cv::imencode(extension, image, encoded, params))
            return fail(error, QStringLiteral("无法保存图片："), path);
    } catch (const cv::Exception &) {
        // An unknown suffix or an image the format cannot hold.
        return fail(error, QStringLiteral("无法保存图片："), path);
    }

    return replaceFile(path, encoded.data(), qint64(encoded.size()), error);
}

namespace {

bool rotateJpeg(const QString &path, int mode, int jpegQuality, QString *error)
{
    const cv::Mat image = read(path, cv::IMREAD_UNCHANGED, error);
    if (image.empty())
        return false;
    static const cv::RotateFlags flags[] = {cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180, cv::ROTATE_90_COUNTERCLOCKWISE};
    cv::Mat rotated;
    cv::rotate(image, rotated, flags[mode]);
    std::vector<int> params;
    if (jpegQuality >= 0)
        params = {cv::IMWRITE_JPEG_QUALITY, std::min(jpegQuality, 100)};
    return write(path, rotated, params, error);
}

} // namespace

bool rotate(const QString &path, int mode, int jpegQuality, QString *error)
{
    if (mode < 0 || mode > 2)
        return fail(error, QStringLiteral("旋转方式无效："), path);
    // A JPEG holds 8-bit grey or colour, which OpenCV keeps as it is.
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return rotateJpeg(path, mode, jpegQuality, error);
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("无法读取图片："), path);
    QByteArray bytes = in.readAll();
    in.close();
    if (bytes.isEmpty())
        return fail(error, QStringLiteral("无法读取图片："), path);

    // FreeImage keeps what OpenCV would widen: 1-bit and palette pages are
    // turned and written back at their own depth.
    initialiseFreeImage();
    Memory source(FreeImage_OpenMemory(reinterpret_cast<BYTE *>(bytes.data()), DWORD(bytes.size())),
                  &FreeImage_CloseMemory);
    const FREE_IMAGE_FORMAT sourceFormat = source ? FreeImage_GetFileTypeFromMemory(source.get(), 0) : FIF_UNKNOWN;
    Bitmap image(sourceFormat == FIF_UNKNOWN ? nullptr : FreeImage_LoadFromMemory(sourceFormat, source.get(), 0),
                 &FreeImage_Unload);
    if (!image)
        return fail(error, QStringLiteral("无法读取图片："), path);

    // Written in the format its suffix names, as before.
    const QByteArray name = "page." + QFileInfo(path).suffix().toLower().toUtf8();
    const FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(name.constData());
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsWriting(format))
        return fail(error, QStringLiteral("无法保存图片："), path);

    // Counter-clockwise degrees.
    static const double angles[] = {270.0, 180.0, 90.0};
    if (FreeImage_GetBPP(image.get()) == 4) {
        // No quarter turn at 4 bits: 8 bits keep the palette.
        image.reset(FreeImage_ConvertTo8Bits(image.get()));
        if (!image)
            return fail(error, QStringLiteral("无法读取图片："), path);
    }
    Bitmap turned(FreeImage_Rotate(image.get(), angles[mode]), &FreeImage_Unload);
    if (!turned)
        return fail(error, QStringLiteral("无法保存图片："), path);
    carryOver(image.get(), turned.get(), mode != 1);
    image.reset();

    // A depth the target format cannot hold (a 1-bit page named .jpg).
    if (!FreeImage_FIFSupportsExportBPP(format, int(FreeImage_GetBPP(turned.get())))) {
        const bool grey = FreeImage_GetColorType(turned.get()) == FIC_MINISBLACK
            || FreeImage_GetColorType(turned.get()) == FIC_MINISWHITE;
        turned.reset(grey ? FreeImage_ConvertToGreyscale(turned.get()) : FreeImage_ConvertTo24Bits(turned.get()));
        if (!turned || !FreeImage_FIFSupportsExportBPP(format, int(FreeImage_GetBPP(turned.get()))))
            return fail(error, QStringLiteral("无法保存图片："), path);
    }

    // JPEG named otherwise (a ".jfif"): OpenCV's default quality, as before.
    const int flags = format == FIF_JPEG ? (jpegQuality >= 0 ? std::min(jpegQuality, 100) : 95) : 0;
    Memory target(FreeImage_OpenMemory(), &FreeImage_CloseMemory);
    BYTE *data = nullptr;
    DWORD size = 0;
    if (!target || !FreeImage_SaveToMemory(format, turned.get(), target.get(), flags)
        || !FreeImage_AcquireMemory(target.get(), &data, &size) || size == 0)
        return fail(error, QStringLiteral("无法保存图片："), path);
    return replaceFile(path, data, qint64(size), error);
}

} // namespace ImageFile

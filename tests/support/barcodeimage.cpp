#include "barcodeimage.h"

#include <opencv2/imgproc.hpp>
#include <zint.h>

namespace BarcodeImage {

cv::Mat render(Kind kind, const QString &data, int module, int barHeight)
{
    zint_symbol *symbol = ZBarcode_Create();
    if (!symbol)
        return {};
    switch (kind) {
    case Code128: symbol->symbology = BARCODE_CODE128; break;
    case Code39: symbol->symbology = BARCODE_CODE39; break;
    case QrCode: symbol->symbology = BARCODE_QRCODE; break;
    }
    symbol->show_hrt = 0;
    symbol->scale = 0.5f;              // raster output draws 2 pixels per unit: one pixel per module, scaled below
    symbol->whitespace_width = 10;
    symbol->whitespace_height = kind == QrCode ? 4 : 0;
    if (kind != QrCode)
        symbol->height = float(barHeight) / float(module);
    const QByteArray bytes = data.toUtf8();
    cv::Mat out;
    if (ZBarcode_Encode_and_Buffer(symbol, reinterpret_cast<const unsigned char *>(bytes.constData()),
                                   bytes.size(), 0) < ZINT_ERROR && symbol->bitmap) {
        cv::Mat rgb(symbol->bitmap_height, symbol->bitmap_width, CV_8UC3, symbol->bitmap);
        cv::Mat grey;
        cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
        const double f = module > 0 ? module : 1;
        cv::resize(grey, out, cv::Size(), f, f, cv::INTER_NEAREST);
        if (kind != QrCode) // linear codes get a margin above and below as well
            cv::copyMakeBorder(out, out, 2 * module, 2 * module, 0, 0, cv::BORDER_CONSTANT, cv::Scalar(255));
    }
    ZBarcode_Delete(symbol);
    return out;
}

} // namespace BarcodeImage

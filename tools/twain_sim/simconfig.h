#pragma once
// The simulated sources as a JSON file describes them. The file holds
// {"sources": [ ... ]}; each source:
//   "productName", "manufacturer", "productFamily", "protocol": "2.4"
//   "twain2": true        accepts the manager's callback (DF_DS2)
//   "capabilities": { "ICAP_PIXELTYPE": {"type": "UINT16", "enumeration": [0, 1, 2],
//                     "current": 1, "default": 1}, "ICAP_XRESOLUTION": {"type": "FIX32",
//                     "range": {"min": 100, "max": 600, "step": 100}, "current": 200},
//                     "CAP_DUPLEXENABLED": {"type": "BOOL", "value": false, "readOnly": false},
//                     "0x9292": {...}, "CAP_INDICATORS": null (removes a built-in one) }
//   "sheets": [ {"front": "page1.png", "back": "page1b.png",
//                "frontBarcodes": [{"type": 20, "text": "S001", "x": 10, "y": 20,
//                                   "rotation": 0, "confidence": 100}], "backBarcodes": []} ]
//       "claimedLength": n on a barcode reports n as its text length (a faulty source)
//       a side without a file is synthesised; "sheetCount": n adds n synthesised sheets
//   "pageSize": [8.27, 11.69]   inches of a synthesised page
//   "countKnown": true     false: pending counts are -1 until the last page
//   "pageSide": true       false: neither TWEI_PAGESIDE nor TWEI_CAMERA is known
//   "lengthUnknown": false   true: DAT_IMAGEINFO gives ImageLength -1 (strips still
//                            carry their rows and offsets)
//   "cameraUnterminated": false   true: the TWEI_CAMERA text fills a block of
//                            its own length, with no closing zero (a faulty source)
//   "nativeTopDown": false   true: native images are stored top row first
//                            (negative height)
//   "faults": {"cancelAtPage": 0, "failAtPage": 0, "stripFailAtPage": 0, "stripFailAtStrip": 1,
//              "nullImageAtPage": 0, "malformedAtPage": 0, "malformed": "headerSize", "stallAtPage": 0}
//       pages count from 1 within a batch; 0 is no fault. nullImageAtPage: the
//       native transfer reports done without an image handle. malformedAtPage:
//       that page's native image is corrupt as "malformed" says: "headerSize"
//       (biSize 12), "shortBlock" (block ends two rows early), "bits16",
//       "bits32" (a depth the header claims), "compressed" (biCompression 1),
//       "hugeWidth" (biWidth 2^31-1), "heightLie" (biHeight twice the rows
//       there are, biSizeImage 0), "sizeImageSmall" (the same with biSizeImage
//       of the real rows), "widerThanInfo" (a consistent image wider than
//       DAT_IMAGEINFO announced), "palette24" (a 24-bit image claiming 256
//       palette entries it does not carry). stallAtPage: every request for
//       that page's image or strip answers TWRC_CHECKSTATUS and transfers nothing
//   The hostile faults, a driver that breaks the standard:
//     "sizeUntold": true     the manager cannot tell a block's size (DSM_MemSize
//                            answers 0), like every real manager
//     "handlesAtPage": n     the native transfer of that page answers
//                            TWRC_SUCCESS with a fresh image handle, never done
//     "stripLieAtPage": n, "stripLie": "zeroRows" (strips of 0 rows, success),
//                            "repeatRowZero" (every strip at row 0), "doneEarly"
//                            (TWRC_XFERDONE after the first strip), "gap" (the
//                            second strip skips rows)
//     "hugePageAtPage": n    DAT_IMAGEINFO announces 65535 x 65535 at 24 bits
//     "imageInfoFailAtPage": n, "endXferFailAtPage": n   those calls fail
//     "disableFails": n      the first n MSG_DISABLEDS fail (TWCC_BUMMER)
//     "neverReady": true     enabled, the source never reports a page
//     "floodCallbacks": n    after enabling, n MSG_NULL events by callback
//     "containerLie": {"cap": "ICAP_XRESOLUTION", "kind": k}   MSG_GET and
//                            MSG_GETCURRENT of that capability answer: "hugeCount"
//                            (an enumeration of 22 bytes claiming 50,000,000 items),
//                            "indexPastCount" (CurrentIndex past NumItems),
//                            "arrayCountLies" (an array of 2 items claiming 1000),
//                            "shortOneValue" (a one-value of 4 bytes declaring FIX32)
//     "extInfoLie": "nullHandle" (texts and lists returned with a null handle),
//                   "longFrame" (TWEI_FRAME claiming 50,000 frames in a block of
//                   one), "cameraFull" (a camera text of 256 bytes, no closing
//                   zero), "sharedHandle" (two entries name the same block)
//   "settingsDialog": "ok"   the answer of the source's own dialog: "ok" (MSG_CLOSEDSOK)
//                            or "cancel" (MSG_CLOSEDSREQ)
//   "closeRequestAfterBatch": false   MSG_CLOSEDSREQ once a batch is transferred
//   "preferredBufferSize": 65536      of a memory transfer
// Image files are found relative to the JSON file.

#include "simcapability.h"

#include <QString>
#include <QVector>

#include <map>

struct SimBarcode
{
    TW_UINT32 type = TWBT_QRCODE;
    QString text;
    TW_UINT32 x = 0, y = 0;
    TW_UINT32 rotation = TWBCOR_ROT0;
    TW_UINT32 confidence = 100;
    int claimedLength = -1;  // the length reported instead of the text's own (a faulty source)
};

struct SimSide
{
    QString file;  // absolute; empty: synthesised
    QVector<SimBarcode> barcodes;
};

struct SimSheet
{
    SimSide front, back;
};

struct SimFaults
{
    int cancelAtPage = 0;
    int failAtPage = 0;
    int stripFailAtPage = 0;
    int stripFailAtStrip = 1;
    int nullImageAtPage = 0;
    int malformedAtPage = 0;
    QString malformed;
    int stallAtPage = 0;
    bool sizeUntold = false;
    int handlesAtPage = 0;
    int stripLieAtPage = 0;
    QString stripLie;
    int hugePageAtPage = 0;
    int imageInfoFailAtPage = 0;
    int endXferFailAtPage = 0;
    int disableFails = 0;
    bool neverReady = false;
    int floodCallbacks = 0;
    TW_UINT16 containerLieCap = 0;
    QString containerLie;
    QString extInfoLie;
};

struct SimSourceConfig
{
    QString productName, manufacturer, productFamily;
    TW_UINT16 protocolMajor = 2, protocolMinor = 4;
    bool twain2 = true;
    std::map<TW_UINT16, SimCapability> capabilities;
    QVector<SimSheet> sheets;
    double pageWidth = 8.27, pageHeight = 11.69;
    bool countKnown = true;
    bool pageSide = true;
    bool lengthUnknown = false;
    bool nativeTopDown = false;
    bool cameraUnterminated = false;
    SimFaults faults;
    bool settingsOk = true;
    bool closeRequestAfterBatch = false;
    TW_UINT32 preferredBufferSize = 65536;
};

// Reads the file; false with the reason in error.
bool readSimSources(const QString &path, QVector<SimSourceConfig> *sources, QString *error);
// The capabilities every simulated source has unless its file says otherwise.
std::map<TW_UINT16, SimCapability> simBuiltInCapabilities();

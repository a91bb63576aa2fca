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
//       "hugeWidth" (biWidth 2^31-1). stallAtPage: every request for that
//       page's image or strip answers TWRC_CHECKSTATUS and transfers nothing
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

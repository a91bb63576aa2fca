#include "twainapp.h"

#include "twainmemory.h"

#include <FreeImage.h>

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

bool gUseCallbacks = false;

namespace {

// Extended image information ids the query asks for; a source's list longer
// than this is cut, and so is a barcode count beyond kMaxBarcodes, so the
// record stays within what a manager accepts.
constexpr std::size_t kMaxInfoIds = 64;
constexpr TW_UINT32 kMaxBarcodes = 100;
// A barcode text longer than this is not a barcode of ours.
constexpr TW_UINT32 kMaxBarcodeText = 4096;

struct Binding
{
    std::recursive_mutex callMutex;  // calls never overlap; a callback may call again
    DsmLibrary *library = nullptr;
    DsmTrustCheck check;
    TW_ENTRYPOINT entry = {};
    DsmMemSizeProc memSize = nullptr;  // the manager's optional size export
    TW_IDENTITY defaultSource = {};
    QString loadError;  // why the last attempt to bind failed
    TwainTraceSink sink;
    std::mutex sinkMutex;
    char names[3][1024] = {};
    int nextName = 0;
};

Binding &binding()
{
    static Binding b;
    return b;
}

void emitText(bool error, const char *text)
{
    Binding &b = binding();
    std::lock_guard<std::mutex> lock(b.sinkMutex);
    if (b.sink) {
        b.sink(error, text);
        return;
    }
    std::fputs(text, error ? stderr : stdout);
    std::fflush(error ? stderr : stdout);
}

void printError(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void printError(const char *format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    emitText(true, buffer);
}

char *nextTempBuffer()
{
    Binding &b = binding();
    char *buffer = b.names[b.nextName];
    b.nextName = (b.nextName + 1) % 3;
    buffer[0] = '\0';
    return buffer;
}

const char *fallback(const char *format, unsigned value)
{
    char *buffer = nextTempBuffer();
    std::snprintf(buffer, 1024, format, value);
    return buffer;
}

// The trust check in use; a refusal is written with its reason.
DsmTrust checkTrust(const QString &path)
{
    const DsmTrustCheck &check = binding().check;
    const DsmTrust trust = check ? check(path) : defaultDsmTrustCheck(path);
    if (!trust.trusted)
        printError("signature: %s\n", trust.reason.toLocal8Bit().constData());
    return trust;
}

bool bind(const QString &fullPath)
{
    Binding &b = binding();
    const QString path = fullPath.isEmpty() ? DsmLibrary::locate() : fullPath;
    const QByteArray shown = QFile::encodeName(fullPath.isEmpty() ? DsmLibrary::defaultFileName() : fullPath);
    if (path.isEmpty()) {
        printError("Error - Could not load DSM: %s\n", shown.constData());
        b.loadError = QStringLiteral("%1 was not found.").arg(QFile::decodeName(shown));
        return false;
    }
    // The library's own code must not run before it is trusted: the check
    // runs on the file by its full path, then the loader loads that file.
    auto *library = new DsmLibrary(checkTrust);
    if (!library->load(path)) {
        printError("Error - Could not load DSM: %s\n%s\n", shown.constData(),
                   library->errorString().toLocal8Bit().constData());
        b.loadError = library->errorString();
        delete library;
        return false;
    }
    b.loadError.clear();
    b.library = library;
    return true;
}

} // namespace

// ---- binding --------------------------------------------------------------------

void setTwainTraceSink(TwainTraceSink sink)
{
    Binding &b = binding();
    std::lock_guard<std::mutex> lock(b.sinkMutex);
    b.sink = std::move(sink);
}

void printLog(const char *format, ...)
{
    char buffer[200];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    emitText(false, buffer);
}

void setDsmTrustCheck(DsmTrustCheck check)
{
    binding().check = std::move(check);
}

bool verifyDSMSignature(const QString &path)
{
    return checkTrust(path).trusted;
}

bool loadDSMLib(const QString &fullPath)
{
    Binding &b = binding();
    std::lock_guard<std::recursive_mutex> lock(b.callMutex);
    if (b.library)
        return true;
    return bind(fullPath);
}

void unloadDSMLib()
{
    Binding &b = binding();
    std::lock_guard<std::recursive_mutex> lock(b.callMutex);
    delete b.library;
    b.library = nullptr;
    b.entry = {};
    b.memSize = nullptr;
    gUseCallbacks = false;
}

QString dsmLoadError()
{
    Binding &b = binding();
    std::lock_guard<std::recursive_mutex> lock(b.callMutex);
    return b.loadError;
}

bool isDSMLibLoaded()
{
    Binding &b = binding();
    std::lock_guard<std::recursive_mutex> lock(b.callMutex);
    return b.library != nullptr;
}

TW_UINT16 callDSMEntry(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dataGroup, TW_UINT16 dataArgType,
                       TW_UINT16 message, TW_MEMREF data)
{
    Binding &b = binding();
    std::lock_guard<std::recursive_mutex> lock(b.callMutex);
    if (!b.library && !bind(QString())) {
        printError("Could not load the DSM: %s\n", QFile::encodeName(DsmLibrary::defaultFileName()).constData());
        return TWRC_FAILURE;
    }
    DSMENTRYPROC entry = b.library->entry();
    return entry ? entry(origin, destination, dataGroup, dataArgType, message, data) : TW_UINT16(TWRC_FAILURE);
}

TW_HANDLE dsmMemAllocate(TW_UINT32 size)
{
    const TW_ENTRYPOINT &e = binding().entry;
    return e.DSM_MemAllocate ? e.DSM_MemAllocate(size) : twainMemAllocate(size);
}

void dsmMemFree(TW_HANDLE handle)
{
    const TW_ENTRYPOINT &e = binding().entry;
    e.DSM_MemFree ? e.DSM_MemFree(handle) : twainMemFree(handle);
}

TW_MEMREF dsmMemLock(TW_HANDLE handle)
{
    const TW_ENTRYPOINT &e = binding().entry;
    return e.DSM_MemLock ? e.DSM_MemLock(handle) : twainMemLock(handle);
}

bool useDSMEntryPoint(const TW_ENTRYPOINT &entry)
{
    // All four or none: a manager that fills some would mix two tables.
    if (!entry.DSM_MemAllocate || !entry.DSM_MemFree || !entry.DSM_MemLock || !entry.DSM_MemUnlock)
        return false;
    Binding &b = binding();
    std::lock_guard<std::recursive_mutex> lock(b.callMutex);
    b.entry = entry;
    b.memSize = b.library ? reinterpret_cast<DsmMemSizeProc>(b.library->resolve(kDsmMemSizeSymbol)) : nullptr;
    return true;
}

std::size_t dsmMemSize(TW_HANDLE handle)
{
    const Binding &b = binding();
    if (!b.entry.DSM_MemAllocate)
        return TwainMemory::process().size(handle);
    return b.memSize ? std::size_t(b.memSize(handle)) : 0;
}

void dsmMemUnlock(TW_HANDLE handle)
{
    const TW_ENTRYPOINT &e = binding().entry;
    e.DSM_MemUnlock ? e.DSM_MemUnlock(handle) : twainMemUnlock(handle);
}

// ---- FIX32 and containers ---------------------------------------------------------

float FIX32ToFloat(const TW_FIX32 &fix32)
{
    return float(fix32.Whole) + float(fix32.Frac) / 65536.0f;
}

TW_FIX32 FloatToFIX32(float value)
{
    const bool negative = value < 0;
    const auto whole = TW_INT32(double(value) * 65536.0 + (negative ? -0.5 : 0.5));
    TW_FIX32 fix32;
    fix32.Whole = TW_INT16(whole >> 16);
    fix32.Frac = TW_UINT16(whole & 0xffff);
    return fix32;
}

int getTWTypeSize(TW_UINT16 itemType)
{
    switch (itemType) {
    case TWTY_INT8:
    case TWTY_UINT8:
        return 1;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL:
        return 2;
    case TWTY_INT32:
    case TWTY_UINT32:
    case TWTY_FIX32:
    case TWTY_HANDLE:
        return 4;
    case TWTY_FRAME:
        return 16;
    case TWTY_STR32:
        return 34;
    case TWTY_STR64:
        return 66;
    case TWTY_STR128:
        return 130;
    case TWTY_STR255:
        return 256;
    case TWTY_STR1024:
        return 1026;
    case TWTY_UNI512:
        return 1024;
    default:
        return 0;
    }
}

bool isIntegerType(TW_UINT16 type)
{
    return type <= TWTY_BOOL;
}

void copyStr32(TW_STR32 to, const char *text)
{
    std::memset(to, 0, sizeof(TW_STR32));
    std::strncpy(to, text, sizeof(TW_STR32) - 1);
}

namespace {

// One integer item at p, signed types sign-extended.
TW_UINT32 readInteger(const unsigned char *p, TW_UINT16 type)
{
    switch (type) {
    case TWTY_INT8: {
        TW_INT8 v;
        std::memcpy(&v, p, 1);
        return TW_UINT32(TW_INT32(v));
    }
    case TWTY_UINT8:
        return *p;
    case TWTY_INT16: {
        TW_INT16 v;
        std::memcpy(&v, p, 2);
        return TW_UINT32(TW_INT32(v));
    }
    case TWTY_UINT16:
    case TWTY_BOOL: {
        TW_UINT16 v;
        std::memcpy(&v, p, 2);
        return v;
    }
    default: {
        TW_UINT32 v;
        std::memcpy(&v, p, 4);
        return v;
    }
    }
}

// Locks the container and hands it to read with the bytes that may be read:
// the block's size when the memory layer knows it, else unknownSize.
// Unlocked again whatever read did.
constexpr std::size_t kUnknownBlock = SIZE_MAX;

template <typename Read>
bool withContainer(const TW_CAPABILITY &cap, Read read)
{
    if (!cap.hContainer)
        return false;
    auto *p = static_cast<const unsigned char *>(dsmMemLock(cap.hContainer));
    if (!p)
        return false;
    const std::size_t known = dsmMemSize(cap.hContainer);
    const bool ok = read(p, known == 0 ? kUnknownBlock : known);
    dsmMemUnlock(cap.hContainer);
    return ok;
}

bool acceptedType(TW_UINT16 type, bool fix32)
{
    return fix32 ? type == TWTY_FIX32 : isIntegerType(type);
}

// Item index of an array or enumeration, when the item type is accepted.
// The count the source states is believed only up to kMaxContainerItems and
// as far as the block goes.
bool listItem(const TW_CAPABILITY &cap, TW_UINT32 index, bool fix32, TW_UINT32 &value)
{
    return withContainer(cap, [&](const unsigned char *p, std::size_t size) {
        std::size_t header;
        if (cap.ConType == TWON_ARRAY)
            header = offsetof(TW_ARRAY, ItemList);
        else if (cap.ConType == TWON_ENUMERATION)
            header = offsetof(TW_ENUMERATION, ItemList);
        else
            return false;
        if (size < header)
            return false;
        TW_UINT16 type;
        TW_UINT32 count;
        std::memcpy(&type, p + offsetof(TW_ARRAY, ItemType), sizeof type);
        std::memcpy(&count, p + offsetof(TW_ARRAY, NumItems), sizeof count);
        if (!acceptedType(type, fix32))
            return false;
        const std::size_t itemSize = std::size_t(getTWTypeSize(type));
        const std::size_t fits = size == kUnknownBlock ? count : (size - header) / itemSize;
        if (index >= count || index >= kMaxContainerItems || index >= fits)
            return false;
        value = readInteger(p + header + std::size_t(index) * itemSize, fix32 ? TWTY_UINT32 : type);
        return true;
    });
}

bool currentItem(const TW_CAPABILITY &cap, bool fix32, TW_UINT32 &value)
{
    if (cap.ConType == TWON_ENUMERATION) {
        TW_UINT32 index = 0;
        if (!withContainer(cap, [&](const unsigned char *p, std::size_t size) {
                if (size < offsetof(TW_ENUMERATION, ItemList))
                    return false;
                std::memcpy(&index, p + offsetof(TW_ENUMERATION, CurrentIndex), sizeof index);
                return true;
            }))
            return false;
        // listItem refuses an index at or past NumItems.
        return listItem(cap, index, fix32, value);
    }
    return withContainer(cap, [&](const unsigned char *p, std::size_t size) {
        TW_UINT16 type;
        if (size < sizeof type)
            return false;
        std::memcpy(&type, p, sizeof type);
        if (!acceptedType(type, fix32))
            return false;
        if (cap.ConType == TWON_ONEVALUE) {
            // The item may be narrower than the four bytes of Item; a block
            // shorter than the item it declares is refused.
            if (size < offsetof(TW_ONEVALUE, Item) + std::size_t(getTWTypeSize(type)))
                return false;
            value = readInteger(p + offsetof(TW_ONEVALUE, Item), fix32 ? TWTY_UINT32 : type);
            return true;
        }
        if (cap.ConType == TWON_RANGE) {
            if (size < sizeof(TW_RANGE))
                return false;
            std::memcpy(&value, p + offsetof(TW_RANGE, CurrentValue), sizeof value);
            return true;
        }
        return false;
    });
}

TW_FIX32 asFix32(TW_UINT32 bits)
{
    TW_FIX32 f;
    std::memcpy(&f, &bits, 4);
    return f;
}

} // namespace

bool GetItem(const TW_CAPABILITY &cap, TW_UINT32 index, TW_UINT32 &value)
{
    return listItem(cap, index, false, value);
}

bool GetItemFix32(const TW_CAPABILITY &cap, TW_UINT32 index, TW_FIX32 &value)
{
    TW_UINT32 bits = 0;
    if (!listItem(cap, index, true, bits))
        return false;
    value = asFix32(bits);
    return true;
}

bool GetCurrent(const TW_CAPABILITY &cap, TW_UINT32 &value)
{
    return currentItem(cap, false, value);
}

bool GetCurrentFix32(const TW_CAPABILITY &cap, TW_FIX32 &value)
{
    TW_UINT32 bits = 0;
    if (!currentItem(cap, true, bits))
        return false;
    value = asFix32(bits);
    return true;
}

bool GetRangeValues(const TW_CAPABILITY &cap, std::vector<TW_UINT32> &values, std::size_t maxCount)
{
    values.clear();
    if (cap.ConType != TWON_RANGE)
        return false;
    TW_RANGE range = {};
    if (!withContainer(cap, [&](const unsigned char *p, std::size_t size) {
            if (size < sizeof range)
                return false;
            std::memcpy(&range, p, sizeof range);
            return true;
        }))
        return false;
    // 64 bits, so a last step cannot wrap past the largest 32-bit value.
    for (std::uint64_t v = range.MinValue; v <= range.MaxValue && values.size() < maxCount; v += range.StepSize) {
        values.push_back(TW_UINT32(v));
        if (range.StepSize == 0)
            break;
    }
    return true;
}

// ---- names ------------------------------------------------------------------------

namespace {

struct Name
{
    TW_UINT32 value;
    const char *name;
};

template <std::size_t N>
const char *lookup(const Name (&table)[N], TW_UINT32 value)
{
    for (const Name &n : table)
        if (n.value == value)
            return n.name;
    return nullptr;
}

#define N(prefix, name, value) {value, #prefix #name}

const Name kCaps[] = {
    {0x0001, "CAP_XFERCOUNT"}, {0x0100, "ICAP_COMPRESSION"}, {0x0101, "ICAP_PIXELTYPE"}, {0x0102, "ICAP_UNITS"},
    {0x0103, "ICAP_XFERMECH"}, {0x1000, "CAP_AUTHOR"}, {0x1001, "CAP_CAPTION"}, {0x1002, "CAP_FEEDERENABLED"},
    {0x1003, "CAP_FEEDERLOADED"}, {0x1004, "CAP_TIMEDATE"}, {0x1005, "CAP_SUPPORTEDCAPS"},
    {0x1006, "CAP_EXTENDEDCAPS"}, {0x1007, "CAP_AUTOFEED"}, {0x1008, "CAP_CLEARPAGE"}, {0x1009, "CAP_FEEDPAGE"},
    {0x100a, "CAP_REWINDPAGE"}, {0x100b, "CAP_INDICATORS"}, {0x100d, "CAP_PAPERDETECTABLE"},
    {0x100e, "CAP_UICONTROLLABLE"}, {0x100f, "CAP_DEVICEONLINE"}, {0x1010, "CAP_AUTOSCAN"},
    {0x1011, "CAP_THUMBNAILSENABLED"}, {0x1012, "CAP_DUPLEX"}, {0x1013, "CAP_DUPLEXENABLED"},
    {0x1014, "CAP_ENABLEDSUIONLY"}, {0x1015, "CAP_CUSTOMDSDATA"}, {0x1016, "CAP_ENDORSER"},
    {0x1017, "CAP_JOBCONTROL"}, {0x1018, "CAP_ALARMS"}, {0x1019, "CAP_ALARMVOLUME"},
    {0x101a, "CAP_AUTOMATICCAPTURE"}, {0x101b, "CAP_TIMEBEFOREFIRSTCAPTURE"}, {0x101c, "CAP_TIMEBETWEENCAPTURES"},
    {0x101d, "CAP_CLEARBUFFERS"}, {0x101e, "CAP_MAXBATCHBUFFERS"}, {0x101f, "CAP_DEVICETIMEDATE"},
    {0x1020, "CAP_POWERSUPPLY"}, {0x1021, "CAP_CAMERAPREVIEWUI"}, {0x1022, "CAP_DEVICEEVENT"},
    {0x1024, "CAP_SERIALNUMBER"}, {0x1026, "CAP_PRINTER"}, {0x1027, "CAP_PRINTERENABLED"},
    {0x1028, "CAP_PRINTERINDEX"}, {0x1029, "CAP_PRINTERMODE"}, {0x102a, "CAP_PRINTERSTRING"},
    {0x102b, "CAP_PRINTERSUFFIX"}, {0x102c, "CAP_LANGUAGE"}, {0x102d, "CAP_FEEDERALIGNMENT"},
    {0x102e, "CAP_FEEDERORDER"}, {0x1030, "CAP_REACQUIREALLOWED"}, {0x1032, "CAP_BATTERYMINUTES"},
    {0x1033, "CAP_BATTERYPERCENTAGE"}, {0x1034, "CAP_CAMERASIDE"}, {0x1035, "CAP_SEGMENTED"},
    {0x1036, "CAP_CAMERAENABLED"}, {0x1037, "CAP_CAMERAORDER"}, {0x1038, "CAP_MICRENABLED"},
    {0x1039, "CAP_FEEDERPREP"}, {0x103a, "CAP_FEEDERPOCKET"}, {0x103b, "CAP_AUTOMATICSENSEMEDIUM"},
    {0x103c, "CAP_CUSTOMINTERFACEGUID"}, {0x103d, "CAP_SUPPORTEDCAPSSEGMENTUNIQUE"}, {0x103e, "CAP_SUPPORTEDDATS"},
    {0x103f, "CAP_DOUBLEFEEDDETECTION"}, {0x1040, "CAP_DOUBLEFEEDDETECTIONLENGTH"},
    {0x1041, "CAP_DOUBLEFEEDDETECTIONSENSITIVITY"}, {0x1042, "CAP_DOUBLEFEEDDETECTIONRESPONSE"},
    {0x1043, "CAP_PAPERHANDLING"}, {0x1044, "CAP_INDICATORSMODE"}, {0x1045, "CAP_PRINTERVERTICALOFFSET"},
    {0x1046, "CAP_POWERSAVETIME"}, {0x1047, "CAP_PRINTERCHARROTATION"}, {0x1048, "CAP_PRINTERFONTSTYLE"},
    {0x1049, "CAP_PRINTERINDEXLEADCHAR"}, {0x104a, "CAP_PRINTERINDEXMAXVALUE"},
    {0x104b, "CAP_PRINTERINDEXNUMDIGITS"}, {0x104c, "CAP_PRINTERINDEXSTEP"}, {0x104d, "CAP_PRINTERINDEXTRIGGER"},
    {0x104e, "CAP_PRINTERSTRINGPREVIEW"}, {0x1100, "ICAP_AUTOBRIGHT"}, {0x1101, "ICAP_BRIGHTNESS"},
    {0x1103, "ICAP_CONTRAST"}, {0x1104, "ICAP_CUSTHALFTONE"}, {0x1105, "ICAP_EXPOSURETIME"},
    {0x1106, "ICAP_FILTER"}, {0x1107, "ICAP_FLASHUSED"}, {0x1108, "ICAP_GAMMA"}, {0x1109, "ICAP_HALFTONES"},
    {0x110a, "ICAP_HIGHLIGHT"}, {0x110c, "ICAP_IMAGEFILEFORMAT"}, {0x110d, "ICAP_LAMPSTATE"},
    {0x110e, "ICAP_LIGHTSOURCE"}, {0x1110, "ICAP_ORIENTATION"}, {0x1111, "ICAP_PHYSICALWIDTH"},
    {0x1112, "ICAP_PHYSICALHEIGHT"}, {0x1113, "ICAP_SHADOW"}, {0x1114, "ICAP_FRAMES"},
    {0x1116, "ICAP_XNATIVERESOLUTION"}, {0x1117, "ICAP_YNATIVERESOLUTION"}, {0x1118, "ICAP_XRESOLUTION"},
    {0x1119, "ICAP_YRESOLUTION"}, {0x111a, "ICAP_MAXFRAMES"}, {0x111b, "ICAP_TILES"}, {0x111c, "ICAP_BITORDER"},
    {0x111d, "ICAP_CCITTKFACTOR"}, {0x111e, "ICAP_LIGHTPATH"}, {0x111f, "ICAP_PIXELFLAVOR"},
    {0x1120, "ICAP_PLANARCHUNKY"}, {0x1121, "ICAP_ROTATION"}, {0x1122, "ICAP_SUPPORTEDSIZES"},
    {0x1123, "ICAP_THRESHOLD"}, {0x1124, "ICAP_XSCALING"}, {0x1125, "ICAP_YSCALING"},
    {0x1126, "ICAP_BITORDERCODES"}, {0x1127, "ICAP_PIXELFLAVORCODES"}, {0x1128, "ICAP_JPEGPIXELTYPE"},
    {0x112a, "ICAP_TIMEFILL"}, {0x112b, "ICAP_BITDEPTH"}, {0x112c, "ICAP_BITDEPTHREDUCTION"},
    {0x112d, "ICAP_UNDEFINEDIMAGESIZE"}, {0x112e, "ICAP_IMAGEDATASET"}, {0x112f, "ICAP_EXTIMAGEINFO"},
    {0x1130, "ICAP_MINIMUMHEIGHT"}, {0x1131, "ICAP_MINIMUMWIDTH"}, {0x1134, "ICAP_AUTODISCARDBLANKPAGES"},
    {0x1136, "ICAP_FLIPROTATION"}, {0x1137, "ICAP_BARCODEDETECTIONENABLED"},
    {0x1138, "ICAP_SUPPORTEDBARCODETYPES"}, {0x1139, "ICAP_BARCODEMAXSEARCHPRIORITIES"},
    {0x113a, "ICAP_BARCODESEARCHPRIORITIES"}, {0x113b, "ICAP_BARCODESEARCHMODE"},
    {0x113c, "ICAP_BARCODEMAXRETRIES"}, {0x113d, "ICAP_BARCODETIMEOUT"}, {0x113e, "ICAP_ZOOMFACTOR"},
    {0x113f, "ICAP_PATCHCODEDETECTIONENABLED"}, {0x1140, "ICAP_SUPPORTEDPATCHCODETYPES"},
    {0x1141, "ICAP_PATCHCODEMAXSEARCHPRIORITIES"}, {0x1142, "ICAP_PATCHCODESEARCHPRIORITIES"},
    {0x1143, "ICAP_PATCHCODESEARCHMODE"}, {0x1144, "ICAP_PATCHCODEMAXRETRIES"}, {0x1145, "ICAP_PATCHCODETIMEOUT"},
    {0x1146, "ICAP_FLASHUSED2"}, {0x1147, "ICAP_IMAGEFILTER"}, {0x1148, "ICAP_NOISEFILTER"},
    {0x1149, "ICAP_OVERSCAN"}, {0x1150, "ICAP_AUTOMATICBORDERDETECTION"}, {0x1151, "ICAP_AUTOMATICDESKEW"},
    {0x1152, "ICAP_AUTOMATICROTATE"}, {0x1153, "ICAP_JPEGQUALITY"}, {0x1154, "ICAP_FEEDERTYPE"},
    {0x1155, "ICAP_ICCPROFILE"}, {0x1156, "ICAP_AUTOSIZE"}, {0x1157, "ICAP_AUTOMATICCROPUSESFRAME"},
    {0x1158, "ICAP_AUTOMATICLENGTHDETECTION"}, {0x1159, "ICAP_AUTOMATICCOLORENABLED"},
    {0x115a, "ICAP_AUTOMATICCOLORNONCOLORPIXELTYPE"}, {0x115b, "ICAP_COLORMANAGEMENTENABLED"},
    {0x115c, "ICAP_IMAGEMERGE"}, {0x115d, "ICAP_IMAGEMERGEHEIGHTTHRESHOLD"}, {0x115e, "ICAP_SUPPORTEDEXTIMAGEINFO"},
    {0x115f, "ICAP_FILMTYPE"}, {0x1160, "ICAP_MIRROR"}, {0x1161, "ICAP_JPEGSUBSAMPLING"},
    {0x1201, "ACAP_AUDIOFILEFORMAT"}, {0x1202, "ACAP_XFERMECH"}, {0x8000, "CAP_CUSTOMBASE"},
};

const char *const kConditions[30] = {
    "TWCC_SUCCESS", "TWCC_BUMMER", "TWCC_LOWMEMORY", "TWCC_NODS", "TWCC_MAXCONNECTIONS", "TWCC_OPERATIONERROR",
    "TWCC_BADCAP", nullptr, nullptr, "TWCC_BADPROTOCOL", "TWCC_BADVALUE", "TWCC_SEQERROR", "TWCC_BADDEST",
    "TWCC_CAPUNSUPPORTED", "TWCC_CAPBADOPERATION", "TWCC_CAPSEQERROR", "TWCC_DENIED", "TWCC_FILEEXISTS",
    "TWCC_FILENOTFOUND", "TWCC_NOTEMPTY", "TWCC_PAPERJAM", "TWCC_PAPERDOUBLEFEED", "TWCC_FILEWRITEERROR",
    "TWCC_CHECKDEVICEONLINE", "TWCC_INTERLOCK", "TWCC_DAMAGEDCORNER", "TWCC_FOCUSERROR", "TWCC_DOCTOOLIGHT",
    "TWCC_DOCTOODARK", "TWCC_NOMEDIA",
};

// TWEI_BARCODEX (0x1200) onwards; 0x1238 is shared by two names in the
// standard and shown as the later one.
const char *const kExtInfos[] = {
    "TWEI_BARCODEX", "TWEI_BARCODEY", "TWEI_BARCODETEXT", "TWEI_BARCODETYPE", "TWEI_DESHADETOP",
    "TWEI_DESHADELEFT", "TWEI_DESHADEBOTTOM", "TWEI_DESHADERIGHT", "TWEI_DESHADEHEIGHT", "TWEI_DESHADEWIDTH",
    "TWEI_DESHADESIZE", "TWEI_SPECKLESREMOVED", "TWEI_HORZLINEXCOORD", "TWEI_HORZLINEYCOORD",
    "TWEI_HORZLINELENGTH", "TWEI_HORZLINETHICKNESS", "TWEI_VERTLINEXCOORD", "TWEI_VERTLINEYCOORD",
    "TWEI_VERTLINELENGTH", "TWEI_VERTLINETHICKNESS", "TWEI_PATCHCODE", "TWEI_ENDORSEDTEXT", "TWEI_FORMCONFIDENCE",
    "TWEI_FORMTEMPLATEMATCH", "TWEI_FORMTEMPLATEPAGEMATCH", "TWEI_FORMHORZDOCOFFSET", "TWEI_FORMVERTDOCOFFSET",
    "TWEI_BARCODECOUNT", "TWEI_BARCODECONFIDENCE", "TWEI_BARCODEROTATION", "TWEI_BARCODETEXTLENGTH",
    "TWEI_DESHADECOUNT", "TWEI_DESHADEBLACKCOUNTOLD", "TWEI_DESHADEBLACKCOUNTNEW", "TWEI_DESHADEBLACKRLMIN",
    "TWEI_DESHADEBLACKRLMAX", "TWEI_DESHADEWHITECOUNTOLD", "TWEI_DESHADEWHITECOUNTNEW", "TWEI_DESHADEWHITERLMIN",
    "TWEI_DESHADEWHITERLAVE", "TWEI_DESHADEWHITERLMAX", "TWEI_BLACKSPECKLESREMOVED", "TWEI_WHITESPECKLESREMOVED",
    "TWEI_HORZLINECOUNT", "TWEI_VERTLINECOUNT", "TWEI_DESKEWSTATUS", "TWEI_SKEWORIGINALANGLE",
    "TWEI_SKEWFINALANGLE", "TWEI_SKEWCONFIDENCE", "TWEI_SKEWWINDOWX1", "TWEI_SKEWWINDOWY1", "TWEI_SKEWWINDOWX2",
    "TWEI_SKEWWINDOWY2", "TWEI_SKEWWINDOWX3", "TWEI_SKEWWINDOWY3", "TWEI_SKEWWINDOWX4", "TWEI_BOOKNAME",
    "TWEI_CHAPTERNUMBER", "TWEI_DOCUMENTNUMBER", "TWEI_PAGENUMBER", "TWEI_CAMERA", "TWEI_FRAMENUMBER",
    "TWEI_FRAME", "TWEI_PIXELFLAVOR", "TWEI_ICCPROFILE", "TWEI_LASTSEGMENT", "TWEI_SEGMENTNUMBER", "TWEI_MAGDATA",
    "TWEI_MAGTYPE", "TWEI_PAGESIDE",
};
static_assert(sizeof kExtInfos / sizeof kExtInfos[0] == 0x46, "TWEI_BARCODEX to TWEI_PAGESIDE");

constexpr TW_UINT16 kTweiFileSystemSource = 0x1246;

const Name kPixelTypes[] = {N(TWPT_, BW, 0), N(TWPT_, GRAY, 1), N(TWPT_, RGB, 2), N(TWPT_, PALETTE, 3),
                            N(TWPT_, CMY, 4), N(TWPT_, CMYK, 5), N(TWPT_, YUV, 6), N(TWPT_, YUVK, 7),
                            N(TWPT_, CIEXYZ, 8), N(TWPT_, LAB, 9), N(TWPT_, SRGB, 10), N(TWPT_, SCRGB, 11),
                            N(TWPT_, INFRARED, 16)};
const Name kCompressions[] = {N(TWCP_, NONE, 0), N(TWCP_, PACKBITS, 1), N(TWCP_, GROUP31D, 2),
                              N(TWCP_, GROUP31DEOL, 3), N(TWCP_, GROUP32D, 4), N(TWCP_, GROUP4, 5),
                              N(TWCP_, JPEG, 6), N(TWCP_, LZW, 7), N(TWCP_, JBIG, 8), N(TWCP_, PNG, 9),
                              N(TWCP_, RLE4, 10), N(TWCP_, RLE8, 11), N(TWCP_, BITFIELDS, 12), N(TWCP_, ZIP, 13),
                              N(TWCP_, JPEG2000, 14)};
const Name kUnits[] = {N(TWUN_, INCHES, 0), N(TWUN_, CENTIMETERS, 1), N(TWUN_, PICAS, 2), N(TWUN_, POINTS, 3),
                       N(TWUN_, TWIPS, 4), N(TWUN_, PIXELS, 5), N(TWUN_, MILLIMETERS, 6)};
const Name kXferMechs[] = {N(TWSX_, NATIVE, 0), N(TWSX_, FILE, 1), N(TWSX_, MEMORY, 2), N(TWSX_, MEMFILE, 4)};
const Name kFileFormats[] = {N(TWFF_, TIFF, 0), N(TWFF_, PICT, 1), N(TWFF_, BMP, 2), N(TWFF_, XBM, 3),
                             N(TWFF_, JFIF, 4), N(TWFF_, FPX, 5), N(TWFF_, TIFFMULTI, 6), N(TWFF_, PNG, 7),
                             N(TWFF_, SPIFF, 8), N(TWFF_, EXIF, 9), N(TWFF_, PDF, 10), N(TWFF_, JP2, 11),
                             N(TWFF_, JPX, 13), N(TWFF_, DEJAVU, 14), N(TWFF_, PDFA, 15), N(TWFF_, PDFA2, 16)};
const Name kFlavors[] = {N(TWPF_, CHOCOLATE, 0), N(TWPF_, VANILLA, 1)};
const Name kDuplex[] = {N(TWDX_, NONE, 0), N(TWDX_, 1PASSDUPLEX, 1), N(TWDX_, 2PASSDUPLEX, 2)};
const Name kCameraSides[] = {N(TWCS_, BOTH, 0), N(TWCS_, TOP, 1), N(TWCS_, BOTTOM, 2)};
const Name kBarcodeTypes[] = {
    N(TWBT_, 3OF9, 0), N(TWBT_, 2OF5INTERLEAVED, 1), N(TWBT_, 2OF5NONINTERLEAVED, 2), N(TWBT_, CODE93, 3),
    N(TWBT_, CODE128, 4), N(TWBT_, UCC128, 5), N(TWBT_, CODABAR, 6), N(TWBT_, UPCA, 7), N(TWBT_, UPCE, 8),
    N(TWBT_, EAN8, 9), N(TWBT_, EAN13, 10), N(TWBT_, POSTNET, 11), N(TWBT_, PDF417, 12),
    N(TWBT_, 2OF5INDUSTRIAL, 13), N(TWBT_, 2OF5MATRIX, 14), N(TWBT_, 2OF5DATALOGIC, 15), N(TWBT_, 2OF5IATA, 16),
    N(TWBT_, 3OF9FULLASCII, 17), N(TWBT_, CODABARWITHSTARTSTOP, 18), N(TWBT_, MAXICODE, 19),
    N(TWBT_, QRCODE, 20)};
const Name kBitOrders[] = {N(TWBO_, LSBFIRST, 0), N(TWBO_, MSBFIRST, 1)};
const Name kLightSources[] = {N(TWLS_, RED, 0), N(TWLS_, GREEN, 1), N(TWLS_, BLUE, 2), N(TWLS_, NONE, 3),
                              N(TWLS_, WHITE, 4), N(TWLS_, UV, 5), N(TWLS_, IR, 6)};
const Name kOrientations[] = {N(TWOR_, ROT0, 0), N(TWOR_, ROT90, 1), N(TWOR_, ROT180, 2), N(TWOR_, ROT270, 3),
                              N(TWOR_, AUTO, 4), N(TWOR_, AUTOTEXT, 5), N(TWOR_, AUTOPICTURE, 6)};
const Name kFilters[] = {N(TWFT_, RED, 0), N(TWFT_, GREEN, 1), N(TWFT_, BLUE, 2), N(TWFT_, NONE, 3),
                         N(TWFT_, WHITE, 4), N(TWFT_, CYAN, 5), N(TWFT_, MAGENTA, 6), N(TWFT_, YELLOW, 7),
                         N(TWFT_, BLACK, 8)};
const Name kSizes[] = {N(TWSS_, NONE, 0), N(TWSS_, A4, 1), N(TWSS_, JISB5, 2), N(TWSS_, USLETTER, 3),
                       N(TWSS_, USLEGAL, 4), N(TWSS_, A5, 5), N(TWSS_, ISOB4, 6), N(TWSS_, ISOB6, 7),
                       N(TWSS_, USLEDGER, 9), N(TWSS_, USEXECUTIVE, 10), N(TWSS_, A3, 11), N(TWSS_, ISOB3, 12),
                       N(TWSS_, A6, 13), N(TWSS_, C4, 14), N(TWSS_, C5, 15), N(TWSS_, C6, 16)};
const Name kPlanar[] = {N(TWPC_, CHUNKY, 0), N(TWPC_, PLANAR, 1)};
const Name kReductions[] = {N(TWBR_, THRESHOLD, 0), N(TWBR_, HALFTONE, 1), N(TWBR_, CUSTHALFTONE, 2),
                            N(TWBR_, DIFFUSION, 3), N(TWBR_, DYNAMICTHRESHOLD, 4)};
const Name kJobControls[] = {N(TWJC_, NONE, 0), N(TWJC_, JSIC, 1), N(TWJC_, JSIS, 2), N(TWJC_, JSXC, 3),
                             N(TWJC_, JSXS, 4)};
const Name kLightPaths[] = {N(TWLP_, REFLECTIVE, 0), N(TWLP_, TRANSMISSIVE, 1)};
const Name kAlignments[] = {N(TWFA_, NONE, 0), N(TWFA_, LEFT, 1), N(TWFA_, CENTER, 2), N(TWFA_, RIGHT, 3)};
const Name kFeederOrders[] = {N(TWFO_, FIRSTPAGEFIRST, 0), N(TWFO_, LASTPAGEFIRST, 1)};
const Name kPowerSupplies[] = {N(TWPS_, EXTERNAL, 0), N(TWPS_, BATTERY, 1)};
const Name kPrinters[] = {N(TWPR_, IMPRINTERTOPBEFORE, 0), N(TWPR_, IMPRINTERTOPAFTER, 1),
                          N(TWPR_, IMPRINTERBOTTOMBEFORE, 2), N(TWPR_, IMPRINTERBOTTOMAFTER, 3),
                          N(TWPR_, ENDORSERTOPBEFORE, 4), N(TWPR_, ENDORSERTOPAFTER, 5),
                          N(TWPR_, ENDORSERBOTTOMBEFORE, 6), N(TWPR_, ENDORSERBOTTOMAFTER, 7)};
const Name kPrinterModes[] = {N(TWPM_, SINGLESTRING, 0), N(TWPM_, MULTISTRING, 1), N(TWPM_, COMPOUNDSTRING, 2)};
const Name kFlashes[] = {N(TWFL_, NONE, 0), N(TWFL_, OFF, 1), N(TWFL_, ON, 2), N(TWFL_, AUTO, 3),
                         N(TWFL_, REDEYE, 4)};
const Name kImageFilters[] = {N(TWIF_, NONE, 0), N(TWIF_, AUTO, 1), N(TWIF_, LOWPASS, 4), N(TWIF_, BANDPASS, 8),
                              N(TWIF_, HIGHPASS, 16)};
const Name kNoiseFilters[] = {N(TWNF_, NONE, 0), N(TWNF_, AUTO, 1), N(TWNF_, LONEPIXEL, 2),
                              N(TWNF_, MAJORITYRULE, 3)};
const Name kOverscans[] = {N(TWOV_, NONE, 0), N(TWOV_, AUTO, 1), N(TWOV_, TOPBOTTOM, 2), N(TWOV_, LEFTRIGHT, 3),
                           N(TWOV_, ALL, 4)};
const Name kFeederTypes[] = {N(TWFE_, GENERAL, 0), N(TWFE_, PHOTO, 1)};
const Name kMerges[] = {N(TWIM_, NONE, 0), N(TWIM_, FRONTONTOP, 1), N(TWIM_, FRONTONBOTTOM, 2),
                        N(TWIM_, FRONTONLEFT, 3), N(TWIM_, FRONTONRIGHT, 4)};
const Name kFlipRotations[] = {N(TWFR_, BOOK, 0), N(TWFR_, FANFOLD, 1)};
const Name kSearchModes[] = {N(TWBD_, HORZ, 0), N(TWBD_, VERT, 1), N(TWBD_, HORZVERT, 2), N(TWBD_, VERTHORZ, 3)};
const Name kPatchCodes[] = {N(TWPCH_, PATCH1, 0), N(TWPCH_, PATCH2, 1), N(TWPCH_, PATCH3, 2),
                            N(TWPCH_, PATCH4, 3), N(TWPCH_, PATCH6, 4), N(TWPCH_, PATCHT, 5)};
const Name kDoubleFeeds[] = {N(TWDF_, ULTRASONIC, 0), N(TWDF_, BYLENGTH, 1), N(TWDF_, INFRARED, 2)};
const Name kDoubleFeedResponses[] = {N(TWDP_, STOP, 0), N(TWDP_, STOPANDWAIT, 1), N(TWDP_, SOUND, 2),
                                     N(TWDP_, DONOTIMPRINT, 3)};
const Name kSegmented[] = {N(TWSG_, NONE, 0), N(TWSG_, AUTO, 1), N(TWSG_, MANUAL, 2)};
const Name kAlarms[] = {N(TWAL_, ALARM, 0), N(TWAL_, FEEDERERROR, 1), N(TWAL_, FEEDERWARNING, 2),
                        N(TWAL_, BARCODE, 3), N(TWAL_, DOUBLEFEED, 4), N(TWAL_, JAM, 5), N(TWAL_, PATCHCODE, 6),
                        N(TWAL_, POWER, 7), N(TWAL_, SKEW, 8)};
const Name kIndicatorModes[] = {N(TWCI_, INFO, 0), N(TWCI_, WARNING, 1), N(TWCI_, ERROR, 2), N(TWCI_, WARMUP, 3)};
const Name kPaperHandlings[] = {N(TWPH_, NORMAL, 0), N(TWPH_, FRAGILE, 1), N(TWPH_, THICK, 2),
                                N(TWPH_, TRIFOLD, 3), N(TWPH_, PHOTOGRAPH, 4)};
const Name kSubsamplings[] = {N(TWJS_, 444YCBCR, 0), N(TWJS_, 444RGB, 1), N(TWJS_, 422, 2), N(TWJS_, 421, 3),
                              N(TWJS_, 411, 4), N(TWJS_, 420, 5), N(TWJS_, 410, 6), N(TWJS_, 311, 7)};
const Name kMirrors[] = {N(TWMR_, NONE, 0), N(TWMR_, VERTICAL, 1), N(TWMR_, HORIZONTAL, 2)};
const Name kFilmTypes[] = {N(TWFM_, POSITIVE, 0), N(TWFM_, NEGATIVE, 1)};
const Name kAutoSizes[] = {N(TWAS_, NONE, 0), N(TWAS_, AUTO, 1), N(TWAS_, CURRENT, 2)};
const Name kClearBuffers[] = {N(TWCB_, AUTO, 0), N(TWCB_, CLEAR, 1), N(TWCB_, NOCLEAR, 2)};
const Name kLanguages[] = {N(TWLG_, ENGLISH, 2), N(TWLG_, CHINESE_SIMPLIFIED, 41)};
const Name kRotations[] = {N(TWBCOR_, ROT0, 0), N(TWBCOR_, ROT90, 1), N(TWBCOR_, ROT180, 2),
                           N(TWBCOR_, ROT270, 3), N(TWBCOR_, ROTX, 4)};
const Name kDeskews[] = {N(TWDSK_, SUCCESS, 0), N(TWDSK_, REPORTONLY, 1), N(TWDSK_, FAIL, 2),
                         N(TWDSK_, DISABLED, 3)};
const Name kMagTypes[] = {N(TWMD_, MICR, 0), N(TWMD_, RAW, 1), N(TWMD_, INVALID, 2)};
const Name kFileSystems[] = {N(TWFY_, CAMERA, 0), N(TWFY_, CAMERATOP, 1), N(TWFY_, CAMERABOTTOM, 2),
                             N(TWFY_, CAMERAPREVIEW, 3), N(TWFY_, DOMAIN, 4), N(TWFY_, HOST, 5),
                             N(TWFY_, DIRECTORY, 6), N(TWFY_, IMAGE, 7), N(TWFY_, UNKNOWN, 8)};

#undef N

// The value name of an integer value of that capability; false when the
// capability has no value names.
bool capabilityValueName(TW_UINT16 cap, TW_UINT32 value, const char **name)
{
#define CASE(capId, table)                                                                                        \
    case capId:                                                                                                   \
        *name = lookup(table, value);                                                                             \
        return true;
    switch (cap) {
        CASE(ICAP_PIXELTYPE, kPixelTypes)
        CASE(0x1128, kPixelTypes)  // ICAP_JPEGPIXELTYPE
        CASE(0x115a, kPixelTypes)  // ICAP_AUTOMATICCOLORNONCOLORPIXELTYPE
        CASE(ICAP_COMPRESSION, kCompressions)
        CASE(ICAP_UNITS, kUnits)
        CASE(ICAP_XFERMECH, kXferMechs)
        CASE(0x1202, kXferMechs)  // ACAP_XFERMECH
        CASE(ICAP_IMAGEFILEFORMAT, kFileFormats)
        CASE(ICAP_PIXELFLAVOR, kFlavors)
        CASE(0x1127, kFlavors)  // ICAP_PIXELFLAVORCODES
        CASE(CAP_DUPLEX, kDuplex)
        CASE(CAP_CAMERASIDE, kCameraSides)
        CASE(ICAP_SUPPORTEDBARCODETYPES, kBarcodeTypes)
        CASE(0x113a, kBarcodeTypes)  // ICAP_BARCODESEARCHPRIORITIES
        CASE(0x111c, kBitOrders)     // ICAP_BITORDER
        CASE(0x1126, kBitOrders)     // ICAP_BITORDERCODES
        CASE(0x110e, kLightSources)  // ICAP_LIGHTSOURCE
        CASE(0x1110, kOrientations)  // ICAP_ORIENTATION
        CASE(0x1106, kFilters)       // ICAP_FILTER
        CASE(0x1122, kSizes)         // ICAP_SUPPORTEDSIZES
        CASE(0x1120, kPlanar)        // ICAP_PLANARCHUNKY
        CASE(0x112c, kReductions)    // ICAP_BITDEPTHREDUCTION
        CASE(0x1017, kJobControls)   // CAP_JOBCONTROL
        CASE(0x111e, kLightPaths)    // ICAP_LIGHTPATH
        CASE(0x102d, kAlignments)    // CAP_FEEDERALIGNMENT
        CASE(0x102e, kFeederOrders)  // CAP_FEEDERORDER
        CASE(0x1020, kPowerSupplies) // CAP_POWERSUPPLY
        CASE(0x1026, kPrinters)      // CAP_PRINTER
        CASE(0x1029, kPrinterModes)  // CAP_PRINTERMODE
        CASE(0x1146, kFlashes)       // ICAP_FLASHUSED2
        CASE(0x1147, kImageFilters)  // ICAP_IMAGEFILTER
        CASE(0x1148, kNoiseFilters)  // ICAP_NOISEFILTER
        CASE(0x1149, kOverscans)     // ICAP_OVERSCAN
        CASE(0x1154, kFeederTypes)   // ICAP_FEEDERTYPE
        CASE(0x115c, kMerges)        // ICAP_IMAGEMERGE
        CASE(0x1136, kFlipRotations) // ICAP_FLIPROTATION
        CASE(0x113b, kSearchModes)   // ICAP_BARCODESEARCHMODE
        CASE(0x1143, kSearchModes)   // ICAP_PATCHCODESEARCHMODE
        CASE(0x1140, kPatchCodes)    // ICAP_SUPPORTEDPATCHCODETYPES
        CASE(0x1142, kPatchCodes)    // ICAP_PATCHCODESEARCHPRIORITIES
        CASE(0x103f, kDoubleFeeds)   // CAP_DOUBLEFEEDDETECTION
        CASE(0x1042, kDoubleFeedResponses) // CAP_DOUBLEFEEDDETECTIONRESPONSE
        CASE(0x1035, kSegmented)     // CAP_SEGMENTED
        CASE(0x1018, kAlarms)        // CAP_ALARMS
        CASE(0x1044, kIndicatorModes) // CAP_INDICATORSMODE
        CASE(0x1043, kPaperHandlings) // CAP_PAPERHANDLING
        CASE(0x1161, kSubsamplings)  // ICAP_JPEGSUBSAMPLING
        CASE(0x1160, kMirrors)       // ICAP_MIRROR
        CASE(0x115f, kFilmTypes)     // ICAP_FILMTYPE
        CASE(0x1156, kAutoSizes)     // ICAP_AUTOSIZE
        CASE(0x101d, kClearBuffers)  // CAP_CLEARBUFFERS
        CASE(0x102c, kLanguages)     // CAP_LANGUAGE
    case CAP_SUPPORTEDCAPS:
    case CAP_EXTENDEDCAPS:
        *name = CapabilityToString(TW_UINT16(value));
        return true;
    case ICAP_SUPPORTEDEXTIMAGEINFO:
        *name = ExtImageInfoToString(TW_UINT16(value));
        return true;
    default:
        return false;
    }
#undef CASE
}

} // namespace

const char *CapabilityToString(TW_UINT16 cap)
{
    if (const char *name = lookup(kCaps, cap))
        return name;
    return fallback(cap < CAP_CUSTOMBASE ? "Unknown CAP 0x:%04X" : "Custom CAP 0x:%04X", cap);
}

const char *ConditionCodeToString(TW_UINT16 conditionCode)
{
    if (conditionCode < 30 && kConditions[conditionCode])
        return kConditions[conditionCode];
    return fallback("ConditionCode 0x:%04X", conditionCode);
}

const char *ExtImageInfoToString(TW_UINT16 infoId)
{
    if (infoId >= TWEI_BARCODEX && infoId <= TWEI_PAGESIDE)
        return kExtInfos[infoId - TWEI_BARCODEX];
    return fallback("ExtImageInfo ID 0x:%04X", infoId);
}

const char *CapabilityValueToString(TW_UINT16 cap, TW_UINT16 itemType, const void *value)
{
    const auto *p = static_cast<const unsigned char *>(value);
    char *buffer = nullptr;
    switch (itemType) {
    case TWTY_INT16:
        buffer = nextTempBuffer();
        std::snprintf(buffer, 1024, "%d", int(TW_INT32(readInteger(p, TWTY_INT16))));
        return buffer;
    case TWTY_BOOL:
        return readInteger(p, TWTY_BOOL) ? "TRUE" : "FALSE";
    case TWTY_FIX32: {
        TW_FIX32 f;
        std::memcpy(&f, p, sizeof f);
        buffer = nextTempBuffer();
        std::snprintf(buffer, 1024, "%.2f", double(FIX32ToFloat(f)));
        return buffer;
    }
    case TWTY_FRAME: {
        TW_FRAME f;
        std::memcpy(&f, p, sizeof f);
        buffer = nextTempBuffer();
        std::snprintf(buffer, 1024, "%.2f,%.2f,%.2f,%.2f", double(FIX32ToFloat(f.Left)), double(FIX32ToFloat(f.Top)),
                      double(FIX32ToFloat(f.Right)), double(FIX32ToFloat(f.Bottom)));
        return buffer;
    }
    case TWTY_STR32:
    case TWTY_STR64:
    case TWTY_STR128:
    case TWTY_STR255:
    case TWTY_STR1024:
        buffer = nextTempBuffer();
        // Never past the type's size, terminated or not.
        std::snprintf(buffer, 1024, "%.*s", std::min(getTWTypeSize(itemType), 1023), reinterpret_cast<const char *>(p));
        return buffer;
    case TWTY_INT8:
    case TWTY_INT32:
    case TWTY_UINT8:
    case TWTY_UINT16:
    case TWTY_UINT32: {
        const TW_UINT32 v = readInteger(p, itemType);
        const char *name = nullptr;
        if (!capabilityValueName(cap, v, &name))
            return fallback("Un-recognized Capability 0x%04X", cap);
        return name ? name : fallback("0x%04X", v);
    }
    default:
        return fallback("Unsupported Type 0x:%04X", itemType);
    }
}

const char *ExtImageInfoValueToString(TW_UINT16 infoId, TW_UINT32 value)
{
    const char *name = nullptr;
    switch (infoId) {
    case TWEI_BARCODETYPE:
    case TWEI_PIXELFLAVOR:
    case TWEI_PAGESIDE: {
        const TW_UINT16 cap = infoId == TWEI_BARCODETYPE ? ICAP_SUPPORTEDBARCODETYPES
                              : infoId == TWEI_PIXELFLAVOR ? ICAP_PIXELFLAVOR
                                                            : CAP_CAMERASIDE;
        return CapabilityValueToString(cap, TWTY_UINT32, &value);
    }
    case TWEI_PATCHCODE:
        return (name = lookup(kPatchCodes, value)) ? name : fallback("Unknown TWPCH 0x:%04X", value);
    case TWEI_BARCODEROTATION:
        return (name = lookup(kRotations, value)) ? name : fallback("Unknown TWBCOR 0x:%04X", value);
    case TWEI_DESKEWSTATUS:
        return (name = lookup(kDeskews, value)) ? name : fallback("Unknown TWDSK 0x:%04X", value);
    case TWEI_MAGTYPE:
        return (name = lookup(kMagTypes, value)) ? name : fallback("Unknown TWMD 0x:%04X", value);
    case kTweiFileSystemSource:
        return (name = lookup(kFileSystems, value)) ? name : fallback("Un-recognized FileType 0x%04X", value);
    default:
        return "";
    }
}

namespace {

// Items beyond this are not shown: the text is cut at 1024 characters anyway.
constexpr TW_UINT32 kMaxShownItems = 256;

} // namespace

bool itemsInHandle(const TW_INFO &info)
{
    switch (info.ItemType) {
    case TWTY_HANDLE:
    case TWTY_STR32:
    case TWTY_STR64:
    case TWTY_STR128:
    case TWTY_STR255:
        return true;  // never fits in Item, whatever NumItems says
    default:
        return std::size_t(getTWTypeSize(info.ItemType)) * info.NumItems > 4;
    }
}

std::size_t readableBytes(TW_HANDLE handle, std::size_t wanted)
{
    const std::size_t block = dsmMemSize(handle);
    return block == 0 ? wanted : std::min(wanted, block);
}

bool cameraTextSide(const TW_INFO &info, int *side)
{
    if (!itemsInHandle(info) || info.ItemType == TWTY_HANDLE || !info.Item)
        return false;
    const auto block = reinterpret_cast<TW_HANDLE>(info.Item);
    const std::size_t typeSize = std::size_t(getTWTypeSize(info.ItemType));
    const std::size_t known = dsmMemSize(block);
    const std::size_t limit = known ? std::min(known, typeSize) : typeSize;
    const auto *text = static_cast<const char *>(dsmMemLock(block));
    if (!text)
        return false;
    static const char kBottom[] = "BOTTOM";
    std::size_t i = 0;
    while (i < sizeof kBottom - 1 && i < limit && text[i] == kBottom[i])
        ++i;
    // After "BOTTOM" the text must end: at the block's end, or at a zero
    // read only when the block is known to hold one more byte (an unknown
    // block may end right there).
    const bool bottom = i == sizeof kBottom - 1 && (i == limit || !known || text[i] == '\0');
    dsmMemUnlock(block);
    *side = bottom ? 2 : 1;
    return true;
}

namespace {

// The items of a returned entry: in Item itself (never more than its four
// bytes hold) or in the source's block, locked here: never more than max
// items, nor past the block when its size is known, and no more than
// maxUntold when it is not (a count the source states is no witness of the
// block behind it). Null for an entry whose block is missing; *handle is set
// when the caller must unlock it.
const unsigned char *lockInfoItems(const TW_INFO &info, TW_UINT32 max, TW_UINT32 maxUntold, TW_UINT32 *count,
                                   TW_HANDLE *handle)
{
    *handle = nullptr;
    *count = 0;
    const std::size_t size = std::size_t(getTWTypeSize(info.ItemType));
    if (size == 0)
        return nullptr;
    if (!itemsInHandle(info)) {
        *count = std::min<TW_UINT32>({info.NumItems, max, TW_UINT32(sizeof info.Item / size)});
        return reinterpret_cast<const unsigned char *>(&info.Item);
    }
    // A type that travels in a block with no block is not read from Item.
    if (!info.Item)
        return nullptr;
    const auto block = reinterpret_cast<TW_HANDLE>(info.Item);
    TW_UINT32 wanted = std::min<TW_UINT32>(info.NumItems, max);
    if (dsmMemSize(block) == 0)
        wanted = std::min(wanted, maxUntold);
    auto *items = static_cast<const unsigned char *>(dsmMemLock(block));
    if (!items)
        return nullptr;
    *handle = block;
    *count = TW_UINT32(readableBytes(block, std::size_t(wanted) * size) / size);
    return items;
}

} // namespace

QString ExtImageInfoItemToString(const TW_INFO &info)
{
    if (info.ReturnCode == TWRC_INFONOTSUPPORTED)
        return QStringLiteral("Unsupporetd");
    if (info.ReturnCode == TWRC_DATANOTAVAILABLE)
        return QStringLiteral("Data Not Available");
    if (info.ReturnCode != TWRC_SUCCESS)
        return QStringLiteral("unknown failure %1").arg(info.ReturnCode);
    if (info.ItemType == TWTY_HANDLE)
        return QString::asprintf("Handle 0x:%8X", unsigned(info.Item));

    const int size = getTWTypeSize(info.ItemType);
    if (size == 0 || info.ItemType == TWTY_UNI512)
        return QString::asprintf("Unsupporetd Type 0x:%04X", info.ItemType);
    TW_UINT32 count = 0;
    TW_HANDLE handle = nullptr;
    // Without the block's size only the first item is shown: the trace is
    // not worth a read past a driver's block.
    const unsigned char *items = lockInfoItems(info, kMaxShownItems, 1, &count, &handle);
    if (!items)
        return QStringLiteral("Data Not Available");
    QString text;
    for (TW_UINT32 i = 0; i < count && text.size() < 1024; ++i) {
        const unsigned char *p = items + std::size_t(i) * std::size_t(size);
        switch (info.ItemType) {
        case TWTY_INT8:
        case TWTY_INT16:
        case TWTY_INT32:
            text += QString::asprintf("%d ", int(TW_INT32(readInteger(p, info.ItemType))));
            break;
        case TWTY_UINT8:
            text += QString::asprintf("%u ", unsigned(*p));
            break;
        case TWTY_UINT16:
        case TWTY_UINT32: {
            const TW_UINT32 v = readInteger(p, info.ItemType);
            const char *name = ExtImageInfoValueToString(info.InfoID, v);
            text += *name ? QString::asprintf("%s ", name) : QString::asprintf("%u ", unsigned(v));
            break;
        }
        case TWTY_BOOL:
            text += readInteger(p, TWTY_BOOL) ? QStringLiteral("True ") : QStringLiteral("False ");
            break;
        case TWTY_FIX32: {
            TW_FIX32 f;
            std::memcpy(&f, p, sizeof f);
            text += QString::asprintf("%.2f ", double(FIX32ToFloat(f)));
            break;
        }
        case TWTY_FRAME: {
            TW_FRAME f;
            std::memcpy(&f, p, sizeof f);
            text += QString::asprintf("%0.2f  %.2f  %.2f  %.2f", double(FIX32ToFloat(f.Left)),
                                      double(FIX32ToFloat(f.Top)), double(FIX32ToFloat(f.Right)),
                                      double(FIX32ToFloat(f.Bottom)));
            break;
        }
        default:  // the string types, never past the type's size
            text += QString::fromLocal8Bit(reinterpret_cast<const char *>(p), int(qstrnlen(reinterpret_cast<const char *>(p), uint(size))));
            break;
        }
    }
    if (handle)
        dsmMemUnlock(handle);
    return text.left(1024);
}

// ---- TwainApp -------------------------------------------------------------------

// FreeImage's output hook while a TwainApp exists: the format's name and the
// message on standard output.
static void freeImageMessage(FREE_IMAGE_FORMAT format, const char *message)
{
    const char *name = format == FIF_UNKNOWN ? "Unknown" : FreeImage_GetFormatFromFIF(format);
    std::printf("\n*** %s Format\n%s ***\n", name ? name : "Unknown", message ? message : "");
}

TwainApp::TwainApp()
{
    FreeImage_Initialise(FALSE);
    FreeImage_SetOutputMessage(freeImageMessage);
}

TwainApp::~TwainApp()
{
    FreeImage_DeInitialise();
    unloadDSMLib();
}

void TwainApp::fillIdentity(TW_IDENTITY &identity)
{
    identity = {};
    identity.ProtocolMajor = TWON_PROTOCOLMAJOR;
    identity.ProtocolMinor = TWON_PROTOCOLMINOR;
    identity.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
    copyStr32(identity.Version.Info, "1.0");
}

pTW_IDENTITY TwainApp::getAppIdentity()
{
    return &m_appIdentity;
}

TW_UINT16 TwainApp::dsmCall(TW_UINT32 dataGroup, TW_UINT16 dataArgType, TW_UINT16 message, TW_MEMREF data)
{
    return callDSMEntry(&m_appIdentity, m_currentSource, dataGroup, dataArgType, message, data);
}

TW_UINT16 TwainApp::printError(pTW_IDENTITY destination, const QString &text)
{
    const QByteArray line = (text.isEmpty() ? QStringLiteral("An error has occurred.") : text).toLocal8Bit();
    ::printError("app: %s", line.constData());
    TW_STATUS status = {};
    if (callDSMEntry(&m_appIdentity, destination, DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS) {
        ::printError("\n");
        return TWCC_SUCCESS;
    }
    ::printError(" The condition code is: %s\n", ConditionCodeToString(status.ConditionCode));
    return status.ConditionCode;
}

void TwainApp::openDSM()
{
    if (m_DSMState > 3) {
        printLog("The DSM has already been opened, close it first\n");
        return;
    }
    if (!loadDSMLib()) {
        printLog("The DSM could not be opened. Please ensure that it is installed into a directory that is in the "
                 "library path:%s",
                 QFile::encodeName(DsmLibrary::defaultFileName()).constData());
        return;
    }
    m_DSMState = 2;
    const TW_UINT16 rc = callDSMEntry(&m_appIdentity, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &m_parentWindow);
    if (rc != TWRC_SUCCESS) {
        printLog("DG_CONTROL / DAT_PARENT / MSG_OPENDSM Failed: %u\n", unsigned(rc));
        return;
    }
    if (m_appIdentity.SupportedGroups & DF_DSM2) {
        TW_ENTRYPOINT entry = {};
        entry.Size = sizeof entry;
        const TW_UINT16 erc = callDSMEntry(&m_appIdentity, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry);
        if (erc != TWRC_SUCCESS) {
            printLog("DG_CONTROL / DAT_ENTRYPOINT / MSG_GET Failed: %d\n", int(erc));
            return;
        }
        useDSMEntryPoint(entry);
    }
    printLog("Successfully opened the DSM\n");
    m_DSMState = 3;
    m_sources.clear();
    getDataSources();
}

void TwainApp::closeDSM()
{
    if (m_DSMState < 3)
        return;
    if (m_currentSource && m_DSMState >= 4) {
        if (m_DSMState >= 5)
            disableDS();
        // One more attempt after ending the transfers, no more.
        if (m_DSMState >= 5) {
            stopPendingTransfers();
            m_DSMState = 5;
            disableDS();
        }
        unloadDS();
    }
    if (callDSMEntry(&m_appIdentity, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &m_parentWindow) == TWRC_SUCCESS) {
        printLog("Successfully closed the DSM\n");
        m_DSMState = 2;
    } else {
        printError(nullptr, QStringLiteral("Failed to close the DSM"));
    }
}

void TwainApp::getDataSources()
{
    if (m_DSMState < 3) {
        printLog("You need to open the DSM first.\n");
        return;
    }
    m_sources.clear();
    TW_IDENTITY source = {};
    TW_UINT16 rc = callDSMEntry(&m_appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &source);
    if (rc == TWRC_ENDOFLIST)
        return;
    if (rc == TWRC_SUCCESS)
        m_sources.push_back(source);
    else if (rc == TWRC_FAILURE)
        printError(nullptr, QStringLiteral("Failed to get the data source info!"));
    // A manager that never ends its list must not hold the station.
    for (int i = 0; i < 1024; ++i) {
        source = {};
        rc = callDSMEntry(&m_appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &source);
        if (rc == TWRC_SUCCESS) {
            m_sources.push_back(source);
            continue;
        }
        if (rc == TWRC_FAILURE)
            printError(nullptr, QStringLiteral("Failed to get the rest of the data source info!"));
        break;
    }
}

pTW_IDENTITY TwainApp::getDefaultDataSource()
{
    if (m_DSMState < 3) {
        printLog("You need to open the DSM first.\n");
        return nullptr;
    }
    TW_IDENTITY &def = binding().defaultSource;
    def = {};
    if (callDSMEntry(&m_appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &def) == TWRC_FAILURE)
        printError(nullptr, QStringLiteral("Failed to get the data source info!"));
    return &def;
}

pTW_IDENTITY TwainApp::selectDataSource(TW_UINT32 index)
{
    if (m_DSMState < 3) {
        printLog("You need to open the DSM first.\n");
        return nullptr;
    }
    if (m_DSMState >= 4) {
        printLog("A source has already been opened, please close it first\n");
        return nullptr;
    }
    if (index >= m_sources.size())
        return nullptr;
    m_currentSource = &m_sources[index];
    if (callDSMEntry(&m_appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_SET, m_currentSource) == TWRC_FAILURE)
        printError(nullptr, QStringLiteral("Failed to get the data source info!"));
    return m_currentSource;
}

pTW_IDENTITY TwainApp::getDataSourceIdentity(int index)
{
    if (index < 0)
        return m_currentSource;
    return std::size_t(index) < m_sources.size() ? &m_sources[std::size_t(index)] : nullptr;
}

void TwainApp::loadDS(int sourceId)
{
    if (m_DSMState < 3) {
        printLog("The DSM needs to be opened first.\n");
        return;
    }
    if (m_DSMState >= 4) {
        printLog("A source has already been opened, please close it first\n");
        return;
    }
    if (sourceId <= 0) {
        binding().defaultSource = {};
        m_currentSource = &binding().defaultSource;
    } else {
        m_currentSource = nullptr;
        for (TW_IDENTITY &source : m_sources)
            if (source.Id == TW_UINT32(sourceId)) {
                m_currentSource = &source;
                break;
            }
        if (!m_currentSource) {
            printLog("Data source with id: [%u] can not be found\n", unsigned(sourceId));
            return;
        }
    }
    if (callDSMEntry(&m_appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, m_currentSource)
        != TWRC_SUCCESS) {
        printError(m_currentSource, QStringLiteral("Failed to open data source."));
        m_currentSource = nullptr;
        return;
    }
    printLog("Data source successfully opened!\n");
    m_DSMState = 4;
    gUseCallbacks = false;
    if ((m_appIdentity.SupportedGroups & DF_DSM2) && (m_currentSource->SupportedGroups & DF_DS2)) {
        TW_CALLBACK callback = {};
        callback.CallBackProc = reinterpret_cast<TW_MEMREF>(m_callback);
        const TW_UINT16 rc = dsmCall(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback);
        if (rc == TWRC_SUCCESS)
            gUseCallbacks = true;
        else
            printLog("DG_CONTROL / DAT_CALLBACK / MSG_REGISTER_CALLBACK Failed: %u\n", unsigned(rc));
    } else {
        printLog("DG_CONTROL / DAT_CALLBACK / MSG_REGISTER_CALLBACK not supported\n");
    }
}

void TwainApp::unloadDS()
{
    if (m_DSMState < 4) {
        printLog("You need to open a data source first.\n");
        return;
    }
    if (callDSMEntry(&m_appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, m_currentSource)
        == TWRC_SUCCESS) {
        printLog("Data source successfully closed\n");
        m_DSMState = 3;
        m_currentSource = nullptr;
        // The next source may take no callback; its events then come the
        // message way.
        gUseCallbacks = false;
    } else {
        printError(nullptr, QStringLiteral("Failed to close data source."));
    }
}

bool TwainApp::enable(TW_HANDLE parentWindow, TW_BOOL showUI, TW_BOOL modalUI, TW_UINT16 message)
{
    if (m_DSMState < 4) {
        printLog("You need to open the data source first.\n");
        return false;
    }
    m_userInterface.ShowUI = showUI;
    m_userInterface.ModalUI = modalUI;
    m_userInterface.hParent = parentWindow;
    m_DSMState = 5;
    const TW_UINT16 rc = dsmCall(DG_CONTROL, DAT_USERINTERFACE, message, &m_userInterface);
    if (rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS)
        return true;
    m_DSMState = 4;
    printError(m_currentSource, QStringLiteral("Cannot enable source"));
    return false;
}

bool TwainApp::enableDSModal(TW_HANDLE parentWindow, TW_BOOL showUI)
{
    return enable(parentWindow, showUI, TWAIN_TRUE, MSG_ENABLEDS);
}

bool TwainApp::enableDS(TW_HANDLE parentWindow, TW_BOOL showUI)
{
    return enable(parentWindow, showUI, TWAIN_FALSE, MSG_ENABLEDS);
}

bool TwainApp::enableDSUIOnly(TW_HANDLE parentWindow)
{
    return enable(parentWindow, TWAIN_TRUE, TWAIN_TRUE, MSG_ENABLEDSUIONLY);
}

void TwainApp::disableDS()
{
    if (m_DSMState < 5) {
        printLog("You need to enable the data source first.\n");
        return;
    }
    if (dsmCall(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &m_userInterface) == TWRC_SUCCESS)
        m_DSMState = 4;
    else
        printError(m_currentSource, QStringLiteral("Cannot disable source"));
}

TW_UINT16 TwainApp::getCap(TW_CAPABILITY &cap, TW_UINT16 message)
{
    if (message != MSG_GET && message != MSG_GETCURRENT && message != MSG_GETDEFAULT && message != MSG_RESET) {
        printLog("Bad Message.\n");
        return TWCC_BUMMER;
    }
    if (m_DSMState < 4) {
        printLog("You need to open a data source first.\n");
        return TWCC_SEQERROR;
    }
    if (cap.hContainer) {
        dsmMemFree(cap.hContainer);
        cap.hContainer = nullptr;
    }
    cap.ConType = TWON_DONTCARE16;
    if (dsmCall(DG_CONTROL, DAT_CAPABILITY, message, &cap) == TWRC_FAILURE) {
        cap.hContainer = nullptr;  // a failed call hands out nothing to free
        return printError(m_currentSource, QStringLiteral("Failed to get the capability: [%1]")
                                               .arg(QString::fromLatin1(CapabilityToString(cap.Cap))));
    }
    return TWCC_SUCCESS;
}

namespace {

TW_UINT16 setOneValue(TwainApp &app, TW_UINT16 cap, TW_UINT16 itemType, const void *value, int width)
{
    TW_CAPABILITY capability = {cap, TWON_ONEVALUE, dsmMemAllocate(sizeof(TW_ONEVALUE))};
    auto *one = capability.hContainer ? static_cast<pTW_ONEVALUE>(dsmMemLock(capability.hContainer)) : nullptr;
    if (!one) {
        if (capability.hContainer)
            dsmMemFree(capability.hContainer);
        app.printError(nullptr, QStringLiteral("Error allocating memory"));
        return TWRC_FAILURE;
    }
    one->ItemType = itemType;
    if (width > 0)
        std::memcpy(&one->Item, value, std::size_t(width));
    const TW_UINT16 rc = app.dsmCall(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
    if (rc == TWRC_FAILURE)
        app.printError(app.m_currentSource, QStringLiteral("Could not set capability"));
    dsmMemUnlock(capability.hContainer);
    dsmMemFree(capability.hContainer);
    return rc;
}

} // namespace

TW_UINT16 TwainApp::setCapabilityOneValue(TW_UINT16 cap, TW_UINT32 value, TW_UINT16 itemType)
{
    // By width, so the bytes land where a little-endian reader of that type looks.
    const TW_UINT8 v8 = TW_UINT8(value);
    const TW_UINT16 v16 = TW_UINT16(value);
    switch (itemType) {
    case TWTY_INT8:
    case TWTY_UINT8:
        return setOneValue(*this, cap, itemType, &v8, 1);
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL:
        return setOneValue(*this, cap, itemType, &v16, 2);
    case TWTY_INT32:
    case TWTY_UINT32:
        return setOneValue(*this, cap, itemType, &value, 4);
    default:
        return setOneValue(*this, cap, itemType, nullptr, 0);
    }
}

TW_UINT16 TwainApp::setCapabilityOneValueFix32(TW_UINT16 cap, const TW_FIX32 &value)
{
    return setOneValue(*this, cap, TWTY_FIX32, &value, 4);
}

bool TwainApp::getImageInfo()
{
    m_imageInfo = {};
    printLog("app: Getting the image info...\n");
    if (dsmCall(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &m_imageInfo) == TWRC_SUCCESS)
        return true;
    printError(m_currentSource, QStringLiteral("Error while trying to get the image information!"));
    return false;
}

TW_UINT16 TwainApp::stopPendingTransfers()
{
    printLog("app: Stop any transfer we may have started but could not finish...\n");
    TW_PENDINGXFERS pending = {};
    TW_UINT16 rc = dsmCall(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    // A refused end leaves the count unknown: the rest is discarded anyway.
    if (rc != TWRC_SUCCESS || pending.Count != 0) {
        pending = {};
        rc = dsmCall(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
    }
    return rc;
}

namespace {

bool isBarcodeInfo(TW_UINT16 id)
{
    switch (id) {
    case TWEI_BARCODECOUNT:
    case TWEI_BARCODETYPE:
    case TWEI_BARCODETEXTLENGTH:
    case TWEI_BARCODETEXT:
    case TWEI_BARCODEX:
    case TWEI_BARCODEY:
    case TWEI_BARCODEROTATION:
    case TWEI_BARCODECONFIDENCE:
        return true;
    default:
        return false;
    }
}

// The items of a returned entry as 32-bit values (at most max of them).
std::vector<TW_UINT32> integerItems(const TW_INFO &info, TW_UINT32 max)
{
    std::vector<TW_UINT32> values;
    const int size = getTWTypeSize(info.ItemType);
    if (info.ReturnCode != TWRC_SUCCESS || !isIntegerType(info.ItemType) || size == 0)
        return values;
    TW_UINT32 count = 0;
    TW_HANDLE handle = nullptr;
    // The barcode lists hold one item per code the source counted (max).
    const unsigned char *items = lockInfoItems(info, max, max, &count, &handle);
    if (!items)
        return values;
    for (TW_UINT32 i = 0; i < count; ++i)
        values.push_back(readInteger(items + std::size_t(i) * std::size_t(size), info.ItemType));
    if (handle)
        dsmMemUnlock(handle);
    return values;
}

// The texts of a TWEI_BARCODETEXT block cut by the lengths before it.
QString barcodeTexts(const TW_INFO &info, const std::vector<TW_UINT32> &lengths)
{
    const auto handle = reinterpret_cast<TW_HANDLE>(info.Item);
    std::size_t total = 0;
    for (TW_UINT32 length : lengths)
        total += length;
    // A source that claims more text than its block holds is read only
    // as far as the block goes.
    const std::size_t available = readableBytes(handle, total);
    auto *bytes = static_cast<const unsigned char *>(dsmMemLock(handle));
    if (!bytes)
        return QStringLiteral("Data Not Available");
    QString text;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        const std::size_t length = std::min<std::size_t>(lengths[i], available - offset);
        const unsigned char *code = bytes + offset;
        offset += length;
        bool printable = true;
        for (std::size_t k = 0; k < length && printable; ++k)
            printable = code[k] >= 0x20 && code[k] < 0x7f;
        if (i > 0)
            text += QStringLiteral("\r\n\t");
        if (printable) {
            text += QString::fromLatin1(reinterpret_cast<const char *>(code), int(std::min<std::size_t>(length, 255)));
        } else {
            for (std::size_t k = 0; k < std::min<std::size_t>(length, 60); ++k)
                text += QString::asprintf("%2.2X ", unsigned(code[k]));
        }
    }
    dsmMemUnlock(handle);
    return text;
}

} // namespace

void TwainApp::getExtImageInfo()
{
    m_extImageInfo.clear();
    const QString notSupported = QStringLiteral("Not Supported");

    TW_EXTIMAGEINFO countQuery = {};
    countQuery.NumInfos = 1;
    countQuery.Info[0].InfoID = TWEI_BARCODECOUNT;
    countQuery.Info[0].ItemType = TWTY_UINT32;
    if (dsmCall(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, &countQuery) != TWRC_SUCCESS) {
        m_extImageInfo = notSupported;
        return;
    }
    TW_INFO countInfo = countQuery.Info[0];
    const bool haveCount = countInfo.ReturnCode == TWRC_SUCCESS;
    TW_UINT32 barcodes = 0;
    if (haveCount) {
        const std::vector<TW_UINT32> count = integerItems(countInfo, 1);
        barcodes = count.empty() ? 0 : std::min(count.front(), kMaxBarcodes);
        if (itemsInHandle(countInfo) && countInfo.Item)
            dsmMemFree(reinterpret_cast<TW_HANDLE>(countInfo.Item));
        // The entry goes into the second query as a plain count.
        countInfo.ItemType = TWTY_UINT32;
        countInfo.NumItems = 1;
        countInfo.Item = barcodes;
    }

    std::vector<TW_UINT16> ids;
    TW_CAPABILITY supported = {ICAP_SUPPORTEDEXTIMAGEINFO, TWON_DONTCARE16, nullptr};
    bool listed = false;
    if (getCap(supported, MSG_GET) == TWCC_SUCCESS && supported.ConType == TWON_ARRAY) {
        TW_UINT16 type = 0;
        withContainer(supported, [&](const unsigned char *p, std::size_t size) {
            if (size < sizeof type)
                return false;
            std::memcpy(&type, p, sizeof type);
            return true;
        });
        if (type == TWTY_UINT16) {
            listed = true;
            TW_UINT32 id = 0;
            for (TW_UINT32 i = 0; ids.size() < kMaxInfoIds && GetItem(supported, i, id); ++i)
                if (!isBarcodeInfo(TW_UINT16(id)))
                    ids.push_back(TW_UINT16(id));
        }
    }
    if (supported.hContainer)
        dsmMemFree(supported.hContainer);
    if (!listed)
        ids = {TWEI_BOOKNAME, TWEI_CHAPTERNUMBER, TWEI_DOCUMENTNUMBER, TWEI_PAGENUMBER, TWEI_PAGESIDE, TWEI_CAMERA,
               TWEI_FRAMENUMBER, TWEI_FRAME, TWEI_PIXELFLAVOR, TWEI_ENDORSEDTEXT, TWEI_MAGTYPE, TWEI_MAGDATA};

    const TW_UINT32 entries = TW_UINT32(ids.size()) + (haveCount ? 1 + 7 * barcodes : 0);
    if (entries == 0) {
        m_extImageInfo = notSupported;
        return;
    }
    const TW_UINT32 bytes = TW_UINT32(offsetof(TW_EXTIMAGEINFO, Info) + entries * sizeof(TW_INFO));
    TW_HANDLE handle = dsmMemAllocate(bytes);
    auto *ext = handle ? static_cast<pTW_EXTIMAGEINFO>(dsmMemLock(handle)) : nullptr;
    if (!ext) {
        if (handle)
            dsmMemFree(handle);
        printError(nullptr, QStringLiteral("Error allocating memory"));
        m_extImageInfo = notSupported;
        return;
    }
    ext->NumInfos = entries;
    TW_UINT32 n = 0;
    for (TW_UINT16 id : ids)
        ext->Info[n++].InfoID = id;
    if (haveCount) {
        ext->Info[n++] = countInfo;
        static const TW_UINT16 perCode[] = {TWEI_BARCODETYPE, TWEI_BARCODETEXTLENGTH, TWEI_BARCODETEXT,
                                            TWEI_BARCODEX,    TWEI_BARCODEY,          TWEI_BARCODEROTATION,
                                            TWEI_BARCODECONFIDENCE};
        for (TW_UINT32 b = 0; b < barcodes; ++b)
            for (TW_UINT16 id : perCode)
                ext->Info[n++].InfoID = id;
    }
    // The source may change ReturnCode and Item of every entry; only what
    // it returned successfully is ever freed.
    const TW_UINT16 rc = dsmCall(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, ext);
    if (rc != TWRC_SUCCESS) {
        m_extImageInfo = notSupported;
    } else {
        std::vector<TW_UINT32> lengths;
        TW_UINT16 lengthItems = 0;
        for (TW_UINT32 i = 0; i < entries; ++i) {
            const TW_INFO &info = ext->Info[i];
            if (info.ReturnCode == TWRC_INFONOTSUPPORTED)
                continue;
            QString value;
            if (info.InfoID == TWEI_BARCODETEXTLENGTH && info.ReturnCode == TWRC_SUCCESS) {
                lengths = integerItems(info, kMaxBarcodes);
                lengthItems = TW_UINT16(lengths.size());
                for (TW_UINT32 &length : lengths)
                    length = std::min(length, kMaxBarcodeText);
            }
            if (info.InfoID == TWEI_BARCODETEXT && info.ItemType == TWTY_HANDLE && info.ReturnCode == TWRC_SUCCESS
                && info.Item && info.NumItems != 0 && info.NumItems == lengthItems)
                value = barcodeTexts(info, lengths);
            else
                value = ExtImageInfoItemToString(info);
            m_extImageInfo += QString::fromLatin1(ExtImageInfoToString(info.InfoID)) + QStringLiteral(":\t")
                              + value.left(1024) + QStringLiteral("\r\n");
        }
        // Each block once, even when a source names it in two entries.
        std::vector<TW_UINTPTR> blocks;
        for (TW_UINT32 i = 0; i < entries; ++i) {
            const TW_INFO &info = ext->Info[i];
            const TW_UINTPTR item = info.Item;  // a packed field: copied, never bound
            if (info.ReturnCode == TWRC_SUCCESS && item && itemsInHandle(info)
                && std::find(blocks.begin(), blocks.end(), item) == blocks.end())
                blocks.push_back(item);
        }
        for (TW_UINTPTR block : blocks)
            dsmMemFree(reinterpret_cast<TW_HANDLE>(block));
    }
    dsmMemUnlock(handle);
    dsmMemFree(handle);
}

#pragma once
// The TWAIN 2.x types, structures and constants that the scanning layers use,
// written from the published standard. Structures keep the standard's field
// order and its 2-byte packing, so they match any manager or source built
// against the standard. Only what the station, the scan panel and the
// simulated manager use is declared here.

#include <cstdint>

// ---- basic types -------------------------------------------------------------
typedef char TW_STR32[34];
typedef char TW_STR64[66];
typedef char TW_STR128[130];
typedef char TW_STR255[256];

typedef std::int8_t TW_INT8;
typedef std::int16_t TW_INT16;
typedef std::int32_t TW_INT32;
typedef std::uint8_t TW_UINT8;
typedef std::uint16_t TW_UINT16;
typedef std::uint32_t TW_UINT32;
typedef std::uint16_t TW_BOOL;
typedef std::uintptr_t TW_UINTPTR;
typedef void *TW_HANDLE;
typedef void *TW_MEMREF;

#define TWAIN_TRUE 1
#define TWAIN_FALSE 0

#pragma pack(push, 2)

typedef struct {
    TW_INT16 Whole;
    TW_UINT16 Frac;
} TW_FIX32, *pTW_FIX32;

typedef struct {
    TW_FIX32 Left;
    TW_FIX32 Top;
    TW_FIX32 Right;
    TW_FIX32 Bottom;
} TW_FRAME, *pTW_FRAME;

typedef struct {
    TW_UINT16 MajorNum;
    TW_UINT16 MinorNum;
    TW_UINT16 Language;
    TW_UINT16 Country;
    TW_STR32 Info;
} TW_VERSION, *pTW_VERSION;

typedef struct {
    TW_UINT32 Id;
    TW_VERSION Version;
    TW_UINT16 ProtocolMajor;
    TW_UINT16 ProtocolMinor;
    TW_UINT32 SupportedGroups;
    TW_STR32 Manufacturer;
    TW_STR32 ProductFamily;
    TW_STR32 ProductName;
} TW_IDENTITY, *pTW_IDENTITY;

// ---- containers (the memory behind TW_CAPABILITY::hContainer) ---------------
typedef struct {
    TW_UINT16 ItemType;
    TW_UINT32 Item;
} TW_ONEVALUE, *pTW_ONEVALUE;

typedef struct {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT8 ItemList[1];
} TW_ARRAY, *pTW_ARRAY;

typedef struct {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT32 CurrentIndex;
    TW_UINT32 DefaultIndex;
    TW_UINT8 ItemList[1];
} TW_ENUMERATION, *pTW_ENUMERATION;

typedef struct {
    TW_UINT16 ItemType;
    TW_UINT32 MinValue;
    TW_UINT32 MaxValue;
    TW_UINT32 StepSize;
    TW_UINT32 DefaultValue;
    TW_UINT32 CurrentValue;
} TW_RANGE, *pTW_RANGE;

typedef struct {
    TW_UINT16 Cap;
    TW_UINT16 ConType;
    TW_HANDLE hContainer;
} TW_CAPABILITY, *pTW_CAPABILITY;

// ---- operation records --------------------------------------------------------
typedef struct {
    TW_BOOL ShowUI;
    TW_BOOL ModalUI;
    TW_HANDLE hParent;
} TW_USERINTERFACE, *pTW_USERINTERFACE;

typedef struct {
    TW_UINT16 Count;  // 0xFFFF (-1): the source does not know how many follow
    union {
        TW_UINT32 EOJ;
        TW_UINT32 Reserved;
    };
} TW_PENDINGXFERS, *pTW_PENDINGXFERS;

typedef struct {
    TW_MEMREF pEvent;
    TW_UINT16 TWMessage;
} TW_EVENT, *pTW_EVENT;

typedef struct {
    TW_UINT16 ConditionCode;
    union {
        TW_UINT16 Data;
        TW_UINT16 Reserved;
    };
} TW_STATUS, *pTW_STATUS;

typedef struct {
    TW_FIX32 XResolution;
    TW_FIX32 YResolution;
    TW_INT32 ImageWidth;
    TW_INT32 ImageLength;
    TW_INT16 SamplesPerPixel;
    TW_INT16 BitsPerSample[8];
    TW_INT16 BitsPerPixel;
    TW_BOOL Planar;
    TW_INT16 PixelType;
    TW_UINT16 Compression;
} TW_IMAGEINFO, *pTW_IMAGEINFO;

typedef struct {
    TW_UINT32 MinBufSize;
    TW_UINT32 MaxBufSize;
    TW_UINT32 Preferred;
} TW_SETUPMEMXFER, *pTW_SETUPMEMXFER;

typedef struct {
    TW_UINT32 Flags;
    TW_UINT32 Length;
    TW_MEMREF TheMem;
} TW_MEMORY, *pTW_MEMORY;

typedef struct {
    TW_UINT16 Compression;
    TW_UINT32 BytesPerRow;
    TW_UINT32 Columns;
    TW_UINT32 Rows;
    TW_UINT32 XOffset;
    TW_UINT32 YOffset;
    TW_UINT32 BytesWritten;
    TW_MEMORY Memory;
} TW_IMAGEMEMXFER, *pTW_IMAGEMEMXFER;

// Item holds the values in place when they fit in four bytes; otherwise (and
// always for TWTY_HANDLE) it is a handle the source allocated and the
// application frees.
typedef struct {
    TW_UINT16 InfoID;
    TW_UINT16 ItemType;
    TW_UINT16 NumItems;
    union {
        TW_UINT16 ReturnCode;
        TW_UINT16 CondCode;
    };
    TW_UINTPTR Item;
} TW_INFO, *pTW_INFO;

typedef struct {
    TW_UINT32 NumInfos;
    TW_INFO Info[1];
} TW_EXTIMAGEINFO, *pTW_EXTIMAGEINFO;

typedef struct {
    TW_UINT32 Event;
    TW_STR255 DeviceName;
    TW_UINT32 BatteryMinutes;
    TW_INT16 BatteryPercentage;
    TW_INT32 PowerSupply;
    TW_FIX32 XResolution;
    TW_FIX32 YResolution;
    TW_UINT32 FlashUsed2;
    TW_UINT32 AutomaticCapture;
    TW_UINT32 TimeBeforeFirstCapture;
    TW_UINT32 TimeBetweenCaptures;
} TW_DEVICEEVENT, *pTW_DEVICEEVENT;

typedef struct {
    TW_MEMREF CallBackProc;
    TW_UINT32 RefCon;
    TW_INT16 Message;
} TW_CALLBACK, *pTW_CALLBACK;

typedef struct {
    TW_MEMREF CallBackProc;
    TW_UINTPTR RefCon;
    TW_INT16 Message;
} TW_CALLBACK2, *pTW_CALLBACK2;

// The manager's memory functions, handed out by DAT_ENTRYPOINT.
typedef TW_HANDLE (*DSM_MEMALLOCATE)(TW_UINT32 size);
typedef void (*DSM_MEMFREE)(TW_HANDLE handle);
typedef TW_MEMREF (*DSM_MEMLOCK)(TW_HANDLE handle);
typedef void (*DSM_MEMUNLOCK)(TW_HANDLE handle);

typedef struct {
    TW_UINT32 Size;
    TW_MEMREF DSM_Entry;
    DSM_MEMALLOCATE DSM_MemAllocate;
    DSM_MEMFREE DSM_MemFree;
    DSM_MEMLOCK DSM_MemLock;
    DSM_MEMUNLOCK DSM_MemUnlock;
} TW_ENTRYPOINT, *pTW_ENTRYPOINT;

#pragma pack(pop)

// The DIB of a native transfer: this header, the palette (4 bytes an entry),
// then the rows, bottom row first, each padded to a multiple of 4 bytes.
#pragma pack(push, 2)
typedef struct {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
} TW_BITMAPINFOHEADER;
#pragma pack(pop)
static_assert(sizeof(TW_BITMAPINFOHEADER) == 40, "a DIB header is 40 bytes");
static_assert(sizeof(TW_IDENTITY) == 156, "TW_IDENTITY layout");
static_assert(sizeof(TW_ONEVALUE) == 6, "TW_ONEVALUE layout");
static_assert(sizeof(TW_RANGE) == 22, "TW_RANGE layout");
static_assert(sizeof(void *) != 8 || sizeof(TW_ENTRYPOINT) == 44, "TW_ENTRYPOINT layout");

// The one entry point of a manager (and of a source).
extern "C" {
typedef TW_UINT16 (*DSMENTRYPROC)(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dataGroup,
                                  TW_UINT16 dataArgType, TW_UINT16 message, TW_MEMREF data);
typedef TW_UINT16 (*TWAIN_CALLBACK)(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dataGroup,
                                    TW_UINT16 dataArgType, TW_UINT16 message, TW_MEMREF data);
}

// ---- protocol version ------------------------------------------------------------
#define TWON_PROTOCOLMAJOR 2
#define TWON_PROTOCOLMINOR 5

// ---- container types -----------------------------------------------------------
#define TWON_ARRAY 3
#define TWON_ENUMERATION 4
#define TWON_ONEVALUE 5
#define TWON_RANGE 6
#define TWON_DONTCARE8 0xff
#define TWON_DONTCARE16 0xffff
#define TWON_DONTCARE32 0xffffffffu

// ---- item types ----------------------------------------------------------------
#define TWTY_INT8 0x0000
#define TWTY_INT16 0x0001
#define TWTY_INT32 0x0002
#define TWTY_UINT8 0x0003
#define TWTY_UINT16 0x0004
#define TWTY_UINT32 0x0005
#define TWTY_BOOL 0x0006
#define TWTY_FIX32 0x0007
#define TWTY_FRAME 0x0008
#define TWTY_STR32 0x0009
#define TWTY_STR64 0x000a
#define TWTY_STR128 0x000b
#define TWTY_STR255 0x000c
#define TWTY_STR1024 0x000d
#define TWTY_UNI512 0x000e
#define TWTY_HANDLE 0x000f

// ---- data groups and group flags ----------------------------------------------
#define DG_CONTROL 0x0001u
#define DG_IMAGE 0x0002u
#define DG_AUDIO 0x0004u
#define DF_DSM2 0x10000000u
#define DF_APP2 0x20000000u
#define DF_DS2 0x40000000u

// ---- data argument types --------------------------------------------------------
#define DAT_NULL 0x0000
#define DAT_CUSTOMBASE 0x8000
#define DAT_CAPABILITY 0x0001
#define DAT_EVENT 0x0002
#define DAT_IDENTITY 0x0003
#define DAT_PARENT 0x0004
#define DAT_PENDINGXFERS 0x0005
#define DAT_SETUPMEMXFER 0x0006
#define DAT_SETUPFILEXFER 0x0007
#define DAT_STATUS 0x0008
#define DAT_USERINTERFACE 0x0009
#define DAT_XFERGROUP 0x000a
#define DAT_DEVICEEVENT 0x000d
#define DAT_CALLBACK 0x0010
#define DAT_STATUSUTF8 0x0011
#define DAT_CALLBACK2 0x0012
#define DAT_IMAGEINFO 0x0101
#define DAT_IMAGELAYOUT 0x0102
#define DAT_IMAGEMEMXFER 0x0103
#define DAT_IMAGENATIVEXFER 0x0104
#define DAT_IMAGEFILEXFER 0x0105
#define DAT_EXTIMAGEINFO 0x010b
#define DAT_ENTRYPOINT 0x0403

// ---- messages ------------------------------------------------------------------
#define MSG_NULL 0x0000
#define MSG_CUSTOMBASE 0x8000
#define MSG_GET 0x0001
#define MSG_GETCURRENT 0x0002
#define MSG_GETDEFAULT 0x0003
#define MSG_GETFIRST 0x0004
#define MSG_GETNEXT 0x0005
#define MSG_SET 0x0006
#define MSG_RESET 0x0007
#define MSG_QUERYSUPPORT 0x0008
#define MSG_XFERREADY 0x0101
#define MSG_CLOSEDSREQ 0x0102
#define MSG_CLOSEDSOK 0x0103
#define MSG_DEVICEEVENT 0x0104
#define MSG_OPENDSM 0x0301
#define MSG_CLOSEDSM 0x0302
#define MSG_OPENDS 0x0401
#define MSG_CLOSEDS 0x0402
#define MSG_USERSELECT 0x0403
#define MSG_DISABLEDS 0x0501
#define MSG_ENABLEDS 0x0502
#define MSG_ENABLEDSUIONLY 0x0503
#define MSG_PROCESSEVENT 0x0601
#define MSG_ENDXFER 0x0701
#define MSG_STOPFEEDER 0x0702
#define MSG_REGISTER_CALLBACK 0x0902
#define MSG_RESETALL 0x0a01

// ---- return codes ----------------------------------------------------------------
#define TWRC_SUCCESS 0
#define TWRC_FAILURE 1
#define TWRC_CHECKSTATUS 2
#define TWRC_CANCEL 3
#define TWRC_DSEVENT 4
#define TWRC_NOTDSEVENT 5
#define TWRC_XFERDONE 6
#define TWRC_ENDOFLIST 7
#define TWRC_INFONOTSUPPORTED 8
#define TWRC_DATANOTAVAILABLE 9
#define TWRC_BUSY 10
#define TWRC_SCANNERLOCKED 11

// ---- condition codes (7 and 8 are unassigned) --------------------------------------
#define TWCC_SUCCESS 0
#define TWCC_BUMMER 1
#define TWCC_LOWMEMORY 2
#define TWCC_NODS 3
#define TWCC_MAXCONNECTIONS 4
#define TWCC_OPERATIONERROR 5
#define TWCC_BADCAP 6
#define TWCC_BADPROTOCOL 9
#define TWCC_BADVALUE 10
#define TWCC_SEQERROR 11
#define TWCC_BADDEST 12
#define TWCC_CAPUNSUPPORTED 13
#define TWCC_CAPBADOPERATION 14
#define TWCC_CAPSEQERROR 15
#define TWCC_DENIED 16
#define TWCC_FILEEXISTS 17
#define TWCC_FILENOTFOUND 18
#define TWCC_NOTEMPTY 19
#define TWCC_PAPERJAM 20
#define TWCC_PAPERDOUBLEFEED 21
#define TWCC_FILEWRITEERROR 22
#define TWCC_CHECKDEVICEONLINE 23
#define TWCC_INTERLOCK 24
#define TWCC_DAMAGEDCORNER 25
#define TWCC_FOCUSERROR 26
#define TWCC_DOCTOOLIGHT 27
#define TWCC_DOCTOODARK 28
#define TWCC_NOMEDIA 29

// ---- capabilities ------------------------------------------------------------------
#define CAP_CUSTOMBASE 0x8000
#define CAP_XFERCOUNT 0x0001
#define ICAP_COMPRESSION 0x0100
#define ICAP_PIXELTYPE 0x0101
#define ICAP_UNITS 0x0102
#define ICAP_XFERMECH 0x0103
#define CAP_AUTHOR 0x1000
#define CAP_CAPTION 0x1001
#define CAP_FEEDERENABLED 0x1002
#define CAP_FEEDERLOADED 0x1003
#define CAP_TIMEDATE 0x1004
#define CAP_SUPPORTEDCAPS 0x1005
#define CAP_EXTENDEDCAPS 0x1006
#define CAP_AUTOFEED 0x1007
#define CAP_CLEARPAGE 0x1008
#define CAP_FEEDPAGE 0x1009
#define CAP_REWINDPAGE 0x100a
#define CAP_INDICATORS 0x100b
#define CAP_PAPERDETECTABLE 0x100d
#define CAP_UICONTROLLABLE 0x100e
#define CAP_DEVICEONLINE 0x100f
#define CAP_AUTOSCAN 0x1010
#define CAP_THUMBNAILSENABLED 0x1011
#define CAP_DUPLEX 0x1012
#define CAP_DUPLEXENABLED 0x1013
#define CAP_ENABLEDSUIONLY 0x1014
#define CAP_CAMERASIDE 0x1034
#define ICAP_IMAGEFILEFORMAT 0x110c
#define ICAP_FRAMES 0x1114
#define ICAP_XRESOLUTION 0x1118
#define ICAP_YRESOLUTION 0x1119
#define ICAP_PIXELFLAVOR 0x111f
#define ICAP_BITDEPTH 0x112b
#define ICAP_EXTIMAGEINFO 0x112f
#define ICAP_SUPPORTEDBARCODETYPES 0x1138
#define ICAP_SUPPORTEDEXTIMAGEINFO 0x115e

// ---- extended image information ------------------------------------------------------
#define TWEI_BARCODEX 0x1200
#define TWEI_BARCODEY 0x1201
#define TWEI_BARCODETEXT 0x1202
#define TWEI_BARCODETYPE 0x1203
#define TWEI_PATCHCODE 0x1214
#define TWEI_ENDORSEDTEXT 0x1215
#define TWEI_BARCODECOUNT 0x121b
#define TWEI_BARCODECONFIDENCE 0x121c
#define TWEI_BARCODEROTATION 0x121d
#define TWEI_BARCODETEXTLENGTH 0x121e
#define TWEI_DESKEWSTATUS 0x122d
#define TWEI_BOOKNAME 0x1238
#define TWEI_CHAPTERNUMBER 0x1239
#define TWEI_DOCUMENTNUMBER 0x123a
#define TWEI_PAGENUMBER 0x123b
#define TWEI_CAMERA 0x123c
#define TWEI_FRAMENUMBER 0x123d
#define TWEI_FRAME 0x123e
#define TWEI_PIXELFLAVOR 0x123f
#define TWEI_MAGDATA 0x1243
#define TWEI_MAGTYPE 0x1244
#define TWEI_PAGESIDE 0x1245

// ---- capability values ------------------------------------------------------------------
// ICAP_XFERMECH
#define TWSX_NATIVE 0
#define TWSX_FILE 1
#define TWSX_MEMORY 2
#define TWSX_MEMFILE 4
// ICAP_PIXELTYPE
#define TWPT_BW 0
#define TWPT_GRAY 1
#define TWPT_RGB 2
#define TWPT_PALETTE 3
#define TWPT_CMY 4
// ICAP_COMPRESSION
#define TWCP_NONE 0
// ICAP_UNITS
#define TWUN_INCHES 0
#define TWUN_CENTIMETERS 1
#define TWUN_PIXELS 5
// ICAP_IMAGEFILEFORMAT
#define TWFF_TIFF 0
#define TWFF_BMP 2
// ICAP_PIXELFLAVOR: chocolate means 0 is the darkest shade
#define TWPF_CHOCOLATE 0
#define TWPF_VANILLA 1
// CAP_DUPLEX
#define TWDX_NONE 0
#define TWDX_1PASSDUPLEX 1
#define TWDX_2PASSDUPLEX 2
// CAP_CAMERASIDE and TWEI_PAGESIDE
#define TWCS_BOTH 0
#define TWCS_TOP 1
#define TWCS_BOTTOM 2
// TWEI_BARCODEROTATION
#define TWBCOR_ROT0 0
#define TWBCOR_ROT90 1
#define TWBCOR_ROT180 2
#define TWBCOR_ROT270 3
#define TWBCOR_ROTX 4
// ICAP_SUPPORTEDBARCODETYPES and TWEI_BARCODETYPE
#define TWBT_3OF9 0
#define TWBT_2OF5INTERLEAVED 1
#define TWBT_CODE128 4
#define TWBT_EAN13 10
#define TWBT_PDF417 12
#define TWBT_QRCODE 20
// TW_MEMORY::Flags
#define TWMF_APPOWNS 0x0001
#define TWMF_DSMOWNS 0x0002
#define TWMF_DSOWNS 0x0004
#define TWMF_POINTER 0x0008
#define TWMF_HANDLE 0x0010
// MSG_QUERYSUPPORT answers
#define TWQC_GET 0x0001
#define TWQC_SET 0x0002
#define TWQC_GETDEFAULT 0x0004
#define TWQC_GETCURRENT 0x0008
#define TWQC_RESET 0x0010
// languages and countries of TW_VERSION
#define TWLG_ENGLISH 2
#define TWLG_CHINESE_SIMPLIFIED 41
#define TWCY_USA 1
#define TWCY_CHINA 86

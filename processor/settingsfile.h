#pragma once
// "Ardentiq.ini": every key the processing program reads or writes with its
// defaults, and the text conversions all readers share. Where the file lives
// and the account keys are in inifile.h, which the platform dialogs use too.

#include "inifile.h"
#include "recognitionsettings.h"

#include <QString>

namespace SettingKeys {
// SettingAnchorAndProcess
inline constexpr SettingKey ProcessType{"SettingAnchorAndProcess/ProcessType", "0", "1"};
inline constexpr SettingKey AnchorPointErrorMargin{"SettingAnchorAndProcess/AnchorPointErrorMargin", "0.20", "0.20"};
inline constexpr SettingKey SheetSizeErrorMargin{"SettingAnchorAndProcess/SheetSizeErrorMargin", "0.05", "0.05"};
inline constexpr SettingKey MaxObjectFeaturePointCount{"SettingAnchorAndProcess/MaxObjectFeaturePointCount", "1500",
                                                       "1500"};
inline constexpr SettingKey MaxSceneFeaturePointCount{"SettingAnchorAndProcess/MaxSceneFeaturePointCount", "3000",
                                                      "3000"};
inline constexpr SettingKey MaxFeaturePointDistance{"SettingAnchorAndProcess/MaxFeaturePointDistance", "50", "50"};
inline constexpr SettingKey FeaturePointSearchLevel{"SettingAnchorAndProcess/FeaturePointSearchLevel", "2", "2"};
inline constexpr SettingKey FeaturePointSearchScale{"SettingAnchorAndProcess/FeaturePointSearchScale", "1.05", "1.05"};
inline constexpr SettingKey MiniMatchFeaturePointCount{"SettingAnchorAndProcess/MiniMatchFeaturePointCount", "10",
                                                       "10"};
inline constexpr SettingKey MatchAreaErrorMargin{"SettingAnchorAndProcess/MatchAreaErrorMargin", "0.25", "0.25"};
inline constexpr SettingKey IgnorAbsentMark{"SettingAnchorAndProcess/IgnorAbsentMark", "0", "0"};

// SettingMarkPoint
inline constexpr SettingKey CoverPercentageCode{"SettingMarkPoint/CoverPercentageCode", "0.50", "0.5"};
inline constexpr SettingKey CoverPercentageAbsent{"SettingMarkPoint/CoverPercentageAbsent", "0.50", "0.5"};
inline constexpr SettingKey CoverPercentageObject{"SettingMarkPoint/CoverPercentageObject", "0.50", "0.5"};
inline constexpr SettingKey CoverPercentageOptional{"SettingMarkPoint/CoverPercentageOptional", "0.50", "0.5"};
// 0: automatic threshold (Otsu), anything else: the fixed threshold below.
inline constexpr SettingKey MarkPointAlgo{"SettingMarkPoint/MarkPointAlgo", "0", "0"};
inline constexpr SettingKey Threshold{"SettingMarkPoint/Threshold", "200", "220"};

// SettingImage
inline constexpr SettingKey RedFilter{"SettingImage/RedFilter", "0", "0"};
// 0: JPG, anything else: PNG. Absent reads as PNG but the dialog shows JPG.
inline constexpr SettingKey SubjectImageFormatIndex{"SettingImage/SubjectImageFormatIndex", "65", "0"};
inline constexpr SettingKey SubjectImagePNGCompressionLevel{"SettingImage/SubjectImagePNGCompressionLevel", "3", "3"};
inline constexpr SettingKey SubjectImageQuality{"SettingImage/SubjectImageQuality", "75", "75"};
inline constexpr SettingKey SubjectImageScaleDown{"SettingImage/SubjectImageScaleDown", "1.0", "1.0"};

// SettingSheetUpload
inline constexpr SettingKey SheetUpload{"SettingSheetUpload/SheetUpload", "0", "0"};
inline constexpr SettingKey EntireSheetUpload{"SettingSheetUpload/EntireSheetUpload", "0", "0"};
// The key's spelling ("Entrie") is what existing files hold.
inline constexpr SettingKey EntrieSheetPNGCompressionLevel{"SettingSheetUpload/EntrieSheetPNGCompressionLevel", "4",
                                                           "4"};
inline constexpr SettingKey LocalServer{"SettingSheetUpload/LocalServer", "0", "0"};
inline constexpr SettingKey Address{"SettingSheetUpload/Address", "", ""};
inline constexpr SettingKey Password{"SettingSheetUpload/Password", "", ""};
inline constexpr SettingKey SheetUploadTimeout{"SettingSheetUpload/SheetUploadTimeout", "5", "5"};

// SettingOther
inline constexpr SettingKey ExchangeNameWhenRowsExchange{"SettingOther/ExchangeNameWhenRowsExchange", "1", "1"};

// ImageEdit
inline constexpr SettingKey ImageEditColor{"ImageEdit/Color", "255", "255"};
inline constexpr SettingKey ImageEditWidth{"ImageEdit/Width", "25", "25"};

// CloudStorage (read by the upload-credential request; no member holds them)
inline constexpr SettingKey CloudStorageServer{"CloudStorage/CloudStorageServer", "-1", "-1"};
inline constexpr SettingKey BucketName{"CloudStorage/BucketName", "", ""};
} // namespace SettingKeys

// Conversions of stored text. A value that does not convert gives 0, 0.0 or false.
int settingToInt(const QString &text);         // base 10; "", "3.5", "abc" -> 0
float settingToFloat(const QString &text);
bool settingToBool(const QString &text);       // false for "", "0", "false" (any case)

// Everything `MainWindow::readSettings` copies into the window's members.
struct ProcessorSettings {
    QString customerType;
    QString customerCode;
    QString dataKey;
    QString schoolName;
    QString schoolID;

    RecognitionSettings recognition;

    int sheetUploadTimeout = 5;
    QString localServerAddress;
    QString localServerPassword;
    bool localServer = false;
    bool entireSheetUpload = false;
    int entrieSheetPNGCompressionLevel = 4;
    bool exchangeNameWhenRowsExchange = true;
    int imageEditColor = 255;
    int imageEditWidth = 25;
};

// Reads every member of `values` from the file at `path`. Returns false and
// leaves `values` untouched when the path is not an existing regular file.
bool readSettingsFile(const QString &path, ProcessorSettings &values);

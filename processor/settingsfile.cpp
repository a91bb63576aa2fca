#include "settingsfile.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <cmath>

int settingToInt(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

float settingToFloat(const QString &text)
{
    bool ok = false;
    const float value = text.toFloat(&ok);
    // "nan" and "inf" parse, but no setting means them.
    return ok && std::isfinite(value) ? value : 0.0f;
}

bool settingToBool(const QString &text)
{
    return !(text.isEmpty() || text == QLatin1String("0") || text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0);
}

bool readSettingsFile(const QString &path, ProcessorSettings &values)
{
    if (!QFileInfo(path).isFile())
        return false;

    const auto handle = openSettingsFile(path);
    const QSettings &s = *handle;
    namespace K = SettingKeys;
    auto text = [&s](const SettingKey &key) { return settingText(s, key); };
    auto toInt = [&](const SettingKey &key) { return settingToInt(text(key)); };
    auto toFloat = [&](const SettingKey &key) { return settingToFloat(text(key)); };
    auto toBool = [&](const SettingKey &key) { return settingToBool(text(key)); };

    ProcessorSettings v;
    v.customerType = text(K::CustomerType);
    v.customerCode = text(K::CustomerCode);
    v.dataKey = text(K::DataKey);
    v.schoolName = text(K::SchoolName);
    v.schoolID = text(K::SchoolID);

    RecognitionSettings &r = v.recognition;
    r.processType = toInt(K::ProcessType);
    r.anchorPointErrorMargin = toFloat(K::AnchorPointErrorMargin);
    r.sheetSizeErrorMargin = toFloat(K::SheetSizeErrorMargin);
    r.maxObjectFeaturePointCount = toInt(K::MaxObjectFeaturePointCount);
    r.maxSceneFeaturePointCount = toInt(K::MaxSceneFeaturePointCount);
    r.maxFeaturePointDistance = toInt(K::MaxFeaturePointDistance);
    r.featurePointSearchLevel = toInt(K::FeaturePointSearchLevel);
    r.featurePointSearchScale = toFloat(K::FeaturePointSearchScale);
    r.miniMatchFeaturePointCount = toInt(K::MiniMatchFeaturePointCount);
    r.matchAreaErrorMargin = toFloat(K::MatchAreaErrorMargin);

    r.coverPercentageCode = toFloat(K::CoverPercentageCode);
    r.coverPercentageAbsent = toFloat(K::CoverPercentageAbsent);
    r.coverPercentageObject = toFloat(K::CoverPercentageObject);
    r.coverPercentageOptional = toFloat(K::CoverPercentageOptional);
    r.markPointAlgo = toInt(K::MarkPointAlgo);
    r.threshold = toInt(K::Threshold);

    r.redFilter = toBool(K::RedFilter);
    r.subjectImageFormatIndex = toInt(K::SubjectImageFormatIndex);
    r.subjectImagePNGCompressionLevel = toInt(K::SubjectImagePNGCompressionLevel);
    r.subjectImageQuality = toInt(K::SubjectImageQuality);
    r.subjectImageScaleDown = toFloat(K::SubjectImageScaleDown);

    v.sheetUploadTimeout = toInt(K::SheetUploadTimeout);
    r.ignorAbsentMark = toBool(K::IgnorAbsentMark);
    r.sheetUpload = toBool(K::SheetUpload);
    v.entireSheetUpload = toBool(K::EntireSheetUpload);
    v.entrieSheetPNGCompressionLevel = toInt(K::EntrieSheetPNGCompressionLevel);
    v.localServer = toBool(K::LocalServer);
    v.localServerAddress = text(K::Address);
    v.localServerPassword = text(K::Password);

    v.exchangeNameWhenRowsExchange = toBool(K::ExchangeNameWhenRowsExchange);
    v.imageEditColor = toInt(K::ImageEditColor);
    v.imageEditWidth = toInt(K::ImageEditWidth);

    values = v;
    return true;
}

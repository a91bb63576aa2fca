#pragma once
// The settings recognition reads, as one snapshot taken on the GUI thread when
// a run starts. Defaults are those of an ini file without the keys.

struct RecognitionSettings {
    // SettingAnchorAndProcess
    int processType = 0;
    float anchorPointErrorMargin = 0.20f;
    float sheetSizeErrorMargin = 0.05f;
    int maxObjectFeaturePointCount = 1500;
    int maxSceneFeaturePointCount = 3000;
    int maxFeaturePointDistance = 50;
    int featurePointSearchLevel = 2;
    float featurePointSearchScale = 1.05f;
    int miniMatchFeaturePointCount = 10;
    float matchAreaErrorMargin = 0.25f;
    bool ignorAbsentMark = false;
    // SettingMarkPoint
    float coverPercentageCode = 0.50f;
    float coverPercentageAbsent = 0.50f;
    float coverPercentageObject = 0.50f;
    float coverPercentageOptional = 0.50f;
    int markPointAlgo = 0;
    int threshold = 200;
    // SettingImage
    bool redFilter = false;
    int subjectImageFormatIndex = 65;      // 0: JPG, anything else: PNG
    int subjectImagePNGCompressionLevel = 3;
    int subjectImageQuality = 75;
    float subjectImageScaleDown = 1.0f;
    // SettingSheetUpload
    bool sheetUpload = false;
};

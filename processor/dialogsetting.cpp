#include "dialogsetting.h"
#include "ui_dialogsetting.h"

#include "desktopopener.h"
#include "dialogthreshold.h"
#include "messagebox.h"
#include "settingsfile.h"

#include <QDoubleValidator>
#include <QIntValidator>
#include <QRegularExpressionValidator>
#include <QSettings>
#include <QStyle>
#include <QUrl>

#include <vector>

namespace {

const QString kTitle = QStringLiteral("提示");

void showWarning(QWidget *parent, const QString &text)
{
    MessageBox::warning(parent, kTitle, text, QMessageBox::Ok);
}

void showInformation(QWidget *parent, const QString &text)
{
    MessageBox::information(parent, kTitle, text, QMessageBox::Ok);
}

// How a text field must convert before it may be stored. The check uses the
// conversion the readers use, so a stored value never reads back as 0 by
// accident ("1500.5" is not an integer, "" is not a number).
enum class Number { Integer, Decimal };

struct FieldRule {
    QLineEdit *edit;
    Number number;
    float low;
    float high;
    QString message;
    bool focusOnRefusal;
};

bool passes(const FieldRule &rule)
{
    const QString text = rule.edit->text();
    bool ok = false;
    if (rule.number == Number::Integer) {
        const int value = text.toInt(&ok, 10);
        return ok && value >= rule.low && value <= rule.high;
    }
    // Single precision, like the readers; the bounds are floats too so that
    // "0.01" meets a bound of 0.01.
    const float value = text.toFloat(&ok);
    return ok && value >= rule.low && value <= rule.high;
}

QString rangeMessage(const char *pattern, double low, double high)
{
    return QString::fromUtf8(pattern).arg(QString::number(low), QString::number(high));
}

QString boolText(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

DialogSetting::DialogSetting(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::DialogSetting)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->stackedWidget->setCurrentIndex(0);

    ui->listWidget->addItems({QStringLiteral("定位识别"), QStringLiteral("涂点算法"), QStringLiteral("图片参数"),
                              QStringLiteral("答卷上传"), QStringLiteral("其他")});
    // Only a click turns the page; moving the selection with the keys does not.
    connect(ui->listWidget, &QListWidget::itemClicked, this, [this]() {
        const int row = ui->listWidget->currentRow();
        if (row >= 0)
            ui->stackedWidget->setCurrentIndex(row);
    });

    ui->comboBoxProcessType->addItem(QStringLiteral("普通"), 0);
    ui->comboBoxProcessType->addItem(QStringLiteral("快速"), 1);
    ui->tabWidgetAnchorType->setCurrentIndex(0);
    for (QWidget *tab : {ui->tab_3, ui->tab_4}) {
        QPalette palette = tab->palette();
        palette.setColor(QPalette::All, QPalette::Window, QColor(200, 200, 200));
        tab->setPalette(palette);
        tab->setAutoFillBackground(true);
    }

    ui->lineEditMaxObjectFeaturePointCount->setValidator(new QIntValidator(200, 4999, this));
    ui->lineEditMaxSceneFeaturePointCount->setValidator(new QIntValidator(400, 10000, this));
    ui->lineEditFeaturePointSearchLevel->setValidator(new QIntValidator(1, 8, this));
    ui->lineEditFeaturePointSearchScale->setValidator(new QDoubleValidator(1.0, 2.0, 2, this));
    ui->lineEditMaxFeaturePointDistance->setValidator(new QIntValidator(20, 100, this));
    ui->lineEditMiniMatchFeaturePointCount->setValidator(new QIntValidator(5, 10000, this));
    ui->lineEditMatchAreaErrorMargin->setValidator(new QDoubleValidator(0.01, 0.5, 2, this));
    ui->lineEditSubjectImageScaleDown->setValidator(new QDoubleValidator(0.3, 1.0, 2, this));

    settings = openSettingsFile();
    loadSettings();

    ui->lineEditImageQuality->setValidator(new QIntValidator(0, 100, this));
    auto *fraction = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("0\\.[0-9]{1,4}")), this);
    for (QLineEdit *edit : {ui->lineEditSheetSizeErrorMargin, ui->lineEditAnchorPointErrorMargin,
                            ui->lineEditCoverPercentageCode, ui->lineEditCoverPercentageAbsent,
                            ui->lineEditCoverPercentageObject, ui->lineEditCoverPercentageOptional})
        edit->setValidator(fraction);
    ui->lineEditSheetUploadTimeout->setValidator(new QIntValidator(1, 10, this));

    connect(ui->pushButtonThreshold, &QPushButton::clicked, this, &DialogSetting::openThresholdDialog);
    connect(ui->checkBoxLocalServer, &QCheckBox::clicked, this, &DialogSetting::updateLocalServerFields);
    connect(ui->pushButtonLocalServerTest, &QPushButton::clicked, this, &DialogSetting::openLocalServerTestPage);
    connect(ui->comboBoxSubjectImageFormat, &QComboBox::currentTextChanged, this,
            [this]() { showFormatWidgets(ui->comboBoxSubjectImageFormat->currentIndex()); });
    ui->widgetEntireSheetUpload->hide();
    ui->pushButtonHelpExchangeSheetImageName->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
    connect(ui->pushButtonHelpExchangeSheetImageName, &QPushButton::clicked, this,
            &DialogSetting::showExchangeNameHelp);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogSetting::accept);
}

DialogSetting::~DialogSetting()
{
    delete ui;
}

void DialogSetting::loadSettings()
{
    namespace K = SettingKeys;
    auto text = [this](const SettingKey &key) { return settingText(*settings, key, true); };

    const int processType = settingToInt(text(K::ProcessType));
    const int processIndex = ui->comboBoxProcessType->findData(processType);
    if (processIndex >= 0)
        ui->comboBoxProcessType->setCurrentIndex(processIndex);
    ui->lineEditAnchorPointErrorMargin->setText(text(K::AnchorPointErrorMargin));
    ui->lineEditSheetSizeErrorMargin->setText(text(K::SheetSizeErrorMargin));
    ui->lineEditMaxObjectFeaturePointCount->setText(text(K::MaxObjectFeaturePointCount));
    ui->lineEditMaxSceneFeaturePointCount->setText(text(K::MaxSceneFeaturePointCount));
    ui->lineEditMaxFeaturePointDistance->setText(text(K::MaxFeaturePointDistance));
    ui->lineEditFeaturePointSearchLevel->setText(text(K::FeaturePointSearchLevel));
    ui->lineEditFeaturePointSearchScale->setText(text(K::FeaturePointSearchScale));
    ui->lineEditMiniMatchFeaturePointCount->setText(text(K::MiniMatchFeaturePointCount));
    ui->lineEditMatchAreaErrorMargin->setText(text(K::MatchAreaErrorMargin));
    ui->checkBoxIgnorAbsentMark->setChecked(settingToBool(text(K::IgnorAbsentMark)));

    ui->lineEditCoverPercentageCode->setText(text(K::CoverPercentageCode));
    ui->lineEditCoverPercentageAbsent->setText(text(K::CoverPercentageAbsent));
    ui->lineEditCoverPercentageObject->setText(text(K::CoverPercentageObject));
    ui->lineEditCoverPercentageOptional->setText(text(K::CoverPercentageOptional));

    ui->checkBoxRedFilter->setChecked(settingToBool(text(K::RedFilter)));
    ui->lineEditImageQuality->setText(text(K::SubjectImageQuality));
    ui->lineEditSubjectImageScaleDown->setText(text(K::SubjectImageScaleDown));

    // Readers take any value but 0 as PNG; the choice offers only the two.
    const int format = settingToInt(text(K::SubjectImageFormatIndex));
    ui->comboBoxSubjectImageFormat->setCurrentIndex(format < ui->comboBoxSubjectImageFormat->count() ? format : 0);
    showFormatWidgets(format);

    const int pngLevel = ui->comboBoxSubjectImagePNGCompressionLevel->findText(
        QString::number(settingToInt(text(K::SubjectImagePNGCompressionLevel))));
    ui->comboBoxSubjectImagePNGCompressionLevel->setCurrentIndex(pngLevel >= 0 ? pngLevel : 0);

    ui->checkBoxSheetUpload->setChecked(settingToBool(text(K::SheetUpload)));
    ui->checkBoxEntireSheetUpload->setChecked(settingToBool(text(K::EntireSheetUpload)));
    const int entireLevel = ui->comboBoxEntireSheetPNGCompressionLevel->findText(
        QString::number(settingToInt(text(K::EntrieSheetPNGCompressionLevel))));
    if (entireLevel >= 0)
        ui->comboBoxEntireSheetPNGCompressionLevel->setCurrentIndex(entireLevel);
    ui->lineEditSheetUploadTimeout->setText(text(K::SheetUploadTimeout));
    ui->checkBoxLocalServer->setChecked(settingToBool(text(K::LocalServer)));
    ui->lineEditAddress->setText(text(K::Address));
    ui->lineEditPassword->setText(text(K::Password));

    ui->checkBoxExchangeName->setChecked(settingToBool(text(K::ExchangeNameWhenRowsExchange)));
}

bool DialogSetting::saveSettings()
{
    // Every field is checked before any key is written: a refused value, or
    // the fields before it, must never reach the file half-saved.
    const std::vector<FieldRule> rules = {
        {ui->lineEditSheetSizeErrorMargin, Number::Decimal, 0.0f, 1.0f,
         QStringLiteral("答卷大小允许误差值范围为 0.0 - 1.0"), false},
        {ui->lineEditAnchorPointErrorMargin, Number::Decimal, 0.0f, 1.0f,
         QStringLiteral("定位点大小允许误差值范围为 0.0 - 1.0"), false},
        {ui->lineEditMaxObjectFeaturePointCount, Number::Integer, 200, 4999,
         rangeMessage("目标特征点数范围为 %1 - %2", 200, 4999), false},
        {ui->lineEditMaxSceneFeaturePointCount, Number::Integer, 400, 10000,
         rangeMessage("场景特征点数范围为 %1 - %2", 400, 10000), false},
        {ui->lineEditMaxFeaturePointDistance, Number::Integer, 20, 100,
         rangeMessage("距离匹配阈值范围 %1 - %2", 20, 100), false},
        {ui->lineEditFeaturePointSearchLevel, Number::Integer, 1, 8, rangeMessage("搜索层级范围 %1 - %2", 1, 8),
         false},
        {ui->lineEditFeaturePointSearchScale, Number::Decimal, 1.0f, 2.0f,
         rangeMessage("层级变化比例范围 %1 - %2", 1, 2), false},
        {ui->lineEditMiniMatchFeaturePointCount, Number::Integer, 5, 10000,
         rangeMessage("最少匹配特征点数 取值范围 %1 - %2", 5, 10000), false},
        {ui->lineEditMatchAreaErrorMargin, Number::Decimal, 0.01f, 0.5f,
         rangeMessage("匹配区域面积允许误差 取值范围 %1 - %2", 0.01, 0.5), false},
        {ui->lineEditCoverPercentageCode, Number::Decimal, 0.0f, 1.0f,
         QStringLiteral("涂点覆盖率-考号 值范围为 0.0 - 1.0"), false},
        {ui->lineEditCoverPercentageAbsent, Number::Decimal, 0.0f, 1.0f,
         QStringLiteral("涂点覆盖率-缺考标记 值范围为 0.0 - 1.0"), false},
        {ui->lineEditCoverPercentageObject, Number::Decimal, 0.0f, 1.0f,
         QStringLiteral("涂点覆盖率-客观题 值范围为 0.0 - 1.0"), false},
        {ui->lineEditCoverPercentageOptional, Number::Decimal, 0.0f, 1.0f,
         QStringLiteral("涂点覆盖率-选做题 值范围为 0.0 - 1.0"), false},
        {ui->lineEditImageQuality, Number::Integer, 1, 100, rangeMessage("图片质量值范围为 %1 - %2", 1, 100), true},
        {ui->lineEditSubjectImageScaleDown, Number::Decimal, 0.3f, 1.0f,
         rangeMessage("主观题图片缩小比例范围为 %1 - %2", 0.3, 1), true},
        {ui->lineEditSheetUploadTimeout, Number::Integer, 0, 10,
         rangeMessage("上传超时（秒）值范围为 %1 - %2", 0, 10), false},
    };
    for (const FieldRule &rule : rules) {
        if (passes(rule))
            continue;
        showWarning(this, rule.message);
        if (rule.focusOnRefusal)
            rule.edit->setFocus();
        return false;
    }

    namespace K = SettingKeys;
    auto write = [this](const SettingKey &key, const QString &value) {
        settings->setValue(QLatin1String(key.path), value);
    };
    write(K::ProcessType, ui->comboBoxProcessType->currentData().toString());
    write(K::SheetSizeErrorMargin, ui->lineEditSheetSizeErrorMargin->text());
    write(K::AnchorPointErrorMargin, ui->lineEditAnchorPointErrorMargin->text());
    write(K::MaxObjectFeaturePointCount, ui->lineEditMaxObjectFeaturePointCount->text());
    write(K::MaxSceneFeaturePointCount, ui->lineEditMaxSceneFeaturePointCount->text());
    write(K::MaxFeaturePointDistance, ui->lineEditMaxFeaturePointDistance->text());
    write(K::FeaturePointSearchLevel, ui->lineEditFeaturePointSearchLevel->text());
    write(K::FeaturePointSearchScale, ui->lineEditFeaturePointSearchScale->text());
    write(K::MiniMatchFeaturePointCount, ui->lineEditMiniMatchFeaturePointCount->text());
    write(K::MatchAreaErrorMargin, ui->lineEditMatchAreaErrorMargin->text());
    write(K::IgnorAbsentMark, boolText(ui->checkBoxIgnorAbsentMark->isChecked()));
    write(K::CoverPercentageCode, ui->lineEditCoverPercentageCode->text());
    write(K::CoverPercentageAbsent, ui->lineEditCoverPercentageAbsent->text());
    write(K::CoverPercentageObject, ui->lineEditCoverPercentageObject->text());
    write(K::CoverPercentageOptional, ui->lineEditCoverPercentageOptional->text());
    write(K::RedFilter, boolText(ui->checkBoxRedFilter->isChecked()));
    write(K::SubjectImageFormatIndex, QString::number(ui->comboBoxSubjectImageFormat->currentIndex()));
    write(K::SubjectImageQuality, ui->lineEditImageQuality->text());
    write(K::SubjectImagePNGCompressionLevel,
          QString::number(settingToInt(ui->comboBoxSubjectImagePNGCompressionLevel->currentText())));
    write(K::SubjectImageScaleDown, ui->lineEditSubjectImageScaleDown->text());
    write(K::SheetUploadTimeout, ui->lineEditSheetUploadTimeout->text());
    write(K::SheetUpload, boolText(ui->checkBoxSheetUpload->isChecked()));
    write(K::EntireSheetUpload, boolText(ui->checkBoxEntireSheetUpload->isChecked()));
    write(K::EntrieSheetPNGCompressionLevel,
          QString::number(settingToInt(ui->comboBoxEntireSheetPNGCompressionLevel->currentText())));
    write(K::LocalServer, boolText(ui->checkBoxLocalServer->isChecked()));
    write(K::Address, ui->lineEditAddress->text());
    write(K::Password, ui->lineEditPassword->text());
    write(K::ExchangeNameWhenRowsExchange, boolText(ui->checkBoxExchangeName->isChecked()));

    // A save that did not reach the disk must not close the dialog as if it had.
    settings->sync();
    if (settings->status() != QSettings::NoError) {
        showWarning(this, settingsWriteFailedMessage(settings->fileName()));
        return false;
    }
    return true;
}

void DialogSetting::accept()
{
    if (saveSettings())
        QDialog::accept();
}

void DialogSetting::showEvent(QShowEvent *event)
{
    updateLocalServerFields();
    QDialog::showEvent(event);
}

void DialogSetting::updateLocalServerFields()
{
    const bool enabled = ui->checkBoxLocalServer->isChecked();
    ui->lineEditAddress->setEnabled(enabled);
    ui->lineEditPassword->setEnabled(enabled);
    ui->lineEditSheetUploadTimeout->setEnabled(enabled);
}

void DialogSetting::showFormatWidgets(int formatIndex)
{
    if (formatIndex == 0) {
        ui->widgetForJPG->show();
        ui->widgetForPNG->hide();
    } else if (formatIndex == 1) {
        ui->widgetForJPG->hide();
        ui->widgetForPNG->show();
    }
}

void DialogSetting::openLocalServerTestPage()
{
    const QString address = ui->lineEditAddress->text();
    if (address.isEmpty())
        return;
    DesktopOpener::openUrl(QUrl(address + QStringLiteral("/test.php"), QUrl::TolerantMode));
}

void DialogSetting::openThresholdDialog()
{
    DialogThreshold dialog(this);
    dialog.exec();
}

void DialogSetting::showExchangeNameHelp()
{
    showInformation(this, QStringLiteral(
        "如果因为答卷图片顺序错误，而需要调整页的顺序，需要进行【上移】操作。\r\n"
        "如果上移操作，同时也交换两个答卷图片的名称，那么在下次在加载图片时，默认顺序就是正确的了。\r\n"
        "假设用户为了纠错而调整答卷图片顺序后，由于种种原因需要重新加载图片，之前【上移】操作工作可能就白做了。这个功能就是防止这种情况的。\r\n"));
}

#include "dialogobjectimageshow.h"

#include "answers.h"
#include "checkboxoption.h"
#include "resultreviewhost.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

// Every letter a question can have (up to sixteen options) fits.
constexpr int kLongestMark = 16;

} // namespace

DialogObjectImageShow::DialogObjectImageShow(QWidget *parent) : CropImageViewer(parent)
{
    resize(519, 323);
    comboBoxShowType->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    labelCode = addLabel(QStringLiteral("labelCode"));
    labelItemID = addLabel(QStringLiteral("labelItemID"));
    lineEditMark = new QLineEdit(this);
    lineEditMark->setObjectName(QStringLiteral("lineEditMark"));
    lineEditMark->setMaxLength(kLongestMark);
    lineEditMark->setAlignment(Qt::AlignCenter);
    lineEditMark->setReadOnly(true);
    pushButtonOK = new QPushButton(QStringLiteral("确定"), this);
    pushButtonOK->setObjectName(QStringLiteral("pushButtonOK"));
    connect(pushButtonOK, &QPushButton::clicked, this, &DialogObjectImageShow::accept);

    widgetOpionPanel = new QWidget(this);
    widgetOpionPanel->setObjectName(QStringLiteral("widgetOpionPanel"));
    QFont panelFont = widgetOpionPanel->font();
    panelFont.setPointSize(24);
    widgetOpionPanel->setFont(panelFont);
    widgetOpionPanel->setStyleSheet(optionPanelStyleSheet());
    auto *panelRow = new QHBoxLayout(widgetOpionPanel);
    gridLayout = new QGridLayout;
    gridLayout->setObjectName(QStringLiteral("gridLayout"));
    panelRow->addStretch();
    panelRow->addLayout(gridLayout);
    panelRow->addStretch();

    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    top->addWidget(comboBoxShowType);
    top->addStretch();
    layout->addLayout(top);
    layout->addWidget(scrollAreaOrignal);
    layout->addWidget(scrollAreaBinary);
    auto *facts = new QHBoxLayout;
    facts->addWidget(addLabel(QStringLiteral("label"), QStringLiteral("考号")));
    facts->addWidget(labelCode);
    facts->addWidget(addLabel(QStringLiteral("label_2"), QStringLiteral("题号")));
    facts->addWidget(labelItemID);
    facts->addStretch();
    facts->addWidget(addLabel(QStringLiteral("label_3"), QStringLiteral("填涂")));
    facts->addWidget(lineEditMark);
    facts->addStretch();
    facts->addWidget(pushButtonOK);
    layout->addLayout(facts);
    layout->addWidget(widgetOpionPanel);

    if (ResultReviewHost *host = ResultReviewHost::of(parent))
        rememberIn(&host->objectImagePos, &host->objectImageSize, &host->objectShowType);
}

void DialogObjectImageShow::showEvent(QShowEvent *event)
{
    if (!panelBuilt) {
        loadCrops(originalImagePath, processedImagePath);
        setWindowTitle(QStringLiteral("客观题图片：") + code + QLatin1Char('-') + itemId);
        labelCode->setText(code);
        labelItemID->setText(itemId);
        lineEditMark->setMinimumWidth(80);
        m_newMark = mark;
        lineEditMark->setText(m_newMark);
        buildOptionPanel();
        setOptionChecks(mark);
        panelBuilt = true;
    }
    CropImageViewer::showEvent(event);
}

void DialogObjectImageShow::buildOptionPanel()
{
    for (int i = 0; i < optionCount; ++i) {
        auto *box = new CheckBoxOption(optionLetter(i), widgetOpionPanel);
        // Up to five options stand in one row, more in rows of four.
        if (optionCount > 5)
            gridLayout->addWidget(box, i / 4, i % 4);
        else
            gridLayout->addWidget(box, 0, i);
        optionBoxes.append(box);
        connect(box, &QCheckBox::toggled, this, &DialogObjectImageShow::updateNewMark);
    }
}

void DialogObjectImageShow::setOptionChecks(const QString &mark)
{
    // When no toggle changes (nothing marked, or no letter names a toggle)
    // the mark stays as it was read.
    if (OptionPanel::setChecks(optionBoxes, mark))
        updateNewMark();
}

void DialogObjectImageShow::updateNewMark()
{
    m_newMark = OptionPanel::checkedMark(optionBoxes);
    lineEditMark->setText(m_newMark);
}

void DialogObjectImageShow::accept()
{
    CropImageViewer::accept();
    if (panelBuilt)
        mark = m_newMark;
}

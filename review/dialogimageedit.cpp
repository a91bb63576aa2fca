#include "dialogimageedit.h"

#include <QDialogButtonBox>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QSettings>
#include <QVBoxLayout>

// Shows the selected part; the strokes themselves come with the review tools.
DialogImageEdit::DialogImageEdit(const QString &imagePath, const QRect &selection, int penColor, int penWidth,
                                 const QString &iniPath, QWidget *parent)
    : QDialog(parent), m_imagePath(imagePath), m_selection(selection), m_penColor(penColor), m_penWidth(penWidth),
      m_iniPath(iniPath)
{
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(QStringLiteral("编辑"));

    labelImage = new QLabel(this);
    labelImage->setObjectName(QStringLiteral("labelImage"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    connect(buttons, &QDialogButtonBox::accepted, this, &DialogImageEdit::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DialogImageEdit::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(labelImage);
    layout->addWidget(buttons);
}

void DialogImageEdit::showEvent(QShowEvent *event)
{
    const QImage image(m_imagePath);
    // The box may be left over from a larger image: never copy outside this one.
    m_editRect = m_selection.intersected(image.rect());
    if (!m_editRect.isEmpty())
        labelImage->setPixmap(QPixmap::fromImage(image.copy(m_editRect)));
    else
        labelImage->setText(QStringLiteral("选择区域不在图片内"));
    QDialog::showEvent(event);
}

void DialogImageEdit::accept()
{
    QSettings settings(m_iniPath, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    settings.setValue(QStringLiteral("ImageEdit/Color"), QString::number(m_penColor));
    settings.setValue(QStringLiteral("ImageEdit/Width"), QString::number(m_penWidth));
    QDialog::accept();
}

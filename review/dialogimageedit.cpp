#include "dialogimageedit.h"

#include "mainwindow.h"
#include "myimage.h"
#include "mylabel.h"
#include "myrubberbandcontainer.h"

#include <QDialogButtonBox>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QSettings>
#include <QVBoxLayout>

// Shows the selected part; the strokes themselves come with the review tools.
DialogImageEdit::DialogImageEdit(QWidget *parent) : QDialog(parent)
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
    m_editRect = QRect();
    MyLabel *view = (mainWindow && mainWindow->myImage) ? mainWindow->myImage->imageLabel : nullptr;
    if (view) {
        const QImage image(view->imagePath);
        // The box may be left over from a larger image: never copy outside this one.
        m_editRect = view->rubberBand->fileRect().intersected(image.rect());
        if (!m_editRect.isEmpty())
            labelImage->setPixmap(QPixmap::fromImage(image.copy(m_editRect)));
        else
            labelImage->setText(QStringLiteral("选择区域不在图片内"));
    }
    QDialog::showEvent(event);
}

void DialogImageEdit::accept()
{
    if (mainWindow) {
        QSettings settings(MainWindow::iniPath(), QSettings::IniFormat);
        settings.setIniCodec("UTF-8");
        settings.setValue(QStringLiteral("ImageEdit/Color"), QString::number(mainWindow->imageEditColor));
        settings.setValue(QStringLiteral("ImageEdit/Width"), QString::number(mainWindow->imageEditWidth));
    }
    QDialog::accept();
}

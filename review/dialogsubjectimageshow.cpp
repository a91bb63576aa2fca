#include "dialogsubjectimageshow.h"

#include "cropimageviewer.h"
#include "desktopopener.h"
#include "myscrollareaforduplicatecheck.h"
#include "mylabelforsheetshow.h"
#include "viewerpagememory.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QIcon icon(const char *file)
{
    return QIcon(QStringLiteral(":/image/res/images/") + QLatin1String(file));
}

} // namespace

DialogSubjectImageShow::DialogSubjectImageShow(QWidget *parent) : QDialog(parent, reviewViewerFlags())
{
    setWindowIcon(icon("images.png"));
    resize(867, 538);
    QFont big = font();
    big.setPointSize(12);
    setFont(big);

    label = new QLabel(QStringLiteral("存储路径"), this);
    label->setObjectName(QStringLiteral("label"));
    lineEdit = new QLineEdit(this);
    lineEdit->setObjectName(QStringLiteral("lineEdit"));
    lineEdit->setReadOnly(true);
    pushButtonExplore = new QPushButton(icon("internet.png"), QStringLiteral("访问"), this);
    pushButtonExplore->setObjectName(QStringLiteral("pushButtonExplore"));
    pushButtonExplore->setIconSize(QSize(16, 16));
    connect(pushButtonExplore, &QPushButton::clicked, this, &DialogSubjectImageShow::openRemoteAddress);

    scrollArea = new MyScrollAreaForDuplicateCheck(this);
    scrollArea->setObjectName(QStringLiteral("scrollArea"));
    scrollArea->setWidgetResizable(true);
    scrollArea->setContextMenuPolicy(Qt::CustomContextMenu);
    scrollAreaWidgetContents = new QWidget;
    scrollAreaWidgetContents->setObjectName(QStringLiteral("scrollAreaWidgetContents"));
    labelImage = new MyLabelForSheetShow(scrollAreaWidgetContents);
    labelImage->setObjectName(QStringLiteral("labelImage"));
    labelImage->setStyleSheet(QStringLiteral("background-color: rgb(148, 148, 148);"));
    labelImage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto *contents = new QVBoxLayout(scrollAreaWidgetContents);
    contents->addWidget(labelImage);
    scrollArea->setWidget(scrollAreaWidgetContents);
    labelImage->scrollArea = scrollArea;

    pushButtonOK = new QPushButton(QStringLiteral("关闭"), this);
    pushButtonOK->setObjectName(QStringLiteral("pushButtonOK"));
    connect(pushButtonOK, &QPushButton::clicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(lineEdit);
    top->addWidget(pushButtonExplore);
    layout->addLayout(top);
    layout->addWidget(scrollArea);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(pushButtonOK);
    layout->addLayout(bottom);

    contextMenu = new QMenu(this);
    contextMenu->addAction(icon("zoom-in.png"), QStringLiteral("放大(&I)"), labelImage,
                           &MyLabelForSheetShow::zoomIn);
    contextMenu->addAction(icon("zoom-out.png"), QStringLiteral("缩小(&O)"), labelImage,
                           &MyLabelForSheetShow::zoomOut);
    contextMenu->addAction(icon("fit.png"), QStringLiteral("适应窗口(&F)"), this,
                           [this] { labelImage->fitToSize(scrollArea->width(), scrollArea->height()); });
    contextMenu->addAction(icon("original.png"), QStringLiteral("原图"), labelImage,
                           &MyLabelForSheetShow::showOriginalSize);
    connect(scrollArea, &QWidget::customContextMenuRequested, this, [this] {
        if (!labelImage->originalPixmap.isNull())
            contextMenu->exec(QCursor::pos());
    });
}

void DialogSubjectImageShow::showEvent(QShowEvent *event)
{
    // Only the first showing loads: restoring a minimised viewer keeps its zoom.
    if (!m_loaded) {
        m_loaded = true;
        lineEdit->setText(remoteAddress);
        labelImage->originalPixmap = pageMemory ? pageMemory->load(localPath) : QPixmap(localPath);
        labelImage->zoomTo(scale);
        setWindowTitle(QStringLiteral("主观题图片：") + fileName);
        setWindowState(windowState() | Qt::WindowMaximized);
    }
    QDialog::showEvent(event);
}

void DialogSubjectImageShow::closeEvent(QCloseEvent *event)
{
    scale = labelImage->scale;
    QDialog::closeEvent(event);
}

void DialogSubjectImageShow::openRemoteAddress()
{
    const QString address = lineEdit->text();
    // Anything shorter cannot be the address of an uploaded image.
    if (address.length() > 9)
        DesktopOpener::openUrl(QUrl(address, QUrl::TolerantMode));
}

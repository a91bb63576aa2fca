#include "myimage.h"

#include "mainwindow.h"
#include "myscrollarea.h"
#include "mylabel.h"
#include "mytablewidgetimage.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

MainWindow *findMainWindow(const QWidget *widget)
{
    return widget ? qobject_cast<MainWindow *>(widget->window()) : nullptr;
}

namespace {

QToolButton *toolButton(QWidget *parent, const char *name, const char *tip, const char *icon)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(QStringLiteral("..."));
    button->setToolTip(QString::fromUtf8(tip));
    button->setIcon(QIcon(QStringLiteral(":/image/res/images/") + QLatin1String(icon)));
    button->setIconSize(QSize(24, 24));
    button->setAutoRaise(true);
    return button;
}

} // namespace

MyImage::MyImage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MyImage"));
    resize(321, 395);

    scrollArea = new MyScrollArea(this);
    scrollArea->setObjectName(QStringLiteral("scrollArea"));
    scrollArea->setVariant(MyScrollArea::Variant::Processor);
    scrollArea->setMouseTracking(true);
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollArea->setWidgetResizable(true);
    scrollArea->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    label = new MyLabel;
    label->setObjectName(QStringLiteral("label"));
    scrollArea->setWidget(label);
    imageLabel = label;

    toolButtonZoomIn = toolButton(this, "toolButtonZoomIn", "放大", "zoom-in.png");
    toolButtonZoomOut = toolButton(this, "toolButtonZoomOut", "缩小", "zoom-out.png");
    toolButtonOriginal = toolButton(this, "toolButtonOriginal", "原图", "original.png");
    toolButtonFit = toolButton(this, "toolButtonFit", "适应窗口", "fit.png");
    toolButtonRotate180 = toolButton(this, "toolButtonRotate180", "180度旋转-上下对调", "180.png");
    toolButtonClockwise = toolButton(this, "toolButtonClockwise", "顺时针90度旋转", "clockwise.png");
    toolButtonAnticlockwise = toolButton(this, "toolButtonAnticlockwise", "逆时针90度旋转", "anti-clockwise.png");
    line = new QFrame(this);
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    toolWidgets = {toolButtonZoomIn, toolButtonZoomOut, toolButtonOriginal, toolButtonFit,
                   line, toolButtonRotate180, toolButtonClockwise, toolButtonAnticlockwise};
    auto *tools = new QVBoxLayout;
    tools->setSpacing(6);
    for (QWidget *w : qAsConst(toolWidgets))
        tools->addWidget(w);
    tools->addStretch();

    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scrollArea);
    layout->addLayout(tools);

    connect(toolButtonZoomIn, &QToolButton::clicked, label, &MyLabel::zoomIn);
    connect(toolButtonZoomOut, &QToolButton::clicked, label, &MyLabel::zoomOut);
    connect(toolButtonOriginal, &QToolButton::clicked, label, &MyLabel::showActualSize);
    connect(toolButtonFit, &QToolButton::clicked, this, &MyImage::fitToWindow);
    connect(toolButtonRotate180, &QToolButton::clicked, this, [this] { rotateListImage(1); });
    connect(toolButtonClockwise, &QToolButton::clicked, this, [this] { rotateListImage(0); });
    connect(toolButtonAnticlockwise, &QToolButton::clicked, this, [this] { rotateListImage(2); });

    mainWindow = findMainWindow(this);
}

MainWindow *MyImage::mainWindowNow()
{
    if (!mainWindow)
        mainWindow = findMainWindow(this);
    return mainWindow;
}

void MyImage::loadImage(const QString &path)
{
    label->loadImage(path);
}

void MyImage::setToolsVisible(bool visible)
{
    for (QWidget *w : qAsConst(toolWidgets))
        w->setVisible(visible);
    label->interactive = visible;
    scrollArea->dragEnabled = visible;
    const Qt::ScrollBarPolicy policy = visible ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
    scrollArea->setHorizontalScrollBarPolicy(policy);
    scrollArea->setVerticalScrollBarPolicy(policy);
}

void MyImage::fitToWindow()
{
    // The bars' own extent: a bar that was never shown has no real width yet.
    label->fitToSize(scrollArea->width() - scrollArea->verticalScrollBar()->sizeHint().width(),
                     scrollArea->height() - scrollArea->horizontalScrollBar()->sizeHint().height());
}

void MyImage::rotateListImage(int mode)
{
    MainWindow *mw = mainWindowNow();
    if (mw && mw->tableWidgetImages)
        mw->tableWidgetImages->rotateRowImageFile(mode);
}

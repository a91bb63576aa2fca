#include "dialogabout.h"

#include "desktopopener.h"
#include "formsize.h"
#include "myclickablelabel.h"
#include "platformrequest.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const char *const kLinkButtonStyle = "QPushButton { text-align:left; padding:5px 0px; text-decoration:underline; }"
                                     "QPushButton:hover { background-color:rgba(153, 204, 255, 128); }";
const char *const kLinkLabelStyle = "QLabel { text-decoration:underline; }"
                                    "QLabel:hover { background-color:rgba(153, 204, 255, 128); }";
const char *const kDialogStyle = "QWidget { font-size:14px; }"
                                 "QPushButton#pushButtonLink { text-align:left; }"
                                 "QPushButton#pushButtonLink:hover { background-color:rgb(170, 208, 255);"
                                 " text-decoration:underline; }";
const char *const kQtBadgeStyle = "background-color: rgb(0, 170, 0);"
                                  "border-top-left-radius:5px; border-bottom-right-radius:5px;";

QLabel *namedLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

} // namespace

DialogAbout::Program DialogAbout::ardentiq()
{
    Program program;
    program.kind = Program::Processing;
    program.word = QStringLiteral("Ardentiq");
    program.upgrade = DialogUpgradeInfo::ardentiq();
    return program;
}

DialogAbout::Program DialogAbout::lumbrisk()
{
    Program program;
    program.kind = Program::Designer;
    program.word = QStringLiteral("Lumbrisk");
    program.upgrade = DialogUpgradeInfo::lumbrisk();
    return program;
}

DialogAbout::Program DialogAbout::pellwyn()
{
    Program program;
    program.kind = Program::Station;
    program.word = QStringLiteral("Pellwyn");
    program.upgrade = DialogUpgradeInfo::pellwyn();
    return program;
}

DialogAbout::DialogAbout(Program program, QWidget *parent) : QDialog(parent), m_program(std::move(program))
{
    build();
    FormSize::fixAtLeastLayout(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    clickCount = 0;
}

void DialogAbout::build()
{
    const bool designer = m_program.kind == Program::Designer;
    const bool station = m_program.kind == Program::Station;
    setWindowTitle(QStringLiteral("关于"));
    setObjectName(QStringLiteral("DialogAbout"));
    if (designer) {
        resize(540, 195);
        setStyleSheet(QStringLiteral("QWidget { font-size:18px; }"));
    } else {
        resize(station ? QSize(527, 218) : QSize(538, 198));
        setStyleSheet(QLatin1String(kDialogStyle));
    }

    // Logo: clickable where a hidden tool hides behind it.
    QLabel *logo = nullptr;
    if (station) {
        logo = namedLabel(QStringLiteral("label_3"), QString(), this);
        logo->setPixmap(QIcon(QStringLiteral(":/image/res/images/Pellwyn.ico")).pixmap(64, 64));
    } else {
        auto *clickable = new MyClickableLabel(this);
        clickable->setObjectName(QStringLiteral("labelLogo"));
        clickable->setPixmap(QPixmap(QStringLiteral(":/image/res/images/logo.jpg")));
        clickable->setScaledContents(true);
        connect(clickable, &MyClickableLabel::clicked, this, &DialogAbout::logoClicked);
        logo = clickable;
    }
    logo->setFixedSize(64, 64);
    logo->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto *product = station ? namedLabel(QStringLiteral("label_4"),
                                         QStringLiteral("答卷扫描 %1 版本 ").arg(m_program.word), this)
                            : namedLabel(QStringLiteral("label_2"),
                                         QStringLiteral("%1 版本：").arg(m_program.word), this);
    auto *version = namedLabel(QStringLiteral("labelVersion"), m_program.upgrade.versionName, this);
    auto *versionRow = new QHBoxLayout;
    versionRow->addWidget(product);
    versionRow->addWidget(version);
    versionRow->addStretch();

    const QString host = PlatformRequest::host();
    const QString linkText = QStringLiteral("Powered By Vostra ｜ ") + host;
    linkUrl = QStringLiteral("https://") + host;
    if (station)
        linkUrl += QStringLiteral("/download/show/pellwyn");
    QWidget *link = nullptr;
    if (designer) {
        m_linkLabel = namedLabel(QStringLiteral("labelLink"), linkText, this);
        m_linkLabel->setStyleSheet(QLatin1String(kLinkLabelStyle));
        m_linkLabel->setCursor(Qt::PointingHandCursor);
        m_linkLabel->installEventFilter(this);
        link = m_linkLabel;
    } else {
        auto *button = new QPushButton(linkText, this);
        button->setObjectName(QStringLiteral("pushButtonLink"));
        button->setFlat(true);
        button->setAutoDefault(false);
        button->setStyleSheet(QLatin1String(kLinkButtonStyle));
        connect(button, &QPushButton::clicked, this, &DialogAbout::openLink);
        link = button;
    }

    auto *upgradeButton = new QPushButton(QIcon(QStringLiteral(":/image/res/images/upgrade.png")),
                                          QStringLiteral("检查更新"), this);
    upgradeButton->setObjectName(QStringLiteral("pushButtonUpgrade"));
    upgradeButton->setIconSize(QSize(24, 24));
    upgradeButton->setAutoDefault(false);
    connect(upgradeButton, &QPushButton::clicked, this, &DialogAbout::upgrade);
    auto *upgradeRow = new QHBoxLayout;
    upgradeRow->addWidget(upgradeButton);
    upgradeRow->addStretch();

    auto *details = new QVBoxLayout;
    details->addLayout(versionRow);
    details->addWidget(link);
    details->addLayout(upgradeRow);
    auto *top = new QHBoxLayout;
    top->addWidget(logo, 0, Qt::AlignTop);
    top->addLayout(details, 1);

    auto *line = new QFrame(this);
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    // "Based On" and the Qt badge carry other object names in each program.
    const QString basedName = designer ? QStringLiteral("label_3") : QStringLiteral("label");
    const QString badgeName = designer ? QStringLiteral("label_4")
                                       : station ? QStringLiteral("label_2") : QStringLiteral("label_3");
    auto *based = namedLabel(basedName, station ? QStringLiteral("Based on") : QStringLiteral("Based On"), this);
    auto *badge = namedLabel(badgeName, QStringLiteral(" Qt5 "), this);
    QFont bold = badge->font();
    bold.setBold(true);
    badge->setFont(bold);
    badge->setStyleSheet(QLatin1String(kQtBadgeStyle));

    auto *buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->button(QDialogButtonBox::Ok)->setText(QStringLiteral("关闭"));
    connect(buttonBox, &QDialogButtonBox::accepted, this, &DialogAbout::accept);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(based);
    bottom->addWidget(badge);
    bottom->addStretch();
    bottom->addWidget(buttonBox);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(line);
    layout->addLayout(bottom);
}

void DialogAbout::openLink()
{
    DesktopOpener::openUrl(QUrl(linkUrl, QUrl::TolerantMode));
}

void DialogAbout::logoClicked()
{
    if (!m_program.hiddenTool)
        return;
    if (++clickCount < 5)
        return;
    clickCount = 0;
    m_program.hiddenTool(this);
}

void DialogAbout::upgrade()
{
    if (m_program.checkUpgrade) {
        m_program.checkUpgrade();
        return;
    }
    DialogUpgradeInfo dialog(m_program.upgrade);
    dialog.checkUpgrade();
}

bool DialogAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_linkLabel && event->type() == QEvent::MouseButtonPress) {
        openLink();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

#include "dialogeditfile.h"

#include "messagebox.h"
#include "pageimagefile.h"
#include "templatedocument.h"
#include "ui_dialogeditfile.h"

#include <tinyxml2.h>

DialogEditFile::DialogEditFile(QWidget *parent) : QDialog(parent), ui(new Ui::DialogEditFile)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    connect(ui->pushButtonBrowse, &QPushButton::clicked, this, &DialogEditFile::onBrowse);
    connect(ui->pushButtonLoadImages, &QPushButton::clicked, this, &DialogEditFile::onLoadImages);
    connect(ui->pushButtonOk, &QPushButton::clicked, this, &DialogEditFile::accept);
}

DialogEditFile::~DialogEditFile()
{
    delete ui;
}

void DialogEditFile::onLoadImages()
{
    imageList = chooseImages(this);
    FileChoosers::showImages(ui->listWidget, imageList);
}

void DialogEditFile::onBrowse()
{
    const QString path = chooseTemplate(this);
    if (!path.isEmpty())
        ui->lineEditFileName->setText(path);
}

void DialogEditFile::warn(const QString &text)
{
    MessageBox::warning(this, QStringLiteral("提示"), text);
}

namespace {

int intAttribute(const tinyxml2::XMLElement *element, const char *name)
{
    const char *text = element->Attribute(name);
    return text ? QString::fromUtf8(text).toInt() : 0;
}

} // namespace

void DialogEditFile::accept()
{
    templateFile = ui->lineEditFileName->text();
    if (templateFile.isEmpty())
        return;
    // The chooser was cancelled last time: the user has not confirmed images.
    if (imageList.isEmpty())
        return;
    imageList = FileChoosers::listedImages(ui->listWidget);

    tinyxml2::XMLDocument doc;
    QString error;
    const tinyxml2::XMLElement *root = nullptr;
    if (TemplateDocument::parseStoredFile(templateFile, doc, &error))
        root = doc.RootElement();
    if (!root) {
        warn(QStringLiteral("打开文件 ") + templateFile + QStringLiteral(" 失败"));
        return;
    }
    templateName = QString::fromUtf8(root->Attribute("Name"));

    QList<const tinyxml2::XMLElement *> pages;
    if (const tinyxml2::XMLElement *pagesElement = root->FirstChildElement("Pages")) {
        for (const tinyxml2::XMLElement *page = pagesElement->FirstChildElement(); page;
             page = page->NextSiblingElement())
            pages << page;
    }
    if (pages.size() != imageList.size()) {
        warn(QStringLiteral("文件中包含的页数与指定的图片数不一致"));
        return;
    }
    for (int k = 0; k < pages.size(); ++k) {
        QSize size = PageImageFile::size(imageList.at(k));
        if (!size.isValid())
            size = QSize(0, 0);
        if (size.width() != intAttribute(pages.at(k), "Width")
            || size.height() != intAttribute(pages.at(k), "Height")) {
            warn(QStringLiteral("文件中第 %1 页保存的图片宽高信息与指定图片相应次序的宽高不一致").arg(k + 1));
            return;
        }
    }
    QDialog::accept();
}

#pragma once
// What the selection-menu and creation tests share: a canvas showing white
// pages (with marks drawn on request) under page items of the tree, sections
// put on it directly to set up a page state.

#include "canvasfixture.h"
#include "mysectionbase.h"
#include "treeitems.h"

#include <QTreeWidgetItem>

#include <opencv2/imgproc.hpp>


namespace SelectionTest {

// A white grey page.
inline cv::Mat whitePage(int width, int height)
{
    return cv::Mat(height, width, CV_8UC1, cv::Scalar(255));
}

// Adds a section of kind T on `page` to the canvas list, as the reader would.
template <typename T>
T *put(MyLabel *canvas, int page)
{
    auto *section = new T(page, canvas);
    canvas->sectionList().append(section);
    return section;
}

// A canvas over page files, with one tree item per page.
struct PageScene : CanvasScene {
    explicit PageScene(int pages = 2, int width = 600, int height = 800)
    {
        for (int i = 1; i <= pages; ++i)
            addPage(i, whitePage(width, height));
    }

    void addPage(int number, const cv::Mat &image)
    {
        const QString path = write(QStringLiteral("page-%1.png").arg(number), image);
        while (paths.size() < number)
            paths.append(QString());
        paths[number - 1] = path;
        auto *item = new QTreeWidgetItem(QStringList{QStringLiteral("第%1页").arg(number)});
        item->setData(0, TreeItemTypeRole, int(TreeItemTypePage));
        item->setData(0, TreeItemDataRole, QVariant::fromValue(TreeItemPage{number, path}));
        window.tree->addTopLevelItem(item);
    }
    // Replaces a page's image file (same path) and shows it.
    void redraw(int number, const cv::Mat &image)
    {
        write(QStringLiteral("page-%1.png").arg(number), image);
        show(number);
    }

    void show(int number)
    {
        window.page = number;
        canvas->loadImage(paths.value(number - 1), number);
    }
    // Shows the page at exactly `zoom` (a whole factor of the page width).
    void setZoom(float zoom)
    {
        canvas->showFullSize();
        if (zoom != 1.0f)
            canvas->fitToSize(int(float(canvas->fullImage.width()) * zoom), 1 << 20);
    }
    void select(const QRect &canvasRect) { canvas->showSelection(canvasRect); }

    QTreeWidgetItem *pageItem(int number) const { return window.tree->topLevelItem(number - 1); }
    // Display texts of a page item's children, in tree order.
    QStringList treeTexts(int number) const
    {
        QStringList texts;
        QTreeWidgetItem *item = pageItem(number);
        for (int i = 0; item && i < item->childCount(); ++i)
            texts << item->child(i)->text(0);
        return texts;
    }
    // The sections of the list other than option bubbles.
    QList<MySectionBase *> sections() const
    {
        QList<MySectionBase *> found;
        for (MySectionBase *s : canvas->sectionList()) {
            if (!s->isOptionBubble())
                found << s;
        }
        return found;
    }

    QStringList paths;
};

} // namespace SelectionTest

#pragma once
// What the canvas asks of the designer's main window. MainWindow implements
// it; the canvas finds it as its top-level window and works without one
// (then it shows no status and its own page counts as the current one).

#include <QString>

class QTreeWidget;

class CanvasWindow {
public:
    virtual ~CanvasWindow() = default;

    // 1-based number of the page shown (-1 before any).
    virtual int shownPage() const = 0;
    // The page tree (never null once the window is built).
    virtual QTreeWidget *pageTreeWidget() const = 0;
    // Status line.
    virtual void showImageInfo(const QString &imagePath, int page, int width, int height) = 0;
    virtual void showSelectionInfo(int x, int y, int width, int height) = 0;
    virtual void showSectionName(const QString &text) = 0;
    virtual void showMousePosition(int x, int y) = 0;
};

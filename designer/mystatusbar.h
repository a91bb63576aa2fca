#pragma once
// The designer's status line: template name, the page image shown with its
// page number and displayed size, the selection rectangle, the mouse
// position on the canvas and the name of the section under the mouse. Each
// value stays until the next one replaces it.

#include <QWidget>

namespace Ui { class MyStatusBar; }

class MyStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit MyStatusBar(QWidget *parent = nullptr);
    ~MyStatusBar() override;

    void setFileName(const QString &text);
    void setImageInfo(const QString &imagePath, int page, int width, int height);
    void setSelectionInfo(int x, int y, int width, int height);
    void setMousePosition(int x, int y);
    void setSectionName(const QString &text);

private:
    Ui::MyStatusBar *ui;
};

#pragma once
// The designer's canvas view: the canvas in a scroll area that pans with a
// right-button drag, below a row of zoom and rotation tools.

#include <QWidget>

#include <memory>

class MyLabel;

namespace Ui {
class MyImage;
}

class MyImage : public QWidget {
    Q_OBJECT
public:
    explicit MyImage(QWidget *parent = nullptr);
    ~MyImage() override;

    MyLabel *label() const;
    void setImage(const QString &path, int page);
    void setScaleText(const QString &text);

private:
    std::unique_ptr<Ui::MyImage> ui;
};

#pragma once
// The preview pane of the station: tool buttons over a drag-scroll area that
// holds the image label.

#include <QWidget>

#include <functional>

class MainWindow;
class MyLabel;

namespace Ui { class FormImage; }

class FormImage : public QWidget {
    Q_OBJECT
public:
    // `parent` is the station's MainWindow; any other parent works too, then
    // the status bar is not updated and rotations use `imageQuality`.
    explicit FormImage(QWidget *parent = nullptr);
    ~FormImage() override;

    MainWindow *mainWindow = nullptr;
    MyLabel *label = nullptr; // the form's label

    // JPG quality of rotated files, asked at the moment of a rotation. Unset:
    // the scan form's quality through mainWindow.
    std::function<int()> imageQuality;

    Ui::FormImage *form() const { return ui; }

public slots:
    void updateFileInfo(int width, int height, int size);
    // The rotate buttons: turns the shown file by 90, 180 or 270 degrees and
    // tells the operator when the file could not be rewritten.
    void rotateShown(int angle);

private:
    int currentQuality() const;

    Ui::FormImage *ui;
};

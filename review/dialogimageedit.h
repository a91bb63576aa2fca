#pragma once
// Paints over the selected part of the sheet image shown in the view.

#include <QDialog>
#include <QRect>

class MainWindow;
class QLabel;

class DialogImageEdit : public QDialog {
    Q_OBJECT
public:
    explicit DialogImageEdit(QWidget *parent = nullptr);

    // Set before exec: the view, its image and its selection are read through it.
    MainWindow *mainWindow = nullptr;

    // The selection in file pixels, cut back to the image; empty when the
    // image cannot be read or the selection lies outside it.
    QRect editRect() const { return m_editRect; }

public slots:
    // Keeps the pen in the settings file and accepts.
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QLabel *labelImage = nullptr;
    QRect m_editRect;
};

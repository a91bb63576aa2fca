#pragma once
// Rotates the image files of a range of image-list rows (1-based, both
// included) and saves them over the same files. Rows and cells stay as they
// are.

#include <QDialog>
#include <QStringList>

class QComboBox;
class QPushButton;
class QSpinBox;
class QTableWidget;

class DialogRotate : public QDialog {
    Q_OBJECT
public:
    explicit DialogRotate(QWidget *parent = nullptr);

    QTableWidget *imageTable = nullptr; // set before exec

    // Outcome of the last run.
    int rotatedCount = 0;
    QStringList failedFiles;

    QSpinBox *spinBoxFrom = nullptr;
    QSpinBox *spinBoxTo = nullptr;
    QComboBox *comboBoxAngle = nullptr; // 顺时针90度, 逆时针90度, 180度
    QPushButton *pushButtonOK = nullptr;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;
};

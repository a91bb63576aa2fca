#pragma once
// Rotates the image files of a range of image-list rows (1-based, both
// included) and saves them over the same files. Rows and cells stay as they
// are.

#include <QDialog>
#include <QStringList>

#include <functional>

class QComboBox;
class QPushButton;
class QSpinBox;
class QTableWidget;

class DialogRotate : public QDialog {
    Q_OBJECT
public:
    // Rotates one file by 90° steps clockwise (0 = 90°, 1 = 180°, 2 = 270°);
    // false when the file was left as it was.
    using RotateFile = std::function<bool(const QString &path, int mode)>;

    // The rows' files are the `filePathRole` data of their first cell.
    DialogRotate(QTableWidget *imageTable, int filePathRole, RotateFile rotateFile, QWidget *parent = nullptr);

    QTableWidget *imageTable = nullptr;
    int filePathRole = 0;
    RotateFile rotateFile;

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

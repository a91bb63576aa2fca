#pragma once
// The common part of the viewers that show a cut twice, as cut and
// binarised (student code, optional choice, objective question): the two
// image views, the show-type choice, and the review memory of where this
// viewer kind was last left and what it showed.

#include <QDialog>
#include <QPoint>
#include <QSize>

class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;

class CropImageViewer : public QDialog {
    Q_OBJECT
public:
    // Show types, also the indexes of `comboBoxShowType`.
    enum ShowType { ShowOriginal = 0, ShowProcessed = 1, ShowBoth = 2 };

    explicit CropImageViewer(QWidget *parent = nullptr);

    // Shows the views of `type` and selects it, without reporting a change;
    // a value outside the three types changes nothing.
    virtual void applyShowType(int type);
    // Moves and resizes the viewer to where this kind was last left (when it
    // was left anywhere) and applies the remembered show type.
    void restoreRemembered();

    QScrollArea *scrollAreaOrignal = nullptr;
    QLabel *labelImageOrignal = nullptr;
    QScrollArea *scrollAreaBinary = nullptr;
    QLabel *labelImageBinary = nullptr;
    QComboBox *comboBoxShowType = nullptr;

public slots:
    // The operator picked a show type: remember it and apply it.
    void showImageTypeChanged();

protected:
    // A label of the form, with its object name.
    QLabel *addLabel(const QString &objectName, const QString &text = QString());
    // The student code and optional viewers: both views, then one row of the
    // show-type choice, `rowWidgets` and a "关闭" button, which is returned.
    QPushButton *layOutViewsAbove(const QList<QWidget *> &rowWidgets);
    // Where this viewer kind keeps its memory (members of the review host);
    // without a host nothing is remembered.
    void rememberIn(QPoint *pos, QSize *size, int *showType);
    // Loads both crops at full size; a file that cannot be read leaves its view empty.
    void loadCrops(const QString &originalPath, const QString &processedPath);

    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QPoint *m_pos = nullptr;
    QSize *m_size = nullptr;
    int *m_showType = nullptr;
};

// Window flags of the review viewers: minimise, maximise and close, no help.
Qt::WindowFlags reviewViewerFlags();

#pragma once
// The objective question viewer: the question as cut and binarised, the
// mark that was read, and one toggle per option with which the operator
// corrects it. The caller writes an accepted mark back.

#include "cropimageviewer.h"

#include <QList>

class CheckBoxOption;
class QGridLayout;
class QLineEdit;
class QPushButton;

class DialogObjectImageShow : public CropImageViewer {
    Q_OBJECT
public:
    explicit DialogObjectImageShow(QWidget *parent = nullptr);

    // Filled before exec.
    QString originalImagePath;
    QString processedImagePath;
    QString code;
    QString itemId;
    // In: the cell's mark. Out (after Accepted): the corrected mark.
    QString mark;
    int optionCount = 0;

    QList<CheckBoxOption *> optionBoxes;
    bool panelBuilt = false;

    QLabel *labelCode = nullptr;
    QLabel *labelItemID = nullptr;
    QLineEdit *lineEditMark = nullptr;
    QPushButton *pushButtonOK = nullptr;
    QWidget *widgetOpionPanel = nullptr;
    QGridLayout *gridLayout = nullptr;

public slots:
    void accept() override;
    // The checked toggles' letters in option order ("X" for none) become the mark.
    void updateNewMark();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildOptionPanel();
    void setOptionChecks(const QString &mark);

    // The mark as it stands; the line edit only shows it.
    QString m_newMark;
};

#pragma once
// Paints over the selected part of the sheet image shown in the view.

#include <QDialog>
#include <QRect>
#include <QString>

class QLabel;

class DialogImageEdit : public QDialog {
    Q_OBJECT
public:
    // `selection` is the view's selection in file pixels of `imagePath`; the
    // pen (`penColor`, `penWidth`) is kept in the settings file `iniPath`.
    DialogImageEdit(const QString &imagePath, const QRect &selection, int penColor, int penWidth,
                    const QString &iniPath, QWidget *parent = nullptr);

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
    QString m_imagePath;
    QRect m_selection;
    int m_penColor = 255;
    int m_penWidth = 25;
    QString m_iniPath;
};

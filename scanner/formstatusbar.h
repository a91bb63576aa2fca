#pragma once
// The station's status line: file count, current file, width, height, size.

#include <QWidget>

class QLabel;

namespace Ui { class FormStatusBar; }

class FormStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit FormStatusBar(QWidget *parent = nullptr);
    ~FormStatusBar() override;

    QLabel *labelCount = nullptr;
    QLabel *labelFilePath = nullptr;
    QLabel *labelWidth = nullptr;
    QLabel *labelHeight = nullptr;
    QLabel *labelSize = nullptr;

    // "500 Byte", "150 Kb", "1.500 Mb".
    static QString sizeText(qint64 size);

public slots:
    void setCount(int count);
    void setFilePath(const QString &filePath);
    void setFileInfo(int width, int height, int size);

private:
    Ui::FormStatusBar *ui;
};

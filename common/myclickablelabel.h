#pragma once
#include <QLabel>

// A label that reports a left-button release as a click. The release itself
// still travels on to the parent, as it would for a plain label.
class MyClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit MyClickableLabel(QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

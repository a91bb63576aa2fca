#pragma once
// The worker of the scan thread: one batch per xferData, then the signals
// that let the scan form disable the source and end the batch.

#include <QObject>
#include <QString>

class FormScan;

class ThreadScan : public QObject
{
    Q_OBJECT

public:
    explicit ThreadScan(QObject *parent = nullptr);

    // Set by the form right after construction.
    FormScan *formScan = nullptr;

    // The wait window's stop button, on the GUI thread.
    void stopFeederNow();

signals:
    void updateStartNumber(QString number);
    void signalDisableDS();
    void signalStopFeeder();
    void finished();

public slots:
    void xferData();
    void stopFeeder();
};

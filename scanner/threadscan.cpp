#include "threadscan.h"

#include "formscan.h"

#include <QDebug>

ThreadScan::ThreadScan(QObject *parent)
    : QObject(parent)
{
}

void ThreadScan::xferData()
{
    if (formScan)
        formScan->startScan();
    // Whatever the transfer did, the form disables the source and ends the
    // batch; both arrive after every page's hand-off, which was queued first.
    emit signalDisableDS();
    emit finished();
}

void ThreadScan::stopFeeder()
{
    qDebug() << "stop feeder by thread scan";
}

void ThreadScan::stopFeederNow()
{
    qDebug() << "stop feeder by thread scan 111111111111111111111111111";
    if (formScan)
        formScan->sendStopFeeder();
    qDebug() << "stop feeder by thread scan 222222222222222222222222";
}

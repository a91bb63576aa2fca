#pragma once
// Time-out guard for one network reply: aborts the reply when it is still
// running after the given time. The guard is a child of the reply and dies
// with it.

#include <QObject>

class QNetworkReply;

class MyReplyTimeout : public QObject {
    Q_OBJECT
public:
    MyReplyTimeout(QNetworkReply *reply, const int timeout);

signals:
    void timeout();

private slots:
    void onTimeout();
};

#include "myreplytimeout.h"

#include <QNetworkReply>
#include <QTimer>

MyReplyTimeout::MyReplyTimeout(QNetworkReply *reply, const int timeout)
    : QObject(reply)
{
    if (reply && reply->isRunning())
        QTimer::singleShot(timeout, this, &MyReplyTimeout::onTimeout);
}

void MyReplyTimeout::onTimeout()
{
    auto *reply = static_cast<QNetworkReply *>(parent());
    if (reply->isRunning()) {
        reply->abort();
        reply->deleteLater();
        emit timeout();
    }
}

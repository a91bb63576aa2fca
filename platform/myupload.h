#pragma once
// Image storage of the opened exam: which store the platform named and its
// credentials, filled by the upload-credential request.

#include <QObject>
#include <QString>

class MyUpload : public QObject {
    Q_OBJECT
public:
    explicit MyUpload(QObject *parent = nullptr);

    // 0: the Qiniu bucket service, 1: the OSS bucket service.
    int cloudServer = 0;

    QString qiniuBucketName;
    QString uploadToken;
    QString qiniuDomain;

    QString ossBucketName;
    QString accessKeyId;
    QString accessKeySecret;
    QString endpoint;
    QString ossDomain;
};

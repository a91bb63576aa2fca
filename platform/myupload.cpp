#include "myupload.h"

MyUpload::MyUpload(QObject *parent)
    : QObject(parent)
{
}

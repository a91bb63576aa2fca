#include "resultreviewhost.h"

#include <QWidget>

ResultReviewHost *ResultReviewHost::of(QWidget *parent)
{
    return dynamic_cast<ResultReviewHost *>(parent);
}

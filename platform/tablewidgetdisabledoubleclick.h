#pragma once

#include <QTableWidget>

// A table that ignores double clicks, so they neither edit nor activate cells.
class TableWidgetDisableDoubleClick : public QTableWidget {
    Q_OBJECT
public:
    explicit TableWidgetDisableDoubleClick(QWidget *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

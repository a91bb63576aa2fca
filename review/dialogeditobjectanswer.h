#pragma once
// Corrects every objective mark of one student at once. Opened non-modally
// by the result table (its parent, the review host) on the table's current
// row; OK scores every listed question again and rewrites the row's
// objective cells and its objective total. Several may be open at a time.

#include <QDialog>
#include <QList>

class CheckBoxOption;
class QGridLayout;
class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class ResultReviewHost;

class DialogEditObjectAnswer : public QDialog {
    Q_OBJECT
public:
    // Lists the questions of the parent table's current row.
    explicit DialogEditObjectAnswer(QWidget *parent = nullptr);
    ~DialogEditObjectAnswer() override;

    // Set by the opener before the dialog is shown.
    int resultRow = -1;
    QString code;

    // The row of `tableWidget` whose options the panel shows.
    int currentRow = -1;
    QList<CheckBoxOption *> optionBoxes;

    QTableWidget *tableWidget = nullptr;
    QWidget *widget = nullptr;      // the option panel
    QLabel *labelItemID = nullptr;
    QGridLayout *gridLayout = nullptr;
    QPushButton *pushButtonOK = nullptr;

public slots:
    void accept() override;
    void slotItemClicked(QTableWidgetItem *item);
    void slotItemChanged(QTableWidgetItem *item);
    // The panel's checked letters ("X" for none) become the shown row's mark.
    void updateNewMark();
    void scrollChanged(int value);

protected:
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fillItems();
    void buildOptionPanel(int optionCount);
    void setOptionChecks(const QString &mark);
    void writeBackItem(int row, int itemId, const QString &mark, float score, bool multiple);

    ResultReviewHost *m_host = nullptr;
    QTableWidget *m_results = nullptr;
    bool m_normalising = false;
};

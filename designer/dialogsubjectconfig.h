#pragma once
// The editor of the subjective questions a template carries: the subjective
// blocks as a tree of pages to tick, a picture of the ticked group, a form
// for one question and the table of all questions.

#include "treeitems.h"

#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMetaType>
#include <QPoint>
#include <QRect>
#include <QScrollArea>
#include <QVector>

#include <opencv2/core.hpp>

class MainWindow;
class QScrollBar;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

// What a block item of the editor's tree carries.
struct TreeItemDataForSubjectConfig {
    int page = 0;       // 1-based
    int section = 0;    // SubjectSectionID
    QRect rect;         // page-image pixels

    bool operator==(const TreeItemDataForSubjectConfig &o) const
    {
        return page == o.page && section == o.section && rect == o.rect;
    }
};
Q_DECLARE_METATYPE(TreeItemDataForSubjectConfig)

constexpr int SubjectConfigDataRole = Qt::UserRole + 1;

// Scrolls by dragging with the left button, over the picture too (the
// label leaves its presses to the viewport).
class MyScrollAreaForSubjectConfig : public QScrollArea {
    Q_OBJECT
public:
    explicit MyScrollAreaForSubjectConfig(QWidget *parent = nullptr);

    QScrollBar *hBar = nullptr;
    QScrollBar *vBar = nullptr;
    int originX = 0;
    int originY = 0;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// The picture of a block group, zoomable with Ctrl + wheel.
class MyLabelForSubjectConfig : public QLabel {
    Q_OBJECT
public:
    static constexpr float kZoomStep = 1.1f;
    static constexpr float kMaxScale = 2.0f;
    static constexpr int kMinWidth = 100;

    explicit MyLabelForSubjectConfig(QWidget *parent = nullptr);

    void showImage();
    void fitToWidth(int width);
    void zoomIn();
    void zoomOut();

    MyScrollAreaForSubjectConfig *scrollArea = nullptr;
    cv::Mat image;          // blue-green-red
    cv::Mat rgbImage;
    QImage fullImage;
    QImage shownImage;
    bool ctrlDown = false;
    float scale = 1.0f;

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void showScaled(int width);
    void setScrollBarsEnabled(bool enabled);
};

namespace Ui { class DialogSubjectConfig; }

class DialogSubjectConfig : public QDialog {
    Q_OBJECT
public:
    explicit DialogSubjectConfig(MainWindow *window);
    ~DialogSubjectConfig() override;

    void buildTree();
    void addRow(const QString &alias, const QString &score, const QString &markCount, const QString &errorMargin,
                const QString &pages, const QString &sections);
    void updatePageBlockFields();
    void removeRowsOfBlock(int page, int block);
    // The ticked blocks stacked top to bottom, left aligned, on white; false,
    // with the reason, when a page image cannot be read or does not hold its
    // block.
    bool composeBlockImage(QString *errorText = nullptr);
    void updateTotals();

    QVector<SubjectItemRow> rows;
    QVector<TreeItemDataForSubjectConfig> tickedBlocks;
    bool quietUncheck = false;

    QMenu *pictureMenu = nullptr;
    QMenu *tableMenu = nullptr;

    Ui::DialogSubjectConfig *ui;

public slots:
    void treeItemChanged(QTreeWidgetItem *item, int column);
    void onAddPageBlock();
    void onAddItem();
    void onMarkCountChanged(const QString &text);
    void onReset();
    void onDeleteCurrentRow();
    void onDeleteSelectedRows();
    void onDeleteAll();
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void warn(const QString &text);
    bool ask(const QString &text);
    void deleteRows(QList<int> rows);

    MainWindow *window_;
    bool rowsShown_ = false;
};

#pragma once
// The list of the files the station saved in this run, newest at the bottom.
// A click shows the file in the preview; the context menu deletes rows (and
// on request their files) and turns files on disk, one or a batch. Files can
// also be queued for upload to the platform, which the station leaves off.

#include "threadupload.h"

#include <QIcon>
#include <QTableWidget>

#include <functional>

class QMenu;
class QThread;
class FormImage;
class FormStatusBar;

class MyTableWidget : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int FileNameRole = Qt::UserRole + 1;
    static constexpr int FilePathRole = Qt::UserRole + 2;

    explicit MyTableWidget(QWidget *parent = nullptr);
    ~MyTableWidget() override;

    void initTable(bool uploadSetting);
    void addRow(const QString &filePath);

    bool uploadEnabled = false;
    QString uploadUrl;
    UploadQueue uploadList;
    QThread *uploadThread = nullptr;
    ThreadUpload *uploadWorker = nullptr;
    QMenu *contextMenu = nullptr;
    QMenu *rotateMenu = nullptr;
    QMenu *currentMenu = nullptr;
    int currentRowIndex = -1;

    // The status item of every row (the upload progress shows there), owned
    // by the list; none is part of the table.
    QTableWidgetItem *statusItem(int row) const;

    // Where the list reaches the rest of the station. Unset: through the
    // MainWindow that is the list's top-level window.
    std::function<FormImage *()> previewForm;
    std::function<FormStatusBar *()> statusBarForm;
    std::function<int()> imageQuality;

public slots:
    void showCurrentRow();
    void rotateCurrent(int angle);
    void deleteSelectedRows();
    void openBatchRotation();
    void updateUploadProgress(QTableWidgetItem *item, QString info);
    void uploadFinished();

signals:
    void upload();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    FormImage *preview() const;
    FormStatusBar *statusBar() const;
    int quality() const;
    void startUpload();
    void stopUpload();

    QList<QTableWidgetItem *> m_statusItems; // one per row, in row order
    // Decoded once and shared by every row's status item: an icon made from
    // the file for each row would decode the picture again and keep it.
    QIcon m_waitingIcon{QStringLiteral(":/image/res/images/no.png")};
};

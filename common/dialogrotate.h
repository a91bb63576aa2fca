#pragma once
// Batch rotation: turns the image files of a 1-based range of list rows by a
// quarter or half turn and saves each over itself, either every row of the
// range or only chosen page positions of each sheet. A worker in a thread of
// its own does the files while a progress bar runs; the list's rows and cells
// stay as they are. The processing program and the scanning station both
// carry it; what differs between them is in `Program`.

#include <QDialog>
#include <QList>
#include <QStringList>

#include <functional>

class QCheckBox;
class QTableWidget;
class QThread;
class RotateThread;

namespace Ui { class DialogRotate; }

class DialogRotate : public QDialog {
    Q_OBJECT
public:
    struct Program {
        QString specificPagesText;  // the page-position check box
        QString sheetPagesText;     // the page-count label
        // JPEG quality of the saved files, asked when a run starts; unset
        // keeps the encoder's default.
        std::function<int()> imageQuality;
    };
    static Program ardentiq();
    static Program pellwyn(std::function<int()> imageQuality);

    explicit DialogRotate(QWidget *parent = nullptr, Program program = ardentiq());
    ~DialogRotate() override;

    // Set by the opener: the list whose rows' files turn. A row's file is the
    // `filePathRole` data of its column-0 item.
    QTableWidget *imageTable = nullptr;
    int filePathRole = Qt::UserRole + 2;

    QThread *workerThread = nullptr; // child of the dialog
    RotateThread *worker = nullptr;  // lives in workerThread
    QList<QCheckBox *> pageBoxes;

    // Messages of the files the last run left as they were.
    QStringList failedFiles;

    bool isRotating() const;

public slots:
    void receive_msg(int progress);
    void rotateFinished();
    void specificPages(bool checked);
    void sheetPageCountChange(const QString &text);
    void onStart();
    void accept() override;
    void reject() override;

signals:
    void Start();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void initCheckBoxes(int count);
    void collectFailure(const QString &message) { failedFiles << message; }

    Ui::DialogRotate *ui;
    Program m_program;
};

#pragma once
// The results upload: the platform's upload record is checked (and duplicate
// students resolved), the results data file is written and zipped on one
// thread, and the zip is posted on another. The dialog shows both steps as
// progress bars and the platform's answer as a status page.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>

class DataFormatThread;
class ExamSession;
class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QThread;
class ThreadUploadData;

class DialogUploadData : public QDialog {
    Q_OBJECT
public:
    // `parent` is the main window, an ExamSession.
    explicit DialogUploadData(QWidget *parent = nullptr);
    ~DialogUploadData() override;

    // True when the upload must stop here.
    bool checkUploadRecord();
    // A step (record check, data file, post) is still running.
    bool busy() const;

    ExamSession *mainWindow = nullptr;
    QNetworkAccessManager *networkManager = nullptr;
    QPointer<QNetworkReply> currentReply;
    // Platform student ids whose platform records this upload replaces.
    QStringList idsToDelete;
    // Platform student ids whose local rows stay out of the data file.
    QStringList idsToLeaveOut;
    QString uploadUrl;
    QThread *dataThread = nullptr;
    DataFormatThread *dataWorker = nullptr;
    QThread *uploadThread = nullptr;
    ThreadUploadData *uploadWorker = nullptr;

    // The form; object names as in the designer.
    QStackedWidget *stackedWidget = nullptr;
    QProgressBar *progressBarDataFormat = nullptr;
    QProgressBar *progressBarUpload = nullptr;
    QPushButton *pushButtonStart = nullptr;
    QPushButton *pushButtonOK = nullptr;
    QLabel *labelImageServerResponse = nullptr;
    QLabel *labelInfo = nullptr;
    QPushButton *pushButtonBack = nullptr;
    QPushButton *pushButtonClose = nullptr;

signals:
    void startDataFormat();
    void startUploadDataFile();

public slots:
    void accept() override;
    void reject() override;
    void start();
    void setDataFormatProgress(int value);
    void dataFormatFailed(QString reason);
    void finishedDataFormat(QString zipFileName);
    void setUploadProgress(int uploaded, int total);
    void uploadFileFinished();
    void requestResponse(int status, QString msg);
    void finishedUpload();
    // Stops the running upload: a post under way ends within about a second,
    // one not yet begun is not made; the result is told as a failure.
    void cancelUpload();

private:
    void buildForm();
    void resetForm();
    void showStatusPicture(int status);
    // Closing is allowed only when nothing runs; a running record check says
    // so, and a running upload offers to cancel itself.
    bool mayClose();

    QString m_formatFailure;
};

#pragma once
// Choosing the exam to work on: a project of the customer, then one of its
// exams, with its status flags, answer key and template. What the dialog
// loads stays here until it is accepted; only then does the main window get
// the answer keys and the template document.

#include "answerkey.h"
#include "platformrequest.h"

#include <QDialog>
#include <QHash>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QVector>
#include <tinyxml2.h>

class ExamSession;
class QListWidgetItem;
class QNetworkAccessManager;
class QNetworkReply;

namespace Ui { class DialogExam; }

class DialogExam : public QDialog {
    Q_OBJECT
public:
    // `parent` is the main window, an ExamSession: its account values address
    // the requests and it receives the exam's keys and template when the
    // dialog is accepted.
    explicit DialogExam(QWidget *parent = nullptr);
    ~DialogExam() override;

    // The chosen exam, read after Accepted.
    QString examId;
    QString examName;
    QString subject;
    QString gradeId;
    QString grade;
    QString imageSavePath; // an existing folder, native separators

    // The chosen exam's information as loaded; handed to the main window by accept.
    QVector<AnswerSetting> answerSettings;
    QVector<AnswerSetting> optionalAnswerSettings;
    tinyxml2::XMLDocument templateDoc{true, tinyxml2::PRESERVE_WHITESPACE};
    bool examInfoLoaded = false; // the information of `examId` arrived
    bool templateParsed = false; // and its template parsed

    void loadProjects();
    void loadExams(const QString &projectId);
    void showExamStatus();
    void loadExamInfo(const QString &id);

    // A request of this dialog is still waiting for its reply.
    bool requestRunning() const;

public slots:
    void accept() override;
    void reject() override;

private:
    void back();
    void refresh();
    void chooseFolder();
    void upgradeCheck();
    void projectDoubleClicked(QListWidgetItem *item);
    void examClicked(QListWidgetItem *item);
    // Forgets the exam chosen so far (its keys, template and result members).
    void forgetExam();
    void clearStatusBoxes();
    bool isUnion() const;
    // The badge of a subject (by its first character), decoded once.
    const QIcon &subjectIcon(const QString &subject);
    // Starts tracking a new request; a wait whose serial is no longer the
    // newest drops its reply, so two exams never mix.
    quint64 beginRequest(QNetworkReply *reply);
    bool isCurrent(quint64 serial) const { return serial == m_serial; }
    // Posts a form request, waits, and answers false when a newer request
    // has replaced it meanwhile (its reply is then dropped).
    bool postFormAndWait(const QString &path, const PlatformForm &query, const PlatformForm &form,
                         PlatformReply &result);

    Ui::DialogExam *ui;
    ExamSession *m_main = nullptr;
    QNetworkAccessManager *m_manager = nullptr;
    QPointer<QNetworkReply> m_currentReply;
    quint64 m_serial = 0;
    bool m_templateMissing = false; // the information had no template at all
    QHash<QString, QIcon> m_subjectIcons;
};

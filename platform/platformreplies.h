#pragma once
// Readers of the platform's replies: reply body in, plain values out. No
// widgets and no network here; the dialogs and the main window decide what
// to show and what to keep. Every reader takes any body: whatever the reply
// holds, it gives a value (never an index, size or file name it did not check).

#include "answerkey.h"
#include "answerparsing.h"
#include "platformrequest.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

namespace PlatformReplies {

// "/client/key-check": the account's school id.
struct KeyCheck {
    enum Outcome {
        NotJson,        // the body is no JSON
        NotObject,      // JSON, but not an object
        Verified,       // code 200 with a usable school id
        BadSchoolId,    // code 200, but the id cannot go into requests and file names
        Refused,        // any other code
    };
    Outcome outcome = NotJson;
    QString schoolId;   // Verified only
    QString message;    // the reply's "message" text
};
KeyCheck readKeyCheck(const PlatformReply &reply);

// "/client/projects": the exam projects, and whether a newer version waits.
struct ProjectList {
    struct Project {
        QString name;
        int id = 0;
    };
    bool json = false;
    // False when the reply is not the object the request needs: no "code"
    // number, or a 200 whose "message" holds no list of projects.
    bool readable = false;
    int code = 0;                // 200: the list below; 501: `message` says why not
    QList<Project> projects;     // projects whose id is a decimal number of up to nine digits
    QStringList refused;         // names of the projects whose id is not
    bool upgradeOffered = false;
    QString versionNow;
    QString versionNew;
    QString message;             // any code but 200: the reply's "message" as text
};
ProjectList readProjects(const PlatformReply &reply);

// "/client/exams": the exams of a project, objects as sent; elements that
// are no objects are left out. Empty unless the reply is a JSON array.
QList<QJsonObject> readExams(const PlatformReply &reply);

// One exam of that list.
struct ExamEntry {
    QString id;                  // not checked: the caller refuses an unsafe one; empty unless a text
    QString idAsSent;            // the "id" value as the platform sent it, for messages
    QString gradeId;
    QString grade;
    QString subject;
    bool objectAnswerOk = false;
    bool optionalObjectAnswerOk = false;
    bool templateOk = false;
    bool uploadedBySchool = false;
    bool uploaded = false;
    bool allowUploadMoreKnown = false;   // uploaded, and the platform said whether more may follow
    bool allowUploadMore = false;
};
ExamEntry readExamEntry(const QJsonObject &exam);

// "/client/exam-info": the answer keys and the template text.
struct ExamInfo {
    bool object = false;         // false: the reply is no JSON object and nothing below is set
    QVector<AnswerParsing::AnswerRow> answers;
    QVector<AnswerParsing::AnswerRow> optionalAnswers;
    bool hasTemplate = false;
    QByteArray templateXml;      // UTF-8
};
ExamInfo readExamInfo(const PlatformReply &reply);

// "/client/student": the roster in the platform's order; students without a
// code are left out (they could never be matched to a sheet).
QList<StudentInfo> readRoster(const PlatformReply &reply);

// "/client/upload-token": credentials of the image store.
struct UploadToken {
    enum Status {
        Unreadable,     // the reply is no JSON object
        Incomplete,     // `missing` names what is absent or unusable
        UnknownKind,    // "cloud_server" is neither 0 nor 1
        Complete,
    };
    Status status = Unreadable;
    int cloudServer = 0;         // 0: token store; 1: bucket store
    QString uploadToken;         // token store
    QString accessKeyId;         // bucket store
    QString accessKeySecret;
    QString endpoint;
    QString bucketName;
    QString domain;
    QStringList missing;
};
UploadToken readUploadToken(const PlatformReply &reply);

// "/client/upload-record": whether results of this school were uploaded before.
struct UploadRecord {
    enum Status {
        NotJson,
        NotObject,       // JSON, but no object with a number "code"
        Clear,           // code 200: nothing uploaded yet
        UploadedBefore,  // code 500: `ip` and `createdAt` say by whom and when
        SomeUploaded,    // code 201: `studentIds` were uploaded
        Other,           // any other code
    };
    Status status = NotJson;
    QString ip;
    QString createdAt;
    QStringList studentIds;
    // The reply's "code" and "message" as sent, whatever their types.
    QString codeText;
    QString messageText;
};
UploadRecord readUploadRecord(const PlatformReply &reply);

} // namespace PlatformReplies

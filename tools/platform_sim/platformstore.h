#pragma once
// The demo platform behind platform_sim: answers every request from a JSON
// file under its data folder, and keeps what the client uploads in that
// folder, so that the exam list, the upload record and a second upload
// follow from what was really received.
//
// Replies read from files:
//   /<type>/<code>/client/<name>  ->  <data>/client/<name>.json
//   any other path                ->  <data>/<path>.json
// A request value may pick a variant file "<name>@<key>=<value>.json" when
// one exists (query items first, then form fields, then text parts). A
// missing file is answered 404 with a JSON body.
//
// Uploads kept:
//   /<type>/<code>/client/data  ->  <data>/uploads/<type>/<code>/<exam>/<school>/
//       received/<n>-<file name>   every data file as received, n counting from 1
//       records.txt                the students the platform holds, one JSON line each
//       upload.json                address and time of the last upload
//   /upload.php                 ->  <data>/images/<exam>/<content hash>.<suffix>
// "/client/upload-record" answers from records.txt, and "/client/exams"
// marks an exam that holds records as uploaded. Whether an exam takes more
// uploads is its "allow_upload_more" in the exam list files
// (<data>/client/exams*.json).
//
// Every name that becomes part of a path is checked first: identifiers
// (customer type and code, exam and school ids) take only letters, digits,
// '-' and '_'; a file name also '.', but not at its start. A request with
// any other name is refused and writes nothing.

#include "platformsimulator.h"

#include <QByteArray>
#include <QDir>
#include <QMap>
#include <QMutex>
#include <QString>

class PlatformStore
{
public:
    explicit PlatformStore(const QString &dataFolder);

    // Any thread. `note`, when given, says what answered (the reply file, or
    // what was kept or refused), for a log line.
    PlatformSimulator::Reply reply(const PlatformSimulator::Request &request, QString *note = nullptr);

    QString dataFolder() const { return m_data.path(); }
    // Where the results of one exam and school are kept (it may not exist yet).
    QString resultsFolder(const QString &customerType, const QString &customerCode, const QString &examId,
                          const QString &schoolId) const;
    QString imagesFolder(const QString &examId) const;

    static bool isIdentifier(const QString &text);
    static bool isFileName(const QString &text);

private:
    struct Route {
        QString customerType; // empty unless the path is /<type>/<code>/client/...
        QString customerCode;
        QString name;         // the path under the data folder, without ".json"; empty when unsafe
    };
    using Records = QMap<QString, QByteArray>; // student id -> compact JSON line

    static Route routeOf(const QString &path);
    PlatformSimulator::Reply fileReply(const Route &route, const PlatformSimulator::Request &request, QString *note) const;
    PlatformSimulator::Reply examList(const Route &route, const PlatformSimulator::Request &request, QString *note);
    PlatformSimulator::Reply uploadRecord(const Route &route, const PlatformSimulator::Request &request, QString *note);
    PlatformSimulator::Reply storeData(const Route &route, const PlatformSimulator::Request &request, QString *note);
    PlatformSimulator::Reply storeImage(const PlatformSimulator::Request &request, QString *note);

    bool allowsMoreUploads(const QString &examId) const;
    bool holdsRecords(const Route &route, const QString &examId, const QString &schoolId) const;
    static Records readRecords(const QString &folder);
    // Writes through a temporary file, only inside the data folder.
    bool save(const QString &path, const QByteArray &data, QString *error) const;

    QDir m_data;
    QMutex m_mutex;
};

#include "platformstore.h"

#include <quazip.h>
#include <quazipfile.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

using Reply = PlatformSimulator::Reply;
using Request = PlatformSimulator::Request;

// Reply path segments and variant selectors: the names of the reply files.
bool isReplySegment(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_.-]+$"));
    return pattern.match(text).hasMatch() && text != QLatin1String(".") && text != QLatin1String("..");
}

// The platform's replies carry a JSON "code"; a refusal is still an HTTP 200
// so that the client reads the reason.
Reply codeReply(int code, const QString &messageKey, const QJsonValue &message)
{
    return PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), code}, {messageKey, message}});
}

Reply refuse(QString *note, int code, const QString &messageKey, const QString &why)
{
    *note = QStringLiteral("refused: ") + why;
    return codeReply(code, messageKey, why);
}

// The lines of the one file in a results zip, as student id -> compact line.
bool readDataFile(const QByteArray &zip, QMap<QString, QByteArray> *records, QString *error)
{
    QBuffer buffer;
    buffer.setData(zip);
    QuaZip archive(&buffer);
    if (!archive.open(QuaZip::mdUnzip) || archive.getEntriesCount() != 1 || !archive.goToFirstFile()) {
        *error = QStringLiteral("数据文件不是只含一个文件的 zip");
        return false;
    }
    QuaZipFile entry(&archive);
    if (!entry.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("数据文件无法解压");
        return false;
    }
    const QByteArray text = entry.readAll();
    entry.close();
    if (entry.getZipError() != UNZ_OK) {
        *error = QStringLiteral("数据文件无法解压");
        return false;
    }
    int lineNumber = 0;
    for (QByteArray line : text.split('\n')) {
        ++lineNumber;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
        const QJsonValue id = document.object().value(QStringLiteral("student_id"));
        // Ids go back to the client in "[id,id]": no separator may hide in one.
        if (parseError.error != QJsonParseError::NoError || !document.isObject() || !id.isString()
            || !PlatformStore::isIdentifier(id.toString())) {
            *error = QStringLiteral("第%1行不是有效的学生记录").arg(lineNumber);
            return false;
        }
        records->insert(id.toString(), QJsonDocument(document.object()).toJson(QJsonDocument::Compact));
    }
    return true;
}

QString imageSuffix(const QByteArray &content, const QString &fileName)
{
    // The client names every image "temp.jpg", PNG files too.
    if (content.startsWith("\x89PNG\r\n\x1a\n"))
        return QStringLiteral("png");
    if (content.startsWith("\xff\xd8\xff"))
        return QStringLiteral("jpg");
    static const QRegularExpression plain(QStringLiteral("^[a-z0-9]{1,5}$"));
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    return plain.match(suffix).hasMatch() ? suffix : QStringLiteral("bin");
}

QJsonObject readJsonObject(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace

PlatformStore::PlatformStore(const QString &dataFolder)
    : m_data(QDir::cleanPath(QFileInfo(dataFolder).absoluteFilePath()))
{
}

bool PlatformStore::isIdentifier(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    return pattern.match(text).hasMatch();
}

bool PlatformStore::isFileName(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-][A-Za-z0-9_.-]{0,127}$"));
    return pattern.match(text).hasMatch();
}

QString PlatformStore::resultsFolder(const QString &customerType, const QString &customerCode, const QString &examId,
                                     const QString &schoolId) const
{
    return m_data.filePath(QStringLiteral("uploads/%1/%2/%3/%4").arg(customerType, customerCode, examId, schoolId));
}

QString PlatformStore::imagesFolder(const QString &examId) const
{
    return m_data.filePath(QStringLiteral("images/") + examId);
}

PlatformStore::Route PlatformStore::routeOf(const QString &path)
{
    Route route;
    QStringList segments = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &s : qAsConst(segments)) {
        if (!isReplySegment(s))
            return route;
    }
    if (segments.size() >= 3 && segments[2] == QLatin1String("client")) {
        route.customerType = segments[0];
        route.customerCode = segments[1];
        segments = segments.mid(2);
    }
    route.name = segments.join(QLatin1Char('/'));
    return route;
}

PlatformSimulator::Reply PlatformStore::reply(const Request &request, QString *note)
{
    QString ignored;
    if (!note)
        note = &ignored;
    const Route route = routeOf(request.path);
    if (route.name == QLatin1String("upload.php"))
        return storeImage(request, note);
    if (!route.customerType.isEmpty()) {
        if (route.name == QLatin1String("client/data"))
            return storeData(route, request, note);
        if (route.name == QLatin1String("client/upload-record"))
            return uploadRecord(route, request, note);
        if (route.name == QLatin1String("client/exams"))
            return examList(route, request, note);
    }
    return fileReply(route, request, note);
}

Reply PlatformStore::fileReply(const Route &route, const Request &request, QString *note) const
{
    QString relative;
    if (!route.name.isEmpty()) {
        QList<QPair<QString, QString>> selectors = request.queryItems + request.formFields;
        for (const PlatformSimulator::Part &part : request.parts) {
            if (part.fileName.isEmpty())
                selectors.append({part.name, part.text()});
        }
        for (const auto &item : qAsConst(selectors)) {
            if (!isReplySegment(item.first) || !isReplySegment(item.second))
                continue;
            const QString variant = route.name + QLatin1Char('@') + item.first + QLatin1Char('=') + item.second
                + QLatin1String(".json");
            if (QFileInfo(m_data.filePath(variant)).isFile()) {
                relative = variant;
                break;
            }
        }
        if (relative.isEmpty())
            relative = route.name + QLatin1String(".json");
    }
    *note = relative.isEmpty() ? QStringLiteral("-") : relative;
    QFile in(m_data.filePath(relative));
    if (!relative.isEmpty() && in.open(QIODevice::ReadOnly)) {
        Reply reply;
        reply.body = in.readAll();
        return reply;
    }
    return PlatformSimulator::json(
        QJsonObject{{QStringLiteral("code"), 404},
                    {QStringLiteral("message"), QStringLiteral("no data file for %1").arg(request.path)}},
        404);
}

Reply PlatformStore::examList(const Route &route, const Request &request, QString *note)
{
    Reply reply = fileReply(route, request, note);
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(reply.body, &parseError);
    if (reply.status != 200 || parseError.error != QJsonParseError::NoError || !document.isArray())
        return reply;
    // Union customers ask for their school; a school customer is its school.
    const QString schoolId = request.field(QStringLiteral("school_id"));
    QMutexLocker lock(&m_mutex);
    QJsonArray exams = document.array();
    for (int i = 0; i < exams.size(); ++i) {
        QJsonObject exam = exams.at(i).toObject();
        const QString examId = exam.value(QStringLiteral("id")).toVariant().toString();
        if (!isIdentifier(examId) || !holdsRecords(route, examId, schoolId))
            continue;
        exam.insert(QStringLiteral("data_upload_ok"), QStringLiteral("1"));
        if (!schoolId.isEmpty())
            exam.insert(QStringLiteral("data_upload_ok_exam_school"), QStringLiteral("1"));
        exams.replace(i, exam);
    }
    reply.body = QJsonDocument(exams).toJson(QJsonDocument::Compact);
    return reply;
}

Reply PlatformStore::uploadRecord(const Route &route, const Request &request, QString *note)
{
    const QString examId = request.field(QStringLiteral("exam_id"));
    const QString schoolId = request.field(QStringLiteral("school_id"));
    const QString message = QStringLiteral("message");
    if (!isIdentifier(examId))
        return refuse(note, 400, message, QStringLiteral("exam_id 不合法"));
    if (!isIdentifier(schoolId))
        return refuse(note, 400, message, QStringLiteral("school_id 不合法"));

    QMutexLocker lock(&m_mutex);
    const QString folder = resultsFolder(route.customerType, route.customerCode, examId, schoolId);
    const Records records = readRecords(folder);
    if (records.isEmpty()) {
        *note = QStringLiteral("no records of exam %1").arg(examId);
        return codeReply(200, message, QString());
    }
    if (allowsMoreUploads(examId)) {
        *note = QStringLiteral("%1 records of exam %2").arg(records.size()).arg(examId);
        return codeReply(201, message, QLatin1Char('[') + QStringList(records.keys()).join(QLatin1Char(',')) + QLatin1Char(']'));
    }
    *note = QStringLiteral("exam %1 already uploaded").arg(examId);
    const QJsonObject last = readJsonObject(folder + QStringLiteral("/upload.json"));
    return codeReply(500, message,
                     QJsonObject{{QStringLiteral("ip"), last.value(QStringLiteral("ip"))},
                                 {QStringLiteral("created_at"), last.value(QStringLiteral("created_at"))}});
}

Reply PlatformStore::storeData(const Route &route, const Request &request, QString *note)
{
    const QString msg = QStringLiteral("msg");
    const QString examId = request.field(QStringLiteral("exam_id"));
    const QString schoolId = request.field(QStringLiteral("school_id"));
    if (!isIdentifier(examId))
        return refuse(note, 400, msg, QStringLiteral("exam_id 不合法"));
    if (!isIdentifier(schoolId))
        return refuse(note, 400, msg, QStringLiteral("school_id 不合法"));
    const PlatformSimulator::Part *file = request.part(QStringLiteral("file"));
    if (!file || file->fileName.isEmpty())
        return refuse(note, 400, msg, QStringLiteral("没有数据文件"));
    if (!isFileName(file->fileName))
        return refuse(note, 400, msg, QStringLiteral("文件名不合法：") + file->fileName);
    Records received;
    QString error;
    if (!readDataFile(file->body, &received, &error))
        return refuse(note, 400, msg, error);

    QMutexLocker lock(&m_mutex);
    const QString folder = resultsFolder(route.customerType, route.customerCode, examId, schoolId);
    Records records = readRecords(folder);
    if (!records.isEmpty() && !allowsMoreUploads(examId))
        return refuse(note, 500, msg, QStringLiteral("该考试已经上传过数据了，且不允许追加上传。"));
    const QString needDelete = request.field(QStringLiteral("student_ids_need_delete"));
    for (const QString &id : needDelete.split(QLatin1Char(','), Qt::SkipEmptyParts))
        records.remove(id);
    // A student sent again replaces the platform's record.
    for (auto it = received.cbegin(); it != received.cend(); ++it)
        records.insert(it.key(), it.value());

    QJsonObject upload = readJsonObject(folder + QStringLiteral("/upload.json"));
    const int count = upload.value(QStringLiteral("uploads")).toInt() + 1;
    upload = QJsonObject{{QStringLiteral("ip"), request.peerAddress},
                         {QStringLiteral("created_at"),
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
                         {QStringLiteral("uploads"), count}};
    QByteArray lines;
    for (const QByteArray &line : qAsConst(records))
        lines += line + '\n';
    const QString keptAs = QStringLiteral("received/%1-%2").arg(count).arg(file->fileName);
    // records.txt last but one: until it is written the old records stand.
    if (!save(folder + QLatin1Char('/') + keptAs, file->body, &error)
        || !save(folder + QStringLiteral("/records.txt"), lines, &error)
        || !save(folder + QStringLiteral("/upload.json"), QJsonDocument(upload).toJson(), &error))
        return refuse(note, 500, msg, QStringLiteral("保存失败：") + error);
    *note = QStringLiteral("kept %1; %2 records").arg(m_data.relativeFilePath(folder + QLatin1Char('/') + keptAs))
                .arg(records.size());
    return codeReply(200, msg, QStringLiteral("上传成功"));
}

Reply PlatformStore::storeImage(const Request &request, QString *note)
{
    const QString info = QStringLiteral("info");
    const QString examId = request.field(QStringLiteral("exam_id"));
    if (!isIdentifier(examId))
        return refuse(note, 400, info, QStringLiteral("exam_id 不合法"));
    const PlatformSimulator::Part *file = request.part(QStringLiteral("file"));
    if (!file || file->fileName.isEmpty() || file->body.isEmpty())
        return refuse(note, 400, info, QStringLiteral("没有图片文件"));
    if (!isFileName(file->fileName))
        return refuse(note, 400, info, QStringLiteral("文件名不合法：") + file->fileName);

    // Named by content: the same image sent twice is one file.
    const QString name =
        QString::fromLatin1(QCryptographicHash::hash(file->body, QCryptographicHash::Sha256).toHex().left(16))
        + QLatin1Char('.') + imageSuffix(file->body, file->fileName);
    const QString path = imagesFolder(examId) + QLatin1Char('/') + name;
    QString error;
    QMutexLocker lock(&m_mutex);
    if (!save(path, file->body, &error))
        return refuse(note, 500, info, QStringLiteral("保存失败：") + error);
    const QString relative = m_data.relativeFilePath(path);
    *note = QStringLiteral("kept ") + relative;
    return PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 200}, {QStringLiteral("path"), relative}});
}

bool PlatformStore::allowsMoreUploads(const QString &examId) const
{
    const QDir client(m_data.filePath(QStringLiteral("client")));
    const QStringList lists = client.entryList({QStringLiteral("exams*.json")}, QDir::Files, QDir::Name);
    for (const QString &name : lists) {
        QFile file(client.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonArray exams = QJsonDocument::fromJson(file.readAll()).array();
        for (const QJsonValue &exam : exams) {
            const QJsonObject object = exam.toObject();
            if (object.value(QStringLiteral("id")).toVariant().toString() == examId)
                return object.value(QStringLiteral("allow_upload_more")).toString() == QLatin1String("1");
        }
    }
    return false;
}

bool PlatformStore::holdsRecords(const Route &route, const QString &examId, const QString &schoolId) const
{
    if (!schoolId.isEmpty()) {
        return isIdentifier(schoolId)
            && !readRecords(resultsFolder(route.customerType, route.customerCode, examId, schoolId)).isEmpty();
    }
    const QDir exam(resultsFolder(route.customerType, route.customerCode, examId, QString()));
    const QStringList schools = exam.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &school : schools) {
        if (!readRecords(exam.filePath(school)).isEmpty())
            return true;
    }
    return false;
}

PlatformStore::Records PlatformStore::readRecords(const QString &folder)
{
    Records records;
    QFile file(folder + QStringLiteral("/records.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return records;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString id = QJsonDocument::fromJson(line).object().value(QStringLiteral("student_id")).toString();
        if (!id.isEmpty())
            records.insert(id, line);
    }
    return records;
}

bool PlatformStore::save(const QString &path, const QByteArray &data, QString *error) const
{
    // The names were checked; this catches any later slip.
    const QString clean = QDir::cleanPath(path);
    if (!clean.startsWith(m_data.path() + QLatin1Char('/'))) {
        *error = QStringLiteral("路径在数据目录之外");
        return false;
    }
    if (!QDir().mkpath(QFileInfo(clean).absolutePath())) {
        *error = QStringLiteral("无法创建目录 %1").arg(QFileInfo(clean).absolutePath());
        return false;
    }
    QSaveFile out(clean);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.commit()) {
        *error = QStringLiteral("%1: %2").arg(m_data.relativeFilePath(clean), out.errorString());
        return false;
    }
    return true;
}

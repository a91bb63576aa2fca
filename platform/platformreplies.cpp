#include "platformreplies.h"

#include <QJsonArray>
#include <QJsonValue>

namespace PlatformReplies {

namespace {

// A status flag counts only as the JSON text "1".
bool flagSet(const QJsonValue &value)
{
    return value.isString() && value.toString() == QLatin1String("1");
}

// Project ids are decimal integers sent as text.
bool projectIdFrom(const QJsonValue &value, int *id)
{
    const QString text = value.isString() ? value.toString() : QString();
    if (text.isEmpty() || text.size() > 9)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    *id = text.toInt();
    return true;
}

} // namespace

KeyCheck readKeyCheck(const PlatformReply &reply)
{
    KeyCheck check;
    if (!reply.json) {
        check.outcome = KeyCheck::NotJson;
        return check;
    }
    if (!reply.isObject()) {
        check.outcome = KeyCheck::NotObject;
        return check;
    }
    const QJsonObject object = reply.object();
    check.message = PlatformReply::textValue(object, QStringLiteral("message"));
    if (PlatformReply::intValue(object, QStringLiteral("code")) != 200) {
        check.outcome = KeyCheck::Refused;
    } else if (PlatformRequest::isSafeIdentifier(check.message)) {
        // The school id goes into requests and file names.
        check.outcome = KeyCheck::Verified;
        check.schoolId = check.message;
    } else {
        check.outcome = KeyCheck::BadSchoolId;
    }
    return check;
}

ProjectList readProjects(const PlatformReply &reply)
{
    ProjectList list;
    list.json = reply.json;
    if (!reply.json)
        return list;
    const QJsonObject object = reply.object();
    const QJsonValue code = object.value(QStringLiteral("code"));
    if (!code.isDouble())
        return list;
    list.code = code.toInt();
    if (list.code != 200) {
        list.readable = true;
        list.message = PlatformReply::anyText(object.value(QStringLiteral("message")));
        return list;
    }

    const QJsonObject message = PlatformReply::objectValue(object, QStringLiteral("message"));
    if (!message.value(QStringLiteral("projects")).isArray())
        return list;
    list.readable = true;
    for (const QJsonValue &value : PlatformReply::arrayValue(message, QStringLiteral("projects"))) {
        const QJsonObject project = value.toObject();
        ProjectList::Project p;
        p.name = PlatformReply::textValue(project, QStringLiteral("project"));
        if (projectIdFrom(project.value(QStringLiteral("id")), &p.id))
            list.projects.append(p);
        else
            list.refused << p.name;
    }
    const QJsonObject upgrade = PlatformReply::objectValue(message, QStringLiteral("upgrade"));
    list.upgradeOffered = PlatformReply::intValue(upgrade, QStringLiteral("upgrade")) == 1;
    if (list.upgradeOffered) {
        list.versionNow = PlatformReply::textValue(upgrade, QStringLiteral("version_name_now"));
        list.versionNew = PlatformReply::textValue(upgrade, QStringLiteral("version_name_new"));
    }
    return list;
}

QList<QJsonObject> readExams(const PlatformReply &reply)
{
    QList<QJsonObject> exams;
    if (!reply.isArray())
        return exams;
    for (const QJsonValue &value : reply.array()) {
        if (value.isObject())
            exams.append(value.toObject());
    }
    return exams;
}

ExamEntry readExamEntry(const QJsonObject &exam)
{
    ExamEntry e;
    e.id = PlatformReply::textValue(exam, QStringLiteral("id"));
    e.idAsSent = PlatformReply::anyText(exam.value(QStringLiteral("id")));
    e.gradeId = PlatformReply::textValue(exam, QStringLiteral("grade_id"));
    e.grade = PlatformReply::textValue(exam, QStringLiteral("grade"));
    e.subject = PlatformReply::textValue(exam, QStringLiteral("subject"));
    // A flag the platform leaves out is not set.
    e.objectAnswerOk = flagSet(exam.value(QStringLiteral("object_answer_ok")));
    e.optionalObjectAnswerOk = flagSet(exam.value(QStringLiteral("optional_object_answer_ok")));
    e.templateOk = flagSet(exam.value(QStringLiteral("sheet_template_ok")));
    e.uploadedBySchool = flagSet(exam.value(QStringLiteral("data_upload_ok_exam_school")));
    // "data_upload_ok" replaces the older "sheet_ok" when it is there.
    const QJsonValue dataUploaded = exam.value(QStringLiteral("data_upload_ok"));
    e.uploaded = dataUploaded.isUndefined() ? exam.value(QStringLiteral("sheet_ok")).toInt() == 1
                                            : flagSet(dataUploaded);
    e.allowUploadMoreKnown = flagSet(dataUploaded) && exam.contains(QStringLiteral("allow_upload_more"));
    e.allowUploadMore = e.allowUploadMoreKnown && flagSet(exam.value(QStringLiteral("allow_upload_more")));
    return e;
}

ExamInfo readExamInfo(const PlatformReply &reply)
{
    ExamInfo info;
    if (!reply.isObject())
        return info;
    info.object = true;
    const QJsonObject object = reply.object();
    auto answers = [&object](const QString &key) {
        return object.contains(key) ? AnswerParsing::parseAnswerText(object.value(key).toString())
                                    : QVector<AnswerParsing::AnswerRow>();
    };
    info.answers = answers(QStringLiteral("object_answer"));
    info.optionalAnswers = answers(QStringLiteral("optional_object_answer"));
    info.hasTemplate = object.contains(QStringLiteral("sheet_template"));
    if (info.hasTemplate)
        info.templateXml = PlatformReply::textValue(object, QStringLiteral("sheet_template")).toUtf8();
    return info;
}

QList<StudentInfo> readRoster(const PlatformReply &reply)
{
    QList<StudentInfo> roster;
    if (!reply.isArray())
        return roster;
    for (const QJsonValue &element : reply.array()) {
        if (!element.isObject())
            continue;
        const QJsonObject object = element.toObject();
        StudentInfo student;
        student.realname = PlatformReply::textValue(object, QStringLiteral("realname"));
        student.code = PlatformReply::textValue(object, QStringLiteral("code"));
        student.className = PlatformReply::textValue(object, QStringLiteral("class"));
        bool ok = false;
        student.id = PlatformReply::textValue(object, QStringLiteral("id")).toInt(&ok, 10);
        if (!ok)
            student.id = 0;
        // An empty code would match every sheet whose code was not read.
        if (student.code.isEmpty())
            continue;
        roster.append(student);
    }
    return roster;
}

UploadToken readUploadToken(const PlatformReply &reply)
{
    UploadToken token;
    if (!reply.isObject())
        return token;
    const QJsonObject object = reply.object();
    auto text = [&object](const char *name) { return PlatformReply::textValue(object, QLatin1String(name)); };
    token.cloudServer = PlatformReply::intValue(object, QStringLiteral("cloud_server"));
    if (token.cloudServer != 0 && token.cloudServer != 1) {
        token.status = UploadToken::UnknownKind;
        return token;
    }

    // Credentials count only when everything the store needs is there; a
    // half-filled reply would make every image upload fail later.
    auto require = [&token](const QString &value, const char *name) {
        if (value.trimmed().isEmpty())
            token.missing << QLatin1String(name);
    };
    token.bucketName = text("bucket_name");
    token.domain = text("domain_binded");
    if (token.cloudServer == 0) {
        token.uploadToken = text("upload_token");
        require(token.uploadToken, "upload_token");
        require(token.domain, "domain_binded");
    } else {
        token.accessKeyId = text("access_key_id");
        token.accessKeySecret = text("access_key_secret");
        token.endpoint = text("endpoint");
        require(token.bucketName, "bucket_name");
        require(token.accessKeyId, "access_key_id");
        require(token.accessKeySecret, "access_key_secret");
        require(token.endpoint, "endpoint");
        require(token.domain, "domain_binded");
    }
    // A bucket name becomes part of a host name or object path.
    if (!token.bucketName.isEmpty() && !PlatformRequest::isSafeIdentifier(token.bucketName))
        token.missing << QStringLiteral("bucket_name");
    token.status = token.missing.isEmpty() ? UploadToken::Complete : UploadToken::Incomplete;
    return token;
}

UploadRecord readUploadRecord(const PlatformReply &reply)
{
    UploadRecord record;
    if (!reply.json) {
        record.status = UploadRecord::NotJson;
        return record;
    }
    if (!reply.isObject()) {
        record.status = UploadRecord::NotObject;
        return record;
    }
    const QJsonObject object = reply.object();
    record.codeText = PlatformReply::anyText(object.value(QStringLiteral("code")));
    record.messageText = PlatformReply::anyText(object.value(QStringLiteral("message")));
    // A code sent as text ("200") is not taken for the number: the reply
    // cannot be read.
    const QJsonValue code = object.value(QStringLiteral("code"));
    if (!code.isDouble()) {
        record.status = UploadRecord::NotObject;
        return record;
    }
    switch (code.toInt()) {
    case 200:
        record.status = UploadRecord::Clear;
        break;
    case 500: {
        record.status = UploadRecord::UploadedBefore;
        const QJsonObject message = PlatformReply::objectValue(object, QStringLiteral("message"));
        record.ip = message.value(QStringLiteral("ip")).toVariant().toString();
        record.createdAt = message.value(QStringLiteral("created_at")).toVariant().toString();
        break;
    }
    case 201: {
        record.status = UploadRecord::SomeUploaded;
        // A list of ids as text: "[1,2,3]".
        QString list = PlatformReply::textValue(object, QStringLiteral("message"));
        list.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
        record.studentIds = list.split(QLatin1Char(','));
        break;
    }
    default:
        record.status = UploadRecord::Other;
        break;
    }
    return record;
}

} // namespace PlatformReplies

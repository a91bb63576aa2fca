// One reply body of the platform, read by every reader of platform replies:
// the account check, the exam projects and exams, the exam information (and
// the template it carries), the roster, the upload token, the upload record
// and the upgrade check. Whatever the body, each reader gives a value, and
// nothing it hands on as a name or an id is left unchecked.

#include "dialogupgradeinfo.h"
#include "fuzzsupport.h"
#include "platformreplies.h"
#include "platformrequest.h"
#include "templateloader.h"

#include <QJsonObject>
#include <QStringList>

#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::quietQtLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace PlatformReplies;
    const PlatformReply reply = PlatformReply::fromBody(200, FuzzSupport::bytes(data, size));

    const KeyCheck key = readKeyCheck(reply);
    require(key.outcome != KeyCheck::Verified || PlatformRequest::isSafeIdentifier(key.schoolId));

    const ProjectList projects = readProjects(reply);
    for (const ProjectList::Project &p : projects.projects)
        require(p.id >= 0);

    for (const QJsonObject &exam : readExams(reply))
        readExamEntry(exam);

    const ExamInfo info = readExamInfo(reply);
    if (info.hasTemplate) {
        TemplateModel model;
        QStringList log;
        if (parseTemplateText(info.templateXml, model, log).ok())
            applyPageOrigins(model);
    }

    for (const StudentInfo &student : readRoster(reply))
        require(!student.code.isEmpty());

    const UploadToken token = readUploadToken(reply);
    if (token.status == UploadToken::Complete)
        require(token.bucketName.isEmpty() || PlatformRequest::isSafeIdentifier(token.bucketName));

    readUploadRecord(reply);
    DialogUpgradeInfo::readReply(reply);
    return 0;
}

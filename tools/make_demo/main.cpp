// Writes a demo exam for the local platform: the platform's replies as JSON
// files (account check, version check, one project with one exam, the exam's
// answer key and template, roster, upload credentials; the uploads are
// answered by the platform from what it keeps), a folder of scanned
// answer sheets rendered from the template, and an ini file for the
// processing program pointing at them.

#include "sheetrenderer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <cstdio>

namespace {

bool writeJson(const QString &path, const QJsonValue &value)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QJsonDocument doc = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return f.write(doc.toJson(QJsonDocument::Indented)) > 0;
}

QJsonObject answerItem(const SheetSpec &spec, int item)
{
    const int options = std::max(spec.optionCount(item), 1);
    const bool multiple = item % 3 == 0;
    QString answer(QChar('A' + item % options));
    if (multiple && options > 2) {
        const QChar second('A' + (item + 1) % options);
        answer = answer < QString(second) ? answer + second : QString(second) + answer;
    }
    static const char *const compare[] = {"SC", "MA", "TYPE1", "TYPE2"};
    return QJsonObject{{"item_id", item},
                       {"type", multiple ? "M" : "S"},
                       {"optioncount", options},
                       {"answer", answer},
                       {"score", multiple ? 4 : 2},
                       {"comparetype", compare[item % 4]},
                       {"partscore", 1}};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_demo <demo folder> <ini file> [sheets] [image server host:port]\n");
        return 2;
    }
    const QString root = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString ini = QString::fromLocal8Bit(argv[2]);
    const int sheets = argc > 3 ? std::max(1, atoi(argv[3])) : 8;
    // The local platform also stands in for the school's image server.
    const QString imageServer = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString();
    const QString data = root + QStringLiteral("/platform");
    const QString scans = root + QStringLiteral("/scans");
    QDir(scans).removeRecursively();
    // A new demo exam starts with nothing uploaded; the local platform keeps
    // results under "uploads" and images under "images".
    QDir(data + QStringLiteral("/uploads")).removeRecursively();
    QDir(data + QStringLiteral("/images")).removeRecursively();
    QDir().mkpath(scans);

    const SheetSpec spec = SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 2, 150);
    const SheetRenderer renderer(spec);

    QJsonArray objective, optional, roster;
    for (int item : spec.objectiveItems())
        (spec.isOptionalItem(item) ? optional : objective).append(answerItem(spec, item));
    for (int s = 0; s < sheets; ++s) {
        StudentMarks marks = StudentMarks::random(spec, quint32(100 + s));
        marks.code = QStringLiteral("%1").arg(2026070100LL + s);
        marks.scribbles = true;
        Distortion d;
        d.rotationDegrees = (s % 5 - 2) * 0.7;
        d.dx = s % 3 * 4;
        d.dy = s % 4 * 3;
        d.noiseSigma = 2;
        d.jpegQuality = 90;
        if (renderer.writeSheet(scans, marks, d, QStringLiteral("scan"), s * spec.pageCount + 1).isEmpty()) {
            std::fprintf(stderr, "cannot write the scans\n");
            return 1;
        }
        roster.append(QJsonObject{{"realname", QStringLiteral("学生%1").arg(s + 1)},
                                  {"code", marks.code},
                                  {"class", QStringLiteral("七年级%1班").arg(s % 3 + 1)},
                                  {"id", QString::number(9000 + s)}});
    }

    const QString template_ = QString::fromUtf8(renderer.templateXml());
    bool ok = true;
    ok &= writeJson(data + "/client/key-check.json", QJsonObject{{"code", 200}, {"message", "1001"}});
    ok &= writeJson(data + "/client/version-check.json", QJsonObject{{"code", 200}, {"message", "ok"}});
    ok &= writeJson(data + "/client/projects.json",
                    QJsonObject{{"code", 200},
                                {"message", QJsonObject{{"projects", QJsonArray{QJsonObject{{"project", QStringLiteral("2026 春季期末考试")}, {"id", "7"}}}},
                                                        {"upgrade", QJsonObject{{"upgrade", 0}}}}}});
    ok &= writeJson(data + "/client/exams@project_id=7.json",
                    QJsonArray{QJsonObject{{"id", "E1001"},
                                           {"grade_id", "G7"},
                                           {"grade", QStringLiteral("七年级")},
                                           {"subject", QStringLiteral("数学")},
                                           {"object_answer_ok", "1"},
                                           {"optional_object_answer_ok", "1"},
                                           {"sheet_template_ok", "1"},
                                           {"sheet_ok", 0},
                                           // A second upload meets the duplicate-record choice.
                                           {"allow_upload_more", "1"},
                                           {"data_upload_ok_exam_school", "0"}}});
    ok &= writeJson(data + "/client/exam-info@exam_id=E1001.json",
                    QJsonObject{{"object_answer", QString::fromUtf8(QJsonDocument(objective).toJson(QJsonDocument::Compact))},
                                {"optional_object_answer", QString::fromUtf8(QJsonDocument(optional).toJson(QJsonDocument::Compact))},
                                {"sheet_template", template_}});
    ok &= writeJson(data + "/client/student@grade_id=G7.json", roster);
    // An upload token of the token storage service's form, so that the local
    // platform can answer the lookup of its bucket.
    const QByteArray policy = QJsonDocument(QJsonObject{{"scope", "demo"}, {"deadline", 4102444800.0}})
                                  .toJson(QJsonDocument::Compact)
                                  .toBase64(QByteArray::Base64UrlEncoding);
    ok &= writeJson(data + "/client/upload-token.json",
                    QJsonObject{{"cloud_server", 0}, {"bucket_name", "demo"},
                                {"upload_token", QStringLiteral("demo-ak:ZGVtby1zaWdu:") + QString::fromLatin1(policy)},
                                {"domain_binded", "https://127.0.0.1/"}});
    ok &= writeJson(data + "/upgrade/online/ardentiq.json", QJsonObject{{"code", 201}, {"message", QStringLiteral("已是最新版本")}});
    if (!ok) {
        std::fprintf(stderr, "cannot write the platform data\n");
        return 1;
    }

    QSettings settings(ini, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    settings.setValue("Account/CustomerType", "school");
    settings.setValue("Account/CustomerCode", "demo01");
    settings.setValue("Account/DataKey", "demo-key");
    settings.setValue("Account/SchoolName", "");
    settings.setValue("Scan/SavePath", QDir::toNativeSeparators(scans));
    settings.setValue("SettingAnchorAndProcess/ProcessType", 1);
    settings.setValue("SettingImage/SubjectImageFormatIndex", 0);
    if (!imageServer.isEmpty()) {
        settings.setValue("SettingSheetUpload/LocalServer", 1);
        settings.setValue("SettingSheetUpload/Address", QStringLiteral("https://") + imageServer);
        settings.setValue("SettingSheetUpload/Password", "demo");
        settings.setValue("SettingSheetUpload/SheetUploadTimeout", 10);
    }
    settings.sync();
    std::printf("demo exam: %d sheets in %s; platform data in %s (uploads kept in its uploads and images folders)\n",
                sheets, qPrintable(scans), qPrintable(data));
    return settings.status() == QSettings::NoError ? 0 : 1;
}

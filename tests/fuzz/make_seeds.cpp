// Writes the seed corpora of the fuzz targets (corpus/<target>/) from what
// the tests use: templates of the synthetic sheet renderer, their printed-text
// patches, and platform replies shaped like the local platform's.
// Usage: fuzz_make_seeds <corpus folder>

#include "sheetrenderer.h"
#include "templateformat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <opencv2/core.hpp>

#include <cstdio>

namespace {

bool write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QByteArray json(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray json(const QJsonArray &a)
{
    return QJsonDocument(a).toJson(QJsonDocument::Compact);
}

QByteArray matInput(const cv::Mat &patch)
{
    QByteArray out(4, '\0');
    qToLittleEndian<qint16>(qint16(patch.rows), out.data());
    qToLittleEndian<qint16>(qint16(patch.cols), out.data() + 2);
    return out + TemplateFormat::encodeMatData(patch).toLatin1();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok = true;

    struct Named {
        const char *name;
        SheetSpec spec;
    };
    // Small sheets keep the printed-text patches, and so the inputs, short.
    const Named sheets[] = {
        {"minimal-rect-bubbles", SheetSpec::minimal(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 1, 50)},
        {"minimal-text-barcode", SheetSpec::minimal(SheetSpec::PrintedText, SheetSpec::CodeBarcode, 1, 30, 1)},
        {"standard-rect-2pages", SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 2, 50)},
    };
    QByteArray examTemplate;
    for (const Named &s : sheets) {
        const QByteArray xml = SheetRenderer(s.spec).templateXml();
        if (examTemplate.isEmpty())
            examTemplate = xml;
        ok &= write(out.filePath(QStringLiteral("template_xml/%1.xml").arg(QLatin1String(s.name))), xml);
        ok &= write(out.filePath(QStringLiteral("template_file/%1.tpl").arg(QLatin1String(s.name))),
                    TemplateFormat::complementBytes(xml));
        ok &= write(out.filePath(QStringLiteral("template_designer/%1.tpl").arg(QLatin1String(s.name))),
                    TemplateFormat::complementBytes(xml));
    }
    // Documents the designer never writes: too many bubbles renumbered, an
    // anchor without B, a patch whose data does not fit its size, and more
    // pages than the designer has images for.
    const QByteArray broken[] = {
        "<Lumbrisk Name=\"b\"><Pages><Page><Section Type=\"Object\" Abnormal=\"1\" Item=\"3\" OptionCount=\"2\">"
        "<Option Index=\"4\" X=\"1\"/><Option Index=\"4\" X=\"2\"/><Option Index=\"9\" X=\"3\"/></Section>"
        "<Section Type=\"AnchorPoint\" AnchorType=\"BlackRectangle\"><A X=\"1\"/></Section></Page></Pages></Lumbrisk>",
        "<Lumbrisk><Pages><Page><Section Type=\"AnchorPoint\" AnchorType=\"PrintText\"><PrintTextAnchor MatRows=\"2\" "
        "MatCols=\"3\" MatData=\"AAAABXicMzAxMDAwAAAE5AFq\"/></Section></Page><Page/><Page/><Page/></Pages></Lumbrisk>",
    };
    for (size_t i = 0; i < sizeof(broken) / sizeof(broken[0]); ++i)
        ok &= write(out.filePath(QStringLiteral("template_designer/broken-%1.tpl").arg(i + 1)),
                    TemplateFormat::complementBytes(broken[i]));

    // Patches: one pixel, a gradient, and noise.
    cv::Mat gradient(6, 9, CV_8UC1);
    for (int r = 0; r < gradient.rows; ++r)
        for (int c = 0; c < gradient.cols; ++c)
            gradient.at<uchar>(r, c) = uchar(r * 40 + c * 3);
    cv::Mat noise(16, 12, CV_8UC1);
    cv::RNG rng(7);
    rng.fill(noise, cv::RNG::UNIFORM, 0, 256);
    ok &= write(out.filePath(QStringLiteral("matdata/one-pixel.bin")), matInput(cv::Mat(1, 1, CV_8UC1, cv::Scalar(255))));
    ok &= write(out.filePath(QStringLiteral("matdata/gradient.bin")), matInput(gradient));
    ok &= write(out.filePath(QStringLiteral("matdata/noise.bin")), matInput(noise));

    // Platform replies, one or two per request kind.
    const QJsonArray answers{
        QJsonObject{{"item_id", 1}, {"type", "S"}, {"optioncount", 4}, {"answer", "A"}, {"score", 2.0},
                    {"comparetype", "SC"}, {"partscore", 0.0}},
        QJsonObject{{"item_id", "2"}, {"type", "M"}, {"optioncount", 5}, {"answer", "BD"}, {"score", "3"},
                    {"comparetype", "MA"}, {"partscore", 1.5}}};
    const struct {
        const char *name;
        QByteArray body;
    } replies[] = {
        {"key-check", json(QJsonObject{{"code", 200}, {"message", "1001"}})},
        {"key-check-refused", json(QJsonObject{{"code", 403}, {"message", QStringLiteral("密钥错误")}})},
        {"projects", json(QJsonObject{{"code", 200},
                                      {"message", QJsonObject{{"projects", QJsonArray{QJsonObject{{"project", QStringLiteral("期末")}, {"id", "7"}}}},
                                                              {"upgrade", QJsonObject{{"upgrade", 1}, {"version_name_now", "4.2"}, {"version_name_new", "4.3"}}}}}})},
        {"projects-501", json(QJsonObject{{"code", 501}, {"message", QStringLiteral("请升级")}})},
        {"exams", json(QJsonArray{QJsonObject{{"id", "E4001"}, {"grade_id", "G1"}, {"grade", QStringLiteral("七年级")},
                                              {"subject", QStringLiteral("数学")}, {"object_answer_ok", "1"},
                                              {"sheet_template_ok", "1"}, {"sheet_ok", 0},
                                              {"data_upload_ok", "1"}, {"allow_upload_more", "1"}}})},
        {"exam-info", json(QJsonObject{{"object_answer", QString::fromUtf8(json(answers))},
                                       {"optional_object_answer", "[]"},
                                       {"sheet_template", QString::fromUtf8(examTemplate)}})},
        {"student", json(QJsonArray{QJsonObject{{"realname", QStringLiteral("学生0")}, {"code", "4100000000"},
                                                {"class", QStringLiteral("一班")}, {"id", "800"}},
                                    QJsonObject{{"realname", QStringLiteral("学生1")}, {"code", ""}, {"id", "x"}}})},
        {"upload-token-0", json(QJsonObject{{"cloud_server", 0}, {"bucket_name", "b1"}, {"upload_token", "tok"},
                                            {"domain_binded", "https://img/"}})},
        {"upload-token-1", json(QJsonObject{{"cloud_server", 1}, {"bucket_name", "b1"}, {"access_key_id", "id"},
                                            {"access_key_secret", "secret"}, {"endpoint", "oss.example"},
                                            {"domain_binded", "https://img/"}})},
        {"upload-record-500", json(QJsonObject{{"code", 500}, {"message", QJsonObject{{"ip", "10.0.0.8"}, {"created_at", "2025-06-01 08:00:00"}}}})},
        {"upload-record-201", json(QJsonObject{{"code", 201}, {"message", "[800,801]"}})},
        {"upgrade-200", json(QJsonObject{{"code", 200}, {"message", QJsonObject{{"version_name", "4.3"}, {"created_at", "2025-06-01 08:00:00"},
                                                                               {"info", "<p>修复</p>"}, {"url", "https://dl.example/u.zip"}}}})},
        {"upgrade-201", json(QJsonObject{{"code", 201}, {"message", QStringLiteral("已是最新版本")}})},
    };
    for (const auto &r : replies)
        ok &= write(out.filePath(QStringLiteral("platform_replies/%1.json").arg(QLatin1String(r.name))), r.body);
    return ok ? 0 : 1;
}

// The exam dialog with a very large exam list: 100,000 exams of a dozen
// subjects (about 24 MB of JSON, under the reply limit) come from the local
// HTTPS platform. Measures how long the list takes to fill and lay out, the
// longest stretch in which the GUI thread handled no event (what the
// operator feels as a freeze), and the process's peak memory. Then a reply
// past the limit, which must be refused without reading it whole.

#include "benchreport.h"
#include "unattended.h"
#include "dialogexam.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "omrresources.h"
#include "platformrequest.h"
#include "platformsimulator.h"
#include "settingsfile.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// Peak resident memory of the process so far, in MiB.

QByteArray examList(int count)
{
    const QStringList subjects{QStringLiteral("语文"), QStringLiteral("数学"), QStringLiteral("英语"),
                               QStringLiteral("物理"), QStringLiteral("化学"), QStringLiteral("生物"),
                               QStringLiteral("政治"), QStringLiteral("历史"), QStringLiteral("地理"),
                               QStringLiteral("音乐"), QStringLiteral("美术"), QStringLiteral("体育")};
    const QStringList grades{QStringLiteral("七年级"), QStringLiteral("八年级"), QStringLiteral("九年级")};
    QJsonArray exams;
    for (int i = 0; i < count; ++i) {
        exams.append(QJsonObject{
            {QStringLiteral("id"), QStringLiteral("E%1").arg(i)},
            {QStringLiteral("grade_id"), QString::number(7 + i % 3)},
            {QStringLiteral("grade"), grades.at(i % 3)},
            {QStringLiteral("subject"), subjects.at(i % subjects.size())},
            {QStringLiteral("object_answer_ok"), QStringLiteral("1")},
            {QStringLiteral("optional_object_answer_ok"), QStringLiteral("0")},
            {QStringLiteral("sheet_template_ok"), QStringLiteral("1")},
            {QStringLiteral("sheet_ok"), 0},
            {QStringLiteral("data_upload_ok"), QStringLiteral("0")},
            {QStringLiteral("allow_upload_more"), QStringLiteral("0")},
            {QStringLiteral("data_upload_ok_exam_school"), QStringLiteral("0")},
        });
    }
    return QJsonDocument(exams).toJson(QJsonDocument::Compact);
}

// Longest gap between two ticks of a 5 ms timer while it runs.
class FreezeMeter : public QObject {
public:
    FreezeMeter()
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_longest = std::max(m_longest, m_clock.restart());
        });
    }
    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_timer.start();
    }
    qint64 stop()
    {
        m_timer.stop();
        return std::max(m_longest, m_clock.elapsed());
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

void printTarget(const char *what, double value, double target, const char *unit)
{
    printf("  %-44s %10.1f %-4s target <= %8.1f %-4s ratio %.2f %s\n", what, value, unit, target, unit,
           value / target, value <= target ? "ok" : "MISSED");
}

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    initOmrResources();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Exam list benchmark"));
    parser.addHelpOption();
    const QCommandLineOption examsOption(QStringLiteral("exams"), QStringLiteral("Exams in the list."),
                                         QStringLiteral("n"), QStringLiteral("100000"));
    parser.addOption(examsOption);
    parser.process(app);
    const int count = std::max(1, parser.value(examsOption).toInt());

    QTemporaryDir dir;
    PlatformSimulator sim;
    QString error;
    if (!dir.isValid() || !startLocalPlatform(sim, &error)) {
        fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QString ini = dir.filePath(QStringLiteral("Ardentiq.ini"));
    {
        QSettings settings(ini, QSettings::IniFormat);
        settings.setIniCodec("UTF-8");
        settings.setValue(QStringLiteral("Account/CustomerType"), QStringLiteral("school"));
        settings.setValue(QStringLiteral("Account/CustomerCode"), QStringLiteral("S01"));
        settings.setValue(QStringLiteral("Account/DataKey"), QStringLiteral("k1"));
    }
    setSettingsFilePathForTesting(ini);
    sim.setReply(QStringLiteral("/school/S01/client/key-check"),
                 PlatformSimulator::json(QJsonObject{{"code", 200}, {"message", "1001"}}));
    const QJsonArray projects{QJsonObject{{"project", QStringLiteral("期中考试")}, {"id", "12"}},
                              QJsonObject{{"project", QStringLiteral("过大的列表")}, {"id", "13"}}};
    sim.setReply(QStringLiteral("/school/S01/client/projects"),
                 PlatformSimulator::json(QJsonObject{{"code", 200}, {"message", QJsonObject{{"projects", projects}}}}));
    const QByteArray list = examList(count);
    PlatformSimulator::Reply listReply;
    listReply.body = list;
    // Twice the limit: what the platform once sent.
    PlatformSimulator::Reply hugeReply;
    hugeReply.body = QByteArray("[") + QByteArray(int(2 * PlatformRequest::kMaxReplyBytes), ' ') + ']';
    sim.setHandler(QStringLiteral("/school/S01/client/exams"), [listReply, hugeReply](const PlatformSimulator::Request &r) {
        return r.queryValue(QStringLiteral("project_id")) == QLatin1String("13") ? hugeReply : listReply;
    });

    UnattendedBoxes boxes;
    MainWindow w;
    DialogExam dialog(&w);
    dialog.resize(789, 658);
    dialog.show();
    auto *projectList = dialog.findChild<QListWidget *>(QStringLiteral("listWidgetExamName"));
    auto *examList = dialog.findChild<QListWidget *>(QStringLiteral("listWidgetExam"));
    if (!projectList || projectList->count() != 2 || !examList) {
        fprintf(stderr, "the project list did not load\n");
        return 1;
    }
    QCoreApplication::processEvents();

    printf("%d exams, %.1f MiB of JSON; reply limit %lld MiB\n", count, list.size() / 1048576.0,
           PlatformRequest::kMaxReplyBytes / 1048576);
    const double before = residentMiB("VmHWM:");
    FreezeMeter meter;
    QElapsedTimer clock;
    projectList->setCurrentRow(0);
    meter.start();
    clock.start();
    dialog.loadExams(QStringLiteral("12"));
    const qint64 filledMs = clock.elapsed();
    // The view lays the items out after the fill; the list is usable when
    // the last item has its place.
    while (examList->count() > 0 && !examList->visualItemRect(examList->item(examList->count() - 1)).isValid()
           && clock.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 laidOutMs = clock.elapsed();
    const qint64 freezeMs = meter.stop();
    const double peak = residentMiB("VmHWM:");
    bool ok = examList->count() == count && boxes.count() == 0;
    QSet<qint64> icons;
    for (int i = 0; i < examList->count(); ++i)
        icons.insert(examList->item(i)->icon().cacheKey());
    printf("  items %d, distinct icons %d, peak memory %.0f MiB (%.0f MiB before the list)\n", examList->count(),
           icons.size(), peak, before);
    printTarget("request, fill and layout of the list", laidOutMs, 5000, "ms");
    printf("  %-44s %10lld ms\n", "of which request and fill", filledMs);
    printTarget("longest stretch without handling events", freezeMs, 250, "ms");
    printTarget("peak memory growth", peak - before, 1024, "MiB");

    // A reply twice the limit is refused with the operator told.
    boxes.clear();
    projectList->setCurrentRow(1);
    meter.start();
    clock.restart();
    dialog.loadExams(QStringLiteral("13"));
    const qint64 refusedMs = clock.elapsed();
    const qint64 refusedFreeze = meter.stop();
    const bool refused = boxes.count() == 1 && boxes.last().text == PlatformRequest::replyTooLargeText();
    printf("\nreply of %.0f MiB: %s\n", hugeReply.body.size() / 1048576.0,
           refused ? qPrintable(QStringLiteral("refused with \"%1\"").arg(PlatformRequest::replyTooLargeText()))
                   : "NOT refused");
    printTarget("time to refuse it", refusedMs, 5000, "ms");
    printTarget("longest stretch without handling events", refusedFreeze, 250, "ms");
    printTarget("peak memory growth (whole run)", residentMiB("VmHWM:") - before, 1024, "MiB");
    ok = ok && refused;
    boxes.clear();
    return ok ? 0 : 1;
}

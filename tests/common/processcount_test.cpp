#include "processcount.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <memory>
#include <vector>
#include "testutil.h"

namespace {

using TestUtil::writeFile;

// A fake process table entry: pid folder with comm, optional cmdline and exe link.
bool addProcess(const QDir &root, int pid, const QByteArray &comm, const QByteArray &cmdline = QByteArray(),
                const QString &exeTarget = QString())
{
    const QString dir = root.filePath(QString::number(pid));
    if (!QDir().mkpath(dir))
        return false;
    if (!comm.isNull() && !writeFile(dir + "/comm", comm + '\n'))
        return false;
    if (!cmdline.isNull() && !writeFile(dir + "/cmdline", cmdline))
        return false;
    if (!exeTarget.isEmpty() && !QFile::link(exeTarget, dir + "/exe"))
        return false;
    return true;
}

} // namespace

class ProcessCountTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void countsThisProcessOnce();
    void unknownNameGivesZero();
    void countsRunningCopies();
    void longNamesAreToldApart();
    void fifteenByteNameIsNotAPrefix();
    void unreadableTableGivesMinusOne();
    void fixtureTable();

private:
    // Starts a copy of a long-running program under the given file name.
    QProcess *startAs(const QString &name);

    std::unique_ptr<QTemporaryDir> tmp_;
    std::vector<std::unique_ptr<QProcess>> children_;
};

void ProcessCountTest::init()
{
    tmp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp_->isValid());
}

void ProcessCountTest::cleanup()
{
    for (auto &p : children_) {
        p->kill();
        p->waitForFinished(5000);
    }
    children_.clear();
    tmp_.reset();
}

QProcess *ProcessCountTest::startAs(const QString &name)
{
    const QString program = tmp_->filePath(name);
    if (!QFile::exists(program) && !QFile::copy(QStringLiteral("/bin/sleep"), program))
        return nullptr;
    QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner);
    auto p = std::make_unique<QProcess>();
    p->start(program, {QStringLiteral("60")});
    if (!p->waitForStarted(5000))
        return nullptr;
    children_.push_back(std::move(p));
    return children_.back().get();
}

void ProcessCountTest::countsThisProcessOnce()
{
    // Another build folder may run this same test program right now, so the
    // exact count is taken by a copy of it under a name of its own, longer
    // than the kernel keeps in "comm".
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QVERIFY(countRunningProcesses(self) >= 1);

    const QString name = QStringLiteral("omr_selfcount_%1_test").arg(QCoreApplication::applicationPid());
    QVERIFY(name.toUtf8().size() > 15);
    const QString copy = tmp_->filePath(name);
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    QProcess child;
    child.start(copy, {QStringLiteral("--count-self")});
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("1"));
}

void ProcessCountTest::unknownNameGivesZero()
{
    QCOMPARE(countRunningProcesses(QStringLiteral("no-such-program-%1").arg(QCoreApplication::applicationPid())), 0);
    QCOMPARE(countRunningProcesses(QStringLiteral("nx%1").arg(QCoreApplication::applicationPid())), 0);
}

void ProcessCountTest::countsRunningCopies()
{
    const QString name = QStringLiteral("omr%1").arg(QCoreApplication::applicationPid());
    QCOMPARE(countRunningProcesses(name), 0);
    QVERIFY(startAs(name));
    QCOMPARE(countRunningProcesses(name), 1);
    QProcess *second = startAs(name);
    QVERIFY(second);
    QCOMPARE(countRunningProcesses(name), 2);
    second->kill();
    QVERIFY(second->waitForFinished(5000));
    QCOMPARE(countRunningProcesses(name), 1);
}

void ProcessCountTest::longNamesAreToldApart()
{
    // Both names share their first 15 bytes, all that "comm" holds.
    const QString stem = QStringLiteral("omr_instance_%1_").arg(QCoreApplication::applicationPid());
    const QString a = stem + "station";
    const QString b = stem + "processor";
    QVERIFY(startAs(a));
    QVERIFY(startAs(b));
    QVERIFY(startAs(b));
    QCOMPARE(countRunningProcesses(a), 1);
    QCOMPARE(countRunningProcesses(b), 2);
    QCOMPARE(countRunningProcesses(stem), 0);
}

void ProcessCountTest::fifteenByteNameIsNotAPrefix()
{
    // A 15-byte name equals the cut-short "comm" of every longer name that
    // starts with it; only the exact name may count.
    const QString exact = QStringLiteral("omr%1").arg(QCoreApplication::applicationPid()).leftJustified(15, 'x');
    QCOMPARE(exact.size(), 15);
    QVERIFY(startAs(exact + "tra"));
    QCOMPARE(countRunningProcesses(exact), 0);
    QVERIFY(startAs(exact));
    QCOMPARE(countRunningProcesses(exact), 1);
}

void ProcessCountTest::unreadableTableGivesMinusOne()
{
    QCOMPARE(countRunningProcesses(QStringLiteral("Ardentiq"), tmp_->filePath("missing")), -1);
    // A folder without any process entry is not a process table.
    QVERIFY(QDir(tmp_->path()).mkpath("empty/sys"));
    QCOMPARE(countRunningProcesses(QStringLiteral("Ardentiq"), tmp_->filePath("empty")), -1);
    QCOMPARE(countRunningProcesses(QString()), -1);
}

void ProcessCountTest::fixtureTable()
{
    QDir root(tmp_->path());
    QVERIFY(root.mkpath("proc/self"));
    QVERIFY(root.cd("proc"));
    QVERIFY(addProcess(root, 1, "systemd"));
    QVERIFY(addProcess(root, 100, "Ardentiq"));
    QVERIFY(addProcess(root, 101, "Ardentiq"));
    QVERIFY(addProcess(root, 102, "ardentiq"));          // names are compared exactly
    QVERIFY(addProcess(root, 103, QByteArray()));        // ended while listed: no comm
    // Long names: "comm" keeps 15 bytes; the rest comes from exe or cmdline.
    QVERIFY(addProcess(root, 200, "ardentiq_statio", QByteArray("/opt/a/ardentiq_station\0--full\0", 31)));
    QVERIFY(addProcess(root, 201, "ardentiq_statio", QByteArray(), "/opt/b/ardentiq_station (deleted)"));
    QVERIFY(addProcess(root, 202, "ardentiq_statio", QByteArray("/opt/ardentiq_stationery\0", 25)));
    QVERIFY(addProcess(root, 203, "ardentiq_statio"));   // nothing to confirm the full name with
    // The exe link wins over a command line that names something else.
    QVERIFY(addProcess(root, 204, "ardentiq_statio", QByteArray("renamed\0", 8), "/opt/c/ardentiq_station"));

    const QString proc = root.path();
    QCOMPARE(countRunningProcesses(QStringLiteral("Ardentiq"), proc), 2);
    QCOMPARE(countRunningProcesses(QStringLiteral("ardentiq"), proc), 1);
    QCOMPARE(countRunningProcesses(QStringLiteral("ardentiq_station"), proc), 3);
    QCOMPARE(countRunningProcesses(QStringLiteral("ardentiq_stationery"), proc), 1);
    QCOMPARE(countRunningProcesses(QStringLiteral("Pellwyn"), proc), 0);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Child mode of countsThisProcessOnce: report how often this program runs.
    if (argc == 2 && qstrcmp(argv[1], "--count-self") == 0) {
        const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        std::printf("%d\n", countRunningProcesses(self));
        return 0;
    }
    ProcessCountTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "processcount_test.moc"

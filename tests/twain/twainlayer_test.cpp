// The memory handles that stand in for global memory, and the loader of the
// data source manager with its trust check.

#include "dsmlibrary.h"
#include "twainmemory.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <atomic>
#include <thread>
#include <vector>

class TwainLayerTest : public QObject
{
    Q_OBJECT

private slots:
    void handleLifecycle();
    void deadAndForeignHandlesRefused_data();
    void deadAndForeignHandlesRefused();
    void handlesFromManyThreads();

    void loaderRefuses_data();
    void loaderRefuses();
    void refusedLibraryNeverRuns();
    void defaultTrustCheck_data();
    void defaultTrustCheck();
    void locateByEnvironment();
};

void TwainLayerTest::handleLifecycle()
{
    TwainMemory memory;
    QCOMPARE(memory.allocate(0), nullptr);
    TW_HANDLE handle = memory.allocate(100);
    QVERIFY(handle);
    QCOMPARE(memory.size(handle), std::size_t(100));
    QCOMPARE(memory.liveHandles(), 1);

    auto *bytes = static_cast<unsigned char *>(memory.lock(handle));
    QVERIFY(bytes);
    QVERIFY(static_cast<void *>(bytes) != handle);  // a handle is no address
    for (int i = 0; i < 100; ++i)
        QCOMPARE(int(bytes[i]), 0);
    bytes[99] = 7;
    QCOMPARE(memory.lock(handle), static_cast<void *>(bytes));  // locks nest, the block stays put
    QCOMPARE(memory.lockCount(handle), 2);
    QVERIFY(memory.unlock(handle));
    QVERIFY(memory.unlock(handle));
    QCOMPARE(memory.lockCount(handle), 0);
    QCOMPARE(int(static_cast<unsigned char *>(memory.lock(handle))[99]), 7);

    QVERIFY(memory.free(handle));
    QCOMPARE(memory.liveHandles(), 0);
}

void TwainLayerTest::deadAndForeignHandlesRefused_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("freed") << 0;
    QTest::newRow("never allocated") << 1;
    QTest::newRow("of another table") << 2;
    QTest::newRow("null") << 3;
}

void TwainLayerTest::deadAndForeignHandlesRefused()
{
    QFETCH(int, kind);
    TwainMemory memory, other;
    TW_HANDLE kept = memory.allocate(8);
    TW_HANDLE handle = nullptr;
    if (kind == 0) {
        handle = memory.allocate(16);
        QVERIFY(memory.free(handle));
    } else if (kind == 1) {
        handle = reinterpret_cast<TW_HANDLE>(std::uintptr_t(kept) + 1000);
    } else if (kind == 2) {
        handle = other.allocate(16);
    }
    QCOMPARE(memory.lock(handle), nullptr);
    QVERIFY(!memory.unlock(handle));
    QVERIFY(!memory.free(handle));
    QCOMPARE(memory.size(handle), std::size_t(0));
    QVERIFY(!memory.isLive(handle));
    // Nothing else was touched.
    QCOMPARE(memory.liveHandles(), 1);
    QVERIFY(memory.isLive(kept));
    QCOMPARE(other.liveHandles(), kind == 2 ? 1 : 0);
    memory.free(kept);
}

void TwainLayerTest::handlesFromManyThreads()
{
    TwainMemory memory;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                TW_HANDLE h = memory.allocate(TW_UINT32(1 + i % 64));
                auto *p = static_cast<unsigned char *>(memory.lock(h));
                if (!p)
                    ++failures;
                else
                    p[0] = 1;
                memory.unlock(h);
                if (!memory.free(h))
                    ++failures;
            }
        });
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(failures.load(), 0);
    QCOMPARE(memory.liveHandles(), 0);
}

void TwainLayerTest::loaderRefuses_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("trusted");
    QTest::addColumn<QString>("message");
    QTest::newRow("relative path") << QStringLiteral("libtwainsim.so") << true << QStringLiteral("full path");
    QTest::newRow("missing file") << QStringLiteral("/nonexistent/libtwaindsm.so") << true << QStringLiteral("does not exist");
    QTest::newRow("trust check says no") << QStringLiteral(TWAIN_SIM_LIBRARY) << false << QStringLiteral("not trusted: tampered");
    QTest::newRow("no DSM_Entry") << QStringLiteral(TWAIN_NODSM_LIBRARY) << true << QStringLiteral("DSM_Entry");
}

void TwainLayerTest::loaderRefuses()
{
    QFETCH(QString, path);
    QFETCH(bool, trusted);
    QFETCH(QString, message);
    QString checked;
    DsmLibrary library([&](const QString &p) {
        checked = p;
        return DsmTrust{trusted, QStringLiteral("tampered")};
    });
    QVERIFY(!library.load(path));
    QVERIFY(!library.isLoaded());
    QVERIFY(!library.entry());
    QVERIFY2(library.errorString().contains(message), qPrintable(library.errorString()));
    // The check sees the file itself, never a name the system would search.
    if (!checked.isEmpty())
        QCOMPARE(checked, QFileInfo(path).canonicalFilePath());

    DsmLibrary good;
    QVERIFY2(good.load(QStringLiteral(TWAIN_SIM_LIBRARY)), qPrintable(good.errorString()));
    QVERIFY(good.entry());
}

void TwainLayerTest::refusedLibraryNeverRuns()
{
    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("ran"));
    qputenv("TWAIN_TEST_MARKER", QFile::encodeName(marker));
    DsmLibrary refusing([](const QString &) { return DsmTrust{false, QStringLiteral("unsigned")}; });
    QVERIFY(!refusing.load(QStringLiteral(TWAIN_NODSM_LIBRARY)));
    QVERIFY(!QFile::exists(marker));

    // Trusted but without an entry point: it did run, and is let go again.
    DsmLibrary trusting([](const QString &) { return DsmTrust{true, QString()}; });
    QVERIFY(!trusting.load(QStringLiteral(TWAIN_NODSM_LIBRARY)));
    QVERIFY(QFile::exists(marker));
    QCOMPARE(trusting.resolve("NotTheManager"), nullptr);
    qunsetenv("TWAIN_TEST_MARKER");
}

void TwainLayerTest::defaultTrustCheck_data()
{
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<bool>("viaLink");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("private copy") << 0644 << 0755 << false << QString();
    QTest::newRow("anyone may write the file") << 0646 << 0755 << false << QStringLiteral("any user");
    QTest::newRow("anyone may write the folder") << 0644 << 0777 << false << QStringLiteral("folder");
    QTest::newRow("link to a private copy") << 0644 << 0755 << true << QString();
}

void TwainLayerTest::defaultTrustCheck()
{
    QFETCH(int, fileMode);
    QFETCH(int, folderMode);
    QFETCH(bool, viaLink);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("lib")));
    const QString folder = dir.filePath(QStringLiteral("lib"));
    const QString copy = folder + QStringLiteral("/libtwaindsm.so");
    QVERIFY(QFile::copy(QStringLiteral(TWAIN_SIM_LIBRARY), copy));
    QCOMPARE(::chmod(QFile::encodeName(copy).constData(), mode_t(fileMode)), 0);
    QCOMPARE(::chmod(QFile::encodeName(folder).constData(), mode_t(folderMode)), 0);
    QString path = copy;
    if (viaLink) {
        path = dir.filePath(QStringLiteral("link.so"));
        QVERIFY(QFile::link(copy, path));
    }

    const DsmTrust trust = defaultDsmTrustCheck(QFileInfo(path).canonicalFilePath());
    QCOMPARE(trust.trusted, refusal.isEmpty());
    if (!refusal.isEmpty())
        QVERIFY2(trust.reason.contains(refusal), qPrintable(trust.reason));
    DsmLibrary library;
    QCOMPARE(library.load(path), refusal.isEmpty());
    if (refusal.isEmpty())
        QCOMPARE(library.path(), QFileInfo(copy).canonicalFilePath());
    library.unload();
    ::chmod(QFile::encodeName(folder).constData(), 0755);
}

void TwainLayerTest::locateByEnvironment()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("libmydsm.so"));
    QVERIFY(QFile::copy(QStringLiteral(TWAIN_NODSM_LIBRARY), file));

    struct Case
    {
        QByteArray name, folder;
        QString expected;
    };
    const Case cases[] = {
        {"libmydsm.so", QFile::encodeName(dir.path()), file},
        {QFile::encodeName(file), QByteArray(), file},
        {"libmissing.so", QFile::encodeName(dir.path()), QString()},
        {"../libmydsm.so", QFile::encodeName(dir.path() + QStringLiteral("/sub")), QString()},
        {"libmydsm.so", "relative/folder", QString()},
    };
    for (const Case &c : cases) {
        qputenv("VOSTRA_TWAIN_DSM", c.name);
        if (c.folder.isEmpty())
            qunsetenv("VOSTRA_TWAIN_DSM_DIR");
        else
            qputenv("VOSTRA_TWAIN_DSM_DIR", c.folder);
        QCOMPARE(DsmLibrary::locate(), c.expected);
    }
    qunsetenv("VOSTRA_TWAIN_DSM");
    qunsetenv("VOSTRA_TWAIN_DSM_DIR");
}

QTEST_GUILESS_MAIN(TwainLayerTest)
#include "twainlayer_test.moc"

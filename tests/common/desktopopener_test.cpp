#include "desktopopener.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class DesktopOpenerTest : public QObject {
    Q_OBJECT

private slots:
    void localUrl_data();
    void localUrl();
    void openLocalPathRecordsFolderUrl();
    void emptyPathOpensNothing();
    void showFileOpensItsFolder();
    void webPageAndFailure();
    void recordersNest();
};

void DesktopOpenerTest::localUrl_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expectedPath");

    const QString cwd = QDir::currentPath();
    QTest::newRow("plain path") << "/srv/sheets/123" << "/srv/sheets/123";
    QTest::newRow("with spaces and CJK") << "/srv/答卷 图片" << "/srv/答卷 图片";
    QTest::newRow("file url") << "file:///srv/sheets" << "/srv/sheets";
    // Callers build "file:///" + the field's text; with an absolute path that
    // gives four slashes, which must not turn into a network host.
    QTest::newRow("file prefix plus absolute path") << "file:///" + QStringLiteral("/srv/sheets") << "/srv/sheets";
    QTest::newRow("percent-encoded") << "file:///srv/a%20b" << "/srv/a b";
    QTest::newRow("relative") << "scan/out" << cwd + "/scan/out";
    QTest::newRow("surrounding blanks") << "  /srv/x  " << "/srv/x";
    QTest::newRow("dot segments") << "/srv/a/../b" << "/srv/b";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("blank") << "   " << "";
    QTest::newRow("file scheme without path") << "file:" << "";
}

void DesktopOpenerTest::localUrl()
{
    QFETCH(QString, input);
    QFETCH(QString, expectedPath);
    const QUrl url = DesktopOpener::localUrl(input);
    if (expectedPath.isEmpty()) {
        QVERIFY(!url.isValid() || url.isEmpty());
        return;
    }
    QVERIFY(url.isLocalFile());
    QCOMPARE(url.host(), QString());
    QCOMPARE(url.toLocalFile(), expectedPath);
}

void DesktopOpenerTest::openLocalPathRecordsFolderUrl()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    DesktopOpenRecorder rec;
    QVERIFY(DesktopOpener::openLocalPath(dir.path()));
    QVERIFY(DesktopOpener::openLocalPath(QStringLiteral("file:///") + dir.path()));
    QCOMPARE(rec.urls.size(), 2);
    QCOMPARE(rec.urls.at(0), QUrl::fromLocalFile(dir.path()));
    QCOMPARE(rec.urls.at(1), QUrl::fromLocalFile(dir.path()));
}

void DesktopOpenerTest::emptyPathOpensNothing()
{
    DesktopOpenRecorder rec;
    QVERIFY(!DesktopOpener::openLocalPath(QString()));
    QVERIFY(!DesktopOpener::showFile(QString()));
    QVERIFY(!DesktopOpener::openUrl(QUrl()));
    QVERIFY(rec.urls.isEmpty());
}

void DesktopOpenerTest::showFileOpensItsFolder()
{
    DesktopOpenRecorder rec;
    QVERIFY(DesktopOpener::showFile(QStringLiteral("/srv/exam/sheets/S0007.jpg")));
    QCOMPARE(rec.urls, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/srv/exam/sheets"))});
}

void DesktopOpenerTest::webPageAndFailure()
{
    DesktopOpenRecorder rec;
    const QUrl page(QStringLiteral("https://platform.example/download/show/pellwyn"));
    QVERIFY(DesktopOpener::openUrl(page));
    rec.result = false; // e.g. no browser
    QVERIFY(!DesktopOpener::openUrl(page));
    QCOMPARE(rec.urls, (QList<QUrl>{page, page}));
}

void DesktopOpenerTest::recordersNest()
{
    DesktopOpenRecorder outer;
    {
        DesktopOpenRecorder inner;
        DesktopOpener::openLocalPath(QStringLiteral("/a"));
        QCOMPARE(inner.urls.size(), 1);
    }
    DesktopOpener::openLocalPath(QStringLiteral("/b"));
    QCOMPARE(outer.urls, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/b"))});
}

QTEST_GUILESS_MAIN(DesktopOpenerTest)
#include "desktopopener_test.moc"

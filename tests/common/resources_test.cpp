#include "omrresources.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QSvgRenderer>
#include <QTranslator>
#include <QtTest>

namespace {

// Every picture the three programs load by name.
const char *const kImages[] = {
    "180.png", "Pellwyn.ico", "about.png", "absentmark.png", "accept.png", "add.png", "anti-clockwise.png",
    "back.png", "check.png", "checked2.png", "clockwise.png", "cloud.png", "code.png", "connect.png",
    "delete.png", "disconnect.png", "edit.png", "error.png", "exam.png", "files.png", "fit.png", "folder.png",
    "hide.png", "hold-on-red.png", "hold-on.png", "hor.png", "image.png", "images.png", "info.png",
    "internet.png", "key.png", "leftdown.png", "leftup.png", "locate.png", "lock.png", "logo.jpg",
    "measure.png", "name.png", "no.png", "object.png", "optional.png", "original.png", "path.png",
    "print-text-anchor.png", "rectangle.png", "refresh.png", "rightdown.png", "rightup.png", "roi.png",
    "rotate.png", "scan.png", "search-image.png", "search.png", "setting.png", "setting_scan.png", "show.png",
    "sort.png", "start.png", "stat.png", "stop.png", "stop2.png", "subject.png", "toolBar_edit.png",
    "toolBar_new.png", "toolBar_save.png", "uncheck.png", "unchecked.png", "undo.png", "unlock.png", "up.png",
    "upgrade.png", "upload.png", "ver.png", "yes.png", "zoom-in.png", "zoom-out.png",
};

const char *const kSvgs[] = {"about.svg", "checked.svg", "setting.svg", "unchecked.svg"};

// The exam list looks badges up by the subject's first character.
const char *const kSubjects[] = {"语", "数", "英", "物", "化", "生", "政", "历", "史", "地", "音", "美", "体", "自",
                                 "科", "信", "计", "微", "道", "法", "社", "理", "文", "外", "日", "俄", "韩", "考"};

const QString kImageRoot = QStringLiteral(":/image/res/images/");

} // namespace

class ResourcesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void images_data();
    void images();
    void formatsMatchNames();
    void subjectBadges();
    void svgs();
    void everyCompiledImageLoads();
    void translation();
};

void ResourcesTest::initTestCase()
{
    initOmrResources();
    initOmrResources();                                  // a second call is harmless
    QVERIFY(QFile::exists(kImageRoot + "zoom-in.png"));
}

void ResourcesTest::images_data()
{
    QTest::addColumn<QString>("path");
    for (const char *name : kImages)
        QTest::newRow(name) << kImageRoot + QString::fromUtf8(name);
}

void ResourcesTest::images()
{
    QFETCH(QString, path);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    // Toolbar icons are drawn for 32 pixels and stored sharper than that.
    QVERIFY(image.width() >= 32 && image.height() >= 32);
    QVERIFY(!QIcon(path).isNull());
    // Not blank: at least one pixel differs from the top-left corner.
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb corner = argb.pixel(0, 0);
    bool drawn = false;
    for (int y = 0; y < argb.height() && !drawn; ++y)
        for (int x = 0; x < argb.width() && !drawn; ++x)
            drawn = argb.pixel(x, y) != corner;
    QVERIFY(drawn);
}

void ResourcesTest::formatsMatchNames()
{
    // The name's suffix is a promise about the bytes behind it.
    for (const char *name : kImages) {
        const QString path = kImageRoot + QString::fromUtf8(name);
        QImageReader reader(path);
        const QByteArray format = reader.format();
        const QString suffix = QFileInfo(path).suffix().toLower();
        const QByteArray expected = suffix == "jpg" ? QByteArray("jpeg") : suffix.toLatin1();
        QVERIFY2(format == expected, qPrintable(path + " is " + QString::fromLatin1(format)));
    }
    // Transparent icons, an opaque logo.
    QVERIFY(QImage(kImageRoot + "zoom-in.png").hasAlphaChannel());
    QVERIFY(QImage(kImageRoot + "logo.jpg").pixelColor(0, 0) == QColor(Qt::white)
            || QImage(kImageRoot + "logo.jpg").pixelColor(0, 0).lightness() > 240);
}

void ResourcesTest::subjectBadges()
{
    for (const char *subject : kSubjects) {
        const QString path = kImageRoot + "subjects/" + QString::fromUtf8(subject) + ".png";
        const QImage badge(path);
        QVERIFY2(!badge.isNull(), qPrintable(path));
        QCOMPARE(badge.size(), QSize(128, 128));
    }
    // A subject without a badge falls back to the exam badge, which must exist.
    QVERIFY(!QFile::exists(kImageRoot + "subjects/X.png"));
    QVERIFY(QFile::exists(kImageRoot + QStringLiteral("subjects/考.png")));
}

void ResourcesTest::svgs()
{
    for (const char *name : kSvgs) {
        const QString path = QStringLiteral(":/svgs/res/svgs/") + QString::fromUtf8(name);
        QSvgRenderer renderer(path);
        QVERIFY2(renderer.isValid(), qPrintable(path));
        QVERIFY(!renderer.defaultSize().isEmpty());
        const QIcon icon(path);
        QVERIFY(!icon.isNull());
        QVERIFY(!icon.pixmap(24, 24).isNull());
    }
}

void ResourcesTest::everyCompiledImageLoads()
{
    int count = 0;
    QDirIterator it(QStringLiteral(":/image/res/images"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QVERIFY2(!QImage(path).isNull(), qPrintable(path));
        ++count;
    }
    QCOMPARE(count, int(std::size(kImages) + std::size(kSubjects)));
}

void ResourcesTest::translation()
{
    const QString path = QStringLiteral(":/translations/res/translations/qt_zh_CN.qm");
    QVERIFY(QFile::exists(path));
    QTranslator translator;
    // The catalogue loads its module catalogues from the same folder; a
    // missing one would make the load fail.
    QVERIFY(translator.load(path));
    QVERIFY(QCoreApplication::installTranslator(&translator));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("确定"));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("是(&Y)"));
    QCoreApplication::removeTranslator(&translator);
}

QTEST_MAIN(ResourcesTest)
#include "resources_test.moc"

// The selection drawn with the mouse through the window system, as a user
// draws it: a press in the grey beside or below the page never gives an
// inside-out rectangle, at fit zoom and at full size, and a selection too
// small for a section creates none. Context menus over the canvas take the
// keyboard while they run.

// Mouse events go through the window system: the widget under the pointer
// gets the press, and the moves with the button held follow it.
#define QTEST_QPA_MOUSE_HANDLING

#include "selectionfixture.h"

#include "dialogsectionsubject.h"
#include "messagebox.h"
#include "omrresources.h"
#include "questionsections.h"
#include "widgettestutil.h"

#include <QCursor>
#include <QDialog>
#include <QMenu>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

using SelectionTest::PageScene;

namespace {

// While it lives, runs `onMenu` once on the first popup menu that opens,
// with the keys going through the window system to whoever Qt delivers them.
// A menu still open on the tick after `onMenu` did not react to it: it is
// closed so nothing hangs, and `stuck` tells.
class MenuDriver {
public:
    explicit MenuDriver(std::function<void(QMenu *)> onMenu)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this, onMenu] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            if (driven) {
                stuck = true;
                menu->close();
                return;
            }
            driven = true;
            grabberWhileOpen = QWidget::keyboardGrabber();
            onMenu(menu);
        });
        m_timer.start();
    }
    bool driven = false;
    bool stuck = false;
    QWidget *grabberWhileOpen = nullptr;

private:
    QTimer m_timer;
};

// A left drag from `press` to `to`, as the window system delivers it.
void drag(QWidget *canvas, const QPoint &press, const QPoint &to)
{
    QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, press);
    QTest::mouseMove(canvas, to);
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, to);
}

void typeKey(QMenu *menu, Qt::Key key)
{
    QTest::keyClick(menu->windowHandle(), key);
}

} // namespace

class CanvasSelectionTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void pressOffThePageNeverTurnsTheSelection_data();
    void pressOffThePageNeverTurnsTheSelection();
    void tinySelectionCreatesNoSection_data();
    void tinySelectionCreatesNoSection();

    void menusTakeTheKeyboard_data();
    void menusTakeTheKeyboard();
};

void CanvasSelectionTest::initTestCase()
{
    initOmrResources();
}

void CanvasSelectionTest::pressOffThePageNeverTurnsTheSelection_data()
{
    QTest::addColumn<QSize>("pageSize");
    QTest::addColumn<bool>("fit");
    // Points relative to the shown page's bottom-right corner (W, H) when
    // the flag says so, else plain canvas pixels.
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QPoint>("fromCorner");   // (1,0): x relative to W; (0,1): y relative to H
    QTest::addColumn<QRect>("expected");      // relative like the points

    const QSize tall(1240, 1754);   // at fit zoom: grey beside the page
    const QSize wide(2480, 1000);   // at fit zoom: grey below the page
    const QSize small(360, 240);    // at full size: grey beside and below
    const QPoint right(1, 0), below(0, 1), corner(1, 1);

    QTest::newRow("fit, beside, back onto the page")
        << tall << true << QPoint(40, 30) << QPoint(-60, 80) << right << QRect(-60, 30, 60, 51);
    QTest::newRow("fit, beside, staying beside")
        << tall << true << QPoint(40, 30) << QPoint(120, 90) << right << QRect(-1, 30, 1, 61);
    QTest::newRow("fit, below, back onto the page")
        << wide << true << QPoint(40, 30) << QPoint(90, -50) << below << QRect(40, -50, 51, 50);
    QTest::newRow("fit, below, staying below")
        << wide << true << QPoint(40, 30) << QPoint(90, 80) << below << QRect(40, -1, 51, 1);
    QTest::newRow("full size, beside, back onto the page")
        << small << false << QPoint(40, 30) << QPoint(-60, 80) << right << QRect(-60, 30, 60, 51);
    QTest::newRow("full size, beside, staying beside")
        << small << false << QPoint(40, 30) << QPoint(120, 90) << right << QRect(-1, 30, 1, 61);
    QTest::newRow("full size, below, staying below")
        << small << false << QPoint(40, 30) << QPoint(90, 80) << below << QRect(40, -1, 51, 1);
    QTest::newRow("full size, beyond the corner")
        << small << false << QPoint(30, 30) << QPoint(50, 60) << corner << QRect(-1, -1, 1, 1);
}

void CanvasSelectionTest::pressOffThePageNeverTurnsTheSelection()
{
    QFETCH(QSize, pageSize);
    QFETCH(bool, fit);
    QFETCH(QPoint, press);
    QFETCH(QPoint, to);
    QFETCH(QPoint, fromCorner);
    QFETCH(QRect, expected);

    PageScene scene(1, pageSize.width(), pageSize.height());
    QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
    scene.show(1);
    MyLabel *canvas = scene.canvas;
    if (fit) {
        auto *button = scene.window.view->findChild<QToolButton *>(QStringLiteral("toolButtonFit"));
        QVERIFY(button);
        button->click();
        QVERIFY(canvas->scale < 0.5f);
    }
    const QSize shown = canvas->shownImage.size();
    const QPoint offset(fromCorner.x() * shown.width(), fromCorner.y() * shown.height());
    press += offset;
    to += offset;
    expected.translate(offset);
    // The press really lands in the grey: on the canvas, off the page.
    QVERIFY(canvas->rect().contains(press));
    QVERIFY(canvas->rect().contains(to));
    QVERIFY(!QRect(QPoint(0, 0), shown).contains(press));

    drag(canvas, press, to);

    QCOMPARE(canvas->selectionRect, expected);
    QCOMPARE(canvas->rubberBand->geometry(), expected);
    QVERIFY(QRect(QPoint(0, 0), shown).contains(canvas->rubberBand->geometry()));
}

void CanvasSelectionTest::tinySelectionCreatesNoSection_data()
{
    QTest::addColumn<float>("zoom");
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<bool>("created");

    // Page 300 x 400, smaller than the view: grey beside and below it.
    QTest::newRow("one pixel wide, beside the page") << 1.0f << QPoint(340, 100) << QPoint(360, 300) << false;
    QTest::newRow("one pixel high, below the page") << 1.0f << QPoint(100, 440) << QPoint(250, 470) << false;
    QTest::newRow("three pixels wide") << 1.0f << QPoint(100, 100) << QPoint(102, 300) << false;
    QTest::newRow("four pixels wide") << 1.0f << QPoint(100, 100) << QPoint(103, 300) << true;
    // At zoom 2, four canvas pixels are two page pixels.
    QTest::newRow("four canvas pixels at zoom 2") << 2.0f << QPoint(100, 100) << QPoint(103, 300) << false;
    QTest::newRow("from beside the page onto it") << 1.0f << QPoint(340, 100) << QPoint(200, 300) << true;
}

void CanvasSelectionTest::tinySelectionCreatesNoSection()
{
    QFETCH(float, zoom);
    QFETCH(QPoint, press);
    QFETCH(QPoint, to);
    QFETCH(bool, created);

    PageScene scene(1, 300, 400);
    QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
    scene.show(1);
    scene.setZoom(zoom);
    MyLabel *canvas = scene.canvas;
    QVERIFY(canvas->rect().contains(press));
    QVERIFY(canvas->rect().contains(to));

    drag(canvas, press, to);
    QVERIFY(canvas->rubberBand->isVisible());

    MessageBoxRecorder boxes;
    WidgetTest::WhenShown<DialogSectionSubject> answer([](DialogSectionSubject *d) {
        d->blockNumber = 1;
        d->done(QDialog::Accepted);
    });
    canvas->rubberBand->setSectionSubject();
    if (!created) {
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().title, QStringLiteral("提示"));
        QVERIFY2(boxes.last().text.contains(QStringLiteral("选择区域太小")), qPrintable(boxes.last().text));
        QVERIFY(scene.sections().isEmpty());
        QVERIFY(canvas->rubberBand->isVisible());
        return;
    }
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(scene.sections().size(), 1);
    const MySectionBase *s = scene.sections().first();
    QVERIFY(s->Width >= MyRubberBandContainer::kMinSectionPixels);
    QVERIFY(s->Height >= MyRubberBandContainer::kMinSectionPixels);
    QVERIFY(QRect(0, 0, 300, 400).contains(QRect(s->X, s->Y, s->Width, s->Height)));
}

void CanvasSelectionTest::menusTakeTheKeyboard_data()
{
    QTest::addColumn<bool>("sectionMenu");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("effect");

    QTest::newRow("section menu, Escape") << true << int(Qt::Key_Escape) << "closed";
    QTest::newRow("section menu, mnemonic H hides") << true << int(Qt::Key_H) << "hidden";
    QTest::newRow("selection menu, Escape") << false << int(Qt::Key_Escape) << "closed";
    QTest::newRow("selection menu, mnemonic M measures") << false << int(Qt::Key_M) << "measured";
}

void CanvasSelectionTest::menusTakeTheKeyboard()
{
    QFETCH(bool, sectionMenu);
    QFETCH(int, key);
    QFETCH(QString, effect);

    PageScene scene(1, 600, 800);
    QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
    scene.show(1);
    MyLabel *canvas = scene.canvas;
    auto *block = new MySectionSubject(canvas, 1, 1);
    block->X = 50;
    block->Y = 60;
    block->Width = 120;
    block->Height = 80;
    block->setGeometry(50, 60, 120, 80);
    canvas->sectionList().append(block);
    block->show();
    scene.select(QRect(300, 300, 40, 30));

    QWidget *target = sectionMenu ? static_cast<QWidget *>(block) : canvas->rubberBand;
    const QPoint at(10, 10);
    // The pointer comes over the canvas: it takes the keyboard.
    QCursor::setPos(target->mapToGlobal(at));
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(canvas, &enter);
    QCOMPARE(QWidget::keyboardGrabber(), canvas);

    MessageBoxRecorder boxes;
    MenuDriver driver([key, canvas](QMenu *menu) {
        // The pointer crosses the canvas while the menu is open.
        QEvent enterAgain(QEvent::Enter);
        QApplication::sendEvent(canvas, &enterAgain);
        typeKey(menu, Qt::Key(key));
    });
    QTest::mousePress(target, Qt::RightButton, Qt::NoModifier, at);
    QTest::mouseRelease(target, Qt::RightButton, Qt::NoModifier, at);
    QTRY_VERIFY(driver.driven);
    QTRY_VERIFY(!QApplication::activePopupWidget());

    QVERIFY2(!driver.stuck, "the open menu never saw the key");
    QCOMPARE(driver.grabberWhileOpen, nullptr);
    // The pointer is still over the canvas: the grab is back.
    QCOMPARE(QWidget::keyboardGrabber(), canvas);

    if (effect == QLatin1String("hidden")) {
        QVERIFY(block->hidden);
    } else if (effect == QLatin1String("measured")) {
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.last().text.startsWith(QStringLiteral("测量完成")), qPrintable(boxes.last().text));
        QCOMPARE(canvas->rubberBand->markPointWidth, 40);
        QCOMPARE(canvas->rubberBand->markPointHeight, 30);
    } else {
        QCOMPARE(boxes.count(), 0);
        QVERIFY(!block->hidden);
    }
    canvas->releaseKeyboard();
}

QTEST_MAIN(CanvasSelectionTest)
#include "canvasselection_test.moc"

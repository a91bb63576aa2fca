#include "myclickablelabel.h"
#include "myscrollarea.h"
#include "myscrollareaforduplicatecheck.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(MyScrollArea::Variant)

namespace {

// Where a drag should have taken the view: nowhere, or from the point
// recorded at the right or at the left press.
enum class Expect { Still, FromRight, FromLeft };

// Mouse events go to the content widget, as the user's pointer would: the
// content leaves them unaccepted and they travel on to the scroll area.
struct Pointer {
    QAbstractScrollArea *area;
    QWidget *content;

    void send(QEvent::Type type, QPoint viewportPos, Qt::MouseButton button, Qt::MouseButtons held)
    {
        const QPoint local = content->mapFrom(area->viewport(), viewportPos);
        QMouseEvent event(type, local, content->mapToGlobal(local), button, held, Qt::NoModifier);
        QApplication::sendEvent(content, &event);
    }
    void press(QPoint p, Qt::MouseButton b, Qt::MouseButtons held) { send(QEvent::MouseButtonPress, p, b, held); }
    void move(QPoint p, Qt::MouseButtons held) { send(QEvent::MouseMove, p, Qt::NoButton, held); }
    void release(QPoint p, Qt::MouseButton b, Qt::MouseButtons held) { send(QEvent::MouseButtonRelease, p, b, held); }
    QPoint bars() const { return QPoint(area->horizontalScrollBar()->value(), area->verticalScrollBar()->value()); }
    void setBars(QPoint p)
    {
        area->horizontalScrollBar()->setValue(p.x());
        area->verticalScrollBar()->setValue(p.y());
    }
};

template <class Area>
std::unique_ptr<Area> makeArea(QWidget **content)
{
    auto area = std::make_unique<Area>();
    auto *big = new QWidget;
    big->setFixedSize(2000, 1500);
    area->setWidget(big);
    area->resize(300, 200);
    area->show();
    *content = big;
    return area;
}

// Real users of these areas put a label over the viewport; a wheel turn or a
// page key there must not scroll.
void checkWheelAndKeysDoNotScroll(QAbstractScrollArea *area, QWidget *content)
{
    Pointer ptr{area, content};
    ptr.setBars(QPoint(300, 300));
    // Qt hands only spontaneous wheel events on to parents, so this one goes
    // straight to the viewport, where the content would have let it through.
    const QPoint at(50, 50);
    for (QPoint delta : {QPoint(0, -240), QPoint(0, 240), QPoint(-240, 0)}) {
        QWheelEvent wheel(at, area->viewport()->mapToGlobal(at), QPoint(), delta, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(area->viewport(), &wheel);
        QCOMPARE(ptr.bars(), QPoint(300, 300));
    }

    for (int key : {Qt::Key_PageDown, Qt::Key_Down, Qt::Key_Right, Qt::Key_End}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(area, &press);
        QCOMPARE(ptr.bars(), QPoint(300, 300));
    }
}

} // namespace

Q_DECLARE_METATYPE(Expect)

class WidgetsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void scrollAreaDrag_data();
    void scrollAreaDrag();
    void scrollAreaFollowsPointerAcrossMoves();
    void scrollAreaDefaultVariant();
    void scrollAreaBarsHaveNoContextMenu();
    void scrollAreaIgnoresWheelAndKeys();
    void duplicateCheckAreaDrag_data();
    void duplicateCheckAreaDrag();
    void duplicateCheckAreaCursor();
    void duplicateCheckAreaIgnoresWheelAndKeys();
    void clickableLabel_data();
    void clickableLabel();
};

void WidgetsTest::cleanup()
{
    MyScrollArea::setDefaultVariant(MyScrollArea::Variant::Processor);
}

void WidgetsTest::scrollAreaDrag_data()
{
    using V = MyScrollArea::Variant;
    QTest::addColumn<V>("variant");
    QTest::addColumn<bool>("dragEnabled");
    // Buttons pressed, in order; the move holds all of them.
    QTest::addColumn<QList<int>>("presses");
    QTest::addColumn<Expect>("expect");

    const int L = Qt::LeftButton, R = Qt::RightButton, M = Qt::MiddleButton;
    QTest::newRow("processor right") << V::Processor << true << QList<int>{R} << Expect::FromRight;
    QTest::newRow("processor right, switch off") << V::Processor << false << QList<int>{R} << Expect::Still;
    QTest::newRow("processor left draws, never pans") << V::Processor << true << QList<int>{L} << Expect::Still;
    QTest::newRow("processor both held") << V::Processor << true << QList<int>{R, L} << Expect::Still;
    QTest::newRow("processor middle") << V::Processor << true << QList<int>{M} << Expect::Still;
    QTest::newRow("designer right") << V::Designer << true << QList<int>{R} << Expect::FromRight;
    QTest::newRow("designer has no switch") << V::Designer << false << QList<int>{R} << Expect::FromRight;
    QTest::newRow("designer left") << V::Designer << true << QList<int>{L} << Expect::Still;
    QTest::newRow("scanner right") << V::Scanner << true << QList<int>{R} << Expect::FromRight;
    QTest::newRow("scanner left") << V::Scanner << true << QList<int>{L} << Expect::FromLeft;
    QTest::newRow("scanner both, left wins") << V::Scanner << true << QList<int>{R, L} << Expect::FromLeft;
    QTest::newRow("scanner both, left pressed first") << V::Scanner << true << QList<int>{L, R} << Expect::FromLeft;
    QTest::newRow("scanner left, switch off") << V::Scanner << false << QList<int>{L} << Expect::Still;
    QTest::newRow("scanner right, switch off") << V::Scanner << false << QList<int>{R} << Expect::Still;
    QTest::newRow("scanner middle") << V::Scanner << true << QList<int>{M} << Expect::Still;
}

void WidgetsTest::scrollAreaDrag()
{
    QFETCH(MyScrollArea::Variant, variant);
    QFETCH(bool, dragEnabled);
    QFETCH(QList<int>, presses);
    QFETCH(Expect, expect);

    QWidget *content = nullptr;
    auto area = makeArea<MyScrollArea>(&content);
    area->setVariant(variant);
    area->dragEnabled = dragEnabled;
    Pointer ptr{area.get(), content};

    const QPoint start(400, 300);
    ptr.setBars(start);
    // Each button goes down at its own point, so the start it pans from shows.
    const QPoint rightAt(120, 90), leftAt(60, 40), middleAt(200, 150);
    Qt::MouseButtons held;
    for (int b : presses) {
        const auto button = Qt::MouseButton(b);
        held |= button;
        const QPoint at = button == Qt::RightButton ? rightAt : button == Qt::LeftButton ? leftAt : middleAt;
        ptr.press(at, button, held);
        QCOMPARE(ptr.bars(), start); // a press alone never scrolls
    }
    const QPoint to(30, 20);
    ptr.move(to, held);

    QPoint expected = start;
    if (expect == Expect::FromRight)
        expected = start + rightAt - to;
    else if (expect == Expect::FromLeft)
        expected = start + leftAt - to;
    QCOMPARE(ptr.bars(), expected);
}

void WidgetsTest::scrollAreaFollowsPointerAcrossMoves()
{
    // The start point is fixed at the press; every move places the view
    // relative to it, so the content stays under the pointer.
    QWidget *content = nullptr;
    auto area = makeArea<MyScrollArea>(&content);
    Pointer ptr{area.get(), content};
    ptr.setBars(QPoint(500, 500));
    ptr.press(QPoint(100, 100), Qt::RightButton, Qt::RightButton);
    ptr.move(QPoint(90, 80), Qt::RightButton);
    QCOMPARE(ptr.bars(), QPoint(510, 520));
    ptr.move(QPoint(140, 150), Qt::RightButton);
    QCOMPARE(ptr.bars(), QPoint(460, 450));
    // Past the edge the bars stop at their limits.
    ptr.move(QPoint(5000, 5000), Qt::RightButton);
    QCOMPARE(ptr.bars(), QPoint(0, 0));
    ptr.release(QPoint(140, 150), Qt::RightButton, Qt::NoButton);
    // Moving with nothing held changes nothing.
    ptr.move(QPoint(10, 10), Qt::NoButton);
    QCOMPARE(ptr.bars(), QPoint(0, 0));
}

void WidgetsTest::scrollAreaDefaultVariant()
{
    QCOMPARE(MyScrollArea().variant(), MyScrollArea::Variant::Processor);
    MyScrollArea::setDefaultVariant(MyScrollArea::Variant::Scanner);
    MyScrollArea scanner;
    QCOMPARE(scanner.variant(), MyScrollArea::Variant::Scanner);
    QVERIFY(scanner.dragEnabled);
    QCOMPARE(scanner.dragStart, QPoint(0, 0));
}

void WidgetsTest::scrollAreaBarsHaveNoContextMenu()
{
    MyScrollArea area;
    QCOMPARE(area.horizontalBar, area.horizontalScrollBar());
    QCOMPARE(area.verticalBar, area.verticalScrollBar());
    QCOMPARE(area.horizontalBar->contextMenuPolicy(), Qt::NoContextMenu);
    QCOMPARE(area.verticalBar->contextMenuPolicy(), Qt::NoContextMenu);
    MyScrollAreaForDuplicateCheck other;
    QCOMPARE(other.horizontalBar->contextMenuPolicy(), Qt::NoContextMenu);
    QCOMPARE(other.verticalBar->contextMenuPolicy(), Qt::NoContextMenu);
}

void WidgetsTest::scrollAreaIgnoresWheelAndKeys()
{
    QWidget *content = nullptr;
    auto area = makeArea<MyScrollArea>(&content);
    checkWheelAndKeysDoNotScroll(area.get(), content);
}

void WidgetsTest::duplicateCheckAreaDrag_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("dragEnabled");
    QTest::addColumn<bool>("pans");
    QTest::newRow("left") << int(Qt::LeftButton) << true << true;
    QTest::newRow("left, switch off") << int(Qt::LeftButton) << false << false;
    QTest::newRow("right") << int(Qt::RightButton) << true << false;
    QTest::newRow("middle") << int(Qt::MiddleButton) << true << false;
}

void WidgetsTest::duplicateCheckAreaDrag()
{
    QFETCH(int, button);
    QFETCH(bool, dragEnabled);
    QFETCH(bool, pans);

    QWidget *content = nullptr;
    auto area = makeArea<MyScrollAreaForDuplicateCheck>(&content);
    area->dragEnabled = dragEnabled;
    Pointer ptr{area.get(), content};
    ptr.setBars(QPoint(200, 100));
    const auto b = Qt::MouseButton(button);
    ptr.press(QPoint(150, 120), b, b);
    ptr.move(QPoint(100, 150), b);
    QCOMPARE(ptr.bars(), pans ? QPoint(250, 70) : QPoint(200, 100));
}

void WidgetsTest::duplicateCheckAreaCursor()
{
    QWidget *content = nullptr;
    auto area = makeArea<MyScrollAreaForDuplicateCheck>(&content);
    Pointer ptr{area.get(), content};
    ptr.press(QPoint(10, 10), Qt::LeftButton, Qt::LeftButton);
    QCOMPARE(area->cursor().shape(), Qt::ClosedHandCursor);
    ptr.release(QPoint(10, 10), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(area->cursor().shape(), Qt::ArrowCursor);
}

void WidgetsTest::duplicateCheckAreaIgnoresWheelAndKeys()
{
    QWidget *content = nullptr;
    auto area = makeArea<MyScrollAreaForDuplicateCheck>(&content);
    checkWheelAndKeysDoNotScroll(area.get(), content);
}

namespace {
class ReleaseCounter : public QWidget {
public:
    int releases = 0;

protected:
    void mouseReleaseEvent(QMouseEvent *) override { ++releases; }
};
} // namespace

void WidgetsTest::clickableLabel_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("clicks");
    QTest::newRow("left") << int(Qt::LeftButton) << 1;
    QTest::newRow("right") << int(Qt::RightButton) << 0;
    QTest::newRow("middle") << int(Qt::MiddleButton) << 0;
}

void WidgetsTest::clickableLabel()
{
    QFETCH(int, button);
    QFETCH(int, clicks);

    ReleaseCounter parent;
    auto *label = new MyClickableLabel(&parent);
    label->setText(QStringLiteral("logo"));
    label->resize(64, 64);
    parent.show();
    QSignalSpy spy(label, &MyClickableLabel::clicked);

    const auto b = Qt::MouseButton(button);
    QTest::mousePress(label, b, Qt::NoModifier, QPoint(10, 10));
    QCOMPARE(spy.count(), 0); // a press is not a click
    QTest::mouseRelease(label, b, Qt::NoModifier, QPoint(10, 10));
    QCOMPARE(spy.count(), clicks);
    // The release travels on to the parent, as for a plain label.
    QCOMPARE(parent.releases, 1);
}

QTEST_MAIN(WidgetsTest)
#include "widgets_test.moc"

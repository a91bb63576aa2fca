// Irregular objective questions and their option bubbles.

#include "questionsections.h"
#include "sectiontestevents.h"
#include "testsectionhost.h"

#include <QMenu>
#include <QPointer>
#include <QtTest>

#include <memory>

using namespace SectionTest;

namespace {

QRect fields(const MySectionBase *s)
{
    return QRect(s->X, s->Y, s->Width, s->Height);
}

} // namespace

class SectionBubbleTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void letters();
    void keys_data();
    void keys();
    void shiftReleasedElsewhereStaysSet();
    void hoverPassesKeyboardGrab();
    void bubbleDragHeldInside_data();
    void bubbleDragHeldInside();
    void bubbleResizeStopsAtQuestionEdge();
    void questionDragMovesBubbles();
    void placeOptionHoldsInside_data();
    void placeOptionHoldsInside();
    void placeOptionsIgnoresBadIndex();
    void resizeReplacesTheBubbleItself();
    void optionsExtent();
    void questionResizeNeverSmallerThanBubbles();
    void hideTakesBubbles();
    void questionEnterLeave();
    void destroyingQuestionDeletesBubblesAtOnce();
    void menuDeleteTakesBubbles();
    void bubbleDeletedAloneLeavesQuestion();
    void bubbleOutlivingItsQuestion();

private:
    // A question at page (80, 50, 200, 100) with bubbles at the given page
    // areas, indexes 0, 1, ... in that order, all placed at the host's zoom.
    MySectionObjectAbnormal *question(const QVector<QRect> &bubbles, int item = 12);
    ObjectAbnormalOption *bubble(int i) { return m_question->options.at(i); }

    std::unique_ptr<TestSectionHost> host;
    MySectionObjectAbnormal *m_question = nullptr;
};

void SectionBubbleTest::init()
{
    host = std::make_unique<TestSectionHost>();
    host->shownSize = QSize(2000, 2000);
    host->resize(1000, 800);   // a smaller window is quicker to expose
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host.get()));
}

void SectionBubbleTest::cleanup()
{
    m_question = nullptr;
    host.reset();
}

MySectionObjectAbnormal *SectionBubbleTest::question(const QVector<QRect> &bubbles, int item)
{
    m_question = place(*host, new MySectionObjectAbnormal(1, host.get(), false, 0, item, bubbles.size()),
                       QRect(80, 50, 200, 100));
    m_question->show();
    for (int i = 0; i < bubbles.size(); ++i) {
        auto *b = place(*host, new ObjectAbnormalOption(1, item, i, m_question, host.get()), bubbles[i]);
        b->offsetX = b->X - m_question->X;
        b->offsetY = b->Y - m_question->Y;
        b->show();
        m_question->options.append(b);
    }
    return m_question;
}

void SectionBubbleTest::letters()
{
    question({QRect(100, 60, 30, 20), QRect(140, 60, 30, 20), QRect(180, 60, 30, 20), QRect(220, 60, 30, 20)});
    QCOMPARE(bubble(0)->letter, QChar('A'));
    QCOMPARE(bubble(3)->letter, QChar('D'));
    enter(bubble(3));
    QCOMPARE(host->names.last(), QStringLiteral("客观题：12 选项：D"));
    // An index a file made up still names something.
    ObjectAbnormalOption odd(1, 12, -7, m_question, host.get());
    QCOMPARE(odd.letter, QChar('?'));
}

void SectionBubbleTest::keys_data()
{
    QTest::addColumn<float>("zoom");
    QTest::addColumn<QRect>("start");     // bubble page area; question is (80, 50, 200, 100)
    QTest::addColumn<QString>("keys");    // R L D U arrows, S+ / S- Shift down / up, other letters as keys
    QTest::addColumn<QRect>("end");       // page area after the keys
    QTest::addColumn<QRect>("widget");    // canvas geometry after the keys

    QTest::newRow("right") << 1.0f << QRect(100, 60, 30, 20) << "R" << QRect(101, 60, 30, 20)
                                     << QRect(101, 60, 30, 20);
    QTest::newRow("right and back") << 1.0f << QRect(100, 60, 30, 20) << "R L" << QRect(100, 60, 30, 20)
                                    << QRect(100, 60, 30, 20);
    QTest::newRow("down and up") << 1.0f << QRect(100, 60, 30, 20) << "D D U" << QRect(100, 61, 30, 20)
                                 << QRect(100, 61, 30, 20);
    QTest::newRow("left edge holds") << 1.0f << QRect(80, 50, 30, 20) << "L U" << QRect(80, 50, 30, 20)
                                     << QRect(80, 50, 30, 20);
    QTest::newRow("right edge holds") << 1.0f << QRect(250, 130, 30, 20) << "R D" << QRect(250, 130, 30, 20)
                                      << QRect(250, 130, 30, 20);
    QTest::newRow("no growing past right edge") << 1.0f << QRect(250, 130, 30, 20) << "S+ R D S-"
                                                << QRect(250, 130, 30, 20) << QRect(250, 130, 30, 20);
    QTest::newRow("shift grows") << 1.0f << QRect(100, 60, 30, 20) << "S+ R D S-" << QRect(100, 60, 31, 21)
                                 << QRect(100, 60, 31, 21);
    QTest::newRow("shrinks to 10, no further") << 1.0f << QRect(100, 60, 11, 11) << "S+ L L U U S-"
                                               << QRect(100, 60, 10, 10) << QRect(100, 60, 10, 10);
    QTest::newRow("arrows move again after shift") << 1.0f << QRect(100, 60, 30, 20) << "S+ R S- R"
                                                   << QRect(101, 60, 31, 20) << QRect(101, 60, 31, 20);
    QTest::newRow("shift alone and letters") << 1.0f << QRect(100, 60, 30, 20) << "S+ S- A Q"
                                             << QRect(100, 60, 30, 20) << QRect(100, 60, 30, 20);
    QTest::newRow("zoom 2, two steps one pixel") << 2.0f << QRect(100, 60, 30, 20) << "R R"
                                                 << QRect(101, 60, 30, 20) << QRect(202, 120, 60, 40);
    QTest::newRow("zoom 2, resize after does not move") << 2.0f << QRect(100, 60, 30, 20) << "R R S+ R S-"
                                                        << QRect(101, 60, 30, 20) << QRect(202, 120, 61, 40);
}

void SectionBubbleTest::keys()
{
    QFETCH(float, zoom);
    QFETCH(QRect, start);
    QFETCH(QString, keys);
    QFETCH(QRect, end);
    QFETCH(QRect, widget);

    host->scale = zoom;
    question({start});
    ObjectAbnormalOption *b = bubble(0);
    enter(b);
    for (const QString &k : keys.split(' ')) {
        if (k == "S+")
            key(b, Qt::Key_Shift, true);
        else if (k == "S-")
            key(b, Qt::Key_Shift, false);
        else if (k == "R")
            key(b, Qt::Key_Right);
        else if (k == "L")
            key(b, Qt::Key_Left);
        else if (k == "D")
            key(b, Qt::Key_Down);
        else if (k == "U")
            key(b, Qt::Key_Up);
        else
            key(b, Qt::Key_A + (k.at(0).unicode() - 'A'));
    }
    QCOMPARE(fields(b), end);
    QCOMPARE(b->geometry(), widget);
    QCOMPARE(b->offsetX, b->X - m_question->X);
    QCOMPARE(b->offsetY, b->Y - m_question->Y);
    QVERIFY(!b->shiftPressed);
}

void SectionBubbleTest::shiftReleasedElsewhereStaysSet()
{
    question({QRect(100, 60, 30, 20)});
    ObjectAbnormalOption *b = bubble(0);
    enter(b);
    key(b, Qt::Key_Shift, true);
    leave(b);
    key(host.get(), Qt::Key_Shift, false);   // released over the canvas
    QVERIFY(b->shiftPressed);
    enter(b);
    key(b, Qt::Key_Right);
    QCOMPARE(fields(b), QRect(100, 60, 31, 20));
    key(b, Qt::Key_Shift, true);
    key(b, Qt::Key_Shift, false);
    key(b, Qt::Key_Right);
    QCOMPARE(fields(b), QRect(101, 60, 31, 20));
}

void SectionBubbleTest::hoverPassesKeyboardGrab()
{
    question({QRect(100, 60, 30, 20), QRect(140, 60, 30, 20)});
    QVERIFY(bubble(0)->locked);
    enter(bubble(0));
    QVERIFY(!bubble(0)->locked);
    QCOMPARE(QWidget::keyboardGrabber(), bubble(0));
    leave(bubble(0));
    QVERIFY(bubble(0)->locked);
    QCOMPARE(host->canvasGrabs, 1);
    enter(bubble(1));
    QCOMPARE(QWidget::keyboardGrabber(), bubble(1));
    leave(bubble(1));
    QVERIFY(!QWidget::keyboardGrabber());
    QCOMPARE(host->canvasGrabs, 2);
    QCOMPARE(host->names.last(), QString());
}

void SectionBubbleTest::bubbleDragHeldInside_data()
{
    QTest::addColumn<float>("zoom");
    QTest::addColumn<QPoint>("delta");   // canvas pixels
    QTest::addColumn<QPoint>("field");   // X, Y after the drag
    QTest::addColumn<QPoint>("offset");

    QTest::newRow("free move") << 1.0f << QPoint(10, 5) << QPoint(110, 65) << QPoint(30, 15);
    QTest::newRow("far left") << 1.0f << QPoint(-100, 0) << QPoint(80, 60) << QPoint(0, 10);
    QTest::newRow("far up") << 1.0f << QPoint(0, -100) << QPoint(100, 50) << QPoint(20, 0);
    QTest::newRow("past right and bottom") << 1.0f << QPoint(500, 500) << QPoint(250, 130) << QPoint(170, 80);
    QTest::newRow("zoom 2 past right and bottom") << 2.0f << QPoint(900, 900) << QPoint(250, 130)
                                                  << QPoint(170, 80);
    QTest::newRow("zoom 2 rounds half up") << 2.0f << QPoint(3, 1) << QPoint(102, 61) << QPoint(22, 11);
}

void SectionBubbleTest::bubbleDragHeldInside()
{
    QFETCH(float, zoom);
    QFETCH(QPoint, delta);
    QFETCH(QPoint, field);
    QFETCH(QPoint, offset);

    host->scale = zoom;
    question({QRect(100, 60, 30, 20)});
    ObjectAbnormalOption *b = bubble(0);
    enter(b);
    drag(b, QPoint(5, 5), delta);
    leave(b);
    QCOMPARE(QPoint(b->X, b->Y), field);
    QCOMPARE(QPoint(b->offsetX, b->offsetY), offset);
    QVERIFY(m_question->geometry().contains(b->geometry()));
}

void SectionBubbleTest::bubbleResizeStopsAtQuestionEdge()
{
    question({QRect(240, 60, 30, 20)});
    ObjectAbnormalOption *b = bubble(0);
    enter(b);
    press(b, QPoint(27, 17));
    QVERIFY(b->resizing);
    moveTo(b, QPoint(60, 40));
    release(b, QPoint(60, 40));
    QCOMPARE(b->size(), QSize(40, 43));   // right edge of the question at 280
    QCOMPARE(fields(b), QRect(240, 60, 40, 43));
    QVERIFY(m_question->geometry().contains(b->geometry()));
}

void SectionBubbleTest::questionDragMovesBubbles()
{
    host->scale = 2.0f;
    question({QRect(100, 60, 30, 20), QRect(200, 100, 30, 20)});
    m_question->setLock(false);
    drag(m_question, QPoint(50, 50), QPoint(60, 40));
    QCOMPARE(QPoint(m_question->X, m_question->Y), QPoint(110, 70));
    QCOMPARE(fields(bubble(0)), QRect(130, 80, 30, 20));
    QCOMPARE(fields(bubble(1)), QRect(230, 120, 30, 20));
    QCOMPARE(bubble(0)->pos(), QPoint(260, 160));
    QCOMPARE(bubble(1)->pos(), QPoint(460, 240));
    QCOMPARE(QPoint(bubble(1)->offsetX, bubble(1)->offsetY), QPoint(120, 50));
}

void SectionBubbleTest::placeOptionHoldsInside_data()
{
    QTest::addColumn<float>("zoom");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<QPoint>("field");
    QTest::addColumn<QPoint>("widget");

    QTest::newRow("inside") << 1.0f << QPoint(20, 10) << QPoint(100, 60) << QPoint(100, 60);
    QTest::newRow("out right") << 1.0f << QPoint(190, 10) << QPoint(250, 60) << QPoint(250, 60);
    QTest::newRow("out bottom") << 1.0f << QPoint(20, 95) << QPoint(100, 130) << QPoint(100, 130);
    QTest::newRow("out at both") << 1.0f << QPoint(190, 95) << QPoint(250, 130) << QPoint(250, 130);
    QTest::newRow("out at both, zoom 2") << 2.0f << QPoint(190, 95) << QPoint(250, 130) << QPoint(500, 260);
    QTest::newRow("left of the question") << 1.0f << QPoint(-30, -10) << QPoint(50, 40) << QPoint(80, 50);
}

void SectionBubbleTest::placeOptionHoldsInside()
{
    QFETCH(float, zoom);
    QFETCH(QPoint, offset);
    QFETCH(QPoint, field);
    QFETCH(QPoint, widget);

    host->scale = zoom;
    question({QRect(100, 60, 30, 20)});
    ObjectAbnormalOption *b = bubble(0);
    b->offsetX = offset.x();
    b->offsetY = offset.y();
    m_question->placeOption(b);
    QCOMPARE(QPoint(b->X, b->Y), field);
    QCOMPARE(b->pos(), widget);
    QCOMPARE(QPoint(b->offsetX, b->offsetY), offset);   // offsets are kept
    QVERIFY(m_question->geometry().contains(b->geometry()));
}

void SectionBubbleTest::placeOptionsIgnoresBadIndex()
{
    question({QRect(100, 60, 30, 20), QRect(140, 60, 30, 20)});
    bubble(0)->offsetX = 100;
    bubble(1)->offsetX = 100;
    for (int index : {2, 7, -2, INT_MIN, INT_MAX})
        m_question->placeOptions(index);
    QCOMPARE(bubble(0)->pos(), QPoint(100, 60));
    QCOMPARE(bubble(1)->pos(), QPoint(140, 60));
    m_question->placeOptions(1);
    QCOMPARE(bubble(1)->pos(), QPoint(180, 60));
    m_question->placeOption(nullptr);
}

// Indexes from a file need not be positions: the bubble resized is the one
// re-placed, and no position outside the list is used.
void SectionBubbleTest::resizeReplacesTheBubbleItself()
{
    question({QRect(100, 60, 30, 20), QRect(140, 60, 30, 20)});
    bubble(0)->index = 1;
    bubble(1)->index = 7;
    bubble(0)->offsetX = 50;
    bubble(1)->offsetX = 100;
    bubble(1)->resize(31, 20);
    QCOMPARE(bubble(1)->pos(), QPoint(180, 60));
    QCOMPARE(bubble(0)->pos(), QPoint(100, 60));
    bubble(0)->resize(31, 20);
    QCOMPARE(bubble(0)->pos(), QPoint(130, 60));
}

void SectionBubbleTest::optionsExtent()
{
    question({QRect(100, 60, 30, 20), QRect(200, 90, 40, 20)});
    QCOMPARE(m_question->optionsExtent(), QSize(140, 50));
    host->scale = 1.5f;
    QCOMPARE(m_question->optionsExtent(), QSize(210, 75));
    MySectionObjectAbnormal empty(1, host.get(), false, 0, 3, 0);
    QVERIFY(empty.optionsExtent().width() < 0 && empty.optionsExtent().height() < 0);
}

void SectionBubbleTest::questionResizeNeverSmallerThanBubbles()
{
    question({QRect(100, 60, 30, 20), QRect(200, 90, 40, 20)});
    m_question->setLock(false);
    press(m_question, QPoint(198, 98));
    QVERIFY(m_question->resizing);
    moveTo(m_question, QPoint(20, 20));
    QCOMPARE(m_question->size(), QSize(140, 50));
    moveTo(m_question, QPoint(160, 70));
    QCOMPARE(m_question->size(), QSize(162, 72));
    release(m_question, QPoint(160, 70));
}

void SectionBubbleTest::hideTakesBubbles()
{
    question({QRect(100, 60, 30, 20), QRect(140, 60, 30, 20)});
    showPage(*host, 1);
    QVERIFY(bubble(0)->isVisible() && bubble(1)->isVisible());
    m_question->setHide(true);
    QVERIFY(!m_question->isVisible() && !bubble(0)->isVisible() && !bubble(1)->isVisible());
    showPage(*host, 2);
    showPage(*host, 1);
    QVERIFY(!m_question->isVisible() && !bubble(0)->isVisible() && !bubble(1)->isVisible());
    m_question->setHide(false);
    QVERIFY(m_question->isVisible() && bubble(0)->isVisible() && bubble(1)->isVisible());
}

void SectionBubbleTest::questionEnterLeave()
{
    question({QRect(100, 60, 30, 20)});
    enter(m_question);
    QCOMPARE(m_question->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(host->names.last(), QStringLiteral("客观题-异型 12 1 个选项"));
    m_question->setLock(false);
    enter(m_question);
    QCOMPARE(m_question->cursor().shape(), Qt::SizeAllCursor);
    bubble(0)->grabKeyboard();
    leave(m_question);
    QVERIFY(!QWidget::keyboardGrabber());
}

void SectionBubbleTest::destroyingQuestionDeletesBubblesAtOnce()
{
    question({QRect(100, 60, 30, 20), QRect(140, 60, 30, 20)});
    QPointer<ObjectAbnormalOption> a = bubble(0), b = bubble(1);
    delete m_question;
    m_question = nullptr;
    QVERIFY(!a && !b);
    QVERIFY(host->sections.isEmpty());
}

void SectionBubbleTest::menuDeleteTakesBubbles()
{
    question({QRect(100, 60, 30, 20), QRect(140, 60, 30, 20)});
    QPointer<MySectionObjectAbnormal> q = m_question;
    QPointer<ObjectAbnormalOption> a = bubble(0);
    std::unique_ptr<QMenu> menu(q->buildContextMenu());
    host->answers = {QMessageBox::Yes};
    menu->actions().last()->trigger();
    QVERIFY(q && a);
    flushDeletes();
    QVERIFY(!q && !a);
    QVERIFY(host->sections.isEmpty());
}

void SectionBubbleTest::bubbleDeletedAloneLeavesQuestion()
{
    question({QRect(100, 60, 30, 20), QRect(140, 60, 30, 20)});
    ObjectAbnormalOption *second = bubble(1);
    delete bubble(0);
    QCOMPARE(m_question->options, (QVector<ObjectAbnormalOption *>{second}));
    m_question->placeOptions(-1);
    QCOMPARE(m_question->optionsExtent(), QSize(30, 20));
    QCOMPARE(host->sections.size(), 2);
}

// A bubble the question never listed is not deleted with it; it must then
// move, resize, take keys and paint without reaching the freed question.
void SectionBubbleTest::bubbleOutlivingItsQuestion()
{
    question({});
    auto *stray = place(*host, new ObjectAbnormalOption(1, 12, 0, m_question, host.get()), QRect(100, 60, 30, 20));
    stray->show();
    delete m_question;
    m_question = nullptr;
    QVERIFY(!stray->parentSection);
    enter(stray);
    key(stray, Qt::Key_Right);
    key(stray, Qt::Key_Shift, true);
    key(stray, Qt::Key_Right);
    SectionTest::drag(stray, QPoint(5, 5), QPoint(10, 10));
    stray->resize(40, 30);
    showPage(*host, 1);
    QVERIFY(stray->isVisible());
    leave(stray);
    QCOMPARE(stray->pos(), QPoint(110, 70));
}

QTEST_MAIN(SectionBubbleTest)
#include "sectionbubble_test.moc"

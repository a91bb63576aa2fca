#pragma once
// Pointer, key and paint helpers for the section widget tests: events are
// sent straight to a section, so no test depends on a real pointer.

#include "mysectionbase.h"
#include "testsectionhost.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>

namespace SectionTest {

inline void sendMouse(QWidget *w, QEvent::Type type, const QPoint &pos, Qt::MouseButton button,
                      Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

inline void press(QWidget *w, const QPoint &pos, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(w, QEvent::MouseButtonPress, pos, button, button);
}

inline void moveTo(QWidget *w, const QPoint &pos, Qt::MouseButtons buttons = Qt::LeftButton)
{
    sendMouse(w, QEvent::MouseMove, pos, Qt::NoButton, buttons);
}

inline void release(QWidget *w, const QPoint &pos, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(w, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

// A left drag by `delta` starting at `from` (widget pixels).
inline void drag(QWidget *w, const QPoint &from, const QPoint &delta)
{
    press(w, from);
    moveTo(w, from + delta);
    release(w, from + delta);
}

inline void enter(QWidget *w)
{
    QEvent event(QEvent::Enter);
    QApplication::sendEvent(w, &event);
}

inline void leave(QWidget *w)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(w, &event);
}

inline void key(QWidget *w, int code, bool down = true)
{
    QKeyEvent event(down ? QEvent::KeyPress : QEvent::KeyRelease, code, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// Gives a section its page area and puts it on the canvas at `zoom`, the
// way the readers and creators do.
template <typename Section>
Section *place(TestSectionHost &host, Section *section, const QRect &area)
{
    section->X = area.x();
    section->Y = area.y();
    section->Width = area.width();
    section->Height = area.height();
    const float z = host.scale;
    section->setGeometry(qRound(area.x() * z), qRound(area.y() * z), qRound(area.width() * z),
                         qRound(area.height() * z));
    host.sections.append(section);
    return section;
}

// The section as painted over white.
inline QImage rendered(QWidget *w)
{
    QImage image(w->size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    w->render(&image);
    return image;
}

// Over white the red bubbles come out with a green channel near 150 at most,
// the pink area near 200.
inline bool isBubbleRed(const QImage &image, const QPoint &p)
{
    return qGreen(image.pixel(p)) < 160 && qRed(image.pixel(p)) > 200;
}

inline bool isAreaPink(const QImage &image, const QPoint &p)
{
    const int g = qGreen(image.pixel(p));
    return g > 180 && g < 230 && qRed(image.pixel(p)) > 240;
}

// Runs the deletions that deleteLater() scheduled.
inline void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// What the canvas does when it shows a page: every section shown, each
// then hiding itself at its first paint unless it belongs to the page.
inline void showPage(TestSectionHost &host, int page)
{
    host.page = page;
    for (MySectionBase *s : host.sections)
        s->show();
    for (MySectionBase *s : host.sections) {
        if (s->isVisible())
            s->repaint();
    }
}

} // namespace SectionTest

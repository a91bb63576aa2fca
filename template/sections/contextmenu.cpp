#include "contextmenu.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QWidget>

namespace ContextMenu {

namespace {

// Menus run through `exec` right now; counted from before the popup opens,
// so an enter event while it opens cannot take the keyboard back.
int running = 0;

} // namespace

bool holdsKeyboard()
{
    return running > 0 || QApplication::activePopupWidget();
}

QAction *exec(QMenu *menu, const QPoint &globalPos)
{
    const QPointer<QWidget> grabber = QWidget::keyboardGrabber();
    if (grabber)
        grabber->releaseKeyboard();
    ++running;
    QAction *chosen = menu->exec(globalPos);
    --running;
    // An entry may have deleted the grabber, or the pointer may have left it
    // (its leave event then came while it held no grab).
    if (grabber && !QWidget::keyboardGrabber() && grabber->isVisible()
        && grabber->rect().contains(grabber->mapFromGlobal(QCursor::pos())))
        grabber->grabKeyboard();
    return chosen;
}

} // namespace ContextMenu

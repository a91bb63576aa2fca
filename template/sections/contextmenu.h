#pragma once
// Running a context menu over the design canvas. The canvas holds the
// keyboard grab while the pointer is over it, and a grab outranks an open
// menu: Escape and the mnemonics would go to the canvas instead. The grab is
// given up while the menu runs and taken back afterwards when the pointer is
// still over the widget that held it.

class QAction;
class QMenu;
class QPoint;

namespace ContextMenu {

// QMenu::exec at `globalPos` with the keyboard free for the menu (and for
// any dialog an entry opens); returns the action chosen, or null.
QAction *exec(QMenu *menu, const QPoint &globalPos);

// True while a menu runs (through `exec` or any other popup): a widget that
// grabs the keyboard when the pointer enters it must leave it to the menu.
bool holdsKeyboard();

} // namespace ContextMenu

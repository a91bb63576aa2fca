#pragma once
// Helpers for widget tests: answering a modal dialog when it shows, and
// reading the entries of a context menu.

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace WidgetTest {

// Answers the next modal dialog of type T as soon as it shows; gives up
// with the scope, so no test can leave a dialog waiting.
template <typename T>
class WhenShown {
public:
    explicit WhenShown(std::function<void(T *)> answer)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this, answer] {
            auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            m_timer.stop();
            seen = true;
            answer(dialog);
        });
        m_timer.start();
    }
    bool seen = false;

private:
    QTimer m_timer;
};

// Texts of the popup menu that `open` shows, closed at once; empty when no
// popup opens.
inline QStringList popupTexts(const std::function<void()> &open)
{
    QStringList texts;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&texts] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *action : menu->actions()) {
            if (!action->isSeparator())
                texts << action->text();
        }
        menu->close();
    });
    timer.start();
    open();
    return texts;
}

} // namespace WidgetTest

#pragma once
// Whether a form gives each of its texts the room the text needs: every
// label, push button, radio button and check box shown on it, on every page
// of its stacked and tab widgets, in the font the program really uses. A
// text squeezed by a fixed form size or a fixed widget size is cut off on
// screen; this finds it without looking at a screenshot.
//
//     QStringList cramped = FormFit::check(&dialog);
//     QVERIFY2(cramped.isEmpty(), qPrintable(cramped.join('\n')));

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <functional>

namespace FormFit {

// True when a font with Chinese glyphs is installed: without one the texts
// are drawn as boxes and measure nothing like the real thing.
inline bool chineseFontInstalled()
{
    return !QFontDatabase().families(QFontDatabase::SimplifiedChinese).isEmpty();
}

inline QString describe(const QWidget *form, const QWidget *widget, const QString &text, const QSize &has,
                        const QSize &needs)
{
    return QStringLiteral("%1 / %2 (%3) \"%4\": has %5x%6, needs %7x%8")
        .arg(QString::fromLatin1(form->metaObject()->className()), widget->objectName(),
             QString::fromLatin1(widget->metaObject()->className()), text)
        .arg(has.width())
        .arg(has.height())
        .arg(needs.width())
        .arg(needs.height());
}

// Inside a scroll area a text may be larger than what shows: it scrolls.
inline bool insideScrollArea(const QWidget *widget, const QWidget *form)
{
    for (const QWidget *w = widget->parentWidget(); w && w != form; w = w->parentWidget()) {
        if (qobject_cast<const QAbstractScrollArea *>(w))
            return true;
    }
    return false;
}

// The room a button's text has: the style's contents rectangle of the
// button minus its icon, against the text's size.
inline bool buttonFits(const QAbstractButton *button, QSize *has, QSize *needs)
{
    const QString text = button->text();
    const QFontMetrics metrics(button->font());
    QSize textSize = metrics.size(Qt::TextShowMnemonic, text);
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = text;
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    QStyle::SubElement element = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QCheckBox *>(button))
        element = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<const QRadioButton *>(button))
        element = QStyle::SE_RadioButtonContents;
    QRect room = button->style()->subElementRect(element, &option, button);
    if (element == QStyle::SE_PushButtonContents)
        room = room.intersected(button->rect());
    if (!button->icon().isNull())
        textSize.rwidth() += button->iconSize().width() + 4;
    *has = room.size();
    *needs = textSize;
    return room.width() >= textSize.width() && room.height() >= metrics.height();
}

inline bool labelFits(const QLabel *label, QSize *has, QSize *needs)
{
    *has = label->size();
    if (label->wordWrap()) {
        // A wrapped text needs the height its width leaves it.
        *needs = QSize(label->minimumSizeHint().width(), label->heightForWidth(label->width()));
    } else {
        *needs = label->minimumSizeHint();
    }
    return has->width() >= needs->width() && has->height() >= needs->height();
}

// The texts of the pages now shown.
inline QStringList crampedNow(QWidget *form)
{
    QStringList out;
    const QList<QWidget *> widgets = form->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        if (!widget->isVisibleTo(form) || insideScrollArea(widget, form))
            continue;
        QSize has;
        QSize needs;
        QString text;
        bool fits = true;
        if (auto *label = qobject_cast<QLabel *>(widget)) {
            text = label->text();
            if (text.trimmed().isEmpty() || (label->pixmap() && !label->pixmap()->isNull()))
                continue;
            fits = labelFits(label, &has, &needs);
        } else if (qobject_cast<QPushButton *>(widget) || qobject_cast<QCheckBox *>(widget)
                   || qobject_cast<QRadioButton *>(widget)) {
            auto *button = static_cast<QAbstractButton *>(widget);
            text = button->text();
            if (text.trimmed().isEmpty())
                continue;
            fits = buttonFits(button, &has, &needs);
        } else {
            continue;
        }
        // A widget that reaches past the form's edge is cut there, whatever its size.
        const QRect onForm(widget->mapTo(form, QPoint(0, 0)), widget->size());
        if (fits && !form->rect().contains(onForm)) {
            fits = false;
            has = onForm.intersected(form->rect()).size();
            needs = widget->size();
        }
        if (!fits)
            out << describe(form, widget, text, has, needs);
    }
    return out;
}

// Shows the form, lets its layout settle and checks it, then every other
// page of its stacked and tab widgets in turn (each put back afterwards).
inline QStringList check(QWidget *form)
{
    form->show();
    if (!QTest::qWaitForWindowExposed(form))
        return {QStringLiteral("%1: never shown").arg(QString::fromLatin1(form->metaObject()->className()))};
    QApplication::processEvents();
    if (form->layout())
        form->layout()->activate();
    QStringList out = crampedNow(form);
    auto everyPage = [&out, form](int count, int shown, const std::function<void(int)> &turnTo) {
        for (int i = 0; i < count; ++i) {
            if (i == shown)
                continue;
            turnTo(i);
            QApplication::processEvents();
            out << crampedNow(form);
        }
        turnTo(shown);
    };
    for (QStackedWidget *stack : form->findChildren<QStackedWidget *>()) {
        // A tab widget's own stack is visited through the tab widget.
        if (!qobject_cast<QTabWidget *>(stack->parentWidget()))
            everyPage(stack->count(), stack->currentIndex(), [stack](int i) { stack->setCurrentIndex(i); });
    }
    for (QTabWidget *tabs : form->findChildren<QTabWidget *>())
        everyPage(tabs->count(), tabs->currentIndex(), [tabs](int i) { tabs->setCurrentIndex(i); });
    out.removeDuplicates();
    return out;
}

// What every program's form test does first: without a Chinese font the
// check means nothing (false, with the reason); no form may reach the real
// platform (a closed local port refuses at once).
inline bool prepareTestCase(QString *why)
{
    qputenv("VOSTRA_PLATFORM_HOST", "127.0.0.1:1");
    if (chineseFontInstalled())
        return true;
    *why = QStringLiteral("no font with Chinese glyphs is installed (scripts/install-deps.sh installs one)");
    return false;
}

// Checks `made`, or the program's window when nothing was made, and closes it.
inline QStringList checkAndClose(QWidget *window, QWidget *made)
{
    QWidget *checked = made ? made : window;
    const QStringList cramped = check(checked);
    checked->close();
    return cramped;
}

} // namespace FormFit

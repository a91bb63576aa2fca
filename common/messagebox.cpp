#include "messagebox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QThread>
#include <QIcon>
#include <QtDebug>

#include <algorithm>

namespace {

MessageBox::Handler &handlerSlot()
{
    static MessageBox::Handler handler;
    return handler;
}

MessageBox::StandardButton simpleBox(QMessageBox::Icon icon, QWidget *parent, const QString &title,
                                     const QString &text, MessageBox::StandardButtons buttons,
                                     MessageBox::StandardButton defaultButton)
{
    MessageBoxSpec spec;
    spec.icon = icon;
    spec.title = title;
    spec.text = text;
    spec.buttons = buttons;
    spec.defaultButton = defaultButton;
    spec.parent = parent;
    return MessageBox::show(spec);
}

QList<QMessageBox::StandardButton> buttonList(QMessageBox::StandardButtons buttons)
{
    QList<QMessageBox::StandardButton> list;
    for (uint bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1) {
        if (buttons & bit)
            list.append(static_cast<QMessageBox::StandardButton>(bit));
    }
    return list;
}

} // namespace

MessageBox::StandardButton MessageBox::information(QWidget *parent, const QString &title, const QString &text,
                                                   StandardButtons buttons, StandardButton defaultButton)
{
    return simpleBox(QMessageBox::Information, parent, title, text, buttons, defaultButton);
}

MessageBox::StandardButton MessageBox::warning(QWidget *parent, const QString &title, const QString &text,
                                               StandardButtons buttons, StandardButton defaultButton)
{
    return simpleBox(QMessageBox::Warning, parent, title, text, buttons, defaultButton);
}

MessageBox::StandardButton MessageBox::critical(QWidget *parent, const QString &title, const QString &text,
                                                StandardButtons buttons, StandardButton defaultButton)
{
    return simpleBox(QMessageBox::Critical, parent, title, text, buttons, defaultButton);
}

MessageBox::StandardButton MessageBox::question(QWidget *parent, const QString &title, const QString &text,
                                                StandardButtons buttons, StandardButton defaultButton)
{
    return simpleBox(QMessageBox::Question, parent, title, text, buttons, defaultButton);
}

MessageBox::StandardButton MessageBox::withButtonTexts(QWidget *parent, QMessageBox::Icon icon,
                                                       const QString &title, const QString &text,
                                                       const QList<QPair<StandardButton, QString>> &buttons,
                                                       StandardButton defaultButton,
                                                       const QString &windowIconPath)
{
    MessageBoxSpec spec;
    spec.icon = icon;
    spec.title = title;
    spec.text = text;
    spec.buttons = QMessageBox::NoButton;
    for (const auto &b : buttons) {
        spec.buttons |= b.first;
        spec.buttonTexts.insert(b.first, b.second);
    }
    spec.defaultButton = defaultButton;
    spec.windowIconPath = windowIconPath;
    spec.parent = parent;
    return show(spec);
}

MessageBox::StandardButton MessageBox::show(const MessageBoxSpec &spec)
{
    // A box from a worker thread would take down the program; answer it as
    // if the user had dismissed it and leave a trace.
    if (!qApp || QThread::currentThread() != qApp->thread()) {
        qWarning() << "MessageBox: box outside the GUI thread not shown:" << spec.title << spec.text;
        return escapeAnswer(spec);
    }
    if (const Handler &handler = handlerSlot()) {
        // Copy: the handler may replace itself while answering.
        const Handler h = handler;
        const StandardButton answer = h(spec);
        if (answer != QMessageBox::NoButton && !(spec.buttons & answer))
            qWarning() << "MessageBox: answer" << answer << "is not a button of box" << spec.title << spec.text;
        return answer;
    }

    QMessageBox box(spec.icon, spec.title, spec.text, spec.buttons, spec.parent.data());
    for (auto it = spec.buttonTexts.constBegin(); it != spec.buttonTexts.constEnd(); ++it) {
        if (QAbstractButton *button = box.button(it.key()))
            button->setText(it.value());
    }
    if (spec.defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(spec.defaultButton);
    if (spec.escapeButton != QMessageBox::NoButton)
        box.setEscapeButton(spec.escapeButton);
    if (!spec.windowIconPath.isEmpty())
        box.setWindowIcon(QIcon(spec.windowIconPath));
    box.exec();
    return box.standardButton(box.clickedButton());
}

MessageBox::Handler MessageBox::setHandler(Handler handler)
{
    Handler previous = std::move(handlerSlot());
    handlerSlot() = std::move(handler);
    return previous;
}

bool MessageBox::hasHandler()
{
    return bool(handlerSlot());
}

MessageBox::StandardButton MessageBox::escapeAnswer(const MessageBoxSpec &spec)
{
    if (spec.escapeButton != QMessageBox::NoButton && (spec.buttons & spec.escapeButton))
        return spec.escapeButton;
    const QList<StandardButton> list = buttonList(spec.buttons);
    if (list.size() == 1)
        return list.first();
    // Exactly one button of a role, as the box itself decides.
    auto onlyOneOf = [&list](std::initializer_list<StandardButton> kinds) {
        StandardButton found = QMessageBox::NoButton;
        for (StandardButton b : list) {
            if (std::find(kinds.begin(), kinds.end(), b) == kinds.end())
                continue;
            if (found != QMessageBox::NoButton)
                return QMessageBox::NoButton;
            found = b;
        }
        return found;
    };
    const StandardButton reject = onlyOneOf({QMessageBox::Cancel, QMessageBox::Close, QMessageBox::Abort});
    if (reject != QMessageBox::NoButton)
        return reject;
    return onlyOneOf({QMessageBox::No, QMessageBox::NoToAll});
}

MessageBoxRecorder::MessageBoxRecorder()
{
    previous_ = MessageBox::setHandler([this](const MessageBoxSpec &spec) { return answer(spec); });
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    MessageBox::setHandler(std::move(previous_));
}

QMessageBox::StandardButton MessageBoxRecorder::answer(const MessageBoxSpec &spec)
{
    boxes_.append(spec);
    QMessageBox::StandardButton result;
    if (!queue_.isEmpty()) {
        result = queue_.takeFirst();
    } else if (answerFn_) {
        result = answerFn_(spec);
    } else {
        result = MessageBox::escapeAnswer(spec);
        if (result == QMessageBox::NoButton)
            result = spec.defaultButton;
    }
    answers_.append(result);
    return result;
}

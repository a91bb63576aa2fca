#pragma once
#include <QList>
#include <QMap>
#include <QMessageBox>
#include <QPair>
#include <QPointer>
#include <QString>

#include <functional>

// What a message box shows. Built by the MessageBox functions; handed to the
// installed handler instead of showing a box.
struct MessageBoxSpec {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    // NoButton: the box picks its own (the single button, else Cancel-like, else No).
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
    // Labels that replace the standard texts of some buttons.
    QMap<QMessageBox::StandardButton, QString> buttonTexts;
    // Resource or file path of the box's window icon; empty keeps the default.
    QString windowIconPath;
    QPointer<QWidget> parent;

    // The label a button shows when relabelled, else an empty text.
    QString buttonText(QMessageBox::StandardButton button) const { return buttonTexts.value(button); }
};

// The one way the programs show message boxes, so that tests can read and
// answer them. Every function blocks until the box is answered and returns the
// standard button pressed. GUI thread only: called from another thread, no box
// is shown and the escape answer comes back (with a warning in the log).
class MessageBox {
public:
    using StandardButton = QMessageBox::StandardButton;
    using StandardButtons = QMessageBox::StandardButtons;
    // Receives every box instead of showing it and returns the answer.
    using Handler = std::function<StandardButton(const MessageBoxSpec &)>;

    static StandardButton information(QWidget *parent, const QString &title, const QString &text,
                                      StandardButtons buttons = QMessageBox::Ok,
                                      StandardButton defaultButton = QMessageBox::NoButton);
    static StandardButton warning(QWidget *parent, const QString &title, const QString &text,
                                  StandardButtons buttons = QMessageBox::Ok,
                                  StandardButton defaultButton = QMessageBox::NoButton);
    static StandardButton critical(QWidget *parent, const QString &title, const QString &text,
                                   StandardButtons buttons = QMessageBox::Ok,
                                   StandardButton defaultButton = QMessageBox::NoButton);
    static StandardButton question(QWidget *parent, const QString &title, const QString &text,
                                   StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
                                   StandardButton defaultButton = QMessageBox::NoButton);

    // A box whose standard buttons carry labels of their own, e.g.
    // {{Ok, "开始上传"}, {Cancel, "我知道了"}}. Returns the standard button pressed.
    static StandardButton withButtonTexts(QWidget *parent, QMessageBox::Icon icon,
                                          const QString &title, const QString &text,
                                          const QList<QPair<StandardButton, QString>> &buttons,
                                          StandardButton defaultButton = QMessageBox::NoButton,
                                          const QString &windowIconPath = QString());

    // The general form; the parent travels in the description.
    static StandardButton show(const MessageBoxSpec &spec);

    // Installs a handler (an empty one restores real boxes); returns the previous one.
    static Handler setHandler(Handler handler);
    static bool hasHandler();

    // What pressing Escape would answer: the escape button, the only button, the
    // one Cancel-like button, or the one No-like button; NoButton when Escape
    // cannot close the box.
    static StandardButton escapeAnswer(const MessageBoxSpec &spec);
};

// Test aid: while it lives, every box is recorded and answered without being
// shown. Answers come from the queue in order; with the queue empty a box gets
// the answer function's result, else its escape answer, else its default button.
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder &) = delete;
    MessageBoxRecorder &operator=(const MessageBoxRecorder &) = delete;

    void queueAnswer(QMessageBox::StandardButton answer) { queue_.append(answer); }
    void setAnswerFunction(MessageBox::Handler fn) { answerFn_ = std::move(fn); }

    const QList<MessageBoxSpec> &boxes() const { return boxes_; }
    int count() const { return boxes_.size(); }
    MessageBoxSpec last() const { return boxes_.isEmpty() ? MessageBoxSpec() : boxes_.last(); }
    // The answers given, in the order of boxes().
    const QList<QMessageBox::StandardButton> &answers() const { return answers_; }
    void clear() { boxes_.clear(); answers_.clear(); }

private:
    QMessageBox::StandardButton answer(const MessageBoxSpec &spec);

    MessageBox::Handler previous_;
    MessageBox::Handler answerFn_;
    QList<QMessageBox::StandardButton> queue_;
    QList<MessageBoxSpec> boxes_;
    QList<QMessageBox::StandardButton> answers_;
};

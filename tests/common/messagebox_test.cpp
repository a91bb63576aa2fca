#include "messagebox.h"
#include "omrresources.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <functional>

using SB = QMessageBox::StandardButton;
Q_DECLARE_METATYPE(QMessageBox::StandardButtons)

namespace {

// Answers the next real message box that opens: `act` looks at it and
// presses a button. A last-resort timer closes any box still open, so a
// failing test ends instead of hanging.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(std::function<void(QMessageBox *)> act) : act_(std::move(act))
    {
        connect(&poll_, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            poll_.stop();
            seen = true;
            act_(box);
        });
        poll_.start(10);
        QTimer::singleShot(10000, this, [] {
            if (QWidget *w = QApplication::activeModalWidget())
                w->close();
        });
    }
    bool seen = false;

private:
    std::function<void(QMessageBox *)> act_;
    QTimer poll_;
};

QAbstractButton *buttonWithText(QMessageBox *box, const QString &text)
{
    for (QAbstractButton *b : box->buttons()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

} // namespace

class MessageBoxTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initOmrResources(); }
    void cleanup();
    void recordsEveryKind_data();
    void recordsEveryKind();
    void queuedAnswersInOrder();
    void answerFunction();
    void escapeAnswer_data();
    void escapeAnswer();
    void unansweredBoxGetsDefault();
    void customButtonTexts();
    void recordersNest();
    void workerThreadGetsNoBox();
    void realBoxShowsTextsAndReturnsPressedButton();
    void realBoxEscape();
    void realBoxCustomTexts();
};

void MessageBoxTest::cleanup()
{
    QVERIFY(!MessageBox::hasHandler());
    QVERIFY(!QApplication::activeModalWidget());
}

void MessageBoxTest::recordsEveryKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QMessageBox::StandardButtons>("defaultButtons");
    QTest::newRow("information") << 0 << int(QMessageBox::Information) << QMessageBox::StandardButtons(QMessageBox::Ok);
    QTest::newRow("warning") << 1 << int(QMessageBox::Warning) << QMessageBox::StandardButtons(QMessageBox::Ok);
    QTest::newRow("critical") << 2 << int(QMessageBox::Critical) << QMessageBox::StandardButtons(QMessageBox::Ok);
    QTest::newRow("question") << 3 << int(QMessageBox::Question) << (QMessageBox::Yes | QMessageBox::No);
}

void MessageBoxTest::recordsEveryKind()
{
    QFETCH(int, kind);
    QFETCH(int, icon);
    QFETCH(QMessageBox::StandardButtons, defaultButtons);

    QWidget parent;
    MessageBoxRecorder rec;
    const QString title = QStringLiteral("提示");
    const QString text = QStringLiteral("确定退出程序吗？");
    using Fn = SB (*)(QWidget *, const QString &, const QString &, QMessageBox::StandardButtons, SB);
    const Fn fns[] = {&MessageBox::information, &MessageBox::warning, &MessageBox::critical, &MessageBox::question};
    // With the defaults of each kind, then with explicit buttons and default.
    switch (kind) {
    case 0: MessageBox::information(&parent, title, text); break;
    case 1: MessageBox::warning(&parent, title, text); break;
    case 2: MessageBox::critical(&parent, title, text); break;
    case 3: MessageBox::question(&parent, title, text); break;
    }
    fns[kind](nullptr, title, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No);

    QCOMPARE(rec.count(), 2);
    const MessageBoxSpec first = rec.boxes().at(0);
    QCOMPARE(int(first.icon), icon);
    QCOMPARE(first.title, title);
    QCOMPARE(first.text, text);
    QCOMPARE(first.buttons, defaultButtons);
    QCOMPARE(first.defaultButton, QMessageBox::NoButton);
    QCOMPARE(first.parent.data(), &parent);
    const MessageBoxSpec second = rec.last();
    QCOMPARE(second.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(second.defaultButton, QMessageBox::No);
    QVERIFY(second.parent.isNull());
}

void MessageBoxTest::queuedAnswersInOrder()
{
    MessageBoxRecorder rec;
    rec.queueAnswer(QMessageBox::Yes);
    rec.queueAnswer(QMessageBox::No);
    QCOMPARE(MessageBox::question(nullptr, QStringLiteral("提示"), QStringLiteral("一")), QMessageBox::Yes);
    QCOMPARE(MessageBox::question(nullptr, QStringLiteral("提示"), QStringLiteral("二")), QMessageBox::No);
    // Queue empty: a Yes/No box answers as Escape would, with No.
    QCOMPARE(MessageBox::question(nullptr, QStringLiteral("提示"), QStringLiteral("三")), QMessageBox::No);
    QCOMPARE(rec.answers(), (QList<SB>{QMessageBox::Yes, QMessageBox::No, QMessageBox::No}));
    QCOMPARE(rec.boxes().at(1).text, QStringLiteral("二"));
    rec.clear();
    QCOMPARE(rec.count(), 0);
    QCOMPARE(rec.last().text, QString());
}

void MessageBoxTest::answerFunction()
{
    MessageBoxRecorder rec;
    rec.setAnswerFunction([](const MessageBoxSpec &spec) {
        return spec.text.contains(QStringLiteral("删除")) ? QMessageBox::Yes : QMessageBox::No;
    });
    rec.queueAnswer(QMessageBox::No); // the queue goes first
    QCOMPARE(MessageBox::question(nullptr, QString(), QStringLiteral("确认删除吗？")), QMessageBox::No);
    QCOMPARE(MessageBox::question(nullptr, QString(), QStringLiteral("确认删除吗？")), QMessageBox::Yes);
    QCOMPARE(MessageBox::question(nullptr, QString(), QStringLiteral("确定退出程序吗？")), QMessageBox::No);
}

void MessageBoxTest::escapeAnswer_data()
{
    QTest::addColumn<QMessageBox::StandardButtons>("buttons");
    QTest::addColumn<int>("escapeButton");
    QTest::addColumn<int>("expected");
    using B = QMessageBox::StandardButtons;
    QTest::newRow("single Ok") << B(QMessageBox::Ok) << 0 << int(QMessageBox::Ok);
    QTest::newRow("single Yes") << B(QMessageBox::Yes) << 0 << int(QMessageBox::Yes);
    QTest::newRow("yes no") << (QMessageBox::Yes | QMessageBox::No) << 0 << int(QMessageBox::No);
    QTest::newRow("ok cancel") << (QMessageBox::Ok | QMessageBox::Cancel) << 0 << int(QMessageBox::Cancel);
    QTest::newRow("yes no cancel") << (QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel) << 0
                                   << int(QMessageBox::Cancel);
    QTest::newRow("two no-like") << (QMessageBox::Yes | QMessageBox::No | QMessageBox::NoToAll) << 0
                                 << int(QMessageBox::NoButton);
    QTest::newRow("none to pick") << (QMessageBox::Save | QMessageBox::Discard) << 0 << int(QMessageBox::NoButton);
    QTest::newRow("explicit escape") << (QMessageBox::Yes | QMessageBox::No) << int(QMessageBox::Yes)
                                     << int(QMessageBox::Yes);
    QTest::newRow("escape not a button") << (QMessageBox::Yes | QMessageBox::No) << int(QMessageBox::Ok)
                                         << int(QMessageBox::No);
}

void MessageBoxTest::escapeAnswer()
{
    QFETCH(QMessageBox::StandardButtons, buttons);
    QFETCH(int, escapeButton);
    QFETCH(int, expected);
    MessageBoxSpec spec;
    spec.buttons = buttons;
    spec.escapeButton = SB(escapeButton);
    QCOMPARE(int(MessageBox::escapeAnswer(spec)), expected);
}

void MessageBoxTest::unansweredBoxGetsDefault()
{
    MessageBoxRecorder rec;
    MessageBoxSpec spec;
    spec.buttons = QMessageBox::Save | QMessageBox::Discard;
    spec.defaultButton = QMessageBox::Save;
    QCOMPARE(MessageBox::show(spec), QMessageBox::Save);
}

void MessageBoxTest::customButtonTexts()
{
    MessageBoxRecorder rec;
    rec.queueAnswer(QMessageBox::Ok);
    const SB answer = MessageBox::withButtonTexts(
        nullptr, QMessageBox::Warning, QStringLiteral("提示"), QStringLiteral("发现还有未上传的主观题图片"),
        {{QMessageBox::Ok, QStringLiteral("开始上传")}, {QMessageBox::Cancel, QStringLiteral("我知道了")}},
        QMessageBox::NoButton, QStringLiteral(":/image/res/images/no.png"));
    QCOMPARE(answer, QMessageBox::Ok);
    const MessageBoxSpec box = rec.last();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(box.buttonText(QMessageBox::Ok), QStringLiteral("开始上传"));
    QCOMPARE(box.buttonText(QMessageBox::Cancel), QStringLiteral("我知道了"));
    QCOMPARE(box.buttonText(QMessageBox::Yes), QString());
    QCOMPARE(box.windowIconPath, QStringLiteral(":/image/res/images/no.png"));
}

void MessageBoxTest::recordersNest()
{
    MessageBoxRecorder outer;
    outer.queueAnswer(QMessageBox::Yes);
    {
        MessageBoxRecorder inner;
        MessageBox::information(nullptr, QString(), QStringLiteral("inner"));
        QCOMPARE(inner.count(), 1);
        QCOMPARE(outer.count(), 0);
    }
    QCOMPARE(MessageBox::question(nullptr, QString(), QStringLiteral("outer")), QMessageBox::Yes);
    QCOMPARE(outer.count(), 1);
    QCOMPARE(outer.last().text, QStringLiteral("outer"));
}

void MessageBoxTest::workerThreadGetsNoBox()
{
    MessageBoxRecorder rec;
    SB answer = QMessageBox::Yes;
    QScopedPointer<QThread> worker(QThread::create([&answer] {
        answer = MessageBox::question(nullptr, QStringLiteral("提示"), QStringLiteral("x"));
    }));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("outside the GUI thread"));
    worker->start();
    QVERIFY(worker->wait(5000));
    QCOMPARE(answer, QMessageBox::No);
    QCOMPARE(rec.count(), 0);
}

void MessageBoxTest::realBoxShowsTextsAndReturnsPressedButton()
{
    // Without a handler the box is a real modal QMessageBox.
    QString title, text;
    bool defaultIsNo = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    BoxAnswerer answerer([&](QMessageBox *box) {
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
        box->button(QMessageBox::Yes)->click();
    });
    const SB answer = MessageBox::question(nullptr, QStringLiteral("提示"), QStringLiteral("确定退出程序吗？"),
                                           QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    QVERIFY(answerer.seen);
    QCOMPARE(answer, QMessageBox::Yes);
    QCOMPARE(title, QStringLiteral("提示"));
    QCOMPARE(text, QStringLiteral("确定退出程序吗？"));
    QCOMPARE(icon, QMessageBox::Question);
    QVERIFY(defaultIsNo);
}

void MessageBoxTest::realBoxEscape()
{
    BoxAnswerer answerer([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Escape); });
    const SB answer = MessageBox::warning(nullptr, QStringLiteral("提示"), QStringLiteral("x"),
                                          QMessageBox::Yes | QMessageBox::No);
    QVERIFY(answerer.seen);
    QCOMPARE(answer, QMessageBox::No);
}

void MessageBoxTest::realBoxCustomTexts()
{
    bool relabelled = false;
    bool hasIcon = false;
    BoxAnswerer answerer([&](QMessageBox *box) {
        relabelled = box->button(QMessageBox::Ok)->text() == QStringLiteral("开始上传")
                     && box->button(QMessageBox::Cancel)->text() == QStringLiteral("我知道了");
        hasIcon = !box->windowIcon().isNull();
        if (QAbstractButton *b = buttonWithText(box, QStringLiteral("我知道了")))
            b->click();
        else
            box->close();
    });
    const SB answer = MessageBox::withButtonTexts(
        nullptr, QMessageBox::Warning, QStringLiteral("提示"), QStringLiteral("发现还有未上传的主观题图片"),
        {{QMessageBox::Ok, QStringLiteral("开始上传")}, {QMessageBox::Cancel, QStringLiteral("我知道了")}},
        QMessageBox::NoButton, QStringLiteral(":/image/res/images/no.png"));
    QVERIFY(answerer.seen);
    QVERIFY(relabelled);
    QVERIFY(hasIcon);
    QCOMPARE(answer, QMessageBox::Cancel);
}

QTEST_MAIN(MessageBoxTest)
#include "messagebox_test.moc"

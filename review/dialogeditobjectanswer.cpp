#include "dialogeditobjectanswer.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

// Only the frame for now: the answer grid comes with the review dialogs.
DialogEditObjectAnswer::DialogEditObjectAnswer(QWidget *parent) : QDialog(parent)
{
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(QStringLiteral("修改客观题填涂"));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &DialogEditObjectAnswer::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(buttons);
}

void DialogEditObjectAnswer::moveEvent(QMoveEvent *event)
{
    QDialog::moveEvent(event);
    rememberGeometry();
}

void DialogEditObjectAnswer::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    rememberGeometry();
}

void DialogEditObjectAnswer::rememberGeometry()
{
    if (isVisible())
        emit geometryChanged(pos(), size());
}

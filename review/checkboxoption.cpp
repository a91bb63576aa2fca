#include "checkboxoption.h"

#include <QMouseEvent>
#include <QSignalBlocker>

CheckBoxOption::CheckBoxOption(QChar letter, QWidget *parent) : QCheckBox(QString(letter), parent)
{
    setObjectName(QString(letter));
}

void CheckBoxOption::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QCheckBox::mouseReleaseEvent(event);
        return;
    }
    // The press left the button down; nothing else will raise it.
    setDown(false);
    setChecked(!isChecked());
    emit clicked(isChecked());
    QWidget::mouseReleaseEvent(event);
}

QString optionPanelStyleSheet()
{
    return QStringLiteral(
        "QWidget { background-color: rgb(217, 217, 217); }\n"
        "QCheckBox { padding: 5px 20px 5px 5px; margin: 0px; border-radius: 5px; border: 1px solid #1296db;"
        " spacing: 20px; font-size: 30px; }\n"
        "QCheckBox::indicator { width: 24px; height: 24px; }\n"
        "QCheckBox::indicator:unchecked { image: url(:/svgs/res/svgs/unchecked.svg); }\n"
        "QCheckBox::indicator:checked { image: url(:/svgs/res/svgs/checked.svg); }\n");
}

namespace OptionPanel {

QString checkedMark(const QList<CheckBoxOption *> &boxes)
{
    QString mark;
    for (const CheckBoxOption *box : boxes) {
        if (box->isChecked())
            mark += box->objectName();
    }
    return mark.isEmpty() ? QStringLiteral("X") : mark;
}

bool setChecks(const QList<CheckBoxOption *> &boxes, const QString &mark)
{
    QList<bool> wanted;
    for (int i = 0; i < boxes.size(); ++i)
        wanted << false;
    if (mark != QLatin1String("X")) {
        for (const QChar c : mark) {
            for (int i = 0; i < boxes.size(); ++i) {
                if (boxes[i]->objectName() == QString(c)) {
                    wanted[i] = true;
                    break;
                }
            }
        }
    }
    bool changed = false;
    for (int i = 0; i < boxes.size(); ++i) {
        if (boxes[i]->isChecked() == wanted[i])
            continue;
        const QSignalBlocker quiet(boxes[i]);
        boxes[i]->setChecked(wanted[i]);
        changed = true;
    }
    return changed;
}

void clear(QList<CheckBoxOption *> &boxes)
{
    for (CheckBoxOption *box : qAsConst(boxes)) {
        box->hide();
        delete box;
    }
    boxes.clear();
}

} // namespace OptionPanel

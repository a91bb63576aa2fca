#pragma once
// The about box of the three programs: the version, a link to the platform's
// web site, the upgrade check and the logo. In the processing program and the
// designer five clicks on the logo open a hidden tool that the program hands
// in; the scanning station has none.

#include "dialogupgradeinfo.h"

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;

class DialogAbout : public QDialog {
    Q_OBJECT
public:
    struct Program {
        enum Kind { Processing, Designer, Station };
        Kind kind = Processing;
        QString word;                         // "Ardentiq", shown before the version
        DialogUpgradeInfo::Program upgrade;   // its version name is the one shown
        // Run after every fifth click on the logo, with the about box.
        std::function<void(QWidget *aboutBox)> hiddenTool;
        // The upgrade button; unset runs the plain online check.
        std::function<void()> checkUpgrade;
    };
    static Program ardentiq();
    static Program lumbrisk();
    static Program pellwyn();

    explicit DialogAbout(Program program, QWidget *parent = nullptr);

    int clickCount = 0;
    QString linkUrl; // the page the link opens

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void build();
    void openLink();
    void logoClicked();
    void upgrade();

    Program m_program;
    QLabel *m_linkLabel = nullptr;
};

#pragma once
#include <QString>

class QWidget;

// Asks for a folder, starting in current when that is a folder. The chosen
// folder in the platform's separators, or empty when none was chosen.
QString chooseFolder(QWidget *parent, const QString &title, const QString &current);

#pragma once
// The station's main window: the scan form and the preview side by side in
// a splitter, the station's status bar underneath.

#include <QMainWindow>

class FormImage;
class FormScan;
class FormStatusBar;
class QSplitter;

namespace Ui
{
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Why the station cannot start with the settings file at iniPath (the
    // operator's message), or an empty text when it can.
    static QString settingsFileProblem(const QString &iniPath);

    FormScan *formScan = nullptr;
    FormImage *formImage = nullptr;
    FormStatusBar *formStatusBar = nullptr;
    QSplitter *splitter = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Ui::MainWindow *ui = nullptr;
};

#pragma once
// The settings dialog of the processing program: recognition, mark, image,
// upload and image-list settings, loaded from and saved to "Ardentiq.ini".

#include <QDialog>

#include <memory>

class QSettings;

namespace Ui { class DialogSetting; }

class DialogSetting : public QDialog {
    Q_OBJECT
public:
    explicit DialogSetting(QWidget *parent = nullptr);
    ~DialogSetting() override;

    // Fills the form from the file.
    void loadSettings();
    // Checks every field, then writes them all. On a refused value it shows
    // why and writes nothing; returns true only when everything was stored.
    bool saveSettings();

public slots:
    // Closes with Accepted only when the save succeeded.
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void updateLocalServerFields();
    void showFormatWidgets(int formatIndex);
    void openLocalServerTestPage();
    void openThresholdDialog();
    void showExchangeNameHelp();

    Ui::DialogSetting *ui;
    // One handle for the dialog's whole life; every load and save uses it.
    std::unique_ptr<QSettings> settings;
};

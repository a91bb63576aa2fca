#pragma once
// Online upgrade check of the three programs and the hand-off to the updater
// "Upgrade.exe" in the program's folder.

#include <QDateTime>
#include <QDialog>
#include <QJsonObject>
#include <QString>

#include <functional>

class QNetworkAccessManager;
struct PlatformReply;

namespace Ui { class DialogUpgradeInfo; }

class DialogUpgradeInfo : public QDialog {
    Q_OBJECT
public:
    // What differs between the programs.
    struct Program {
        QString word;        // last segment of "/upgrade/online/<word>"
        QString versionName; // sent and shown as the current version
        int timeoutMs = 0;   // 0: wait until the network layer gives up
        bool debugReply = false; // write the reply to the debug output
    };
    static Program ardentiq();
    static Program lumbrisk();
    static Program pellwyn();
    static QString versionCode(); // "2025052800", the same for all three

    // What a reply of the upgrade check says; any body gives a value.
    struct Reply {
        int code = 0;            // 200: a new version, described below; 201: none, `message` says why
        QJsonObject upgrade;     // the "message" object of a 200 reply, handed on to the updater
        QString versionName;
        QDateTime createdAt;     // invalid when missing or not "yyyy-MM-dd hh:mm:ss"
        QString info;            // HTML
        QString message;         // 201
    };
    static Reply readReply(const PlatformReply &reply);

    explicit DialogUpgradeInfo(const Program &program, QWidget *parent = nullptr);
    ~DialogUpgradeInfo() override;

    // Asks the platform; shows the dialog modally when there is something to
    // show, a message box when the check failed.
    void checkUpgrade();

    // The updater's one argument: Base64 of qCompress (level 9) of the compact
    // UTF-8 JSON {"version_code_now","version_name_now","main_exe","upgrade"}.
    QString updaterArgument() const;

    // Asked before the hand-off; a non-empty text refuses it and is shown.
    std::function<QString()> busyReason;
    // Folder of "Upgrade.exe"; the application's folder by default.
    QString applicationDir;
    // The program file named to the updater; the running one by default.
    QString mainExe;
    // Ends the program once the updater runs; by default at once, code 0.
    std::function<void(int)> exitProgram;

    const Program &program() const { return m_program; }
    // The "message" object of the last reply with code 200.
    QJsonObject upgrade() const { return m_upgrade; }
    // Set when the last check gave up on its time-out.
    bool timedOut() const { return m_timedOut; }

public slots:
    void accept() override; // the hand-off (the Update button)
    void reject() override;

private:
    bool startUpdater();
    void recordTimeout() { m_timedOut = true; }

    Ui::DialogUpgradeInfo *ui;
    Program m_program;
    QNetworkAccessManager *m_manager;
    QJsonObject m_upgrade;
    bool m_timedOut = false;
};

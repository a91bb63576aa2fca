#pragma once
// The platform account: customer type and code, data key and (for a union of
// schools) the school's name, checked with the platform before they are
// stored in "Ardentiq.ini".

#include <QDialog>
#include <QList>
#include <QSslError>
#include <QString>

class QNetworkReply;

namespace Ui { class DialogAccount; }

class DialogAccount : public QDialog {
    Q_OBJECT
public:
    explicit DialogAccount(QWidget *parent = nullptr);
    ~DialogAccount() override;

    void loadSettings();
    // Writes the form and the school id of the last check; false when the
    // file could not be written.
    bool saveSettings();

    const QString &customerType() const { return m_customerType; }
    const QString &customerCode() const { return m_customerCode; }
    const QString &dataKey() const { return m_dataKey; }
    const QString &schoolName() const { return m_schoolName; }
    // The platform's school id, "-1" after a refused or unreadable check,
    // empty before the first check.
    const QString &schoolID() const { return m_schoolID; }
    bool isVerified() const { return m_verified; }

public slots:
    void verifyKey();
    void accept() override;
    void handleSslErrors(QNetworkReply *reply, const QList<QSslError> &errors);

private:
    void showSchoolName(bool shown);

    Ui::DialogAccount *ui;
    QString m_customerType;
    QString m_customerCode;
    QString m_dataKey;
    QString m_schoolName;
    QString m_schoolID;
    bool m_verified = false;
};

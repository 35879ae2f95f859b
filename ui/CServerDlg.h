#pragma once

#include <string>

#include <QDialog>

#include "core/AccountList.h"
#include "core/EmailAccountInfo.h"
#include "engine/AccountFields.h"
#include "engine/AccountTransport.h"
#include "ui/DialogContext.h"
#include "ui/SoundPlayer.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace sieveclaw {

// "Email Account Settings": every field of one account. On OK the fields are checked and, where
// the user changed a server's logon, that logon is tried against the server. The dialog never
// touches the account list; its opener copies the account in and out.
class CServerDlg : public QDialog {
    Q_OBJECT
public:
    // A new account when account's name is empty (its name must then be free in accounts), else the
    // account to edit.
    CServerDlg(CDialogContext& context, const CAccountList& accounts, const EmailAccountInfo& account,
               QWidget* parent = nullptr);

    // The account as the dialog left it, once it ended with OK.
    const EmailAccountInfo& Account() const { return m_Account; }

    void accept() override;

private:
    // One server's widgets.
    struct ServerFields {
        QLineEdit* m_Server = nullptr;
        QLineEdit* m_Port = nullptr;
        QComboBox* m_Security = nullptr;
        QLineEdit* m_UserId = nullptr;
        QLineEdit* m_Password = nullptr;
        QLabel* m_Trusted = nullptr;
        QPushButton* m_Forget = nullptr;
        bool m_SecurityTouched = false;  // the user chose the security, or forgot the certificate
    };

    QWidget* BuildServerGroup(ServerFields& fields, const QString& title, const char* prefix, QWidget* extra);
    QWidget* BuildSoundsGroup();
    void Fill();
    void ApplyDifferentServer();
    void ApplyLogonChoice();
    void ApplyPlaySounds();
    void UpdatePlayButtons();
    void ChooseSound(QLineEdit* field);
    void ShowTrusted(EMailServer server);
    void ReadFields(EmailAccountInfo& record) const;
    QWidget* FieldWidget(EAccountField field) const;
    // The server's logon fields were changed by the user in this dialog.
    bool LogonChanged(const ServerFields& fields) const;
    // Asks, then tries the logon, with the trust question when the certificate is the cause.
    // False when the dialog must stay open.
    bool TestServer(EMailServer server, EmailAccountInfo& record);
    ServerFields& FieldsOf(EMailServer server) { return server == EMailServer::kPop3 ? m_Pop3 : m_Smtp; }

    CDialogContext& m_Context;
    const CAccountList& m_Accounts;
    EmailAccountInfo m_Account;
    const bool m_New;

    QLineEdit* m_Name = nullptr;
    QLineEdit* m_Email = nullptr;
    ServerFields m_Pop3;
    ServerFields m_Smtp;
    QCheckBox* m_LeaveUnread = nullptr;
    bool m_LeaveUnreadTouched = false;  // the user chose it; a new server name no longer does
    QCheckBox* m_Different = nullptr;
    QComboBox* m_NeedsLogon = nullptr;
    QWidget* m_SmtpBody = nullptr;
    QLabel* m_SmtpUserLabel = nullptr;
    QLabel* m_SmtpPasswordLabel = nullptr;
    QCheckBox* m_PlaySounds = nullptr;
    QLabel* m_SpamLabel = nullptr;
    QLineEdit* m_SpamSound = nullptr;
    QPushButton* m_SpamBrowse = nullptr;
    QPushButton* m_SpamPlay = nullptr;
    QLabel* m_MailLabel = nullptr;
    QLineEdit* m_MailSound = nullptr;
    QPushButton* m_MailBrowse = nullptr;
    QPushButton* m_MailPlay = nullptr;
    CSoundPlayer m_Player;
};

}  // namespace sieveclaw

#include "ui/CServerDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/ConnectionSecurity.h"
#include "core/LeadingNumber.h"
#include "engine/ServerTest.h"
#include "ui/BackgroundWork.h"
#include "ui/DialogParts.h"

namespace sieveclaw {

namespace {

constexpr EConnectionSecurity kSecurityChoices[] = {EConnectionSecurity::kSslTls, EConnectionSecurity::kStartTls,
                                                    EConnectionSecurity::kWhenOffered};

QComboBox* SecurityCombo(const QString& name, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    for (const EConnectionSecurity security : kSecurityChoices) {
        combo->addItem(ToQString(SecurityLabel(security)), static_cast<int>(security));
    }
    return combo;
}

void SelectSecurity(QComboBox* combo, EConnectionSecurity security) {
    combo->setCurrentIndex(combo->findData(static_cast<int>(security)));
}

EConnectionSecurity SelectedSecurity(const QComboBox* combo) {
    return static_cast<EConnectionSecurity>(combo->currentData().toInt());
}

// The fingerprint shortened to its ends; the whole one is the tooltip.
QString ShortFingerprint(const std::string& fingerprint) {
    const QString whole = QString::fromStdString(fingerprint);
    return whole.size() > 24 ? whole.left(11) + QStringLiteral(" … ") + whole.right(11) : whole;
}

}  // namespace

CServerDlg::CServerDlg(CDialogContext& context, const CAccountList& accounts, const EmailAccountInfo& account,
                       QWidget* parent)
    : QDialog(parent),
      m_Context(context),
      m_Accounts(accounts),
      m_Account(account),
      m_New(account.m_AccountName.empty()) {
    setWindowTitle(QStringLiteral("Email Account Settings"));
    m_Name = NamedEdit("name", this);
    m_Email = NamedEdit("email", this);

    auto* layout = new QVBoxLayout(this);
    auto* nameRow = new QFormLayout;
    nameRow->setRowWrapPolicy(QFormLayout::WrapAllRows);
    nameRow->addRow(QStringLiteral("What would you like to name this account?"), m_Name);
    layout->addLayout(nameRow);
    layout->addWidget(BuildServerGroup(m_Pop3, QStringLiteral("Incoming Mail Server (POP3)"), "pop3", nullptr));
    auto* emailRow = new QFormLayout;
    emailRow->addRow(QStringLiteral("Email Address"), m_Email);
    layout->addLayout(emailRow);

    m_Different =
        new QCheckBox(QStringLiteral("My outbound mail server is different than my inbound mail server"), this);
    m_Different->setObjectName(QStringLiteral("different"));
    m_NeedsLogon = new QComboBox(this);
    m_NeedsLogon->setObjectName(QStringLiteral("smtpLogon"));
    m_NeedsLogon->addItems({QStringLiteral("No"), QStringLiteral("Yes")});
    layout->addWidget(BuildServerGroup(m_Smtp, QStringLiteral("Outgoing Mail Server (SMTP)"), "smtp", m_NeedsLogon));
    layout->addWidget(BuildSoundsGroup());
    layout->addWidget(OkCancelButtons(this));

    SetTabOrder({m_Name, m_Pop3.m_Server, m_Pop3.m_Port, m_Pop3.m_Security, m_Pop3.m_Forget, m_Pop3.m_UserId,
                 m_Pop3.m_Password, m_LeaveUnread, m_Email, m_Different, m_Smtp.m_Server, m_Smtp.m_Port, m_Smtp.m_Security,
                 m_Smtp.m_Forget, m_NeedsLogon, m_Smtp.m_UserId, m_Smtp.m_Password, m_PlaySounds, m_SpamSound,
                 m_SpamBrowse, m_SpamPlay, m_MailSound, m_MailBrowse, m_MailPlay});
    Fill();
    connect(m_Different, &QCheckBox::toggled, this, &CServerDlg::ApplyDifferentServer);
    connect(m_NeedsLogon, &QComboBox::currentIndexChanged, this, &CServerDlg::ApplyLogonChoice);
    connect(m_PlaySounds, &QCheckBox::toggled, this, &CServerDlg::ApplyPlaySounds);
    ApplyPlaySounds();

    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CServerDlg::UpdatePlayButtons);
    timer->start(250);
    UpdatePlayButtons();
    m_Name->setFocus();
}

QWidget* CServerDlg::BuildServerGroup(ServerFields& fields, const QString& title, const char* prefix, QWidget* extra) {
    const QString name = QString::fromLatin1(prefix);
    auto* group = new QGroupBox(title, this);
    auto* outer = new QVBoxLayout(group);
    QWidget* body = group;
    if (extra != nullptr) {
        outer->addWidget(m_Different);
        body = m_SmtpBody = new QWidget(group);
        body->setObjectName(QStringLiteral("smtpBody"));
        outer->addWidget(body);
    }
    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    if (extra != nullptr) {
        body->setLayout(grid);
    } else {
        outer->addLayout(grid);
    }
    fields.m_Server = NamedEdit((prefix + std::string("Server")).c_str(), body);
    fields.m_Port = NamedEdit((prefix + std::string("Port")).c_str(), body);
    fields.m_Port->setMaximumWidth(80);
    fields.m_Security = SecurityCombo(name + QStringLiteral("Security"), body);
    fields.m_UserId = NamedEdit((prefix + std::string("User")).c_str(), body);
    fields.m_Password = NamedEdit((prefix + std::string("Password")).c_str(), body, true);
    fields.m_Trusted = new QLabel(body);
    fields.m_Trusted->setObjectName(name + QStringLiteral("Trusted"));
    fields.m_Forget = new QPushButton(QStringLiteral("&Forget"), body);
    fields.m_Forget->setObjectName(name + QStringLiteral("Forget"));

    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("Email Server"), body), row, 0);
    grid->addWidget(fields.m_Server, row, 1);
    grid->addWidget(new QLabel(QStringLiteral("Port"), body), row, 2);
    grid->addWidget(fields.m_Port, row++, 3);
    grid->addWidget(new QLabel(QStringLiteral("Security"), body), row, 0);
    grid->addWidget(fields.m_Security, row++, 1);
    grid->addWidget(fields.m_Trusted, row, 1, 1, 2);
    grid->addWidget(fields.m_Forget, row++, 3);
    if (extra != nullptr) {
        QLabel* question = WrappedLabel(
            QStringLiteral("When you send mail are you required to send a user id and password?"), body);
        // A grid gives a wrapped label the height of one line, which cut the question's second line.
        question->setMinimumHeight(2 * question->fontMetrics().lineSpacing());
        grid->addWidget(question, row, 0, 1, 2);
        grid->addWidget(extra, row++, 2, 1, 2);
    }
    auto* userLabel = new QLabel(QStringLiteral("User Id"), body);
    auto* passwordLabel = new QLabel(QStringLiteral("Password"), body);
    grid->addWidget(userLabel, row, 0);
    grid->addWidget(fields.m_UserId, row++, 1);
    grid->addWidget(passwordLabel, row, 0);
    grid->addWidget(fields.m_Password, row++, 1);
    grid->setColumnStretch(1, 1);
    if (extra != nullptr) {
        m_SmtpUserLabel = userLabel;
        m_SmtpPasswordLabel = passwordLabel;
    } else {
        m_LeaveUnread = new QCheckBox(QStringLiteral("&Leave mail unread on the server"), body);
        m_LeaveUnread->setObjectName(QStringLiteral("leaveUnread"));
        m_LeaveUnread->setToolTip(QStringLiteral("Messages are read without marking them as downloaded, so that "
                                                 "your own mail program still receives them"));
        grid->addWidget(m_LeaveUnread, row++, 1, 1, 3);
        connect(m_LeaveUnread, &QCheckBox::clicked, this, [this] { m_LeaveUnreadTouched = true; });
        // Some servers hand a message to one program only once it was downloaded: a server name
        // typed here brings its default, until the user chooses.
        connect(fields.m_Server, &QLineEdit::textEdited, this, [this](const QString& server) {
            if (!m_LeaveUnreadTouched) {
                m_LeaveUnread->setChecked(LeavesMailUnreadByDefault(server.toStdString()));
            }
        });
    }

    const EMailServer server = extra != nullptr ? EMailServer::kSmtp : EMailServer::kPop3;
    connect(fields.m_Security, &QComboBox::activated, this, [&fields] { fields.m_SecurityTouched = true; });
    connect(fields.m_Forget, &QPushButton::clicked, this, [this, server, &fields] {
        (server == EMailServer::kPop3 ? m_Account.m_POP3Certificate : m_Account.m_SMTPCertificate).clear();
        fields.m_SecurityTouched = true;
        ShowTrusted(server);
    });
    // A new account starts with the security its port usually has, until the user chooses one.
    connect(fields.m_Port, &QLineEdit::textEdited, this, [this, &fields](const QString& port) {
        if (m_New && !fields.m_SecurityTouched) {
            SelectSecurity(fields.m_Security,
                           DefaultSecurityForPort(port.toInt(), m_Context.m_State.m_Settings.GetImplicitTlsPorts()));
        }
    });
    return group;
}

QWidget* CServerDlg::BuildSoundsGroup() {
    auto* group = new QGroupBox(QStringLiteral("Sounds"), this);
    auto* grid = new QGridLayout(group);
    m_PlaySounds = new QCheckBox(QStringLiteral("&Play sounds"), group);
    m_PlaySounds->setObjectName(QStringLiteral("playSounds"));
    grid->addWidget(m_PlaySounds, 0, 0, 1, 3);
    const auto soundRow = [this, grid, group](int row, const QString& text, const char* name, QLabel*& label,
                                              QLineEdit*& edit, QPushButton*& browse, QPushButton*& play) {
        label = new QLabel(text, group);
        edit = NamedEdit(name, group);
        browse = new QPushButton(QStringLiteral("&Browse"), group);
        play = new QPushButton(QStringLiteral("&Play"), group);
        browse->setObjectName(QString::fromLatin1(name) + QStringLiteral("Browse"));
        play->setObjectName(QString::fromLatin1(name) + QStringLiteral("Play"));
        grid->addWidget(label, row, 0, 1, 3);
        grid->addWidget(edit, row + 1, 0);
        grid->addWidget(browse, row + 1, 1);
        grid->addWidget(play, row + 1, 2);
        QLineEdit* field = edit;
        connect(browse, &QPushButton::clicked, this, [this, field] { ChooseSound(field); });
        connect(play, &QPushButton::clicked, this, [this, field] { m_Player.Play(field->text().toStdString()); });
    };
    soundRow(1, QStringLiteral("Spam Getting Clawed"), "spamSound", m_SpamLabel, m_SpamSound, m_SpamBrowse, m_SpamPlay);
    soundRow(3, QStringLiteral("You've Got Mail - That you want to read. "), "mailSound", m_MailLabel, m_MailSound,
             m_MailBrowse, m_MailPlay);
    grid->setColumnStretch(0, 1);
    return group;
}

void CServerDlg::Fill() {
    const EmailAccountInfo& a = m_Account;
    const auto text = [](const std::string& value) { return QString::fromStdString(value); };
    m_Name->setText(text(a.m_AccountName));
    m_Pop3.m_Server->setText(text(a.m_POP3Server));
    m_Pop3.m_Port->setText(text(a.m_POP3Port));
    m_Pop3.m_UserId->setText(text(a.m_POP3UserId));
    m_Pop3.m_Password->setText(text(a.m_POP3Password));
    m_Email->setText(text(a.m_EmailAddress));
    m_Smtp.m_Server->setText(text(a.m_SMTPServer));
    m_Smtp.m_Port->setText(text(a.m_SMTPPort));
    m_Smtp.m_UserId->setText(text(a.m_SMTPUserId));
    m_Smtp.m_Password->setText(text(a.m_SMTPPassword));
    m_NeedsLogon->setCurrentIndex(a.m_SMTPNeedsLogon != 0 ? 1 : 0);
    m_PlaySounds->setChecked(a.m_PlaySounds != 0);
    m_LeaveUnread->setChecked(a.m_LeaveMailUnread != 0);
    m_SpamSound->setText(text(a.m_SpamSoundFile));
    m_MailSound->setText(text(a.m_NewMailSoundFile));
    if (m_New) {
        const std::vector<int> implicit = m_Context.m_State.m_Settings.GetImplicitTlsPorts();
        SelectSecurity(m_Pop3.m_Security, DefaultSecurityForPort(LeadingNumber<int>(a.m_POP3Port), implicit));
        SelectSecurity(m_Smtp.m_Security, DefaultSecurityForPort(LeadingNumber<int>(a.m_SMTPPort), implicit));
    } else {
        SelectSecurity(m_Pop3.m_Security, a.m_POP3Security);
        SelectSecurity(m_Smtp.m_Security, a.m_SMTPSecurity);
    }
    ShowTrusted(EMailServer::kPop3);
    ShowTrusted(EMailServer::kSmtp);
    m_Different->setChecked(!m_New && a.m_SMTPServer != a.m_POP3Server);
    ApplyDifferentServer();
    ApplyLogonChoice();
}

void CServerDlg::ApplyDifferentServer() {
    const bool different = m_Different->isChecked();
    m_SmtpBody->setEnabled(different);
    if (!different) {
        return;
    }
    ApplyLogonChoice();
    if (m_Smtp.m_Server->text().isEmpty()) {
        m_Smtp.m_Server->setText(m_Pop3.m_Server->text());
        m_Smtp.m_Port->setText(QStringLiteral("25"));
        m_Smtp.m_UserId->setText(m_Pop3.m_UserId->text());
        m_Smtp.m_Password->setText(m_Pop3.m_Password->text());
    }
}

void CServerDlg::ApplyLogonChoice() {
    const bool yes = m_NeedsLogon->currentIndex() == 1;
    for (QWidget* widget :
         std::initializer_list<QWidget*>{m_Smtp.m_UserId, m_Smtp.m_Password, m_SmtpUserLabel, m_SmtpPasswordLabel}) {
        widget->setEnabled(yes);
    }
}

void CServerDlg::ApplyPlaySounds() {
    const bool on = m_PlaySounds->isChecked();
    for (QWidget* widget : std::initializer_list<QWidget*>{m_SpamLabel, m_SpamSound, m_SpamBrowse, m_MailLabel,
                                                           m_MailSound, m_MailBrowse}) {
        widget->setEnabled(on);
    }
}

void CServerDlg::UpdatePlayButtons() {
    m_SpamPlay->setEnabled(!m_SpamSound->text().isEmpty());
    m_MailPlay->setEnabled(!m_MailSound->text().isEmpty());
}

void CServerDlg::ChooseSound(QLineEdit* field) {
    CSettings& settings = m_Context.m_State.m_Settings;
    const std::string folder = settings.Snapshot().m_SoundFilePath;
    const auto chosen = m_Context.m_Prompt.ChooseFileToOpenAt("Wave Files (*.wav)|*.wav|", ".wav", folder + "*.wav");
    if (!chosen) {
        return;
    }
    field->setText(QString::fromStdString(*chosen));
    const std::string chosenFolder = QFileInfo(QString::fromStdString(*chosen)).absolutePath().toStdString() + "/";
    settings.Update([&chosenFolder](SettingsValues& values) { values.m_SoundFilePath = chosenFolder; });
}

void CServerDlg::ShowTrusted(EMailServer server) {
    ServerFields& fields = FieldsOf(server);
    const std::string& fingerprint =
        server == EMailServer::kPop3 ? m_Account.m_POP3Certificate : m_Account.m_SMTPCertificate;
    fields.m_Trusted->setText(QStringLiteral("Trusts the certificate ") + ShortFingerprint(fingerprint));
    fields.m_Trusted->setToolTip(QStringLiteral("SHA-256 fingerprint: ") + QString::fromStdString(fingerprint));
    fields.m_Trusted->setVisible(!fingerprint.empty());
    fields.m_Forget->setVisible(!fingerprint.empty());
}

void CServerDlg::ReadFields(EmailAccountInfo& record) const {
    const auto text = [](const QLineEdit* edit) { return edit->text().toStdString(); };
    record.m_AccountName = text(m_Name);
    record.m_POP3Server = text(m_Pop3.m_Server);
    record.m_POP3Port = text(m_Pop3.m_Port);
    record.m_POP3UserId = text(m_Pop3.m_UserId);
    record.m_POP3Password = text(m_Pop3.m_Password);
    record.m_POP3Security = SelectedSecurity(m_Pop3.m_Security);
    record.m_LeaveMailUnread = m_LeaveUnread->isChecked() ? 1 : 0;
    record.m_EmailAddress = text(m_Email);
    record.m_SMTPServer = text(m_Smtp.m_Server);
    record.m_SMTPPort = text(m_Smtp.m_Port);
    record.m_SMTPSecurity = SelectedSecurity(m_Smtp.m_Security);
    record.m_SMTPNeedsLogon = m_NeedsLogon->currentIndex() == 1 ? 1 : 0;
    record.m_SMTPUserId = text(m_Smtp.m_UserId);
    record.m_SMTPPassword = text(m_Smtp.m_Password);
    record.m_PlaySounds = m_PlaySounds->isChecked() ? 1 : 0;
    record.m_SpamSoundFile = text(m_SpamSound);
    record.m_NewMailSoundFile = text(m_MailSound);
}

QWidget* CServerDlg::FieldWidget(EAccountField field) const {
    switch (field) {
        case EAccountField::kName:
            return m_Name;
        case EAccountField::kPOP3Server:
            return m_Pop3.m_Server;
        case EAccountField::kPOP3Port:
            return m_Pop3.m_Port;
        case EAccountField::kPOP3UserId:
            return m_Pop3.m_UserId;
        case EAccountField::kPOP3Password:
            return m_Pop3.m_Password;
        case EAccountField::kEmailAddress:
            return m_Email;
        case EAccountField::kSMTPUserId:
            return m_Smtp.m_UserId;
        case EAccountField::kSMTPPassword:
            return m_Smtp.m_Password;
        case EAccountField::kSMTPServer:
            return m_Smtp.m_Server;
        case EAccountField::kSMTPPort:
            return m_Smtp.m_Port;
        case EAccountField::kSpamSoundFile:
            return m_SpamSound;
        case EAccountField::kNewMailSoundFile:
            return m_MailSound;
    }
    return m_Name;
}

bool CServerDlg::LogonChanged(const ServerFields& fields) const {
    return fields.m_Server->isModified() || fields.m_UserId->isModified() || fields.m_Password->isModified() ||
           fields.m_SecurityTouched;
}

bool CServerDlg::TestServer(EMailServer server, EmailAccountInfo& record) {
    CUserPrompt& prompt = m_Context.m_Prompt;
    if (prompt.AskYesNoCancel(VerifyServerQuestion(server)) != CUserPrompt::EAnswer::kYes) {
        return true;
    }
    const CTransportOptions base = m_Context.TransportOptions();
    for (;;) {
        const EmailAccountInfo tried = record;
        const ServerTestResult result = RunInBackground<ServerTestResult>(this, [&tried, &base, server] {
            return server == EMailServer::kPop3 ? TestPop3Logon(tried, base) : TestSmtpLogon(tried, base);
        });
        switch (result.m_Step) {
            case EServerTestStep::kUnresolved:
                prompt.ShowError(UnresolvedServerMessage(
                    server, server == EMailServer::kPop3 ? tried.m_POP3Server : tried.m_SMTPServer));
                FieldsOf(server).m_Server->setFocus();
                return false;
            case EServerTestStep::kWorked:
                prompt.ShowPlain(ServerWorkedMessage(server));
                return true;
            case EServerTestStep::kLogonFailed:
                break;
        }
        const std::string failure = LogonFailedMessage(server, result.m_LastError);
        if (result.m_RefusedCertificate.empty()) {
            prompt.ShowError(failure);
            return false;
        }
        if (prompt.AskYesNoCancel(TrustCertificateQuestion(server, failure, result.m_RefusedCertificate)) !=
            CUserPrompt::EAnswer::kYes) {
            return false;
        }
        // Trusted from now on, in this dialog too, whatever the next try brings.
        std::string& pinned = server == EMailServer::kPop3 ? record.m_POP3Certificate : record.m_SMTPCertificate;
        pinned = result.m_RefusedCertificate;
        (server == EMailServer::kPop3 ? m_Account.m_POP3Certificate : m_Account.m_SMTPCertificate) = pinned;
        ShowTrusted(server);
    }
}

void CServerDlg::accept() {
    CUserPrompt& prompt = m_Context.m_Prompt;
    EmailAccountInfo record = m_Account;
    ReadFields(record);
    TrimAccountFields(record);
    const bool different = m_Different->isChecked();
    auto problem = FirstAccountFieldProblem(record, {true, different, different});
    if (!problem && !different) {
        UseIncomingServerForOutgoing(record);
    }
    if (!problem && m_New) {
        problem = NewAccountNameProblem(m_Accounts, record.m_AccountName);
    }
    if (!problem) {
        problem = UnstorableFieldProblem(record);
    }
    if (problem) {
        prompt.ShowError(problem->m_Message);
        FieldWidget(problem->m_Field)->setFocus();
        return;
    }
    if (LogonChanged(m_Pop3) && !TestServer(EMailServer::kPop3, record)) {
        return;
    }
    if (different && LogonChanged(m_Smtp) && !TestServer(EMailServer::kSmtp, record)) {
        return;
    }
    m_Account = record;
    QDialog::accept();
}

}  // namespace sieveclaw

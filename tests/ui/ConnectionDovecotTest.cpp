#include <memory>

#include <QAbstractButton>
#include <QComboBox>
#include <QTimer>
#include <QTreeWidget>

#include "engine/ServerTest.h"
#include "tests/support/MailServerSet.h"
#include "tests/ui/ModalAnswerer.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CFirstRunWizard.h"
#include "ui/CServerDlg.h"
#include "ui/CSetPwdDlg.h"
#include "ui/WizardRows.h"

// The windows' connection tests against real servers: the account settings dialog's POP3 and SMTP
// tests, a certificate trusted from the error box, and the first-run wizard's endings.

namespace sieveclaw {
namespace {

using test::CMailServerSet;
using test::CModalAnswerer;
using test::EBox;
using test::kMailPassword;
using test::kMailUser;
using EAnswer = CUserPrompt::EAnswer;

class ConnectionDovecotTest : public test::CUiTest {
protected:
    static void SetUpTestSuite() {
        s_Servers = std::make_unique<CMailServerSet>();
        s_Servers->Start(s_StartError);
    }
    static void TearDownTestSuite() { s_Servers.reset(); }

    void SetUp() override {
        ASSERT_TRUE(s_StartError.empty()) << s_StartError;
        m_Context.m_TuneTransport = [](CTransportOptions& options) { options = s_Servers->Options(); };
    }

    static EmailAccountInfo Account(const std::string& name, int port, const std::string& password = kMailPassword) {
        EmailAccountInfo account;
        account.m_AccountName = name;
        account.m_POP3Server = "127.0.0.1";
        account.m_POP3UserId = kMailUser;
        account.m_POP3Password = password;
        account.m_POP3Port = std::to_string(port);
        account.m_EmailAddress = "alice@example.org";
        return account;
    }

    static inline std::unique_ptr<CMailServerSet> s_Servers;
    static inline std::string s_StartError;
};

TEST_F(ConnectionDovecotTest, TheSettingsDialogTestsBothServersAndTrustsACertificateTheUserAccepts) {
    CAccountList accounts;
    CServerDlg dialog(m_Context, accounts, EmailAccountInfo());
    Type(dialog, "name", "Home");
    Type(dialog, "pop3Server", "127.0.0.1");
    Type(dialog, "pop3Port", std::to_string(s_Servers->m_Pop3SelfSigned.TlsPort()));
    Child<QComboBox>(dialog, "pop3Security")->setCurrentIndex(0);  // SSL/TLS
    Type(dialog, "pop3User", kMailUser);
    Type(dialog, "pop3Password", kMailPassword);
    Type(dialog, "email", "alice@example.org");
    Click(dialog, "different");
    Child<QComboBox>(dialog, "smtpLogon")->setCurrentIndex(1);
    Type(dialog, "smtpPort", std::to_string(s_Servers->m_SmtpSelfSigned.PlainPort()));
    Type(dialog, "smtpPassword", kMailPassword);

    // The window keeps turning while the servers are asked.
    int ticks = 0;
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [&ticks] { ++ticks; });
    clock.start(5);
    m_Prompt.m_Answers = {EAnswer::kYes, EAnswer::kYes, EAnswer::kYes, EAnswer::kYes};
    dialog.accept();
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_GT(ticks, 0);

    std::vector<EBox> kinds;
    for (const auto& box : m_Prompt.m_Boxes) {
        kinds.push_back(box.m_Kind);
    }
    EXPECT_EQ(kinds, (std::vector<EBox>{EBox::kQuestion, EBox::kQuestion, EBox::kPlain, EBox::kQuestion,
                                        EBox::kQuestion, EBox::kPlain}));
    const std::vector<std::string> questions = m_Prompt.Texts(EBox::kQuestion);
    EXPECT_EQ(questions[1].rfind("Sieveclaw was unable to logon to your incoming mail server (POP3).  The following "
                                 "error was returned: The certificate of 127.0.0.1 could not be verified: self-signed "
                                 "certificate.",
                                 0),
              0U);
    const EmailAccountInfo& account = dialog.Account();
    EXPECT_NE(questions[1].find(account.m_POP3Certificate.substr(0, 47)), std::string::npos);
    EXPECT_EQ(m_Prompt.Texts(EBox::kPlain),
              (std::vector<std::string>{"Your incoming mail server (POP3) settings worked successfully!",
                                        "Your outgoing mail server (SMTP) settings worked successfully!"}));
    EXPECT_EQ(account.m_POP3Certificate.size(), 95U);
    EXPECT_EQ(account.m_SMTPCertificate, account.m_POP3Certificate);  // the same self-signed certificate
}

TEST_F(ConnectionDovecotTest, AWrongPasswordKeepsTheDialogOpenWithTheServersText) {
    CAccountList accounts;
    CServerDlg dialog(m_Context, accounts, Account("Home", s_Servers->m_Pop3.PlainPort(), "wrong"));
    Type(dialog, "pop3Password", "wrong");
    m_Prompt.m_Answers = {EAnswer::kYes};
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_Prompt.Texts(EBox::kError),
              std::vector<std::string>{"Sieveclaw was unable to logon to your incoming mail server (POP3).  The "
                                       "following error was returned:  [AUTH] Authentication failed.\r\n"});
}

TEST_F(ConnectionDovecotTest, TheWizardEndsByHowManyAccountsWorked) {
    // One of two with a wrong password: its error, then the partial message, and Finish.
    CAccountList accounts;
    AddAccount(accounts, Account("Good", s_Servers->m_Pop3.PlainPort()));
    AddAccount(accounts, Account("Bad", s_Servers->m_Pop3Plain.PlainPort(), "wrong"));
    {
        CFirstRunWizard wizard(m_Context, accounts);
        wizard.show();
        wizard.next();
        Click(*wizard.currentPage(), "connect");
        const std::vector<std::string> errors = m_Prompt.Texts(EBox::kError);
        ASSERT_EQ(errors.size(), 1U);
        EXPECT_EQ(errors[0],
                  "Sieveclaw was unable to logon to your incoming (POP3) mail server - 127.0.0.1 UserId: "
                  "alice.  The following error was returned:  [AUTH] Authentication failed.\r\n");
        EXPECT_EQ(m_Prompt.Texts(EBox::kInformation).at(0).rfind("1 out of 2 of your accounts worked.", 0), 0U);
        EXPECT_TRUE(wizard.button(QWizard::FinishButton)->isEnabled());
        EXPECT_TRUE(wizard.isVisible());
    }
    // Every account working, one found without a password: no summary, the wizard finishes itself,
    // and the account keeps the certificate trusted on the way.
    m_Prompt.m_Boxes.clear();
    CAccountList working;
    AddAccount(working, Account("Plain", s_Servers->m_Pop3Plain.PlainPort(), ""));
    AddAccount(working, Account("Own", s_Servers->m_Pop3SelfSigned.PlainPort()));
    CFirstRunWizard wizard(m_Context, working);
    m_Prompt.m_Answers = {EAnswer::kYes};
    CModalAnswerer answers;
    answers.Then<CFirstRunWizard>([](CFirstRunWizard* shown) {
        shown->next();
        Click(*shown->currentPage(), "connect");
    });
    answers.Then<CSetPwdDlg>([](CSetPwdDlg* box) {
        Type(*box, "password", kMailPassword);
        Type(*box, "again", kMailPassword);
        box->accept();
    });
    EXPECT_EQ(wizard.exec(), QDialog::Accepted);
    EXPECT_EQ(answers.Failure(), "");
    EXPECT_EQ(m_Prompt.Texts(EBox::kQuestion).size(), 1U);
    EXPECT_TRUE(m_Prompt.Texts(EBox::kInformation).empty());
    EXPECT_TRUE(m_Prompt.Texts(EBox::kError).empty());
    EXPECT_EQ(working.GetAt(working.First())->m_POP3Password, kMailPassword);
    EXPECT_EQ(working.GetAt(working.Next(working.First()))->m_POP3Certificate.size(), 95U);
}

}  // namespace
}  // namespace sieveclaw

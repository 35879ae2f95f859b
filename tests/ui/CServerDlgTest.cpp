#include "ui/CServerDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "tests/ui/UiTestSupport.h"

namespace sieveclaw {
namespace {

using test::EBox;

class CServerDlgTest : public test::CUiTest {
protected:
    // A new account with every field the checks want, typed in.
    void FillNew(CServerDlg& dialog, const std::string& name = "Home") {
        Type(dialog, "name", name);
        Type(dialog, "pop3Server", "pop.example.org");
        Type(dialog, "pop3User", "me");
        Type(dialog, "pop3Password", "secret");
        Type(dialog, "email", "me@example.org");
    }

    static EmailAccountInfo Stored() {
        EmailAccountInfo account;
        account.m_AccountName = "Home";
        account.m_POP3Server = account.m_SMTPServer = "pop.example.org";
        account.m_POP3UserId = account.m_SMTPUserId = "me";
        account.m_POP3Password = account.m_SMTPPassword = "secret";
        account.m_EmailAddress = "me@example.org";
        account.m_POP3Security = EConnectionSecurity::kSslTls;
        account.m_POP3Port = "995";
        return account;
    }

    CAccountList m_Accounts;
};

TEST_F(CServerDlgTest, ANewAccountTakesTheIncomingServerForOutgoingUnlessAnotherIsAskedFor) {
    CServerDlg dialog(m_Context, m_Accounts, EmailAccountInfo());
    // Tab follows the fields as they are read, the address after the incoming server's fields.
    std::vector<std::string> tabs;
    for (QWidget* widget = Child<QWidget>(dialog, "name"); tabs.size() < 9; widget = widget->nextInFocusChain()) {
        if (widget->focusPolicy() & Qt::TabFocus) {
            tabs.push_back(widget->objectName().toStdString());
        }
    }
    EXPECT_EQ(tabs, (std::vector<std::string>{"name", "pop3Server", "pop3Port", "pop3Security", "pop3Forget",
                                              "pop3User", "pop3Password", "leaveUnread", "email"}));
    EXPECT_EQ(Child<QLineEdit>(dialog, "pop3Port")->text(), "110");
    EXPECT_FALSE(Child<QWidget>(dialog, "smtpBody")->isEnabled());
    FillNew(dialog);

    Click(dialog, "different");
    EXPECT_TRUE(Child<QWidget>(dialog, "smtpBody")->isEnabled());
    EXPECT_EQ(Child<QLineEdit>(dialog, "smtpServer")->text(), "pop.example.org");
    EXPECT_EQ(Child<QLineEdit>(dialog, "smtpPort")->text(), "25");
    EXPECT_EQ(Child<QLineEdit>(dialog, "smtpUser")->text(), "me");
    EXPECT_EQ(Child<QLineEdit>(dialog, "smtpPassword")->text(), "secret");
    EXPECT_FALSE(Child<QLineEdit>(dialog, "smtpUser")->isEnabled());  // "No" needs no logon
    Child<QComboBox>(dialog, "smtpLogon")->setCurrentIndex(1);
    EXPECT_TRUE(Child<QLineEdit>(dialog, "smtpUser")->isEnabled());

    Type(dialog, "smtpServer", "smtp.example.org");
    Type(dialog, "smtpPort", "587");
    Click(dialog, "different");  // back to the incoming server
    m_Prompt.m_Answers = {CUserPrompt::EAnswer::kNo};
    dialog.accept();
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Account().m_SMTPServer, "pop.example.org");
    EXPECT_EQ(dialog.Account().m_SMTPPort, "25");
    // Only the incoming logon was typed, so only its test was offered.
    EXPECT_EQ(m_Prompt.Texts(EBox::kQuestion),
              std::vector<std::string>{"Would you like Sieveclaw to automatically verify your incoming mail server "
                                       "(POP3) and logon information with your ISP now?"});
}

TEST_F(CServerDlgTest, AFailedCheckNamesTheFieldAndPutsTheFocusThere) {
    struct Case {
        const char* m_Field;
        const char* m_Typed;
        bool m_Different;
        const char* m_Message;
    };
    const Case cases[] = {
        {"name", "  ", false, "The account name is blank."},
        {"pop3Port", "", false, "The incoming (POP3) Port is blank."},
        {"email", "me.example.org", false, "The Email address appears to be invalid."},
        {"smtpPassword", "", true, "The Password for the outgoing (SMTP) account is blank."},
        {"smtpServer", " ", true, "The outgoing mail server (SMTP) is blank."},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.m_Field);
        m_Prompt.m_Boxes.clear();
        CServerDlg dialog(m_Context, m_Accounts, EmailAccountInfo());
        FillNew(dialog);
        if (test.m_Different) {
            Click(dialog, "different");
            Child<QComboBox>(dialog, "smtpLogon")->setCurrentIndex(1);
        }
        Type(dialog, test.m_Field, test.m_Typed);
        dialog.accept();
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(m_Prompt.Texts(EBox::kError), std::vector<std::string>{test.m_Message});
        EXPECT_EQ(FocusName(dialog), test.m_Field);
    }
}

TEST_F(CServerDlgTest, ANewNameMustBeFreeExactlyWhileAnEditedAccountMayTakeAnyName) {
    AddAccount(m_Accounts, Stored());
    {
        CServerDlg dialog(m_Context, m_Accounts, EmailAccountInfo());
        FillNew(dialog, "Home");
        dialog.accept();
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(m_Prompt.Texts(EBox::kError),
                  std::vector<std::string>{"You already have an account named 'Home'.  Please type a different name."});
        EXPECT_EQ(FocusName(dialog), "name");
        Type(dialog, "name", "home");
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EmailAccountInfo other = Stored();
    other.m_AccountName = "Work";
    CServerDlg edit(m_Context, m_Accounts, other);
    Type(edit, "name", "Home");
    edit.accept();
    EXPECT_EQ(edit.result(), QDialog::Accepted);
    EXPECT_EQ(edit.Account().m_AccountName, "Home");
}

TEST_F(CServerDlgTest, AnEditShowsTheAccountAndOnlyChangedLogonsAreOfferedATest) {
    EmailAccountInfo stored = Stored();
    stored.m_SMTPServer = "smtp.example.org";
    stored.m_SMTPNeedsLogon = 1;
    stored.m_POP3Certificate = "AB:CD";
    {
        CServerDlg dialog(m_Context, m_Accounts, stored);
        EXPECT_TRUE(Child<QCheckBox>(dialog, "different")->isChecked());
        EXPECT_TRUE(Child<QLineEdit>(dialog, "smtpUser")->isEnabled());
        EXPECT_EQ(Child<QComboBox>(dialog, "pop3Security")->currentText(), "SSL/TLS");
        EXPECT_FALSE(Child<QWidget>(dialog, "pop3Trusted")->isHidden());
        Type(dialog, "spamSound", "/sounds/other.wav");
        dialog.accept();
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_TRUE(m_Prompt.m_Boxes.empty());
        EXPECT_EQ(dialog.Account().m_SpamSoundFile, "/sounds/other.wav");
        EXPECT_EQ(dialog.Account().m_POP3Certificate, "AB:CD");
    }
    CServerDlg dialog(m_Context, m_Accounts, stored);
    Click(dialog, "pop3Forget");
    Type(dialog, "smtpPassword", "new");
    m_Prompt.m_Answers = {CUserPrompt::EAnswer::kNo, CUserPrompt::EAnswer::kCancel};
    dialog.accept();
    ASSERT_EQ(dialog.result(), QDialog::Accepted);  // declined tests close the dialog
    EXPECT_EQ(m_Prompt.Texts(EBox::kQuestion).size(), 2U);
    EXPECT_EQ(dialog.Account().m_POP3Certificate, "");
    EXPECT_EQ(dialog.Account().m_SMTPPassword, "new");
}

TEST_F(CServerDlgTest, MailIsLeftUnreadByTheServersDefaultUntilTheUserChooses) {
    {
        CServerDlg dialog(m_Context, m_Accounts, EmailAccountInfo());
        FillNew(dialog);
        EXPECT_FALSE(Child<QCheckBox>(dialog, "leaveUnread")->isChecked());
        Type(dialog, "pop3Server", "pop.gmail.com");
        EXPECT_TRUE(Child<QCheckBox>(dialog, "leaveUnread")->isChecked());
        Click(dialog, "leaveUnread");
        Type(dialog, "pop3Server", "pop.googlemail.com");
        m_Prompt.m_Answers = {CUserPrompt::EAnswer::kNo};
        dialog.accept();
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.Account().m_LeaveMailUnread, 0);
    }
    EmailAccountInfo stored = Stored();
    stored.m_LeaveMailUnread = 1;
    CServerDlg dialog(m_Context, m_Accounts, stored);
    EXPECT_TRUE(Child<QCheckBox>(dialog, "leaveUnread")->isChecked());
    dialog.accept();
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Account().m_LeaveMailUnread, 1);
}

TEST_F(CServerDlgTest, BrowsingForASoundStartsInTheLastFolderAndRemembersTheNewOne) {
    m_State->m_Settings.Update([](SettingsValues& values) { values.m_SoundFilePath = "/old/"; });
    CServerDlg dialog(m_Context, m_Accounts, EmailAccountInfo());
    m_Prompt.m_Files = {std::string("/new/place/claw.wav")};
    Click(dialog, "spamSoundBrowse");
    EXPECT_EQ(m_Prompt.m_InitialFiles, std::vector<std::string>{"/old/*.wav"});
    EXPECT_EQ(Child<QLineEdit>(dialog, "spamSound")->text(), "/new/place/claw.wav");
    EXPECT_EQ(m_State->m_Settings.Snapshot().m_SoundFilePath, "/new/place/");

    Type(dialog, "mailSound", "");
    Click(dialog, "playSounds");
    EXPECT_FALSE(Child<QWidget>(dialog, "spamSoundBrowse")->isEnabled());
    EXPECT_TRUE(Child<QWidget>(dialog, "spamSoundPlay")->isEnabled());
    EXPECT_TRUE(WaitFor([&dialog] { return !Child<QWidget>(dialog, "mailSoundPlay")->isEnabled(); }));
}

}  // namespace
}  // namespace sieveclaw

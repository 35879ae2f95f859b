#include <ctime>
#include <memory>
#include <string>

#include <QTreeWidget>

#include "core/AccountsFile.h"
#include "filter/FilterFiles.h"
#include "tests/support/DovecotServer.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CSieveclawApp.h"
#include "ui/CSieveclawDlg.h"

// The desktop program end to end: started on a data folder with one account, it checks a real
// mailbox at once, deletes the spam on the server and shows the counts in its window and tray.

namespace sieveclaw {
namespace {

using test::CDovecotServer;
using test::EBox;
using namespace std::chrono_literals;

std::string Message(const std::string& from, const std::string& subject) {
    return "From: " + from + "\r\nTo: desk@example.org\r\nSubject: " + subject +
           "\r\nDate: Tue, 1 Dec 2026 10:00:00 +0000\r\n\r\nHello.\r\n";
}

class DesktopDovecotTest : public test::CUiTest {
protected:
    static void SetUpTestSuite() {
        s_Server = std::make_unique<CDovecotServer>(CDovecotServer::ECertificateNames::kLocalhostAndIp,
                                                    CDovecotServer::ETls::kOff);
        s_Server->AddUser("desk", "desk-pw",
                          {Message("bob@example.net", "Lunch"), Message("lotto@win.example", "You won"),
                           Message("carol@example.com", "Minutes")});
        s_Started = s_Server->Start();
    }
    static void TearDownTestSuite() { s_Server.reset(); }

    static std::unique_ptr<CDovecotServer> s_Server;
    static bool s_Started;
};

std::unique_ptr<CDovecotServer> DesktopDovecotTest::s_Server;
bool DesktopDovecotTest::s_Started = false;

TEST_F(DesktopDovecotTest, TheFirstCheckDeletesTheSpamAndFillsTheCountsAndTheTray) {
    ASSERT_TRUE(s_Started) << s_Server->Error();
    {
        CSharedState stored;
        EmailAccountInfo account;
        account.m_AccountName = "Desk";
        account.m_EmailAddress = "desk@example.org";
        account.m_POP3Server = "127.0.0.1";
        account.m_POP3Port = std::to_string(s_Server->PlainPort());
        account.m_POP3UserId = "desk";
        account.m_POP3Password = "desk-pw";
        account.m_POP3Security = EConnectionSecurity::kWhenOffered;
        AddAccount(stored.m_Accounts, account);
        ASSERT_TRUE(SaveAccounts(stored.m_Accounts));
        stored.m_Lists.m_FromList.Add("lotto");
        ASSERT_TRUE(SaveWordList(stored.m_Lists, stored.m_FilterFilesLock));
        stored.m_Settings.SetEmailDelay(30);
        stored.m_Settings.SetLastDataUpdateDate(std::time(nullptr));
        ASSERT_TRUE(stored.m_Settings.SaveSettings(stored.m_Store));
    }
    CStartupServices services;
    services.m_Prompt = &m_Prompt;
    services.m_Openers = CListWindowOpeners{};
    CSieveclawApp app({"/m"}, std::move(services));
    ASSERT_TRUE(app.InitInstance());
    auto* rows = app.MainWindow()->findChild<QTreeWidget*>(QStringLiteral("accounts"));
    ASSERT_EQ(rows->topLevelItemCount(), 1);
    const QTreeWidgetItem* row = rows->topLevelItem(0);
    EXPECT_TRUE(WaitFor([&] { return row->text(1) == QStringLiteral("2") && row->text(2) == QStringLiteral("1"); },
                        30s))
        << "Inbox " << row->text(1).toStdString() << ", Trash Can " << row->text(2).toStdString();
    EXPECT_EQ(s_Server->MessageCount("desk"), 2);
    EXPECT_EQ(app.MainWindow()->Tray().Current(), EPicture::kGotMail);
    EXPECT_TRUE(m_Prompt.Texts(EBox::kError).empty());
    EXPECT_EQ(app.ExitInstance(), 0);
}

}  // namespace
}  // namespace sieveclaw

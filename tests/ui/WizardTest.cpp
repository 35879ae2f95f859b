#include "ui/CFirstRunWizard.h"

#include <filesystem>

#include <QAbstractButton>
#include <QTreeWidget>

#include "core/TextFile.h"
#include "tests/ui/ModalAnswerer.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CAccountsPage.h"
#include "ui/CSetPwdDlg.h"
#include "ui/WizardRows.h"

// The first-run wizard without servers: pruning the found accounts, the cancelled password
// prompt, and the ending when nothing worked.

namespace sieveclaw {
namespace {

using test::CModalAnswerer;
using test::EBox;

class WizardTest : public test::CUiTest {
protected:
    void Found(const std::string& name, const std::string& password = "pw") {
        EmailAccountInfo account;
        account.m_AccountName = name;
        account.m_POP3Server = std::string(70, 'x') + ".example";  // a name that never resolves
        account.m_POP3UserId = name + "-user";
        account.m_POP3Password = password;
        account.m_MailProgram = "Thunderbird";
        AddAccount(m_Accounts, account);
    }
    static QTreeWidget* Rows(QWizard& wizard) {
        return wizard.currentPage()->findChild<QTreeWidget*>(QStringLiteral("accounts"));
    }
    // Selects the row and deletes it once the page's timer has enabled "Delete".
    static void DeleteRow(QWizard& wizard, int row) {
        Rows(wizard)->setCurrentItem(Rows(wizard)->topLevelItem(row));
        auto* button = wizard.currentPage()->findChild<QAbstractButton*>(QStringLiteral("delete"));
        EXPECT_TRUE(WaitFor([button] { return button->isEnabled(); }));
        button->click();
    }
    static std::vector<std::string> Names(QWizard& wizard) {
        std::vector<std::string> names;
        for (int i = 0; i < Rows(wizard)->topLevelItemCount(); ++i) {
            names.push_back(Rows(wizard)->topLevelItem(i)->text(0).toStdString());
        }
        return names;
    }

    CAccountList m_Accounts;
};

TEST_F(WizardTest, DeletingSelectsTheRowAtTheSameIndexOrTheOneBefore) {
    for (const char* name : {"One", "Two", "Three"}) {
        Found(name);
    }
    CFirstRunWizard wizard(m_Context, m_Accounts);
    wizard.show();
    EXPECT_EQ(Names(wizard), (std::vector<std::string>{"One", "Two", "Three"}));
    EXPECT_EQ(Rows(wizard)->topLevelItem(0)->text(2), "Thunderbird");
    DeleteRow(wizard, 0);
    EXPECT_EQ(Rows(wizard)->currentItem()->text(0), "Two");
    DeleteRow(wizard, 1);
    EXPECT_EQ(Rows(wizard)->currentItem()->text(0), "Two");
    DeleteRow(wizard, 0);
    EXPECT_EQ(Rows(wizard)->topLevelItemCount(), 0);
    EXPECT_EQ(AccountCount(m_Accounts), 0U);

    wizard.next();
    Click(*wizard.currentPage(), "connect");
    EXPECT_EQ(m_Prompt.Texts(EBox::kError).at(0).rfind("None of the email accounts listed worked.", 0), 0U);
    EXPECT_FALSE(wizard.button(QWizard::FinishButton)->isEnabled());
}

TEST_F(WizardTest, ACancelledPasswordLeavesTheAccountUntestedAndFailuresShowBackOnTheFirstPage) {
    Found("NoPassword", "");
    Found("Unknown");
    CFirstRunWizard wizard(m_Context, m_Accounts);
    wizard.show();
    wizard.next();
    CModalAnswerer answers;
    answers.Then<CSetPwdDlg>([](CSetPwdDlg* box) { box->reject(); });
    Click(*wizard.currentPage(), "connect");
    EXPECT_EQ(answers.Failure(), "");
    EXPECT_EQ(TestStateOf(Rows(wizard)->topLevelItem(0)), ETestState::kTesting);
    EXPECT_EQ(TestStateOf(Rows(wizard)->topLevelItem(1)), ETestState::kFailed);
    const std::vector<std::string> errors = m_Prompt.Texts(EBox::kError);
    ASSERT_EQ(errors.size(), 2U);
    EXPECT_EQ(errors[0].rfind("Sieveclaw was not able to resolve your incoming mail server (POP3): xxx", 0), 0U);
    EXPECT_EQ(errors[1].rfind("None of the email accounts listed worked.", 0), 0U);
    EXPECT_TRUE(m_Accounts.GetAt(m_Accounts.First())->m_POP3Password.empty());

    wizard.back();
    EXPECT_EQ(TestStateOf(Rows(wizard)->topLevelItem(1)), ETestState::kFailed);
    wizard.next();
    EXPECT_EQ(TestStateOf(Rows(wizard)->topLevelItem(1)), ETestState::kUntested);
}

// Account discovery ends in this wizard; cancelling it ends the first run with its message.
TEST_F(WizardTest, DiscoveredAccountsAreShownAndCancellingEndsTheFirstRun) {
    const std::filesystem::path ini = m_Folder.Path() / "wine/drive_c/pmail/mail/jo/pmail.ini";
    std::filesystem::create_directories(ini.parent_path());
    ASSERT_TRUE(WriteFileAtomically(ini.string(),
                                    "[Pegasus Mail for Windows - built-in TCP/IP Mail]\n"
                                    "Host where POP3 mail account is located=pop.example.org\n"
                                    "POP3 mail account (username on host)=jo\n"));
    DiscoveryPlaces places;
    places.m_HomeFolder = m_Folder.File("home");
    places.m_ConfigFolder = m_Folder.File("home/.config");
    places.m_WinePrefix = m_Folder.File("wine");
    CQtAccountWizard wizard(m_Context, nullptr);
    std::vector<std::string> shown;
    CModalAnswerer answers;
    answers.Then<CFirstRunWizard>([&shown](CFirstRunWizard* window) {
        shown = Names(*window);
        window->reject();
    });
    EXPECT_EQ(CollectEmailAccountInfo(m_Accounts, wizard, m_Prompt, places), 0);
    EXPECT_EQ(answers.Failure(), "");
    EXPECT_EQ(shown, std::vector<std::string>{"jo"});
    EXPECT_EQ(m_Prompt.Texts(EBox::kInformation), std::vector<std::string>{kNoAccountMessage});
}

}  // namespace
}  // namespace sieveclaw

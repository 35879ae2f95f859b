#include "ui/CFilters.h"

#include <filesystem>

#include <QLabel>
#include <QListWidget>
#include <QStackedWidget>
#include <QTabBar>

#include "core/TextFile.h"
#include "filter/FilterFiles.h"
#include "mail/MessageFiles.h"
#include "tests/ui/ModalAnswerer.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CFilterPwdDlg.h"
#include "ui/COffsensiveWordDlg.h"
#include "ui/CPasswordProtectDlg.h"

namespace sieveclaw {
namespace {

using test::CModalAnswerer;
using test::EBox;

class CFiltersTest : public test::CUiTest {
protected:
    CFiltersTest() {
        m_State->m_Lists.m_FromList.Add("casino");
        m_State->m_Lists.m_BodyList.Add("free money");
    }

    // One remembered good message from the sender, whose file a rescan may move to the spam folder.
    std::string RememberGoodMail(const std::string& from) {
        std::filesystem::create_directories(InboxFolder());
        const std::string path = InboxFolder() + "/good.eml";
        const std::string text = "Return-Path: <" + from + ">\r\nFrom: " + from +
                                 "\r\nTo: me@example.org\r\nSubject: Hello\r\nDate: Mon, 3 Jun 2024\r\n\r\nHi.\r\n";
        EXPECT_TRUE(WriteFileAtomically(path, text));
        EmailAccountInfo account;
        account.m_AccountName = "Home";
        account.m_InboxEntries->Append({"me@example.org", from, "Hello", "Mon, 3 Jun 2024", path});
        AddAccount(m_State->m_Accounts, account);
        return path;
    }

    // Adds an entry through the Offensive Word box, as a user would.
    static void AddByHand(CFilters& dialog, const std::string& entry) {
        CModalAnswerer answers;
        answers.Then<COffsensiveWordDlg>([entry](COffsensiveWordDlg* box) {
            Type(*box, "entry", entry);
            box->accept();
        });
        Click(dialog, "add");
        EXPECT_EQ(answers.Failure(), "");
    }

    static std::vector<std::string> Shown(CFilters& dialog) {
        std::vector<std::string> entries;
        auto* list = Child<QListWidget>(dialog, "entries");
        for (int i = 0; i < list->count(); ++i) {
            entries.push_back(list->item(i)->text().toStdString());
        }
        return entries;
    }
};

TEST_F(CFiltersTest, EachTabShowsItsListAndANewEntryRescansWhileADuplicateDoesNot) {
    const std::string path = RememberGoodMail("win@casino2.example");
    CFilters dialog(m_Context);
    EXPECT_EQ(Shown(dialog), std::vector<std::string>{"casino"});
    EXPECT_EQ(Child<QLabel>(dialog, "description")->text().toStdString(),
              "Emails from the following domains or containing the following words will be blocked.");

    AddByHand(dialog, "casino");
    EXPECT_EQ(Shown(dialog), std::vector<std::string>{"casino"});
    EXPECT_TRUE(m_Prompt.m_Boxes.empty());  // no rescan
    AddByHand(dialog, "  casino2 ");
    EXPECT_EQ(Shown(dialog), (std::vector<std::string>{"casino", "casino2"}));
    ASSERT_EQ(m_Prompt.Texts(EBox::kDismissable).size(), 1U);
    EXPECT_EQ(m_Prompt.Texts(EBox::kDismissable)[0].rfind("RescanEmails: Since you added filters", 0), 0U);
    EXPECT_FALSE(std::filesystem::exists(path));  // judged again, and moved to the spam folder
    EXPECT_EQ(m_State->m_Accounts.GetAt(m_State->m_Accounts.First())->m_InboxEntries->Count(), 0U);

    Child<QTabBar>(dialog, "tabs")->setCurrentIndex(1);
    EXPECT_EQ(Shown(dialog), std::vector<std::string>{"free money"});
    Child<QListWidget>(dialog, "entries")->setCurrentRow(0);
    Click(dialog, "delete");
    EXPECT_FALSE(m_State->m_Lists.m_BodyList.Contains("free money"));
    AddByHand(dialog, "free money");  // deleted and added again in one run
    EXPECT_TRUE(m_State->m_Lists.m_BodyList.Contains("free money"));
    EXPECT_TRUE(m_State->m_Lists.m_FromList.Contains("casino"));

    EXPECT_FALSE(std::filesystem::exists(WordListPath()));
    dialog.accept();
    CFilterLists reloaded;
    std::mutex lock;
    LoadFilterFile(reloaded, WordListPath(), true, lock);
    EXPECT_EQ(reloaded.m_FromList.Entries(), (std::vector<std::string>{"casino", "casino2"}));
    EXPECT_EQ(reloaded.m_BodyList.Entries(), std::vector<std::string>{"free money"});
}

TEST_F(CFiltersTest, APasswordHidesTheListsUntilItIsTyped) {
    {
        CFilters dialog(m_Context);
        CModalAnswerer answers;
        answers.Then<CPasswordProtectDlg>([](CPasswordProtectDlg* box) {
            Type(*box, "password", "open sesame");
            Type(*box, "again", "open sesam");
            box->accept();  // refused: the texts differ
            EXPECT_EQ(FocusName(*box), "password");
            Type(*box, "again", "open sesame");
            box->accept();
        });
        Click(dialog, "password");
        EXPECT_EQ(answers.Failure(), "");
        EXPECT_EQ(m_Prompt.Texts(EBox::kError),
                  std::vector<std::string>{"Your passwords are not the same.  Please retype them."});
        EXPECT_EQ(dialog.findChild<QStackedWidget*>()->currentWidget()->objectName(), "lock");
    }
    CProfileStore stored(m_State->m_Store.Path());
    ASSERT_TRUE(stored.Load());
    CSettings settings;
    settings.LoadSettings(stored);
    EXPECT_EQ(settings.Snapshot().m_FilterPassword, "open sesame");

    m_Prompt.m_Boxes.clear();
    CFilters reopened(m_Context);
    auto* stack = reopened.findChild<QStackedWidget*>();
    EXPECT_EQ(stack->currentWidget()->objectName(), "lock");
    CModalAnswerer answers;
    answers.Then<CFilterPwdDlg>([](CFilterPwdDlg* box) {
        Type(*box, "password", "guess");
        box->accept();
        EXPECT_TRUE(box->isVisible());
        Type(*box, "password", "open sesame");
        box->accept();
    });
    Click(reopened, "password");
    EXPECT_EQ(answers.Failure(), "");
    EXPECT_EQ(m_Prompt.Texts(EBox::kError), std::vector<std::string>{"The password is invalid"});
    EXPECT_EQ(stack->currentWidget()->objectName(), "entries");
}

}  // namespace
}  // namespace sieveclaw

#include "ui/CPrefsDlg.h"

#include <filesystem>

#include <QComboBox>
#include <QHeaderView>
#include <QKeySequenceEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

#include "core/AccountsFile.h"
#include "core/TextFile.h"
#include "tests/ui/ModalAnswerer.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CFileExtDlg.h"
#include "ui/CServerDlg.h"

namespace sieveclaw {
namespace {

using test::CModalAnswerer;
using test::EBox;

class CPrefsDlgTest : public test::CUiTest {
protected:
    void AddStored(const std::string& name, std::int32_t held = 0) {
        EmailAccountInfo account;
        account.m_AccountName = name;
        account.m_OnHold = held;
        AddAccount(m_State->m_Accounts, account);
        ASSERT_TRUE(SaveAccounts(m_State->m_Accounts));
    }
    static std::vector<std::string> Rows(CPrefsDlg& dialog) {
        std::vector<std::string> names;
        auto* list = Child<QTreeWidget>(dialog, "accounts");
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            names.push_back(list->topLevelItem(i)->text(0).toStdString());
        }
        return names;
    }
    static void Select(CPrefsDlg& dialog, int row) {
        auto* list = Child<QTreeWidget>(dialog, "accounts");
        list->setCurrentItem(list->topLevelItem(row));
    }
    static std::vector<std::string> StoredNames() {
        CAccountList stored;
        LoadAccounts(stored);
        std::vector<std::string> names;
        for (const EmailAccountInfo& account : stored.Snapshot()) {
            names.push_back(account.m_AccountName);
        }
        return names;
    }
    static void TypeIn(QSpinBox* spin, const QString& text) {
        spin->selectAll();
        QTest::keyClicks(spin, text);
    }
};

TEST_F(CPrefsDlgTest, TheIntervalIsCorrectedWithOneMessageAndTheSizeIsStoredWithoutSeparators) {
    AddStored("Home");
    struct Case {
        const char* m_Typed;
        int m_Stored;
        std::size_t m_Messages;
    };
    for (const Case& test : {Case{"0", 1, 1}, Case{"500", 120, 1}, Case{"15", 15, 0}}) {
        SCOPED_TRACE(test.m_Typed);
        m_Prompt.m_Boxes.clear();
        CPrefsDlg dialog(m_Context);
        TypeIn(Child<QSpinBox>(dialog, "interval"), test.m_Typed);
        TypeIn(Child<QSpinBox>(dialog, "maxMsgSize"), "2,097,152");
        dialog.accept();
        EXPECT_EQ(m_Prompt.Texts(EBox::kPlain).size(), test.m_Messages);
        EXPECT_EQ(m_State->m_Settings.GetEmailDelay(), test.m_Stored);
        EXPECT_EQ(m_State->m_Settings.GetMaxMsgSize(), 2097152U);
    }
    CProfileStore stored(m_State->m_Store.Path());
    ASSERT_TRUE(stored.Load());
    EXPECT_EQ(stored.GetProfileInt("Settings", "EmailDelay", 0), 15);
    EXPECT_EQ(stored.GetProfileInt("Settings", "MaxMsgSizeHI", 0), 32);
}

TEST_F(CPrefsDlgTest, AccountCommandsAreSavedAtOnceEvenWhenTheDialogIsCancelled) {
    AddStored("Work");
    AddStored("home", 1);
    AddStored("Attic");
    CPrefsDlg dialog(m_Context);
    EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Work", "home", "Attic"}));
    auto* hold = Child<QPushButton>(dialog, "hold");
    EXPECT_TRUE(WaitFor([hold] { return !hold->isEnabled(); }));

    Select(dialog, 1);
    EXPECT_TRUE(WaitFor([hold] { return hold->isEnabled() && hold->text() == "&Enable"; }));
    hold->click();
    EXPECT_TRUE(WaitFor([hold] { return hold->text() == "&Hold"; }));
    Select(dialog, 0);
    Click(dialog, "delete");
    dialog.reject();

    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"home", "Attic"}));
    CAccountList stored;
    LoadAccounts(stored);
    EXPECT_EQ(stored.GetAt(stored.First())->m_OnHold, 0);
}

TEST_F(CPrefsDlgTest, HeaderClicksSortByNameIgnoringCaseAndTheDirectionIsKept) {
    AddStored("beta");
    AddStored("Alpha");
    AddStored("gamma");
    {
        CPrefsDlg dialog(m_Context);
        auto* header = Child<QTreeWidget>(dialog, "accounts")->header();
        emit header->sectionClicked(0);  // 3 (none yet) becomes 2: descending
        EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"gamma", "beta", "Alpha"}));
        emit header->sectionClicked(0);
        EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
    }
    const ListSortState sort = m_State->m_Settings.Snapshot().m_AccountsSort;
    EXPECT_EQ(sort.m_SortOrder, 1);
    EXPECT_EQ(sort.m_Col2SortBy, 0);
    CPrefsDlg reopened(m_Context);
    EXPECT_EQ(Rows(reopened), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
}

TEST_F(CPrefsDlgTest, WithoutAnAccountAddRunsAtOnceAndTheNewAccountIsSaved) {
    CPrefsDlg dialog(m_Context);
    CModalAnswerer answers;
    answers
        .Then<CServerDlg>([](CServerDlg* server) {
            Type(*server, "name", "Home");
            Type(*server, "pop3Server", "pop.example.org");
            Type(*server, "pop3User", "me");
            Type(*server, "pop3Password", "secret");
            Type(*server, "email", "me@example.org");
            server->accept();  // the test offered is declined by the prompt
        })
        .Then<CPrefsDlg>([](CPrefsDlg* prefs) { prefs->reject(); });
    dialog.exec();
    EXPECT_EQ(answers.Failure(), "");
    EXPECT_EQ(StoredNames(), std::vector<std::string>{"Home"});
    EXPECT_EQ(Rows(dialog), std::vector<std::string>{"Home"});
}

TEST_F(CPrefsDlgTest, ExtensionsAreAddedAndDeletedOnlyWhileTheirSwitchIsOn) {
    AddStored("Home");
    CPrefsDlg dialog(m_Context);
    auto* exts = Child<QListWidget>(dialog, "exts");
    EXPECT_FALSE(exts->isEnabled());
    Click(dialog, "autoDelExts");
    EXPECT_TRUE(exts->isEnabled());

    CModalAnswerer answers;
    answers.Then<CFileExtDlg>([](CFileExtDlg* box) {
        Type(*box, "extension", "scr");
        box->accept();
    });
    Click(dialog, "extAdd");
    EXPECT_EQ(answers.Failure(), "");
    ASSERT_EQ(exts->count(), 3);
    EXPECT_EQ(exts->currentItem()->text(), ".scr");

    exts->setCurrentRow(0);
    auto* remove = Child<QPushButton>(dialog, "extDelete");
    EXPECT_TRUE(WaitFor([remove] { return remove->isEnabled(); }));
    m_Prompt.m_Answers = {CUserPrompt::EAnswer::kNo, CUserPrompt::EAnswer::kYes};
    remove->click();
    EXPECT_EQ(exts->count(), 3);
    remove->click();
    const std::string question = "Are you sure you want to delete this file extension?";
    EXPECT_EQ(m_Prompt.Texts(EBox::kQuestion), (std::vector<std::string>{question, question}));
    EXPECT_EQ(exts->currentRow(), 0);
    dialog.accept();
    EXPECT_EQ(m_State->m_Lists.m_Exts.Snapshot(), (std::vector<std::string>{".bat", ".scr"}));
    EXPECT_TRUE(m_State->m_Settings.GetAutoDelFileExts());
}

TEST_F(CPrefsDlgTest, TheHotKeyAndTheMailProgramOfTheDesktopAreStored) {
    AddStored("Home");
    const auto entry = [](const std::string& name) {
        return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + name +
               " %u\nMimeType=x-scheme-handler/mailto;\n";
    };
    const auto applications = m_Folder.Path() / "data/applications";
    std::filesystem::create_directories(applications);
    std::filesystem::create_directories(m_Folder.Path() / "config");
    ASSERT_TRUE(WriteFileAtomically((applications / "amail.desktop").string(), entry("AMail")));
    ASSERT_TRUE(WriteFileAtomically((applications / "bmail.desktop").string(), entry("BMail")));
    ASSERT_TRUE(WriteFileAtomically(m_Folder.File("config/mimeapps.list"),
                                    "[Default Applications]\nx-scheme-handler/mailto=bmail.desktop\n"));

    CPrefsDlg dialog(m_Context);
    EXPECT_EQ(Child<QComboBox>(dialog, "mailProgram")->count(), 2);
    EXPECT_EQ(Child<QComboBox>(dialog, "mailProgram")->currentText(), "BMail");
    EXPECT_NE(Child<QWidget>(dialog, "hotKeyNote"), nullptr);  // offscreen, no key can be taken
    Child<QKeySequenceEdit>(dialog, "hotKey")->setKeySequence(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    dialog.accept();
    const SettingsValues values = m_State->m_Settings.Snapshot();
    EXPECT_EQ(values.m_MailProgram, "BMail");
    EXPECT_EQ(values.m_HotKey, (3u << 16) | 0x53);
}

}  // namespace
}  // namespace sieveclaw

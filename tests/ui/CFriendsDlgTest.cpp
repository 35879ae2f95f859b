#include "ui/CFriendsDlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QTreeWidget>

#include "filter/FilterFiles.h"
#include "tests/ui/ModalAnswerer.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CEditFriendDlg.h"

namespace sieveclaw {
namespace {

using test::CModalAnswerer;
using test::EBox;

class CFriendsDlgTest : public test::CUiTest {
protected:
    using Rows = std::vector<std::pair<std::string, std::string>>;

    static Rows Shown(CFriendsDlg& dialog) {
        Rows rows;
        auto* list = Child<QTreeWidget>(dialog, "friends");
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            rows.emplace_back(list->topLevelItem(i)->text(0).toStdString(),
                              list->topLevelItem(i)->text(1).toStdString());
        }
        return rows;
    }

    // Types a friend into the Friend box opened by the button; a domain when domain is set.
    static void EnterFriend(CFriendsDlg& dialog, const char* button, const std::string& text, bool domain) {
        CModalAnswerer answers;
        answers.Then<CEditFriendDlg>([text, domain](CEditFriendDlg* box) {
            Click(*box, domain ? "domain" : "individual");
            Type(*box, "friend", text);
            box->accept();
        });
        Click(dialog, button);
        EXPECT_EQ(answers.Failure(), "");
    }
};

TEST_F(CFriendsDlgTest, FriendsAreAddedEditedAndRemovedAndSavedWhenTheDialogCloses) {
    m_State->m_Lists.m_Friends.Append("anna@example.com");
    CFriendsDlg dialog(m_Context);
    dialog.show();
    EXPECT_TRUE(WaitFor([this] { return !m_Prompt.m_Boxes.empty(); }));
    EXPECT_EQ(m_Prompt.Texts(EBox::kDismissable).at(0).rfind("FriendsMsg: You can add friends by importing", 0), 0U);
    EXPECT_EQ(Shown(dialog), (Rows{{"An individual user", "anna@example.com"}}));

    EnterFriend(dialog, "add", "EXAMPLE.ORG", true);
    EnterFriend(dialog, "add", "Bob@Example.NET", false);
    EnterFriend(dialog, "add", "anna@example.com", false);  // already a friend: no second row
    EXPECT_EQ(Shown(dialog), (Rows{{"An individual user", "Bob@Example.NET"},
                                   {"All users in a domain", "example.org"},
                                   {"An individual user", "anna@example.com"}}));

    auto* list = Child<QTreeWidget>(dialog, "friends");
    list->setCurrentItem(list->topLevelItem(1));
    EnterFriend(dialog, "edit", "carol@example.org", false);
    EXPECT_EQ(Shown(dialog)[1], (std::pair<std::string, std::string>{"An individual user", "carol@example.org"}));

    list->clearSelection();
    Click(dialog, "remove");
    EXPECT_EQ(m_Prompt.Texts(EBox::kError), std::vector<std::string>{"Please select a friend to delete."});
    list->setCurrentItem(list->topLevelItem(2));
    Click(dialog, "remove");
    EXPECT_EQ(m_State->m_Lists.m_Friends.Snapshot(),
              (std::vector<std::string>{"carol@example.org", "Bob@Example.NET"}));

    Click(dialog, "onlyFriends");
    dialog.reject();  // any way of closing saves
    CFilterLists reloaded;
    std::mutex lock;
    LoadFriends(reloaded, lock);
    EXPECT_EQ(reloaded.m_Friends.Snapshot(), m_State->m_Lists.m_Friends.Snapshot());
    CProfileStore stored(m_State->m_Store.Path());
    ASSERT_TRUE(stored.Load());
    EXPECT_EQ(stored.GetProfileInt("Settings", "AcceptOnlyFriends", 0), 1);
}

TEST_F(CFriendsDlgTest, TheFriendBoxRefusesBadEntriesAndExplainsEachType) {
    CEditFriendDlg box(m_Prompt, "not an address", EFriendType::kIndividual);
    box.accept();
    EXPECT_NE(box.result(), QDialog::Accepted);
    EXPECT_EQ(m_Prompt.Texts(EBox::kError),
              std::vector<std::string>{"This does not appear to be a valid email address."});
    EXPECT_EQ(FocusName(box), "friend");
    const QString individualHint = Child<QLabel>(box, "hint")->text();
    Click(box, "domain");
    EXPECT_NE(Child<QLabel>(box, "hint")->text(), individualHint);
    Type(box, "friend", "Sub.Example.COM");
    box.accept();
    EXPECT_EQ(box.result(), QDialog::Accepted);
    EXPECT_EQ(box.Entry(), "sub.example.com");
    EXPECT_EQ(box.Type(), EFriendType::kDomain);
}

}  // namespace
}  // namespace sieveclaw

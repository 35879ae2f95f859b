#include <functional>

#include <QPlainTextEdit>

#include "tests/ui/UiTestSupport.h"
#include "ui/CBlockDomainsDlg.h"
#include "ui/CFileExtDlg.h"
#include "ui/COffsensiveWordDlg.h"
#include "ui/CSetPwdDlg.h"

// The one-field boxes: what each refuses with which message and where the focus goes, and what it
// gives back.

namespace sieveclaw {
namespace {

using test::EBox;

class SmallBoxesTest : public test::CUiTest {};

TEST_F(SmallBoxesTest, EachBoxRefusesWithItsMessageAndGivesBackWhatItTook) {
    struct Case {
        const char* m_What;
        std::function<std::unique_ptr<QDialog>()> m_Open;
        std::vector<std::pair<const char*, std::string>> m_Typed;
        EBox m_Kind;
        std::string m_Message;  // empty: accepted
        const char* m_Focus;
    };
    const std::string blankPassword = "You have not typed your password.  Please type it again.";
    const Case cases[] = {
        {"blank word",
         [this] { return std::make_unique<COffsensiveWordDlg>(m_Prompt, "Type"); },
         {{"entry", "   "}},
         EBox::kPlain,
         "Please enter a word, phrase or domain name.",
         "entry"},
        {"blank extension",
         [this] { return std::make_unique<CFileExtDlg>(m_Prompt); },
         {{"extension", " "}},
         EBox::kError,
         "Your file extension is blank.",
         "extension"},
        {"extension",
         [this] { return std::make_unique<CFileExtDlg>(m_Prompt); },
         {{"extension", "pif"}},
         EBox::kError,
         "",
         ""},
        {"blank password",
         [this] { return std::make_unique<CSetPwdDlg>(m_Prompt, "Home", "me"); },
         {{"password", "  "}, {"again", "  "}},
         EBox::kError,
         blankPassword,
         "password"},
        {"different passwords",
         [this] { return std::make_unique<CSetPwdDlg>(m_Prompt, "Home", "me"); },
         {{"password", "one"}, {"again", "two"}},
         EBox::kError,
         "Your passwords are not the same.  Please type them again.",
         "password"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.m_What);
        m_Prompt.m_Boxes.clear();
        const std::unique_ptr<QDialog> box = test.m_Open();
        for (const auto& [field, text] : test.m_Typed) {
            Child<QLineEdit>(*box, field)->setFocus();
            Type(*box, field, text);
        }
        box->accept();
        EXPECT_EQ(box->result() == QDialog::Accepted, test.m_Message.empty());
        if (!test.m_Message.empty()) {
            EXPECT_EQ(m_Prompt.Texts(test.m_Kind), std::vector<std::string>{test.m_Message});
            EXPECT_EQ(FocusName(*box), test.m_Focus);
        }
    }
    CFileExtDlg extension(m_Prompt);
    Type(extension, "extension", "pif");
    extension.accept();
    EXPECT_EQ(extension.Extension(), ".pif");
}

TEST_F(SmallBoxesTest, BlockedDomainsAreCorrectedAndMustBeConfirmedAgain) {
    CBlockDomainsDlg box(m_Prompt, {"spam mer.example", "user@bad.example"});
    box.accept();
    EXPECT_NE(box.result(), QDialog::Accepted);
    EXPECT_EQ(Child<QPlainTextEdit>(box, "domains")->toPlainText().toStdString(), "spammer.example\nuserbad.example\n");
    EXPECT_EQ(m_Prompt.Texts(EBox::kError).size(), 1U);
    box.accept();
    EXPECT_EQ(box.result(), QDialog::Accepted);
    EXPECT_EQ(box.Domains(), (std::vector<std::string>{"spammer.example", "userbad.example"}));

    CBlockDomainsDlg blank(m_Prompt, {});
    blank.accept();
    EXPECT_EQ(m_Prompt.Texts(EBox::kError).back(),
              "Your list of domains is blank.  Please type the domain names that you want to block email from.");
}

}  // namespace
}  // namespace sieveclaw

#include "ui/QtUserPrompt.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>

#include "core/Settings.h"
#include "core/TextFile.h"
#include "tests/ui/ModalAnswerer.h"
#include "tests/ui/UiTestSupport.h"

namespace sieveclaw {
namespace {

using test::CModalAnswerer;

class QtUserPromptTest : public test::CUiTest {};

TEST_F(QtUserPromptTest, BoxesAreTitledWithTheProgramAndTheDismissableOneRemembersItsTick) {
    CQtUserPrompt prompt(nullptr, m_State->m_Store);
    std::vector<std::pair<QMessageBox::Icon, QString>> seen;
    const auto record = [&seen](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), "Sieveclaw");
        seen.emplace_back(box->icon(), box->text());
    };
    CModalAnswerer answers;
    answers
        .Then<QMessageBox>([&record](QMessageBox* box) {
            record(box);
            EXPECT_EQ(box->checkBox()->text(), "&Do not show me this message again.");
            box->checkBox()->setChecked(true);
            box->button(QMessageBox::Ok)->click();
        })
        .Then<QMessageBox>([&record](QMessageBox* box) {
            record(box);
            box->button(QMessageBox::Cancel)->click();
        })
        .Then<QMessageBox>([&record](QMessageBox* box) {
            record(box);
            box->button(QMessageBox::Yes)->click();
        })
        .Then<QMessageBox>([&record](QMessageBox* box) {
            record(box);
            box->accept();
        });
    prompt.ShowDismissable("FriendsMsg", "Friends!");
    prompt.ShowDismissable("FriendsMsg", "Not again.");
    EXPECT_EQ(prompt.AskYesNoCancel("Sure?"), CUserPrompt::EAnswer::kCancel);
    EXPECT_EQ(prompt.AskYesNoCancel("Really?"), CUserPrompt::EAnswer::kYes);
    prompt.ShowError("Broken.");
    EXPECT_EQ(answers.Failure(), "");
    EXPECT_FALSE(IsMessageShown(m_State->m_Store, "FriendsMsg"));
    EXPECT_EQ(seen, (std::vector<std::pair<QMessageBox::Icon, QString>>{{QMessageBox::Information, "Friends!"},
                                                                        {QMessageBox::Question, "Sure?"},
                                                                        {QMessageBox::Question, "Really?"},
                                                                        {QMessageBox::Critical, "Broken."}}));
}

TEST_F(QtUserPromptTest, TheFileChooserTakesTheFilterListAndGivesTheChosenPath) {
    EXPECT_EQ(QtFileFilter("Comma Delimited Files (*.csv)|*.csv|Text Files (*.txt)|*.txt|"),
              "Comma Delimited Files (*.csv);;Text Files (*.txt)");
    EXPECT_EQ(QtFileFilter("Wave Files|*.wav"), "Wave Files (*.wav)");

    const std::string path = m_Folder.File("book.csv");
    ASSERT_TRUE(WriteFileAtomically(path, "e-mail\n"));
    CQtUserPrompt prompt(nullptr, m_State->m_Store);
    CModalAnswerer answers;
    answers.Then<QFileDialog>([&path](QFileDialog* dialog) {
        EXPECT_EQ(dialog->nameFilters(), QStringList{"Comma Delimited Files (*.csv)"});
        dialog->selectFile(QString::fromStdString(path));
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(prompt.ChooseFileToOpen("Comma Delimited Files (*.csv)|*.csv|", "csv"), path);
    EXPECT_EQ(answers.Failure(), "");
}

}  // namespace
}  // namespace sieveclaw

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "core/AccountsFile.h"
#include "setup/AccountDiscovery.h"
#include "tests/setup/DiscoveryFixture.h"

namespace sieveclaw {
namespace {

using test::CDiscoveryMachine;

class CScriptedWizard : public CAccountWizard {
public:
    explicit CScriptedWizard(bool finish) : m_Finish(finish) {}
    bool Run(CAccountList& accounts) override {
        ++m_Runs;
        m_Seen = AccountCount(accounts);
        return m_Finish;
    }
    bool m_Finish;
    int m_Runs = 0;
    std::size_t m_Seen = 0;
};

class CRecordingPrompt : public CUserPrompt {
public:
    void ShowDismissable(const std::string&, const std::string& text) override { m_Shown.push_back(text); }
    void ShowError(const std::string& text) override { m_Shown.push_back(text); }
    void ShowInformation(const std::string& text) override { m_Shown.push_back(text); }
    EAnswer AskYesNoCancel(const std::string& text) override {
        m_Shown.push_back(text);
        return EAnswer::kCancel;
    }
    std::optional<std::string> ChooseFileToOpen(const std::string&, const std::string&) override { return {}; }
    std::vector<std::string> m_Shown;
};

void InstallEudora(const CDiscoveryMachine& machine) {
    machine.UserReg("[Software\\\\Qualcomm\\\\Eudora\\\\CommandLine] 1\n\"current\"=\"C:\\\\e\\\\eudora.ini\"\n");
    machine.Write("wine/drive_c/e/eudora.ini", "[Settings]\nRealName=Jo\nPopServer=pop.example\n");
}

TEST(CollectEmailAccountInfoTest, NothingInstalledEndsWithoutWizardOrMessage) {
    CDiscoveryMachine machine;
    CAccountList accounts;
    CScriptedWizard wizard(true);
    CRecordingPrompt prompt;
    EXPECT_EQ(CollectEmailAccountInfo(accounts, wizard, prompt, machine.Places()), 0);
    EXPECT_EQ(wizard.m_Runs, 0);
    EXPECT_TRUE(prompt.m_Shown.empty());
    EXPECT_EQ(
        machine.LogLines(),
        (std::vector<std::string>{
            "CollectEmailAccountInfo - entererd",
            "CollectEmailAccountInfo - searchng for Outlook Express data",
            "CollectEmailAccountInfo - attempting to open Software\\Microsoft\\Internet Account Manager\\Accounts",
            "CollectEmailAccountInfo - searchng for Outlook data",
            "CollectEmailAccountInfo - Failed to find any Outlook settings - No such file or directory",
            "CollectEmailAccountInfo - searchng for IncrediMail data",
            "CollectEmailAccountInfo - searchng for PegasusMail data",
            "CollectEmailAccountInfo - searchng for Netscape 7.0 mail data",
            "CollectEmailAccountInfo - searchng for Netscape 4.79 mail data",
            "CollectEmailAccountInfo - Did not find any email accounts to copy account info from",
            "CollectEmailAccountInfo - leaving",
        }));
    EXPECT_FALSE(std::filesystem::exists(AccountsFilePath()));
}

TEST(CollectEmailAccountInfoTest, FinishingTheWizardSavesTheAccounts) {
    CDiscoveryMachine machine;
    InstallEudora(machine);
    CAccountList accounts;
    CScriptedWizard wizard(true);
    CRecordingPrompt prompt;
    EXPECT_EQ(CollectEmailAccountInfo(accounts, wizard, prompt, machine.Places()), 1);
    EXPECT_EQ(wizard.m_Runs, 1);
    EXPECT_EQ(wizard.m_Seen, 1U);
    EXPECT_TRUE(prompt.m_Shown.empty());
    CAccountList stored;
    ASSERT_TRUE(LoadAccounts(stored));
    ASSERT_EQ(AccountCount(stored), 1U);
    EXPECT_EQ(stored.Snapshot()[0].m_POP3Server, "pop.example");
    const std::vector<std::string> log = machine.LogLines();
    ASSERT_GE(log.size(), 2U);
    EXPECT_EQ(log[log.size() - 2], "CollectEmailAccountInfo - Launching account info wizard");
    EXPECT_EQ(log.back(), "CollectEmailAccountInfo - leaving");
}

TEST(CollectEmailAccountInfoTest, CancellingTheWizardTellsTheUserAndSavesNothing) {
    CDiscoveryMachine machine;
    InstallEudora(machine);
    CAccountList accounts;
    CScriptedWizard wizard(false);
    CRecordingPrompt prompt;
    EXPECT_EQ(CollectEmailAccountInfo(accounts, wizard, prompt, machine.Places()), 0);
    EXPECT_EQ(AccountCount(accounts), 1U) << "records stay in the list";
    EXPECT_EQ(prompt.m_Shown, std::vector<std::string>{kNoAccountMessage});
    EXPECT_FALSE(std::filesystem::exists(AccountsFilePath()));
    const std::vector<std::string> log = machine.LogLines();
    ASSERT_GE(log.size(), 3U);
    EXPECT_EQ(log[log.size() - 3], "CollectEmailAccountInfo - Launching account info wizard");
    EXPECT_EQ(log[log.size() - 2], "CollectEmailAccountInfo - Accounts wizard was cancelled");
    EXPECT_EQ(log.back(), "CollectEmailAccountInfo - leaving");
}

// Sets an environment variable for one scope and puts the old value back.
class CScopedEnvironment {
public:
    CScopedEnvironment(const char* name, const char* value) : m_Name(name) {
        if (const char* old = std::getenv(name)) {
            m_Old = old;
        }
        Set(value);
    }
    ~CScopedEnvironment() { Set(m_Old ? m_Old->c_str() : nullptr); }
    void Set(const char* value) const {
        if (value != nullptr) {
            ::setenv(m_Name, value, 1);
        } else {
            ::unsetenv(m_Name);
        }
    }

private:
    const char* m_Name;
    std::optional<std::string> m_Old;
};

TEST(CollectEmailAccountInfoTest, DefaultPlacesComeFromTheEnvironment) {
    CDiscoveryMachine machine;
    const CScopedEnvironment home("HOME", machine.Path("home").c_str());
    const CScopedEnvironment prefix("WINEPREFIX", nullptr);
    EXPECT_EQ(DefaultDiscoveryPlaces().m_WinePrefix, machine.Path("home") + "/.wine");
    prefix.Set((machine.Path("wine") + "/").c_str());
    const DiscoveryPlaces places = DefaultDiscoveryPlaces();
    EXPECT_EQ(places.m_HomeFolder, machine.Path("home"));
    EXPECT_EQ(places.m_WinePrefix, machine.Path("wine"));
    EXPECT_FALSE(places.m_WindowsUserName.empty());
}

}  // namespace
}  // namespace sieveclaw

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/AccountList.h"
#include "core/AccountsFile.h"
#include "core/DataFolder.h"
#include "core/TextFile.h"
#include "mail/CEmailMsg.h"
#include "mail/MessageFiles.h"
#include "tests/support/ScopedDataFolder.h"
#include "tests/support/SmtpServer.h"

// sieveclaw-cli salvage and bounce end to end: the built program in a data folder of its own,
// against a real SMTP server on 127.0.0.1.

namespace sieveclaw {
namespace {

namespace fs = std::filesystem;
using test::CScopedDataFolder;
using test::CSmtpServer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// $SIEVECLAW_CLI, else the program beside this test in the build tree.
std::string CliPath() {
    if (const char* configured = std::getenv("SIEVECLAW_CLI"); configured != nullptr) {
        return configured;
    }
    std::error_code failure;
    const fs::path self = fs::read_symlink("/proc/self/exe", failure);
    return failure ? std::string() : (self.parent_path().parent_path() / "app" / "sieveclaw-cli").string();
}

struct CliRun {
    int m_Status = -1;
    std::string m_Out;
    std::string m_Err;
};

class SendMessageFileCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_Cli = CliPath();
        if (m_Cli.empty() || ::access(m_Cli.c_str(), X_OK) != 0) {
            GTEST_SKIP() << "sieveclaw-cli is not built (set SIEVECLAW_CLI)";
        }
        ASSERT_TRUE(m_Server.Start()) << m_Server.Error();
        // The program trusts the server's CA through the variable OpenSSL reads.
        const char* old = std::getenv("SSL_CERT_FILE");
        m_OldCertFile = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("SSL_CERT_FILE", m_Server.CaFile().c_str(), 1);

        ASSERT_TRUE(EnsureProgramFolder());
        ASSERT_EQ(::mkdir(SpamFolder().c_str(), 0700), 0);
        CAccountList accounts;
        EmailAccountInfo account;
        account.m_AccountName = "Home";
        account.m_POP3Server = "127.0.0.1";
        account.m_SMTPServer = "127.0.0.1";
        account.m_SMTPPort = std::to_string(m_Server.PlainPort());
        account.m_SMTPNeedsLogon = 1;
        account.m_SMTPUserId = m_Server.User();
        account.m_SMTPPassword = m_Server.Password();
        account.m_EmailAddress = "alice@example.org";
        AddAccount(accounts, account);
        account.m_AccountName = "Nowhere";
        account.m_EmailAddress = "unknown@example.org";  // the server refuses this recipient
        AddAccount(accounts, account);
        ASSERT_TRUE(SaveAccounts(accounts));
    }

    void TearDown() override {
        if (m_OldCertFile) {
            ::setenv("SSL_CERT_FILE", m_OldCertFile->c_str(), 1);
        } else {
            ::unsetenv("SSL_CERT_FILE");
        }
    }

    std::string StoreSpam(const std::string& name, const std::string& account) const {
        CEmailMsg message;
        message.m_RawText =
            "From: offers@bulk.example\r\nTo: alice@example.org\r\nSubject: Cheap watches\r\n"
            "Date: Tue, 4 Jun 2024 10:00:00 +0200\r\nContent-Type: text/plain\r\n\r\nBuy now.\r\n";
        const std::string path = SpamFolder() + "/" + name;
        EXPECT_TRUE(SaveEmail(path, message, account, "'bulk.example' is in the From list"));
        return path;
    }

    CliRun Run(const std::vector<std::string>& arguments) const {
        std::string command = m_Cli;
        for (const std::string& argument : arguments) {
            command += " '" + argument + "'";
        }
        const std::string out = m_Folder.File("cli.out");
        const std::string err = m_Folder.File("cli.err");
        command += " >" + out + " 2>" + err;
        CliRun run;
        const int status = std::system(command.c_str());
        run.m_Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        ReadFileBytes(out, run.m_Out);
        ReadFileBytes(err, run.m_Err);
        return run;
    }

    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        CLineReader reader(text);
        for (std::string_view line; reader.Next(line);) {
            lines.emplace_back(line);
        }
        return lines;
    }

    CScopedDataFolder m_Folder;
    CSmtpServer m_Server;
    std::string m_Cli;
    std::optional<std::string> m_OldCertFile;
};

TEST_F(SendMessageFileCliTest, SalvagePrintsTheStagesAndDeletesTheFileOnceSent) {
    const std::string path = StoreSpam("spam-1.eml", "Home");
    const CliRun run = Run({"salvage", path});
    EXPECT_EQ(run.m_Status, 0) << run.m_Err;
    EXPECT_THAT(
        Lines(run.m_Out),
        ElementsAre("This email is being salvaged.  One moment please...", "Status: Logging into your email server.",
                    "Status: Sending email...", "Status: Done.  Now logging off your email server", "Status: Done.",
                    "Salvaged: 'Cheap watches' from offers@bulk.example was sent to the account 'Home'; the "
                    "spam file is deleted."));
    EXPECT_FALSE(fs::exists(path));
    ASSERT_EQ(m_Server.MessageCount(), 1u);
    EXPECT_THAT(*m_Server.Envelope(1),
                HasSubstr("\"to\": [\"alice@example.org\"], \"user\": \"alice\", \"tls\": true"));
}

TEST_F(SendMessageFileCliTest, AFailedSalvageKeepsTheFileAndExits1) {
    const std::string path = StoreSpam("spam-2.eml", "Nowhere");
    const CliRun run = Run({"salvage", path});
    EXPECT_EQ(run.m_Status, 1);
    EXPECT_THAT(run.m_Err, HasSubstr("Sieveclaw had a problem sending mail.  This was returned from the server: 550"));
    EXPECT_THAT(run.m_Err, HasSubstr("Not salvaged"));
    EXPECT_TRUE(fs::exists(path));

    const std::string orphan = StoreSpam("spam-3.eml", "Gone");
    const CliRun noAccount = Run({"salvage", orphan});
    EXPECT_EQ(noAccount.m_Status, 1);
    EXPECT_THAT(noAccount.m_Err, HasSubstr("the account 'Gone'"));
    EXPECT_TRUE(fs::exists(orphan));
    EXPECT_EQ(m_Server.MessageCount(), 0u);

    EXPECT_EQ(Run({"salvage"}).m_Status, 2);
    EXPECT_EQ(Run({"bounce", path, path}).m_Status, 2);
}

TEST_F(SendMessageFileCliTest, BounceSendsTheNoticeToTheStoredSenderAndDeletesTheFile) {
    const std::string path = StoreSpam("spam-4.eml", "Home");
    const CliRun run = Run({"bounce", path});
    EXPECT_EQ(run.m_Status, 0) << run.m_Err;
    EXPECT_EQ(Lines(run.m_Out).front(), "This email is being sent back.  One moment please...");
    EXPECT_EQ(Lines(run.m_Out).back(), "Bounced: the notice went to offers@bulk.example; the spam file is deleted.");
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(fs::exists(SpamFolder() + "/bounce.eml"));
    ASSERT_EQ(m_Server.MessageCount(), 1u);
    EXPECT_THAT(*m_Server.Envelope(1), HasSubstr("\"from\": \"alice@example.org\", \"to\": [\"offers@bulk.example\"]"));
    EXPECT_THAT(*m_Server.Message(1), HasSubstr("Subject:Undeliverable: Cheap watches\r\n"));
}

}  // namespace
}  // namespace sieveclaw

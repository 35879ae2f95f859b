#include "core/AccountsFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "core/DataFolder.h"
#include "core/ScrambleText.h"
#include "core/TextFile.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

using test::CScopedDataFolder;

const std::string kFolder = "/data/";

std::string Join(std::initializer_list<std::string> lines, const char* end = "\n") {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += end;
    }
    return text;
}

// One account in file order; 13 lines for the older format, 15 otherwise.
std::string Block(const std::string& name, const std::string& password, bool current = true) {
    std::string text =
        Join({"1", name, name + "-user", ScrambleText(password), "pop." + name, "995", "smtp." + name, "587",
              name + "-smtp", ScrambleText("s-" + password), "1", "/snd/spam.wav", "/snd/new.wav"});
    if (current) {
        text += Join({name + "@example.org", "0"});
    }
    return text;
}

const std::string kHeader = std::string(kAccountsFileHeader) + "\n";

EmailAccountInfo FullRecord(const std::string& name) {
    EmailAccountInfo record(kFolder);
    record.m_AccountName = name;
    record.m_POP3Server = "pop." + name + ".example";
    record.m_POP3UserId = name + "-user";
    record.m_POP3Password = "p@ss " + name;
    record.m_POP3Port = "995";
    record.m_SMTPServer = "smtp." + name + ".example";
    record.m_SMTPNeedsLogon = 1;
    record.m_SMTPUserId = name + "-smtp";
    record.m_SMTPPassword = "smtp secret";
    record.m_SMTPPort = "587";
    record.m_PlaySounds = 0;
    record.m_SpamSoundFile = "/sounds/" + name + " spam.wav";
    record.m_NewMailSoundFile = "/sounds/" + name + " new.wav";
    record.m_EmailAddress = name + "@example.org";
    record.m_OnHold = 1;
    record.m_MailProgram = "Eudora";
    return record;
}

void ExpectSameRecords(const std::vector<EmailAccountInfo>& actual, const std::vector<EmailAccountInfo>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(HasSameStoredFields(actual[i], expected[i])) << actual[i].m_AccountName;
    }
}

TEST(AccountsFileTest, SaveAndLoadGiveTheSameAccountsInOrder) {
    CScopedDataFolder folder;
    // Every byte except a line feed once scrambled, and not ending in one that scrambles to white
    // space.
    std::string anyBytes;
    for (int value = 0; value < 256; ++value) {
        if (static_cast<char>(value ^ kScrambleKey) != '\n') {
            anyBytes.push_back(static_cast<char>(value));
        }
    }
    anyBytes += "end";
    std::vector<EmailAccountInfo> records{FullRecord("work"), FullRecord("home"), EmailAccountInfo(kFolder)};
    records[0].m_POP3Password = anyBytes;
    records[1].m_SMTPPassword = anyBytes;
    records[1].m_OnHold = 0;
    records[2].m_AccountName = "defaults";
    ASSERT_TRUE(FirstFieldNotStoredIntact(records[0]).empty());

    CAccountList list;
    for (const EmailAccountInfo& record : records) {
        AddAccount(list, record);
    }
    ASSERT_TRUE(SaveAccounts(list));
    const std::string path = folder.File("accounts.txt");
    ASSERT_EQ(AccountsFilePath(), path);

    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(path, bytes));
    EXPECT_TRUE(bytes.starts_with("Sieveclaw Datastream Version 1.1\r\n3\r\n1\r\nwork\r\nwork-user\r\n"))
        << bytes.substr(0, 60);
    // The blocks, then the later values: their header and three a record.
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 2 + 3 * 15 + 1 + 3 * 3);
    std::size_t lineFeeds = 0;
    for (std::size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 1)) {
        ++lineFeeds;
        EXPECT_EQ(bytes[at - 1], '\r') << "line " << lineFeeds;
    }
    EXPECT_EQ(bytes.find("p@ss home"), std::string::npos);
    EXPECT_EQ(bytes.find("smtp secret"), std::string::npos);
    EXPECT_NE(bytes.find(ScrambleText("p@ss home")), std::string::npos);
    EXPECT_EQ(bytes.find("Eudora"), std::string::npos);

    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U);

    CAccountList loaded;
    ASSERT_TRUE(LoadAccounts(loaded));
    ExpectSameRecords(loaded.Snapshot(), records);
    EXPECT_EQ(loaded.Snapshot()[0].m_MailProgram, "");

    // Saving again replaces the file whole.
    CAccountList shorter;
    AddAccount(shorter, records[2]);
    ASSERT_TRUE(SaveAccounts(shorter));
    CAccountList reloaded;
    ASSERT_TRUE(LoadAccounts(reloaded));
    ExpectSameRecords(reloaded.Snapshot(), {records[2]});
}

TEST(AccountsFileTest, LaterValuesFollowTheBlocksAndKeepWhatThisVersionDoesNotKnow) {
    std::vector<EmailAccountInfo> records{FullRecord("work"), FullRecord("home")};
    records[0].m_POP3Security = EConnectionSecurity::kSslTls;
    records[1].m_SMTPSecurity = EConnectionSecurity::kStartTls;
    records[1].m_SMTPCertificate = "AB:01:FF";
    records[1].m_LeaveMailUnread = 1;
    const std::string written = FormatAccountsText(records);
    EXPECT_NE(written.find("\r\nSieveclaw Account Values Version 1\r\n1 pop3-security=ssl-tls\r\n"
                           "1 smtp-security=when-offered\r\n1 leave-unread=0\r\n2 pop3-security=when-offered\r\n"
                           "2 smtp-security=starttls\r\n2 smtp-certificate=AB:01:FF\r\n2 leave-unread=1\r\n"),
              std::string::npos)
        << written;

    // A newer version's values, lines of no record, and values no choice has.
    const std::string newer = written + "2 archive-after=30\r\n7 pop3-security=ssl-tls\r\nno equals\r\n"
                                        "1 smtp-security=bogus\r\n1 leave-unread=yes\r\n";
    const std::vector<EmailAccountInfo> read = ParseAccountsText(newer, kFolder);
    ASSERT_EQ(read.size(), 2U);
    EXPECT_EQ(read[0].m_POP3Security, EConnectionSecurity::kSslTls);
    EXPECT_EQ(read[0].m_SMTPSecurity, EConnectionSecurity::kWhenOffered);
    EXPECT_EQ(read[1].m_SMTPSecurity, EConnectionSecurity::kStartTls);
    EXPECT_EQ(read[1].m_SMTPCertificate, "AB:01:FF");
    EXPECT_TRUE(read[0].m_POP3Certificate.empty() && read[1].m_POP3Certificate.empty());
    EXPECT_EQ(read[0].m_LeaveMailUnread, 0);
    EXPECT_EQ(read[1].m_LeaveMailUnread, 1);
    EXPECT_TRUE(read[0].m_OtherStoredValues.empty());
    ASSERT_EQ(read[1].m_OtherStoredValues.size(), 1U);
    EXPECT_EQ(read[1].m_OtherStoredValues[0], std::make_pair(std::string("archive-after"), std::string("30")));
    EXPECT_NE(FormatAccountsText(read).find("2 archive-after=30\r\n"), std::string::npos);

    // A file of the fifteen-line layout gives today's behaviour, even for a server whose new
    // accounts would leave mail unread.
    const std::vector<EmailAccountInfo> old = ParseAccountsText(kHeader + "1\n" + Block("gmail.com", "pw"), kFolder);
    ASSERT_EQ(old.size(), 1U);
    EXPECT_EQ(old[0].m_POP3Security, EConnectionSecurity::kWhenOffered);
    EXPECT_EQ(old[0].m_SMTPSecurity, EConnectionSecurity::kWhenOffered);
    EXPECT_EQ(old[0].m_LeaveMailUnread, 0);
}

TEST(AccountsFileTest, MailIsLeftUnreadByDefaultOnlyOnTheServersThatNeedIt) {
    for (const char* server : {"pop.gmail.com", "GMAIL.COM", "pop.googlemail.com.", " pop.gmail.com "}) {
        EXPECT_TRUE(LeavesMailUnreadByDefault(server)) << server;
    }
    for (const char* server : {"notgmail.com", "gmail.com.example", "pop.example.org", "", "mail.com"}) {
        EXPECT_FALSE(LeavesMailUnreadByDefault(server)) << server;
    }
}

TEST(AccountsFileTest, MissingFileOrFolderLoadsAndSavesNothing) {
    CScopedDataFolder folder;
    CAccountList list;
    EXPECT_FALSE(LoadAccounts(list));
    EXPECT_EQ(AccountCount(list), 0U);
    AddAccount(list, FullRecord("a"));
    EXPECT_FALSE(SaveAccounts(list, folder.File("missing/accounts.txt")));
    EXPECT_FALSE(LoadAccounts(list, folder.File("missing/accounts.txt")));
    EXPECT_EQ(AccountCount(list), 1U);
}

TEST(AccountsFileTest, ReadsLineFeedAndCrLfFilesAlike) {
    const std::string lf = kHeader + "2\n" + Block("a", "pw-a") + Block("b", "pw-b");
    std::string crlf;
    for (char c : lf) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    const std::vector<EmailAccountInfo> fromLf = ParseAccountsText(lf, kFolder);
    ExpectSameRecords(ParseAccountsText(crlf, kFolder), fromLf);
    ASSERT_EQ(fromLf.size(), 2U);
    const EmailAccountInfo& b = fromLf[1];
    EXPECT_EQ(b.m_SMTPNeedsLogon, 1);
    EXPECT_EQ(b.m_AccountName, "b");
    EXPECT_EQ(b.m_POP3UserId, "b-user");
    EXPECT_EQ(b.m_POP3Password, "pw-b");
    EXPECT_EQ(b.m_POP3Server, "pop.b");
    EXPECT_EQ(b.m_POP3Port, "995");
    EXPECT_EQ(b.m_SMTPServer, "smtp.b");
    EXPECT_EQ(b.m_SMTPPort, "587");
    EXPECT_EQ(b.m_SMTPUserId, "b-smtp");
    EXPECT_EQ(b.m_SMTPPassword, "s-pw-b");
    EXPECT_EQ(b.m_PlaySounds, 1);
    EXPECT_EQ(b.m_SpamSoundFile, "/snd/spam.wav");
    EXPECT_EQ(b.m_NewMailSoundFile, "/snd/new.wav");
    EXPECT_EQ(b.m_EmailAddress, "b@example.org");
    EXPECT_EQ(b.m_OnHold, 0);
    // The file ends without a final line end just as well.
    const std::string unterminated = lf.substr(0, lf.size() - 1);
    ExpectSameRecords(ParseAccountsText(unterminated, kFolder), fromLf);
}

TEST(AccountsFileTest, OlderFormatHasNoHeaderAndThirteenLines) {
    const std::vector<EmailAccountInfo> records =
        ParseAccountsText("2\r\n" + Block("old", "pw", false) + Block("older", "pw2", false), kFolder);
    ASSERT_EQ(records.size(), 2U);
    EXPECT_EQ(records[0].m_AccountName, "old");
    EXPECT_EQ(records[1].m_AccountName, "older");
    EXPECT_EQ(records[1].m_POP3Password, "pw2");
    EXPECT_EQ(records[1].m_NewMailSoundFile, "/snd/new.wav");
    for (const EmailAccountInfo& record : records) {
        EXPECT_EQ(record.m_EmailAddress, "");
        EXPECT_EQ(record.m_OnHold, 0);
    }
    // The next save writes the current format.
    EXPECT_TRUE(FormatAccountsText(records).starts_with(kAccountsFileHeader));
    ExpectSameRecords(ParseAccountsText(FormatAccountsText(records), kFolder), records);
}

TEST(AccountsFileTest, CountThatIsNotPositiveLoadsNothing) {
    for (const std::string count : {"0", "-1", "abc", "", " ", "+0", "-2147483648", "99999999999999999999x"}) {
        SCOPED_TRACE(count);
        const std::string blocks = Block("a", "pw") + Block("b", "pw");
        const std::vector<EmailAccountInfo> current = ParseAccountsText(kHeader + count + "\n" + blocks, kFolder);
        const std::vector<EmailAccountInfo> older = ParseAccountsText(count + "\n" + blocks, kFolder);
        if (count.starts_with("99")) {
            // Leading digits past the int range still mean "many": the file decides.
            EXPECT_EQ(current.size(), 2U);
            EXPECT_EQ(older.size(), 3U);  // 30 lines read 13 an account
        } else {
            EXPECT_TRUE(current.empty());
            EXPECT_TRUE(older.empty());
        }
    }
    EXPECT_TRUE(ParseAccountsText("", kFolder).empty());
    EXPECT_TRUE(ParseAccountsText(kHeader, kFolder).empty());
    // Leading digits count; what follows them does not, nor do leading blanks and a plus sign.
    EXPECT_EQ(ParseAccountsText(kHeader + "1 account\n" + Block("a", "pw") + Block("b", "pw"), kFolder).size(), 1U);
    EXPECT_EQ(ParseAccountsText(kHeader + " +2\n" + Block("a", "pw") + Block("b", "pw"), kFolder).size(), 2U);
}

TEST(AccountsFileTest, TrailingWhiteSpaceIsTrimmedBeforeUnscrambling) {
    // 0xA2 scrambles to a blank and 0x8B to a tab: a password ending in them loses them.
    const std::string password = "secret\xA2pw\x8B\xA2";
    EXPECT_EQ(ScrambleText("\xA2\x8B"), " \t");
    EXPECT_EQ(ParseAccountsText(kHeader + "1\n" + Block("a", password), kFolder).at(0).m_POP3Password, "secret\xA2pw");

    EmailAccountInfo record = FullRecord("a");
    record.m_SMTPPassword = password;
    EXPECT_EQ(FirstFieldNotStoredIntact(record), "SMTP password");
    EXPECT_EQ(ParseAccountsText(FormatAccountsText({record}), kFolder).at(0).m_SMTPPassword, "secret\xA2pw");
    // Texts lose trailing blanks the same way; leading ones stay.
    record = FullRecord("a");
    record.m_AccountName = "  padded\t ";
    EXPECT_EQ(FirstFieldNotStoredIntact(record), "account name");
    EXPECT_EQ(ParseAccountsText(FormatAccountsText({record}), kFolder).at(0).m_AccountName, "  padded");
}

TEST(AccountsFileTest, LineFeedInAValueDoesNotShiftTheRestOfTheFile) {
    // 0x88 scrambles to a line feed (it occurs in UTF-8 text, e.g. U+6211 is E6 88 91).
    std::vector<EmailAccountInfo> records{FullRecord("first"), FullRecord("second")};
    records[0].m_POP3Password = "\xE6\x88\x91pw";
    records[0].m_EmailAddress = "two\nlines@example.org";
    EXPECT_EQ(FirstFieldNotStoredIntact(records[0]), "POP3 password");
    EXPECT_TRUE(FirstFieldNotStoredIntact(records[1]).empty());

    const std::string text = FormatAccountsText(records);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + 2 * 15 + 1 + 2 * 3);
    const std::vector<EmailAccountInfo> loaded = ParseAccountsText(text, kFolder);
    ASSERT_EQ(loaded.size(), 2U);
    EXPECT_EQ(loaded[0].m_POP3Password, "\xE6");
    EXPECT_EQ(loaded[0].m_POP3Server, records[0].m_POP3Server);
    EXPECT_EQ(loaded[0].m_EmailAddress, "two");
    EXPECT_EQ(loaded[0].m_OnHold, 1);
    ExpectSameRecords({loaded[1]}, {records[1]});
}

TEST(AccountsFileTest, DuplicateNamesBothLoadAndTheFirstIsFound) {
    CScopedDataFolder folder;
    ASSERT_TRUE(WriteFileAtomically(folder.File("accounts.txt"), kHeader + "3\n" + Block("Mail", "one") +
                                                                     Block("mail", "two") + Block("Mail", "three")));
    CAccountList list;
    ASSERT_TRUE(LoadAccounts(list));
    ASSERT_EQ(AccountCount(list), 3U);
    const ListPos found = FindAccount(list, "Mail");
    EXPECT_EQ(found, list.First());
    EXPECT_EQ(list.GetAt(found)->m_POP3Password, "one");
    EXPECT_EQ(list.GetAt(FindAccount(list, "mail"))->m_POP3Password, "two");
}

TEST(AccountsFileTest, PortsStayTextAndIntegerLinesReadLikeAtoi) {
    std::string block = Join({"yes", "a", "user", ScrambleText("pw"), "pop", "pop3s", "smtp", "submission", "u",
                              ScrambleText("pw"), "  7 sounds", "s", "n", "e", "-1"});
    const EmailAccountInfo record = ParseAccountsText(kHeader + "1\n" + block, kFolder).at(0);
    EXPECT_EQ(record.m_SMTPNeedsLogon, 0);
    EXPECT_EQ(record.m_POP3Port, "pop3s");
    EXPECT_EQ(record.m_SMTPPort, "submission");
    EXPECT_EQ(record.m_PlaySounds, 7);
    EXPECT_EQ(record.m_OnHold, -1);

    block = Join({"4294967297", "a", "", "", "", "", "", "", "", "", "-99999999999", "", "", "", "+12x"});
    const EmailAccountInfo extreme = ParseAccountsText(kHeader + "1\n" + block, kFolder).at(0);
    EXPECT_EQ(extreme.m_SMTPNeedsLogon, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(extreme.m_PlaySounds, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(extreme.m_OnHold, 12);
}

TEST(AccountsFileTest, ShortFileReadsMissingLinesEmpty) {
    const std::string partial = Join({"1", "cut", "user", ScrambleText("pw"), "pop.cut"});
    const std::vector<EmailAccountInfo> records =
        ParseAccountsText(kHeader + "2\n" + Block("whole", "pw") + partial, kFolder);
    ASSERT_EQ(records.size(), 2U);
    EXPECT_EQ(records[0].m_EmailAddress, "whole@example.org");
    const EmailAccountInfo& cut = records[1];
    EXPECT_EQ(cut.m_AccountName, "cut");
    EXPECT_EQ(cut.m_POP3Password, "pw");
    EXPECT_EQ(cut.m_POP3Server, "pop.cut");
    EXPECT_EQ(cut.m_POP3Port, "");
    EXPECT_EQ(cut.m_SMTPPort, "");
    EXPECT_EQ(cut.m_SpamSoundFile, "");
    EXPECT_EQ(cut.m_NewMailSoundFile, "");
    EXPECT_EQ(cut.m_PlaySounds, 0);
    EXPECT_EQ(cut.m_OnHold, 0);
    EXPECT_EQ(cut.m_SMTPNeedsLogon, 1);
}

TEST(AccountsFileTest, HugeCountMakesNoAccountPastTheEndOfTheFile) {
    for (const std::string& text :
         {kHeader + "2000000000\n" + Block("only", "pw"), "2147483647\n" + Block("old", "pw", false),
          kHeader + "3\n" + Block("only", "pw")}) {
        const std::vector<EmailAccountInfo> records = ParseAccountsText(text, kFolder);
        ASSERT_EQ(records.size(), 1U);
        EXPECT_FALSE(records[0].m_AccountName.empty());
    }
    // Blank lines inside the file are lines: they still make (empty) accounts.
    EXPECT_EQ(ParseAccountsText(kHeader + "2000000000\n" + Block("a", "pw") + "\n", kFolder).size(), 2U);
}

TEST(AccountsFileTest, LinesOfAnyLengthAreReadWhole) {
    EmailAccountInfo record = FullRecord("long");
    record.m_AccountName = std::string(5000, 'n');
    record.m_POP3Password = std::string(1023, 'p') + "q";
    record.m_SpamSoundFile = "/" + std::string(1022, 's') + "/spam.wav";
    const std::vector<EmailAccountInfo> loaded =
        ParseAccountsText(FormatAccountsText({record, FullRecord("next")}), kFolder);
    ASSERT_EQ(loaded.size(), 2U);
    ExpectSameRecords(loaded, {record, FullRecord("next")});
}

}  // namespace
}  // namespace sieveclaw

#include "filter/AddressBookImport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/TextFile.h"
#include "core/UserPrompt.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

using Entries = std::vector<std::string>;

// Answers the file dialog with a prepared path and records every box.
class CRecordingPrompt : public CUserPrompt {
public:
    explicit CRecordingPrompt(std::optional<std::string> file) : m_File(std::move(file)) {}

    void ShowDismissable(const std::string& switchName, const std::string& text) override {
        m_Boxes.push_back("dismissable " + switchName + ": " + text);
    }
    void ShowError(const std::string& text) override { m_Errors.push_back(text); }
    void ShowInformation(const std::string& text) override { m_Boxes.push_back("information: " + text); }
    EAnswer AskYesNoCancel(const std::string& text) override {
        m_Boxes.push_back("question: " + text);
        return EAnswer::kCancel;
    }
    std::optional<std::string> ChooseFileToOpen(const std::string& filter, const std::string& extension) override {
        m_Filters.push_back(filter + " / " + extension);
        return m_File;
    }

    std::optional<std::string> m_File;
    Entries m_Boxes;
    Entries m_Errors;
    Entries m_Filters;
};

TEST(AddressBookImportTest, StripAddressDelimitersTakesTheFirstDelimiterKindFound) {
    struct Case {
        std::string_view m_Text;
        std::string_view m_Expected;
    };
    const Case cases[] = {
        {"John Doe <John.Doe@Example.COM>", "John.Doe@Example.COM"},
        {"<a@b.com> \"Name\" (x)", "a@b.com"},
        {"\"Doe, John\" <x@y.org>", "x@y.org"},  // angle brackets win over quotes
        {"<never closed", ""},
        {"a > b <c@d.com", ""},  // the '>' must follow the '<'
        {"\"a@b.com\"", "a@b.com"},
        {"\"open only", ""},
        {"(a@b.com) \"", ""},  // quotes win over parentheses
        {"Someone (some@one.net)", "some@one.net"},
        {"(unclosed", ""},
        {"plain@example.org", "plain@example.org"},
        {"", ""},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(StripAddressDelimiters(test.m_Text), test.m_Expected) << test.m_Text;
    }
}

TEST(AddressBookImportTest, IsValidFriendAddressWantsAnAtAfterTheStartAndADotNearTheEnd) {
    EXPECT_TRUE(IsValidFriendAddress("a@b.com"));
    EXPECT_TRUE(IsValidFriendAddress("a@b.co"));
    EXPECT_TRUE(IsValidFriendAddress("x@y.c"));
    EXPECT_TRUE(IsValidFriendAddress("a@b.com."));
    EXPECT_TRUE(IsValidFriendAddress("a@."));
    EXPECT_FALSE(IsValidFriendAddress("a@b.info"));  // four-letter top-level domain
    EXPECT_FALSE(IsValidFriendAddress("@b.com"));
    EXPECT_FALSE(IsValidFriendAddress("@a@b.com"));  // the first '@' decides
    EXPECT_FALSE(IsValidFriendAddress("ab.com"));
    EXPECT_FALSE(IsValidFriendAddress("a@bcom"));
    EXPECT_FALSE(IsValidFriendAddress(""));

    EXPECT_EQ(FriendTypeText("a@b.com"), "An individual user");
    EXPECT_EQ(FriendTypeText("b.com"), "All users in a domain");
}

TEST(AddressBookImportTest, CsvReaderHandlesQuotedCommasLineBreaksAndDoubledQuotes) {
    CCsvReader reader(
        "a,\"b,c\",d\r\n"
        "\"multi\r\nline, field\",\"say \"\"hi\"\"\",\"\"\n"
        "\n"
        "x\"y,\"q\"tail,\r\n"
        "\"left open,\nto the end");
    std::vector<Entries> records;
    for (Entries fields; reader.NextRecord(fields);) {
        records.push_back(fields);
    }
    const std::vector<Entries> expected{
        {"a", "b,c", "d"},          {"multi\r\nline, field", "say \"hi\"", ""}, {""}, {"x\"y", "qtail", ""},
        {"left open,\nto the end"},
    };
    EXPECT_EQ(records, expected);
}

TEST(AddressBookImportTest, CsvAddressColumnIsFoundWhateverItsCase) {
    EXPECT_EQ(FindAddressColumn({"Name", "E-mail Address", "Email"}), 1U);
    EXPECT_EQ(FindAddressColumn({"Name", "Phone", " EMAIL "}), 2U);  // the last field takes part
    EXPECT_EQ(FindAddressColumn({"e-mail"}), 0U);
    EXPECT_EQ(FindAddressColumn({"Name", "Mail", "E-mail 2", "emailaddress"}), std::nullopt);

    const std::optional<Entries> addresses = ReadCsvAddresses(
        "\xEF\xBB\xBF\"Name\",\"E-mail Address\",Phone\r\n"
        "\"Doe, John\",john@example.com,555\r\n"
        "\"Smith,\r\nJane\",\"Jane Smith <Jane@Example.org>\",1\r\n"
        "Short record\r\n"
        "Carl,,\r\n"
        "Dora, dora@example.net ,2\r\n"
        "Name only,");
    ASSERT_TRUE(addresses);
    EXPECT_EQ(*addresses, (Entries{"john@example.com", "Jane@Example.org", "dora@example.net"}));

    EXPECT_EQ(ReadCsvAddresses("Name,Mail\r\nx,y@z.com\r\n"), std::nullopt);
    EXPECT_EQ(ReadCsvAddresses(""), std::nullopt);
}

TEST(AddressBookImportTest, TxtAddressesAreValidatedAndCheckedAgainstFriendsBothWays) {
    const std::string text =
        "John Doe <John.Doe@Example.COM>\r\n"
        "  alice@example.org  \r\n"
        "Bob <BOB@EXAMPLE.NET>\r\n"
        "\r\n"
        "someone@example.info\r\n"
        "@example.com\r\n"
        "ALICE@example.org\r\n"
        "example.com\r\n"
        "alice@example.org\r\n";
    const std::optional<Entries> added = NewFriendsFromAddressBook(text, false, {"bob@example.net", "example.com"});
    ASSERT_TRUE(added);
    // BOB@EXAMPLE.NET is a friend in lower case; ALICE@ is alice@ lowered; example.com fails the
    // validity test (and is a friend already).
    EXPECT_EQ(*added, (Entries{"John.Doe@Example.COM", "alice@example.org"}));
}

class AddressBookImportFileTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, std::string_view content) {
        const std::string path = m_Folder.File(name);
        EXPECT_TRUE(WriteFileAtomically(path, content));
        return path;
    }

    test::CScopedDataFolder m_Folder;
    CFilterLists m_Lists;
};

TEST_F(AddressBookImportFileTest, ImportAddressBookReadsCsvByExtensionAndReportsRows) {
    m_Lists.m_Friends.Append("old@example.com");
    CRecordingPrompt prompt(Write("book.CSV",
                                  "Name,Email\r\nOld,old@example.com\r\nNew,not an address\r\n"
                                  "Pat,\"<Pat@Example.com>\"\r\nPat again,Pat@Example.com\r\n"));
    const AddressBookImportResult result = ImportAddressBook(prompt, m_Lists);
    EXPECT_EQ(prompt.m_Filters, (Entries{"Comma Delimited Files (*.csv)|*.csv|Text Files (*.txt)|*.txt| / csv"}));
    EXPECT_TRUE(result.m_FileChosen && result.m_FileRead && result.m_Changed);
    EXPECT_FALSE(result.m_MissingColumn);
    ASSERT_EQ(result.m_Added.size(), 2U);
    // No validity test on comma-delimited addresses; the type follows the entry.
    EXPECT_EQ(result.m_Added[0].m_Entry, "not an address");
    EXPECT_EQ(result.m_Added[0].m_Type, "All users in a domain");
    EXPECT_EQ(result.m_Added[1].m_Entry, "Pat@Example.com");
    EXPECT_EQ(result.m_Added[1].m_Type, "An individual user");
    EXPECT_EQ(m_Lists.m_Friends.Snapshot(), (Entries{"old@example.com", "not an address", "Pat@Example.com"}));
    EXPECT_TRUE(prompt.m_Errors.empty());
}

TEST_F(AddressBookImportFileTest, ImportAddressBookWithoutAddressColumnShowsTheMessageAndAddsNothing) {
    CRecordingPrompt prompt(Write("book.csv", "Name,Mail\r\nAnn,ann@example.com\r\n"));
    const AddressBookImportResult result = ImportAddressBook(prompt, m_Lists);
    EXPECT_TRUE(result.m_MissingColumn);
    EXPECT_TRUE(result.m_Added.empty());
    EXPECT_TRUE(m_Lists.m_Friends.IsEmpty());
    EXPECT_EQ(prompt.m_Errors,
              (Entries{"Sieveclaw could not find the email addresses in your file.  Please name the field any of the "
                       "following and re-export your file.\n\n e-mail\nemail\nemail address\ne-mail address\n"}));
}

TEST_F(AddressBookImportFileTest, ImportAddressBookReadsOtherFilesAsText) {
    m_Lists.m_Friends.Append("ann@example.com");
    CRecordingPrompt prompt(Write("book.txt", "Ann <ANN@EXAMPLE.COM>\nBen <Ben@Example.com>\nben@example.com\n"));
    const AddressBookImportResult result = ImportAddressBook(prompt, m_Lists);
    ASSERT_EQ(result.m_Added.size(), 1U);
    EXPECT_EQ(result.m_Added[0].m_Entry, "Ben@Example.com");
    EXPECT_EQ(m_Lists.m_Friends.Snapshot(), (Entries{"ann@example.com", "Ben@Example.com"}));

    CRecordingPrompt cancelled(std::nullopt);
    const AddressBookImportResult none = ImportAddressBook(cancelled, m_Lists);
    EXPECT_FALSE(none.m_FileChosen || none.m_Changed);
    EXPECT_EQ(m_Lists.m_Friends.Count(), 2U);

    CRecordingPrompt unreadable(m_Folder.File("missing.csv"));
    const AddressBookImportResult failed = ImportAddressBook(unreadable, m_Lists);
    EXPECT_TRUE(failed.m_FileChosen);
    EXPECT_FALSE(failed.m_FileRead);
    EXPECT_TRUE(unreadable.m_Errors.empty());
}

TEST_F(AddressBookImportFileTest, ImportFilterFileAddsNewLinesToTheTabsListWithOneRescanEach) {
    m_Lists.m_BodyList.Add("casino");
    m_Lists.m_FromList.Add("free");  // the other tab's list does not count
    CRecordingPrompt prompt(Write("words.txt", "  free  \r\n\r\ncasino\r\nfree\r\nFREE\r\n\tcheap pills\n"));
    int rescans = 0;
    const FilterImportResult result =
        ImportFilterFile(prompt, m_Lists, EFilterList::kBody, true, [&rescans] { ++rescans; });
    EXPECT_EQ(prompt.m_Filters, (Entries{"Text Files (*.txt)|*.txt / txt"}));
    EXPECT_TRUE(result.m_FileRead && result.m_Changed);
    EXPECT_EQ(result.m_Added, (Entries{"free", "FREE", "cheap pills"}));
    EXPECT_EQ(rescans, 3);
    EXPECT_EQ(m_Lists.m_BodyList.Entries(), (Entries{"casino", "free", "FREE", "cheap pills"}));
    EXPECT_EQ(m_Lists.m_FromList.Entries(), (Entries{"free"}));

    std::string admin;
    ASSERT_TRUE(ReadFileBytes(m_Folder.File("adminbodylist.txt"), admin));
    EXPECT_EQ(admin, "free\r\nFREE\r\ncheap pills\r\n");
    EXPECT_FALSE(std::filesystem::exists(m_Folder.File("adminfromlist.txt")));
}

}  // namespace
}  // namespace sieveclaw

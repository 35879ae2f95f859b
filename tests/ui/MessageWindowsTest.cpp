#include "ui/CInboxDlg.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeView>

#include "core/DataFolder.h"
#include "core/TextFile.h"
#include "tests/support/FaultServer.h"
#include "tests/support/SmtpServer.h"
#include "tests/support/StoredMessages.h"
#include "tests/ui/ModalAnswerer.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CBlockDomainsDlg.h"
#include "ui/CHTMLView.h"
#include "ui/COffsensiveWordDlg.h"
#include "ui/CSMTPStatusDlg.h"
#include "ui/CTrashDlg.h"
#include "ui/CViewEmailDlg.h"
#include "ui/MessageListModel.h"

// The Inbox, the Trash Can and the message viewer as the user drives them, offscreen.

namespace sieveclaw {
namespace {

using test::EBox;
using EAnswer = CUserPrompt::EAnswer;

// Counts the connections made to a port on 127.0.0.1 (none are answered).
class CConnectionCounter {
public:
    CConnectionCounter() {
        m_Socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(m_Socket, reinterpret_cast<sockaddr*>(&address), size) == 0 && ::listen(m_Socket, 16) == 0 &&
            ::getsockname(m_Socket, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
            m_Port = ntohs(address.sin_port);
        }
        m_Thread = std::thread([this] {
            while (!m_Stop) {
                pollfd ready{m_Socket, POLLIN, 0};
                if (::poll(&ready, 1, 20) == 1) {
                    const int connection = ::accept(m_Socket, nullptr, nullptr);
                    if (connection >= 0) {
                        ++m_Count;
                        ::close(connection);
                    }
                }
            }
        });
    }
    ~CConnectionCounter() {
        m_Stop = true;
        m_Thread.join();
        ::close(m_Socket);
    }
    CConnectionCounter(const CConnectionCounter&) = delete;
    CConnectionCounter& operator=(const CConnectionCounter&) = delete;

    int Port() const { return m_Port; }
    int Count() const { return m_Count; }

private:
    int m_Socket = -1;
    int m_Port = 0;
    std::atomic<int> m_Count{0};
    std::atomic<bool> m_Stop{false};
    std::thread m_Thread;
};

// The rows a viewer walks, without a list window.
class CRowList : public CViewerList {
public:
    int RowCount() const override { return static_cast<int>(m_Rows.size()); }
    const CListRow& RowAt(int row) const override { return m_Rows[static_cast<std::size_t>(row)]; }
    void RemoveRow(int row) override { m_Rows.erase(m_Rows.begin() + row); }

    std::vector<CListRow> m_Rows;
};

class MessageWindowsTest : public test::CUiTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureProgramFolder());
        ASSERT_EQ(::mkdir(InboxFolder().c_str(), 0700), 0);
        ASSERT_EQ(::mkdir(SpamFolder().c_str(), 0700), 0);
        AddAccountNamed("Home");
        m_Prompt.m_Answers = {};
    }

    void AddAccountNamed(const std::string& name) {
        EmailAccountInfo account;
        account.m_AccountName = name;
        account.m_EmailAddress = "me@example.org";
        AddAccount(m_State->m_Accounts, account);
    }

    void Receive(const std::string& subject, const std::string& date, const std::string& account = "Home") {
        ASSERT_TRUE(test::ReceiveMessage(m_State->m_Accounts, account,
                                         test::StoredMessageText("x@example.net", subject, date, "Hello")));
    }

    std::string StoreSpam(const std::string& subject, const std::string& body = "Buy",
                          const std::string& type = "text/plain") {
        return test::StoreSpamMessage("Home", test::StoredMessageText("bulk@offers.example", subject, "", body, type),
                                      " The subject contains '" + subject + "'");
    }

    static QTreeView& List(QWidget& window) { return *Child<QTreeView>(window, "messages"); }

    static std::vector<std::string> Column(QWidget& window, int column) {
        std::vector<std::string> texts;
        const QAbstractItemModel& model = *List(window).model();
        for (int row = 0; row < model.rowCount(); ++row) {
            texts.push_back(model.index(row, column).data().toString().toStdString());
        }
        return texts;
    }

    static std::vector<std::string> Headers(QWidget& window) {
        std::vector<std::string> titles;
        const QAbstractItemModel& model = *List(window).model();
        for (int column = 0; column < model.columnCount(); ++column) {
            titles.push_back(model.headerData(column, Qt::Horizontal).toString().toStdString());
        }
        return titles;
    }

    static void Select(QWidget& window, std::initializer_list<int> rows) {
        QTreeView& list = List(window);
        list.clearSelection();
        for (const int row : rows) {
            list.selectionModel()->select(list.model()->index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    // Right-clicks the list and chooses the menu item whose text is item.
    static void ChooseFromMenu(QWidget& window, const QString& item) {
        QTimer::singleShot(0, [item] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (QAction* action : menu->actions()) {
                if (action->text() == item) {
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, Qt::Key_Return);
                    return;
                }
            }
            menu->close();
            ADD_FAILURE() << "no menu item " << item.toStdString();
        });
        emit List(window).customContextMenuRequested(QPoint(5, 5));
    }

    static std::vector<int> SelectedRows(QWidget& window) {
        std::vector<int> rows;
        for (const QModelIndex& index : List(window).selectionModel()->selectedRows()) {
            rows.push_back(index.row());
        }
        return rows;
    }
};

TEST_F(MessageWindowsTest, TheAccountColumnShowsOnlyWithTwoAccounts) {
    Receive("one", "");
    StoreSpam("cheap");
    {
        CInboxDlg inbox(m_Context);
        CTrashDlg trash(m_Context);
        EXPECT_EQ(Headers(inbox), (std::vector<std::string>{"Subject", "Date/Time", "From", "To"}));
        EXPECT_EQ(Headers(trash),
                  (std::vector<std::string>{"Reason for Filtering", "Subject", "Date/Time", "From", "To"}));
        EXPECT_EQ(Column(trash, 0), (std::vector<std::string>{" The subject contains 'cheap'"}));
    }
    AddAccountNamed("Work");
    Receive("two", "", "Work");
    CInboxDlg inbox(m_Context);
    CTrashDlg trash(m_Context);
    EXPECT_EQ(Headers(inbox), (std::vector<std::string>{"Account", "Subject", "Date/Time", "From", "To"}));
    EXPECT_EQ(Headers(trash)[1], "Account");
    EXPECT_EQ(Column(inbox, 0), (std::vector<std::string>{"Home", "Work"}));
    EXPECT_EQ(Column(trash, 1), (std::vector<std::string>{"Home"}));
}

TEST_F(MessageWindowsTest, HeaderClicksSortByDateUpDownAndUpAndTheSortIsKept) {
    Receive("june", "Mon, 2 Jun 2025 09:00:00 +0200");
    Receive("empty", "");
    Receive("no colon", "sometime");
    Receive("january", "Wed, 1 Jan 2025 10:00:00 +0000");
    {
        CInboxDlg inbox(m_Context);
        QHeaderView* header = List(inbox).header();
        const std::vector<std::string> ascending{"no colon", "january", "june", "empty"};
        emit header->sectionClicked(1);
        EXPECT_EQ(Column(inbox, 0), ascending);
        emit header->sectionClicked(1);
        EXPECT_EQ(Column(inbox, 0), (std::vector<std::string>(ascending.rbegin(), ascending.rend())));
        emit header->sectionClicked(1);
        EXPECT_EQ(Column(inbox, 0), ascending);
        emit header->sectionClicked(0);  // another column starts ascending, without regard to case
        EXPECT_EQ(Column(inbox, 0), (std::vector<std::string>{"empty", "january", "june", "no colon"}));
        emit header->sectionClicked(1);
        inbox.reject();
    }
    EXPECT_EQ(m_State->m_Settings.Snapshot().m_InboxSort, (ListSortState{1, 1}));
    CInboxDlg again(m_Context);  // the saved sort applies at start
    EXPECT_EQ(Column(again, 0), (std::vector<std::string>{"no colon", "january", "june", "empty"}));
}

TEST_F(MessageWindowsTest, DeletingSelectsTheRowNowAtTheLowestPositionOrTheLast) {
    for (const char* subject : {"a", "b", "c", "d", "e"}) {
        Receive(subject, "");
    }
    CInboxDlg inbox(m_Context);
    m_Prompt.m_Answers = {EAnswer::kYes, EAnswer::kYes, EAnswer::kNo};
    Select(inbox, {1, 2});
    Click(inbox, "delete");
    EXPECT_EQ(Column(inbox, 0), (std::vector<std::string>{"a", "d", "e"}));
    EXPECT_EQ(SelectedRows(inbox), std::vector<int>{1});
    Select(inbox, {2});
    Click(inbox, "delete");
    EXPECT_EQ(SelectedRows(inbox), std::vector<int>{1});
    Click(inbox, "delete");  // answered No
    EXPECT_EQ(Column(inbox, 0), (std::vector<std::string>{"a", "d"}));
    EXPECT_EQ(m_Prompt.Texts(EBox::kQuestion),
              (std::vector<std::string>{"Are you sure that you want to delete these emails?",
                                        "Are you sure that you want to delete this email?",
                                        "Are you sure that you want to delete this email?"}));
    EXPECT_EQ(FilesInFolder(InboxFolder(), ".eml").size(), 2U);
}

TEST_F(MessageWindowsTest, BlockingADomainTakesTheCorrectedDomainsAndMovesTheirRows) {
    for (const char* from : {"x@shop.example", "y@other.example", "z@shop.example.net"}) {
        ASSERT_TRUE(test::ReceiveMessage(m_State->m_Accounts, "Home", test::StoredMessageText(from, from, "", "Hi")));
    }
    CInboxDlg inbox(m_Context);
    Select(inbox, {0});
    test::CModalAnswerer answers;
    std::string offered;
    answers.Then<CBlockDomainsDlg>([&](CBlockDomainsDlg* box) {
        auto* domains = Child<QPlainTextEdit>(*box, "domains");
        offered = domains->toPlainText().toStdString();
        domains->setPlainText(QStringLiteral("shop.example>\n"));
        box->accept();  // corrected, and shown again
        box->accept();
    });
    ChooseFromMenu(inbox, QStringLiteral("Block all Email from this &domain"));
    EXPECT_EQ(answers.Failure(), "");
    EXPECT_EQ(offered.substr(0, offered.find_first_of("\r\n")), "shop.example");
    EXPECT_EQ(m_Prompt.Texts(EBox::kError).size(), 1U);
    EXPECT_TRUE(m_State->m_Lists.m_FromList.Contains("shop.example"));
    EXPECT_EQ(Column(inbox, 0), std::vector<std::string>{"y@other.example"});
    EXPECT_EQ(FilesInFolder(SpamFolder(), ".eml").size(), 2U);
}

TEST_F(MessageWindowsTest, AReloadDuringACommandWaitsUntilTheCommandIsOver) {
    Receive("a", "");
    Receive("b", "");
    CInboxDlg inbox(m_Context);
    std::vector<std::string> duringQuestion;
    m_Prompt.m_Answers = {EAnswer::kYes};
    m_Prompt.m_OnBox = [&](const test::CRecordingPrompt::Box&) {
        Receive("c", "");  // the mail check stored a message and asks for a reload
        inbox.Reload();
        duringQuestion = Column(inbox, 0);
    };
    Select(inbox, {0});
    Click(inbox, "delete");
    EXPECT_EQ(duringQuestion, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Column(inbox, 0), (std::vector<std::string>{"b", "c"}));
}

TEST_F(MessageWindowsTest, BlockingSubjectWordsOffersTheSubjectAndMovesTheRowsHoldingTheEdit) {
    for (const char* subject : {"Cheap pills now", "cheap pills", "More Cheap pills!"}) {
        Receive(subject, "");
    }
    CInboxDlg inbox(m_Context);
    Select(inbox, {0, 1});
    test::CModalAnswerer answers;
    std::string offered;
    answers.Then<COffsensiveWordDlg>([&](COffsensiveWordDlg* box) {
        offered = Child<QLineEdit>(*box, "entry")->text().toStdString();
        Type(*box, "entry", " Cheap pills ");
        box->accept();
    });
    ChooseFromMenu(inbox, QStringLiteral("Block all Email with words from this &subject"));
    EXPECT_EQ(answers.Failure(), "");
    EXPECT_EQ(offered, "Cheap pills now");  // the first selected row's
    EXPECT_TRUE(m_State->m_Lists.m_BodyList.Contains("Cheap pills"));
    EXPECT_EQ(Column(inbox, 0), std::vector<std::string>{"cheap pills"});
}

TEST_F(MessageWindowsTest, TheTrashCanMenuRemovesTheFilterOfTheSelectedRows) {
    StoreSpam("cheap pills");
    m_State->m_Lists.m_BodyList.Add("cheap pills");
    CTrashDlg trash(m_Context);
    Select(trash, {0});
    m_Prompt.m_Answers = {EAnswer::kYes};
    ChooseFromMenu(trash, QStringLiteral("&Remove Filter"));
    EXPECT_EQ(m_Prompt.Texts(EBox::kQuestion).size(), 1U);
    EXPECT_FALSE(m_State->m_Lists.m_BodyList.Contains("cheap pills"));
    EXPECT_EQ(Column(trash, 1), std::vector<std::string>{"cheap pills"});  // the row stays
}

TEST_F(MessageWindowsTest, TheHintTickerWrapsAfterItsLastCharacter) {
    const QString hint = QStringLiteral("abc");
    EXPECT_EQ(HintTickerText(hint, 0), QStringLiteral("abc...  abc"));
    EXPECT_EQ(HintTickerText(hint, 3), QStringLiteral("...  abc"));
    EXPECT_EQ(NextTickerOffset(hint, 2), 3);
    EXPECT_EQ(NextTickerOffset(hint, 3), 0);
}

TEST_F(MessageWindowsTest, TheDayCountIsKeptWithinAYearAndCheckedAtClose) {
    m_State->m_Settings.SetDeleteAfterDaysOld(400);
    CTrashDlg trash(m_Context);
    auto* days = Child<QSpinBox>(trash, "days");
    EXPECT_EQ(days->value(), 7);
    EXPECT_EQ(m_State->m_Settings.GetDeleteAfterDaysOld(), 7);
    trash.show();
    days->setValue(0);
    Click(trash, "close");
    EXPECT_TRUE(trash.isVisible());
    EXPECT_EQ(m_Prompt.Texts(EBox::kError), std::vector<std::string>{"Please enter an integer between 1 and 365."});
    days->setValue(30);
    Click(trash, "close");
    EXPECT_FALSE(trash.isVisible());
    EXPECT_EQ(m_State->m_Settings.GetDeleteAfterDaysOld(), 30);
}

TEST_F(MessageWindowsTest, TheViewerRendersOnlyExactHtmlTagsWalksTheListAndDeletesItsFileAtClose) {
    const std::vector<std::string> bodies{"<html><body><b>lower</b></body></html>", "<HTML><BODY>upper</BODY></HTML>",
                                          "<Html>mixed</Html>"};
    for (const std::string& body : bodies) {
        StoreSpam(body, body);
    }
    // In the order of the bodies above.
    CRowList list;
    for (const std::string& body : bodies) {
        for (const CListRow& row : TrashRows("", 7, 0)) {
            if (row.m_Shown.m_Subject == body) {
                list.m_Rows.push_back(row);
            }
        }
    }
    ASSERT_EQ(list.m_Rows.size(), 3U);
    const std::string emailHtm = GetProgramFolder() + "email.htm";
    {
        CViewEmailDlg viewer(m_Context, list, 0, false);
        viewer.show();
        auto* text = Child<QPlainTextEdit>(viewer, "body");
        auto* html = viewer.findChild<CHTMLView*>();
        ASSERT_NE(html, nullptr);
        EXPECT_TRUE(html->isVisible());
        EXPECT_FALSE(text->isVisible());
        EXPECT_TRUE(std::filesystem::exists(emailHtm));
        EXPECT_FALSE(Child<QPushButton>(viewer, "previous")->isEnabled());
        EXPECT_TRUE(Child<QPushButton>(viewer, "next")->isEnabled());
        Click(viewer, "next");
        EXPECT_TRUE(html->isVisible());
        EXPECT_EQ(viewer.findChildren<CHTMLView*>().size(), 1);  // the same view again
        Click(viewer, "next");
        EXPECT_FALSE(html->isVisible());
        EXPECT_TRUE(text->isVisible());
        EXPECT_EQ(text->toPlainText().trimmed(), QStringLiteral("<Html>mixed</Html>"));
        EXPECT_FALSE(Child<QPushButton>(viewer, "next")->isEnabled());
        EXPECT_TRUE(Child<QPushButton>(viewer, "previous")->isEnabled());
        EXPECT_EQ(Child<QLineEdit>(viewer, "subject")->text(), QStringLiteral("<Html>mixed</Html>"));
        viewer.reject();
        EXPECT_FALSE(std::filesystem::exists(emailHtm));
    }
}

TEST_F(MessageWindowsTest, AnHtmlMessageWithRemotePicturesStylesAndScriptsMakesNoRequest) {
    const CConnectionCounter server;
    ASSERT_NE(server.Port(), 0);
    const std::string at = "127.0.0.1:" + std::to_string(server.Port());
    const std::string body = "<html><head><link rel=\"stylesheet\" href=\"http://" + at +
                             "/style.css\">"
                             "<style>@import url(http://" +
                             at +
                             "/more.css);</style>"
                             "<script src=\"http://" +
                             at + "/run.js\"></script><script>location='http://" + at +
                             "/ran';</script>"
                             "</head><body background=\"http://" +
                             at + "/back.png\"><img src=\"http://" + at +
                             "/a.png\">"
                             "<img src=\"https://" +
                             at + "/b.png\"><img src=\"ftp://" + at +
                             "/c.png\">"
                             "<img src=\"//" +
                             at + "/d.png\"><p>Offer</p></body></html>";
    StoreSpam("remote", body, "text/html");
    CRowList list;
    list.m_Rows = TrashRows("", 7, 0);
    CViewEmailDlg viewer(m_Context, list, 0, false);
    viewer.show();
    QTest::qWait(300);
    auto* html = viewer.findChild<CHTMLView*>();
    ASSERT_NE(html, nullptr);
    EXPECT_TRUE(html->isVisible());
    EXPECT_TRUE(html->toPlainText().contains(QStringLiteral("Offer")));
    EXPECT_GE(html->RemoteRefused(), 3);
    EXPECT_TRUE(Child<QLabel>(viewer, "remoteBlocked")->isVisible());
    EXPECT_EQ(server.Count(), 0);
}

TEST_F(MessageWindowsTest, AServerThatNeverAnswersLeavesTheWindowsPaintingUntilTheTimeout) {
    test::CFaultServer server;
    server.Hold();
    server.Start();
    m_State->m_Accounts.ModifyAt(FindAccount(m_State->m_Accounts, "Home"), [&](EmailAccountInfo& account) {
        account.m_SMTPServer = "127.0.0.1";
        account.m_SMTPPort = std::to_string(server.Port());
    });
    m_Context.m_TuneTransport = [](CTransportOptions& transport) {
        transport.m_TimeoutUnit = std::chrono::milliseconds(100);
        transport.m_Timeout = [] { return 10; };
    };
    StoreSpam("slow");
    CTrashDlg trash(m_Context);
    trash.show();
    Select(trash, {0});
    // The window's own thread goes on meanwhile: the ticks while the box is up, and the stages it
    // showed, in order.
    int ticks = 0;
    std::vector<std::string> stages;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (auto* box = trash.findChild<CSMTPStatusDlg*>()) {
            ++ticks;
            const std::string stage = Child<QLabel>(*box, "status")->text().toStdString();
            if (stages.empty() || stages.back() != stage) {
                stages.push_back(stage);
            }
        }
    });
    ticker.start(50);
    Click(trash, "salvage");
    EXPECT_GE(ticks, 10);
    const std::vector<std::string> order{"Connecting to your email server.", "Sending email...",
                                         "Done.  Now logging off your email server", "Done."};
    auto next = order.begin();
    for (const std::string& stage : stages) {
        next = std::find(next, order.end(), stage);
        EXPECT_NE(next, order.end()) << stage;
    }
    EXPECT_EQ(trash.findChild<CSMTPStatusDlg*>(), nullptr);
    EXPECT_EQ(Column(trash, 1), std::vector<std::string>{"slow"});
    EXPECT_EQ(m_Prompt.Texts(EBox::kError),
              std::vector<std::string>{"Sieveclaw had a problem sending mail.  This was returned from the server: "
                                       "The server did not answer in time."});
}

// Salvage and bounce from the Trash Can against a real SMTP server.
class TrashSendingTest : public MessageWindowsTest {
protected:
    void SetUp() override {
        MessageWindowsTest::SetUp();
        ASSERT_TRUE(m_Server.Start()) << m_Server.Error();
        m_Context.m_TuneTransport = [this](CTransportOptions& transport) {
            transport.m_CaFile = m_Server.CaFile();
            transport.m_ImplicitTlsPorts = {m_Server.TlsPort()};
        };
        m_State->m_Accounts.ModifyAt(FindAccount(m_State->m_Accounts, "Home"), [this](EmailAccountInfo& account) {
            account.m_SMTPServer = "127.0.0.1";
            account.m_SMTPPort = std::to_string(m_Server.PlainPort());
            account.m_SMTPNeedsLogon = 1;
            account.m_SMTPUserId = m_Server.User();
            account.m_SMTPPassword = m_Server.Password();
        });
    }

    test::CSmtpServer m_Server;
};

TEST_F(TrashSendingTest, ASalvagedMessageArrivesAndLeavesTheListAndARefusedOneStays) {
    StoreSpam("keep me", "Dear customer");
    {
        CTrashDlg trash(m_Context);
        Select(trash, {0});
        Click(trash, "salvage");
        EXPECT_TRUE(Column(trash, 0).empty());
    }
    ASSERT_EQ(m_Server.MessageCount(), 1U);
    EXPECT_NE(m_Server.Message(1).value_or("").find("Dear customer"), std::string::npos);
    EXPECT_EQ(m_State->m_Lists.m_Salvaged.Count(), 1U);
    EXPECT_TRUE(FilesInFolder(SpamFolder(), ".eml").empty());

    StoreSpam("refused");
    m_State->m_Accounts.ModifyAt(FindAccount(m_State->m_Accounts, "Home"),
                                 [](EmailAccountInfo& account) { account.m_SMTPPassword = "wrong"; });
    CTrashDlg trash(m_Context);
    Select(trash, {0});
    Click(trash, "salvage");
    EXPECT_EQ(Column(trash, 1).size(), 1U);
    ASSERT_EQ(m_Prompt.Texts(EBox::kError).size(), 1U);
    EXPECT_EQ(m_Prompt.Texts(EBox::kError)[0].rfind("Unable to connect to your SMTP email server.", 0), 0U);
    EXPECT_EQ(m_Server.MessageCount(), 1U);
}

TEST_F(TrashSendingTest, TheViewerSalvagesTheMessageItShowsAndDeletesWithoutAsking) {
    StoreSpam("first", "First body");
    StoreSpam("second", "Second body");
    CTrashDlg trash(m_Context);
    {
        CViewEmailDlg viewer(m_Context, trash, 0, false);
        const std::string subject = Child<QLineEdit>(viewer, "subject")->text().toStdString();
        Click(viewer, "salvage");
        EXPECT_FALSE(viewer.isVisible());
        ASSERT_EQ(m_Server.MessageCount(), 1U);
        const std::string body = subject == "first" ? "First body" : "Second body";
        EXPECT_NE(m_Server.Message(1).value_or("").find(body), std::string::npos);
        const std::vector<MessageEntry> salvaged = m_State->m_Lists.m_Salvaged.Snapshot();
        ASSERT_EQ(salvaged.size(), 1U);
        EXPECT_EQ(salvaged[0].m_To, "me@example.org");
        EXPECT_EQ(salvaged[0].m_Subject, subject);
    }
    ASSERT_EQ(trash.RowCount(), 1);
    CViewEmailDlg viewer(m_Context, trash, 0, false);
    Click(viewer, "delete");
    EXPECT_EQ(trash.RowCount(), 0);
    EXPECT_TRUE(FilesInFolder(SpamFolder(), ".eml").empty());
    EXPECT_TRUE(m_Prompt.Texts(EBox::kQuestion).empty());
}

TEST_F(TrashSendingTest, ABounceTakesTheRowWhetherOrNotTheNoticeWent) {
    StoreSpam("first");
    StoreSpam("second");
    CTrashDlg trash(m_Context);
    m_Prompt.m_Answers = {EAnswer::kYes, EAnswer::kYes};
    Select(trash, {0});
    Click(trash, "bounce");
    ASSERT_EQ(m_Server.MessageCount(), 1U);
    EXPECT_NE(m_Server.Message(1).value_or("").find("Undeliverable: "), std::string::npos);
    m_State->m_Accounts.ModifyAt(FindAccount(m_State->m_Accounts, "Home"),
                                 [](EmailAccountInfo& account) { account.m_SMTPPassword = "wrong"; });
    Select(trash, {0});
    Click(trash, "bounce");
    EXPECT_TRUE(Column(trash, 1).empty());
    EXPECT_TRUE(FilesInFolder(SpamFolder(), ".eml").empty());
    EXPECT_EQ(m_Server.MessageCount(), 1U);
}

}  // namespace
}  // namespace sieveclaw

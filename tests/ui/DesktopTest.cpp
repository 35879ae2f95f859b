#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTreeWidget>

#include "core/AccountsFile.h"
#include "core/DataFolder.h"
#include "core/DataFolderLock.h"
#include "core/RunAtStartup.h"
#include "engine/AccountRows.h"
#include "engine/StartupSteps.h"
#include "tests/support/FaultServer.h"
#include "tests/ui/ModalAnswerer.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CEmailAddressDlg.h"
#include "ui/CInboxDlg.h"
#include "ui/CServerDlg.h"
#include "ui/CSieveclawApp.h"
#include "ui/CSieveclawDlg.h"
#include "ui/CTrashDlg.h"

// The desktop program without servers: the order of its start, the main window's handling of the
// mail check's notifications, its account list, and its end during a check.

namespace sieveclaw {
namespace {

using test::CModalAnswerer;
using test::EBox;
using namespace std::chrono_literals;

class CFakeWizard : public CAccountWizard {
public:
    bool Run(CAccountList& /*accounts*/) override {
        ++m_Runs;
        return m_Finish;
    }
    bool m_Finish = false;
    int m_Runs = 0;
};

EmailAccountInfo Account(const std::string& name, const std::string& address, bool held = true, int port = 1) {
    EmailAccountInfo account;
    account.m_AccountName = name;
    account.m_EmailAddress = address;
    account.m_POP3Server = "127.0.0.1";
    account.m_POP3Port = std::to_string(port);
    account.m_POP3UserId = "work";
    account.m_POP3Password = "pw";
    account.m_OnHold = held ? 1 : 0;
    return account;
}

class DesktopTest : public test::CUiTest {
protected:
    DesktopTest() {
        m_Places.m_HomeFolder = m_Folder.File("home");
        m_Places.m_ConfigFolder = m_Folder.File("home/.config");
        m_Places.m_WinePrefix = m_Folder.File("wine");
    }

    // The data folder as an earlier run left it; no filter update is due.
    static void Stored(const std::vector<EmailAccountInfo>& accounts, int emailDelay = 5) {
        CSharedState state;
        for (const EmailAccountInfo& account : accounts) {
            AddAccount(state.m_Accounts, account);
        }
        ASSERT_TRUE(SaveAccounts(state.m_Accounts));
        state.m_Settings.SetEmailDelay(emailDelay);
        state.m_Settings.SetLastDataUpdateDate(std::time(nullptr));
        ASSERT_TRUE(state.m_Settings.SaveSettings(state.m_Store));
    }

    CSieveclawApp App(std::vector<std::string> arguments) {
        CStartupServices services;
        services.m_Prompt = &m_Prompt;
        services.m_Wizard = &m_Wizard;
        services.m_Places = m_Places;
        services.m_Openers = CListWindowOpeners{};
        services.m_AskEmailAddress = [this](const std::string& name) {
            m_AskedFor.push_back(name);
            return m_Address;
        };
        return CSieveclawApp(std::move(arguments), std::move(services));
    }

    std::vector<std::string> Dismissable() const { return m_Prompt.Texts(EBox::kDismissable); }

    DiscoveryPlaces m_Places;
    CFakeWizard m_Wizard;
    std::vector<std::string> m_AskedFor;
    std::optional<std::string> m_Address;
};

TEST_F(DesktopTest, AFirstRunWhoseWizardIsCancelledEndsWithoutSavingSettings) {
    const std::filesystem::path claws = m_Folder.Path() / "home/.claws-mail/accountrc";
    std::filesystem::create_directories(claws.parent_path());
    std::ofstream(claws) << "[Account: 1]\naccount_name=Home\naddress=jo@example.org\nprotocol=0\n"
                            "receive_server=pop.example\nuser_id=jo\n";
    CSieveclawApp app = App({});
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(m_Wizard.m_Runs, 1);
    EXPECT_TRUE(app.NoAccount());
    EXPECT_TRUE(IsRunAtStartup()) << "the next login repeats the first run";
    EXPECT_EQ(m_Prompt.Texts(EBox::kInformation), std::vector<std::string>{kNoAccountMessage});
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_FALSE(std::filesystem::exists(GetProfileStorePath()));
}

// Nothing found leaves nobody to choose from: the main window asks for the first account instead
// of the program ending with no way to set one up.
TEST_F(DesktopTest, AFirstRunThatFindsNothingAsksForTheFirstAccountAndWelcomes) {
    CModalAnswerer answers;
    answers.Then<CServerDlg>([](CServerDlg* dialog) { dialog->reject(); });
    CSieveclawApp app = App({});
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(answers.Failure(), "");
    EXPECT_EQ(m_Wizard.m_Runs, 0);
    ASSERT_EQ(m_Prompt.Texts(EBox::kInformation).size(), 1U);
    EXPECT_EQ(m_Prompt.Texts(EBox::kInformation)[0].substr(0, 47), "You do not have any email accounts set up.  Ple");
    ASSERT_EQ(m_Prompt.Texts(EBox::kError).size(), 1U);
    EXPECT_NE(m_Prompt.Texts(EBox::kError)[0].find("provide yoru email account"), std::string::npos);
    EXPECT_FALSE(app.MainWindow()->IsWorkerStarted());
    EXPECT_TRUE(app.MainWindow()->isVisible());
    ASSERT_EQ(Dismissable().size(), 1U);
    EXPECT_EQ(Dismissable()[0].substr(0, 50), "NowWorking: Sieveclaw is now working to make your ");
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_TRUE(std::filesystem::exists(GetProfileStorePath()));
}

TEST_F(DesktopTest, AnAccountWithoutAddressIsAskedForAtEveryStartUntilOneIsGiven) {
    Stored({Account("Home", ""), Account("Work", "w@x.org")});
    {
        CSieveclawApp app = App({"/m"});
        ASSERT_TRUE(app.InitInstance());
        // "/m": no welcome, and the window only where no tray can bring it back.
        EXPECT_TRUE(Dismissable().empty());
        EXPECT_EQ(app.MainWindow()->isVisible(), !CSieveclawTray::IsTrayAvailable());
        EXPECT_EQ(app.ExitInstance(), 0);
    }
    m_Address = "h@x.org";
    {
        CSieveclawApp app = App({"/m"});
        ASSERT_TRUE(app.InitInstance());
        EXPECT_EQ(app.ExitInstance(), 0);
    }
    {
        CSieveclawApp app = App({"/m", "/a"});
        ASSERT_TRUE(app.InitInstance());
        EXPECT_TRUE(app.IsAdministrator());
        EXPECT_EQ(app.ExitInstance(), 0);
    }
    EXPECT_EQ(m_AskedFor, (std::vector<std::string>{"Home", "Home"}));
    CAccountList stored;
    ASSERT_TRUE(LoadAccounts(stored));
    EXPECT_EQ(stored.Snapshot()[0].m_EmailAddress, "h@x.org");
}

TEST_F(DesktopTest, TheWelcomeNamesTheIntervalAndTheAccountsWithTheirPlurals) {
    Stored({Account("Home", "h@x.org"), Account("Work", "w@x.org")}, 5);
    CSieveclawApp app = App({"/M"});
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(Dismissable(), std::vector<std::string>{"NowWorking: " + NowWorkingText(5, 2)});
    EXPECT_TRUE(app.MainWindow()->isVisible());
    EXPECT_EQ(app.ExitInstance(), 0);
}

TEST_F(DesktopTest, AFolderAnotherProgramChecksIsRefusedWithItsName) {
    Stored({Account("Home", "h@x.org")});
    CDataFolderLock service;
    ASSERT_TRUE(service.Acquire(GetProgramFolder(), "sieveclaw-cli run"));
    CSieveclawApp app = App({});
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.ExitInstance(), 1);
    ASSERT_EQ(m_Prompt.Texts(EBox::kError).size(), 1U);
    const std::string text = m_Prompt.Texts(EBox::kError)[0];
    EXPECT_NE(text.find("in use by sieveclaw-cli run (process "), std::string::npos) << text;
    EXPECT_NE(text.find("systemctl --user stop sieveclaw"), std::string::npos) << text;
}

TEST_F(DesktopTest, TheAddressDialogKeepsAnInvalidAddressOpenWithTheFocusOnIt) {
    CEmailAddressDlg dialog(m_Prompt, "Home");
    dialog.show();
    Type(dialog, "address", "home.example.org");
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(m_Prompt.Texts(EBox::kError), std::vector<std::string>{std::string(kInvalidEmailAddressMessage)});
    EXPECT_EQ(FocusName(dialog), "address");
    Type(dialog, "address", "jo@example.org");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Address(), "jo@example.org");
}

class MainWindowTest : public test::CUiTest {
protected:
    void SetUp() override {
        for (const char* name : {"bravo", "Alpha", "charlie"}) {
            AddAccount(m_State->m_Accounts, Account(name, std::string(name) + "@x.org"));
        }
        m_Window = std::make_unique<CSieveclawDlg>(m_Context, CListWindowOpeners{});
        m_Window->OnInitDialog();
        // The worker's own notifications (its countdown) would mix with the test's, which go
        // through a queue of their own to the window.
        EXPECT_TRUE(m_Window->StopWorker());
        m_Calls = std::make_unique<CUiThreadCalls>(m_Window.get());
        m_Sink = std::make_unique<CQueuedStatusSink>(*m_Calls, *m_Window);
        m_Rows = Child<QTreeWidget>(*m_Window, "accounts");
    }
    std::string Label(const char* name) { return Child<QLabel>(*m_Window, name)->text().toStdString(); }
    std::vector<std::string> Column(int column) const {
        std::vector<std::string> texts;
        for (int i = 0; i < m_Rows->topLevelItemCount(); ++i) {
            texts.push_back(m_Rows->topLevelItem(i)->text(column).toStdString());
        }
        return texts;
    }

    std::unique_ptr<CSieveclawDlg> m_Window;
    std::unique_ptr<CUiThreadCalls> m_Calls;
    std::unique_ptr<CQueuedStatusSink> m_Sink;
    QTreeWidget* m_Rows = nullptr;
};

// Every code as the worker sends it, from its own thread, through the queued sink.
TEST_F(MainWindowTest, EveryStatusCodeReachesItsLineThroughTheQueue) {
    const struct {
        int m_Code;
        std::int64_t m_Value;
        const char* m_Text;
        const char* m_Currently;
        const char* m_Connection;
    } codes[] = {
        {kStatusLoggingOn, 0, "Alpha", "Logging into Alpha", "Not Active"},
        {kStatusLoggedOn, 0, "Alpha", "Logged into Alpha.", "Connected to the account named 'Alpha'"},
        {kStatusGettingHeader, 0, "1 of 2", "Getting Header 1 of 2", nullptr},
        {kStatusGotHeaders, 0, "", "Got your headers", nullptr},
        {kStatusGettingMessage, 0, "2 of 2", "Getting message 2 of 2", nullptr},
        {kStatusBytesDownloaded, 4096, "", "4096 bytes downloaded", nullptr},
        {kStatusScanning, 0, "", "Scanning with filters", nullptr},
        {kStatusSpamFound, 0, "", "Spam found. Deleting message.", nullptr},
        {kStatusSavingMessage, 0, "", "Saving message", nullptr},
        {kStatusLoggingOff, 0, "", "Logging off of your email server", nullptr},
        {kStatusLoggedOff, 0, "", "Logged off", "Idle"},
        {kStatusCountdown, 0, "4:59", "Logged off", nullptr},
    };
    for (const auto& c : codes) {
        std::thread worker([&] {
            if (c.m_Code == kStatusLoggedOn || c.m_Code == kStatusLoggingOn || c.m_Code == kStatusGettingHeader ||
                c.m_Code == kStatusGettingMessage || c.m_Code == kStatusCountdown) {
                m_Sink->PostStatusText(c.m_Code, c.m_Text);
            } else {
                m_Sink->PostStatus(c.m_Code, c.m_Value);
            }
        });
        worker.join();
        EXPECT_TRUE(WaitFor([&] { return Label("currently") == c.m_Currently; })) << c.m_Code << ": " << Label("currently");
        if (c.m_Connection != nullptr) {
            EXPECT_EQ(Label("emailConnection"), c.m_Connection) << c.m_Code;
        }
    }
    EXPECT_TRUE(WaitFor([&] { return Label("countdown") == "4:59"; }));

    auto* progress = Child<QProgressBar>(*m_Window, "progress");
    m_Sink->PostStatus(kStatusProgress, 40);
    EXPECT_TRUE(WaitFor([&] { return progress->value() == 40; }));
    m_Sink->PostStatus(kStatusGotHeaders, 0);
    EXPECT_TRUE(WaitFor([&] { return progress->value() == 0; })) << "any other code empties the bar";

    m_Sink->SetStatusColour(kStatusColourBlue);
    EXPECT_TRUE(WaitFor([&] {
        return Child<QLabel>(*m_Window, "currently")->palette().color(QPalette::WindowText) == QColor(0, 0, 255);
    }));
    m_Sink->SetScanningIcon();
    EXPECT_TRUE(WaitFor([&] { return m_Window->Tray().Shown() == EPicture::kScanning; }));
    EXPECT_EQ(m_Window->Tray().Tip().toStdString(), "Sieveclaw - Scanning for email");
    m_Sink->PostError("The server said no.", kErrorBoxStyle);
    EXPECT_TRUE(WaitFor([&] { return m_Prompt.Texts(EBox::kError).size() == 1; }));
}

// The program's own list windows: each opens from its button, takes the check's reloads while it
// is open, and none is left registered once it is closed.
TEST_F(MainWindowTest, TheListWindowsOpenFromTheMainWindowAndTakeTheCheckReloadsWhileOpen) {
    CSieveclawDlg window(m_Context);
    window.OnInitDialog();
    EXPECT_TRUE(window.StopWorker());
    CListWindowHost& host = window.ListWindows();
    CModalAnswerer answers;
    answers
        .Then<CInboxDlg>([&](CInboxDlg* inbox) {
            EXPECT_TRUE(host.IsOpen(EListWindow::kInbox));
            EXPECT_FALSE(host.IsOpen(EListWindow::kTrash));
            EXPECT_TRUE(host.Reload(EListWindow::kInbox));
            inbox->reject();
        })
        .Then<CTrashDlg>([&](CTrashDlg* trash) {
            EXPECT_TRUE(host.IsOpen(EListWindow::kTrash));
            EXPECT_TRUE(host.Reload(EListWindow::kTrash));
            trash->reject();
        });
    window.OnInbox();
    EXPECT_FALSE(host.IsOpen(EListWindow::kInbox));
    window.OnTrashCan("Alpha");
    EXPECT_EQ(answers.Failure(), "");
    EXPECT_FALSE(host.IsOpen(EListWindow::kTrash));
    EXPECT_FALSE(host.Reload(EListWindow::kTrash)) << "a closed window takes no reload";
}

// A worker posting progress faster than the window draws: each run of one code is shown once with
// its newest value, and the codes keep their order.
TEST(QueuedStatusSinkTest, RunsOfProgressFoldIntoTheirNewestValueInOrder) {
    class CRecorder : public CStatusReceiver {
    public:
        void OnSetStatus(int code, std::int64_t value, const std::string& text) override {
            m_Seen.push_back(std::to_string(code) + ":" + std::to_string(value) + text);
        }
        void OnClawAnimation() override {}
        void OnReloadRequest(EListWindow) override {}
        void OnShowError(const std::string&, int) override {}
        void OnScanningIcon() override {}
        void OnStatusColour(std::uint32_t) override {}
        void OnPlaySound(const std::string&, std::function<void()> ended) override { ended(); }
        std::vector<std::string> m_Seen;
    } recorder;
    QObject context;
    CUiThreadCalls calls(&context);
    CQueuedStatusSink sink(calls, recorder);
    std::thread worker([&] {
        for (int percent = 0; percent <= 100; ++percent) {
            sink.PostStatus(kStatusProgress, percent);
        }
        sink.PostStatus(kStatusScanning, 0);
        sink.PostStatusText(kStatusGettingMessage, "1 of 2");
        sink.PostStatusText(kStatusGettingMessage, "2 of 2");
        sink.PostStatus(kStatusProgress, 7);
    });
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.m_Seen, (std::vector<std::string>{"16:100", "11:0", "7:02 of 2", "16:7"}));
}

// The Trash Can's reload keeps the worker waiting for the user interface thread; the end of the
// program must not wait for that wait.
TEST(QueuedStatusSinkTest, AWaitingReloadEndsWhenTheCallsAreCancelled) {
    class CIgnoring : public CStatusReceiver {
        void OnSetStatus(int, std::int64_t, const std::string&) override {}
        void OnClawAnimation() override {}
        void OnReloadRequest(EListWindow) override {}
        void OnShowError(const std::string&, int) override {}
        void OnScanningIcon() override {}
        void OnStatusColour(std::uint32_t) override {}
        void OnPlaySound(const std::string&, std::function<void()>) override {}
    } receiver;
    QObject context;
    CUiThreadCalls calls(&context);
    CQueuedStatusSink sink(calls, receiver);
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        sink.RequestReload(EListWindow::kTrash, true);
        returned = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(returned) << "it waits while the user interface thread is busy";
    calls.Cancel();  // as the end of the program does, without running a single event
    worker.join();
    EXPECT_TRUE(returned);
}

TEST_F(MainWindowTest, InboxCountsSetTheGotMailIconAndLongTipsAreCut) {
    const ListPos alpha = FindAccount(m_State->m_Accounts, "Alpha");
    const std::shared_ptr<CMessageEntryList> inbox = m_State->m_Accounts.GetAt(alpha)->m_InboxEntries;
    inbox->Append(MessageEntry{});
    inbox->Append(MessageEntry{});
    m_Sink->PostStatus(kStatusInboxCount, static_cast<std::int64_t>(alpha));
    EXPECT_TRUE(WaitFor([&] { return Column(kInboxCountColumn) == std::vector<std::string>{"0", "2", "0"}; }));
    EXPECT_EQ(m_Window->Tray().Current(), EPicture::kGotMail);
    EXPECT_EQ(m_Window->Tray().Tip().toStdString(), "Sieveclaw - You've Got Mail!");

    EXPECT_EQ(TrayTip(QString(70, QLatin1Char('x'))).size(), kTrayTipLength);
    EXPECT_EQ(TrayTip(QStringLiteral("short")), QStringLiteral("short"));
}

TEST_F(MainWindowTest, ColumnClicksSortByNameAndByCountsAndTheAccountMenuHoldsAndEnables) {
    m_Rows->topLevelItem(0)->setText(kInboxCountColumn, QStringLiteral("9"));   // bravo
    m_Rows->topLevelItem(1)->setText(kInboxCountColumn, QStringLiteral("10"));  // Alpha
    m_Window->SortAccounts(kAccountNameColumn);
    EXPECT_EQ(Column(kAccountNameColumn), (std::vector<std::string>{"Alpha", "bravo", "charlie"}));
    m_Window->SortAccounts(kInboxCountColumn);
    EXPECT_EQ(Column(kInboxCountColumn), (std::vector<std::string>{"10", "9", "0"}));
    m_Window->SortAccounts(kInboxCountColumn);
    EXPECT_EQ(Column(kInboxCountColumn), (std::vector<std::string>{"0", "9", "10"}));
    EXPECT_EQ(m_State->m_Settings.Snapshot().m_AccountsSort, (ListSortState{2, kInboxCountColumn}));

    EXPECT_EQ(m_Window->MakeAccountMenu(), nullptr) << "no menu without a selected row";
    m_Rows->setCurrentItem(m_Window->FindRow("bravo"));
    std::unique_ptr<QMenu> menu = m_Window->MakeAccountMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions()[0]->text().toStdString(), "&Enable") << "the account is held";
    menu->actions()[0]->trigger();
    EXPECT_EQ(m_State->m_Accounts.GetAt(FindAccount(m_State->m_Accounts, "bravo"))->m_OnHold, 0);
    EXPECT_FALSE(m_Window->FindRow("bravo")->data(kAccountNameColumn, Qt::UserRole).toBool());
    EXPECT_EQ(m_Window->MakeAccountMenu()->actions()[0]->text().toStdString(), "&Hold");
}

TEST_F(MainWindowTest, CloseHidesOnlyWhereATrayBringsTheWindowBackElseItAsks) {
    m_Window->show();
    m_Window->close();
    if (CSieveclawTray::IsTrayAvailable()) {
        EXPECT_FALSE(m_Window->isVisible());
        EXPECT_TRUE(m_Prompt.Texts(EBox::kQuestion).empty());
    } else {
        EXPECT_TRUE(m_Window->isVisible()) << "answered No";
        EXPECT_EQ(m_Prompt.Texts(EBox::kQuestion).size(), 1U);
    }
    m_Window->reject();
    EXPECT_TRUE(m_Window->isVisible() || CSieveclawTray::IsTrayAvailable()) << "Esc changes nothing";
}

// The end of the program while the worker waits for a server: it logs off, then the settings are
// saved.
TEST_F(DesktopTest, ExitDuringACheckLogsOffAndSavesTheSettings) {
    test::CFaultServer server;
    server.Pop3Greeting()
        .Expect("CAPA")
        .Send("-ERR no\r\n")
        .Expect("USER work")
        .Send("+OK\r\n")
        .Expect("PASS pw")
        .Send("+OK\r\n")
        .Expect("STAT")
        .Gate()
        .Send("+OK 0 0\r\n")
        .Expect("QUIT")
        .Send("+OK\r\n");
    server.Start();
    Stored({Account("Work", "w@x.org", false, server.Port())}, 120);
    CSieveclawApp app = App({"/m"});
    ASSERT_TRUE(app.InitInstance());
    ASSERT_TRUE(WaitFor([&] {
        const std::vector<std::string> received = server.Received();
        return !received.empty() && received.back() == "STAT";
    }));
    app.State().m_Settings.SetEmailDelay(7);
    std::thread gate([&server] {
        std::this_thread::sleep_for(300ms);
        server.OpenGate();
    });
    EXPECT_EQ(app.ExitInstance(), 0);
    gate.join();
    EXPECT_FALSE(app.WorkerLeftRunning());
    EXPECT_TRUE(server.WaitClientGone(5s));
    EXPECT_EQ(server.Received().back(), "QUIT");
    CSharedState after;
    ASSERT_TRUE(after.m_Store.Load());
    after.m_Settings.LoadSettings(after.m_Store);
    EXPECT_EQ(after.m_Settings.GetEmailDelay(), 7);
}

}  // namespace
}  // namespace sieveclaw

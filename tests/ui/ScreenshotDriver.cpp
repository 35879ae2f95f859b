// Renders every settings window and the main window with its tray, filled with sample data, to one
// PNG each in the folder given, for the user manual. Run by scripts/screenshots under Xvfb, so that the pictures show the X11
// rendering people see.

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include <QApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QScreen>
#include <QTreeView>
#include <thread>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>

#include "core/AccountsFile.h"
#include "core/TextFile.h"
#include "mail/MessageFiles.h"
#include "engine/ServerTest.h"
#include "engine/SharedState.h"
#include "tests/support/RecordingPrompt.h"
#include "tests/support/StoredMessages.h"
#include "ui/CAboutDlg.h"
#include "ui/CAccountsPage.h"
#include "ui/CBlockDomainsDlg.h"
#include "ui/CEditFriendDlg.h"
#include "ui/CFileExtDlg.h"
#include "ui/CFilterPwdDlg.h"
#include "ui/CFilters.h"
#include "ui/CFirstRunWizard.h"
#include "ui/CFriendsDlg.h"
#include "ui/CInboxDlg.h"
#include "ui/CSMTPStatusDlg.h"
#include "ui/CTrashDlg.h"
#include "ui/CViewEmailDlg.h"
#include "ui/COffsensiveWordDlg.h"
#include "ui/CPasswordProtectDlg.h"
#include "ui/CPrefsDlg.h"
#include "ui/CServerDlg.h"
#include "ui/CSetPwdDlg.h"
#include "ui/CSieveclawDlg.h"
#include "ui/WizardRows.h"

namespace {

using namespace sieveclaw;
namespace fs = std::filesystem;

// Points the data folder and the desktop's folders into folder, so no file of the machine shows.
void UseFolder(const fs::path& folder) {
    for (const auto& [name, sub] : {std::pair{"SIEVECLAW_HOME", ""}, std::pair{"XDG_CONFIG_HOME", "config"},
                                    std::pair{"XDG_CONFIG_DIRS", "config-dirs"}, std::pair{"XDG_DATA_HOME", "data"},
                                    std::pair{"XDG_DATA_DIRS", "data-dirs"}}) {
        ::setenv(name, (folder / sub).c_str(), 1);
    }
    fs::create_directories(folder / "data/applications");
    if (!WriteFileAtomically((folder / "data/applications/example-mail.desktop").string(),
                             "[Desktop Entry]\nType=Application\nName=Example Mail\nExec=example-mail %u\n"
                             "MimeType=x-scheme-handler/mailto;\n")) {
        std::cerr << "could not write the sample mail program's desktop entry\n";
    }
}

EmailAccountInfo SampleAccount(const std::string& name, const std::string& user, const std::string& program) {
    EmailAccountInfo account;
    account.m_AccountName = name;
    account.m_POP3Server = "pop." + program + ".example";
    account.m_POP3Port = "995";
    account.m_POP3Security = EConnectionSecurity::kSslTls;
    account.m_POP3UserId = user;
    account.m_POP3Password = "secret";
    account.m_SMTPServer = "smtp." + program + ".example";
    account.m_SMTPPort = "587";
    account.m_SMTPSecurity = EConnectionSecurity::kStartTls;
    account.m_SMTPNeedsLogon = 1;
    account.m_SMTPUserId = user;
    account.m_SMTPPassword = "secret";
    account.m_EmailAddress = user + "@" + program + ".example";
    account.m_MailProgram = program == "home" ? "Thunderbird" : "Evolution";
    account.m_SpamSoundFile = "/home/anna/.local/share/sieveclaw/clawed.wav";
    account.m_NewMailSoundFile = "/home/anna/.local/share/sieveclaw/mailin.wav";
    return account;
}

void Fill(CSharedState& state) {
    AddAccount(state.m_Accounts, SampleAccount("Home", "anna", "home"));
    EmailAccountInfo work = SampleAccount("Work", "anna.berger", "work");
    work.m_OnHold = 1;
    work.m_POP3Certificate =
        "81:82:9D:73:91:21:DC:F8:AB:FD:B7:C5:5C:41:98:FA:E0:AD:5D:0F:4E:96:C3:B1:ED:E5:91:0C:87:05:99:E9";
    AddAccount(state.m_Accounts, work);
    for (const char* entry : {"casino", "cheap-pills.example", "lottery winner"}) {
        state.m_Lists.m_FromList.Add(entry);
    }
    for (const char* entry : {"free money", "unsubscribe-now.example"}) {
        state.m_Lists.m_BodyList.Add(entry);
    }
    for (const char* entry : {"bob@example.net", "example.org", "carol.jones@example.com"}) {
        state.m_Lists.m_Friends.Append(entry);
    }
    state.m_Settings.SetEmailDelay(10);
    state.m_Settings.SetAutoDelFileExts(true);
    state.m_Settings.SetExts({".pif", ".bat", ".scr"});
}

bool Save(QWidget& window, const fs::path& folder, const std::string& name) {
    window.show();
    // Long enough for the windows' timers to set their buttons as a user would see them.
    QEventLoop settle;
    QTimer::singleShot(300, &settle, &QEventLoop::quit);
    settle.exec();
    const fs::path path = folder / (name + ".png");
    const bool saved = window.grab().save(QString::fromStdString(path.string()));
    std::cout << (saved ? "wrote " : "could not write ") << path.string() << "\n";
    window.hide();
    return saved;
}


// The Inbox and the Trash Can of the sample accounts. The spam is stored in two batches a few
// seconds apart, so that a clock set one day after the first batch shows both age marks. The time
// of the first batch.
std::time_t FillMail(CSharedState& state) {
    fs::create_directories(InboxFolder());
    fs::create_directories(SpamFolder());
    struct Sample {
        const char* m_Account;
        const char* m_From;
        const char* m_Subject;
        const char* m_Date;
    };
    const Sample good[] = {
        {"Home", "bob@example.net", "Dinner on Saturday?", "Fri, 5 Dec 2025 18:02:11 +0100"},
        {"Work", "carol.jones@example.com", "Minutes of the planning meeting", "Mon, 8 Dec 2025 09:14:22 +0100"},
        {"Home", "newsletter@garden-shop.example", "Winter bulbs: 20% off this week", "Sun, 7 Dec 2025 06:30:00 +0000"},
        {"Work", "it-desk@example.org", "Password expires in 5 days", "Mon, 8 Dec 2025 08:01:45 +0100"},
        {"Home", "=?UTF-8?B?SsO8cmdlbiBNw7xsbGVy?= <jm@example.de>", "=?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_Berlin?=",
         "Sat, 6 Dec 2025 12:40:03 +0100"},
    };
    for (const Sample& sample : good) {
        if (!test::ReceiveMessage(state.m_Accounts, sample.m_Account,
                                  test::StoredMessageText(sample.m_From, sample.m_Subject, sample.m_Date,
                                                          "Hello Anna,\r\n\r\nsee you soon."))) {
            std::cerr << "could not store a sample message\n";
        }
    }
    const Sample spam[] = {
        {"Home", "winner@lottery-winner.example", "You have won 1,000,000!", "Tue, 2 Dec 2025 03:12:00 +0000"},
        {"Work", "deals@cheap-pills.example", "Cheap pills, no prescription", "Wed, 3 Dec 2025 22:45:10 +0000"},
        {"Home", "promo@casino.example", "Free spins at the casino", "Mon, 8 Dec 2025 01:05:33 +0000"},
        {"Work", "offers@unsubscribe-now.example", "Free money for you", "Mon, 8 Dec 2025 04:20:00 +0000"},
    };
    const char* reasons[] = {" The email is from 'lottery winner'", " The email is from 'cheap-pills.example'",
                             " The email is from 'casino'", " The subject contains 'free money'"};
    std::time_t first = 0;
    for (std::size_t i = 0; i < std::size(spam); ++i) {
        if (i == 2) {
            std::this_thread::sleep_for(std::chrono::seconds(2));
        }
        const std::string path = test::StoreSpamMessage(
            spam[i].m_Account,
            test::StoredMessageText(spam[i].m_From, spam[i].m_Subject, spam[i].m_Date, "Click here now!"),
            reasons[i]);
        if (i == 0) {
            first = FileCreationTime(path).value_or(0);
        }
    }
    return first;
}

// The screen around window and every popup over it.
bool SaveScreen(QWidget& window, const fs::path& folder, const std::string& name) {
    QRect area = window.frameGeometry();
    if (QWidget* popup = QApplication::activePopupWidget()) {
        area = area.united(popup->frameGeometry());
    }
    const fs::path path = folder / (name + ".png");
    const bool saved = QGuiApplication::primaryScreen()
                           ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                           .save(QString::fromStdString(path.string()));
    std::cout << (saved ? "wrote " : "could not write ") << path.string() << "\n";
    return saved;
}

void Settle(int ms) {
    QEventLoop settle;
    QTimer::singleShot(ms, &settle, &QEventLoop::quit);
    settle.exec();
}

void SelectRow(QWidget& window, int row) {
    auto* list = window.findChild<QTreeView*>(QStringLiteral("messages"));
    list->selectionModel()->setCurrentIndex(list->model()->index(row, 0),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// The list windows, the viewer and the sending box.
bool ShootMailWindows(CDialogContext& context, std::time_t firstSpam, const fs::path& out) {
    bool ok = true;
    context.m_State.m_Settings.SetAcceptOnlyFriends(true);
    {
        CInboxDlg inbox(context, [] {});
        inbox.move(40, 40);
        inbox.show();
        Settle(300);
        SelectRow(inbox, 2);
        auto* list = inbox.findChild<QTreeView*>(QStringLiteral("messages"));
        QTimer::singleShot(400, [&] {
            ok = SaveScreen(inbox, out, "inbox") && ok;
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popup->close();
            }
        });
        const QRect row = list->visualRect(list->model()->index(2, 1));
        emit list->customContextMenuRequested(row.center());
    }
    {
        context.m_State.m_Settings.SetDeleteAfterDaysOld(1);
        CTrashDlg trash(context);
        trash.SetClock([firstSpam] { return firstSpam + 86400 + 1; });
        trash.show();
        Settle(300);
        SelectRow(trash, 1);
        ok = Save(trash, out, "trash-can") && ok;

        CViewEmailDlg plain(context, trash, 1, false);
        ok = Save(plain, out, "viewer-plain") && ok;
    }
    {
        const std::string html =
            "<html><head><link rel=\"stylesheet\" href=\"http://tracker.example/style.css\"></head><body>"
            "<h2>Winter sale</h2><p><img src=\"http://tracker.example/open.gif?id=anna\" width=\"1\" height=\"1\">"
            "<img src=\"https://pictures.example/banner.jpg\" width=\"300\" height=\"60\"></p>"
            "<p>Every bulb <b>20% off</b> until Sunday. <a href=\"https://garden-shop.example/sale\">Shop now</a></p>"
            "</body></html>";
        test::StoreSpamMessage("Home",
                               test::StoredMessageText("newsletter@garden-shop.example", "Winter sale", "", html,
                                                       "text/html"),
                               " The subject contains 'sale'");
        CTrashDlg trash(context);
        int row = 0;
        for (int at = 0; at < trash.RowCount(); ++at) {
            row = trash.RowAt(at).m_Shown.m_Subject == "Winter sale" ? at : row;
        }
        CViewEmailDlg viewer(context, trash, row, false);
        ok = Save(viewer, out, "viewer-html") && ok;
    }
    {
        CSMTPStatusDlg box(nullptr);
        box.SetLine(ESendBoxLine::kStatus, "Logging into your email server.");
        ok = Save(box, out, "sending-email") && ok;
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: ui_screenshots FOLDER\n";
        return 2;
    }
    const fs::path out = fs::absolute(argv[1]);
    std::string scratch = (fs::temp_directory_path() / "sieveclaw-shots-XXXXXX").string();
    if (::mkdtemp(scratch.data()) == nullptr) {
        return 1;
    }
    UseFolder(scratch);
    auto state = std::make_unique<CSharedState>();
    Fill(*state);
    test::CRecordingPrompt prompt;
    CDialogContext context{*state, prompt, nullptr, false, {}};
    bool ok = true;

    const auto shoot = [&](const std::string& name, const std::function<std::unique_ptr<QWidget>()>& make) {
        const std::unique_ptr<QWidget> window = make();
        ok = Save(*window, out, name) && ok;
    };
    shoot("preferences", [&] {
        auto dialog = std::make_unique<CPrefsDlg>(context);
        auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("accounts"));
        list->setCurrentItem(list->topLevelItem(0));
        return dialog;
    });
    shoot("account-settings", [&] {
        return std::make_unique<CServerDlg>(
            context, state->m_Accounts, *state->m_Accounts.GetAt(state->m_Accounts.Next(state->m_Accounts.First())));
    });
    shoot("filters", [&] { return std::make_unique<CFilters>(context); });
    shoot("filters-locked", [&] {
        state->m_Settings.Update([](SettingsValues& values) { values.m_FilterPassword = "x"; });
        auto dialog = std::make_unique<CFilters>(context);
        state->m_Settings.Update([](SettingsValues& values) { values.m_FilterPassword.clear(); });
        return dialog;
    });
    shoot("offensive-word", [&] {
        return std::make_unique<COffsensiveWordDlg>(
            prompt, QStringLiteral("Type a word, phrase or domain that you consider to be offensive; one that you "
                                   "would want Sieveclaw to block an email for."));
    });
    shoot("password-protect", [&] { return std::make_unique<CPasswordProtectDlg>(prompt); });
    shoot("filter-password", [&] { return std::make_unique<CFilterPwdDlg>(prompt, "x"); });
    shoot("friends", [&] { return std::make_unique<CFriendsDlg>(context); });
    shoot("friend", [&] {
        return std::make_unique<CEditFriendDlg>(prompt, "carol.jones@example.com", EFriendType::kIndividual);
    });
    shoot("file-extension", [&] { return std::make_unique<CFileExtDlg>(prompt); });
    shoot("block-domains", [&] {
        return std::make_unique<CBlockDomainsDlg>(prompt,
                                                  std::vector<std::string>{"cheap-pills.example", "lottery.example"});
    });
    shoot("set-password", [&] { return std::make_unique<CSetPwdDlg>(prompt, "Home", "anna"); });
    shoot("trust-certificate", [&] {
        const std::string fingerprint =
            state->m_Accounts.GetAt(state->m_Accounts.Next(state->m_Accounts.First()))->m_POP3Certificate;
        return std::make_unique<QMessageBox>(
            QMessageBox::Question, QStringLiteral("Sieveclaw"),
            QString::fromStdString(TrustCertificateQuestion(
                EMailServer::kPop3,
                LogonFailedMessage(EMailServer::kPop3,
                                   "The certificate of pop.work.example could not be verified: "
                                   "self-signed certificate."),
                fingerprint)),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    });
    {
        CFirstRunWizard wizard(context, state->m_Accounts);
        wizard.show();
        ok = Save(wizard, out, "wizard-accounts") && ok;
        wizard.next();
        auto* rows = wizard.currentPage()->findChild<QTreeWidget*>(QStringLiteral("accounts"));
        SetTestState(rows->topLevelItem(0), ETestState::kWorked);
        SetTestState(rows->topLevelItem(1), ETestState::kFailed);
        ok = Save(wizard, out, "wizard-test") && ok;
    }
    ok = ShootMailWindows(context, FillMail(*state), out) && ok;
    {
        // The main window in the middle of a check, the tray (trayer, started by scripts/screenshots)
        // with its menu, and the About box. The worker is kept from checking the sample servers.
        state->SetPaused(true);
        CSieveclawDlg window(context);
        window.OnInitDialog();
        window.StopWorker();
        state->SetPaused(false);
        window.FindRow("Home")->setText(1, QStringLiteral("5"));
        window.FindRow("Home")->setText(2, QStringLiteral("2"));
        window.FindRow("Work")->setText(2, QStringLiteral("14"));
        window.OnSetStatus(kStatusLoggedOn, 0, "Home");
        window.OnSetStatus(kStatusCountdown, 0, "Checking now");
        window.OnSetStatus(kStatusGettingMessage, 0, "3 of 8");
        window.OnStatusColour(kStatusColourBlue);
        window.OnSetStatus(kStatusProgress, 45, {});
        window.OnScanningIcon();
        ok = Save(window, out, "main-window") && ok;

        window.OnSetStatus(kStatusLoggedOff, 0, {});
        window.Tray().SetTrayIcon(CSieveclawTray::EAction::kChange, EPicture::kGotMail,
                                  QStringLiteral("Sieveclaw - You've Got Mail!"));
        const std::unique_ptr<QMenu> menu = window.MakeTrayMenu();
        QScreen* screen = QGuiApplication::primaryScreen();
        const QSize size = menu->sizeHint();
        const int right = screen->geometry().right();
        menu->popup(QPoint(right - size.width() - 8, 34));
        QEventLoop settle;
        QTimer::singleShot(500, &settle, &QEventLoop::quit);
        settle.exec();
        const int width = std::max(size.width() + 60, 220);
        const fs::path path = out / "tray-menu.png";
        const bool saved = screen->grabWindow(0, right + 1 - width, 0, width, 34 + size.height() + 12)
                               .save(QString::fromStdString(path.string()));
        std::cout << (saved ? "wrote " : "could not write ") << path.string() << "\n";
        ok = saved && ok;
        menu->hide();
        shoot("about", [&] { return std::make_unique<CAboutDlg>(prompt); });
    }
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    return ok ? 0 : 1;
}

#include "ui/CSieveclawApp.h"

#include <chrono>
#include <iostream>
#include <thread>

#include <QApplication>

#include "core/ActivityLog.h"
#include "core/DataFolder.h"
#include "core/RunAtStartup.h"
#include "ui/CEmailAddressDlg.h"
#include "ui/CFirstRunWizard.h"
#include "ui/CSieveclawDlg.h"
#include "ui/InstanceChannel.h"
#include "ui/QtUserPrompt.h"

namespace sieveclaw {

namespace {

// How long a later start waits for the first one to answer, and how long it keeps asking one that
// holds the folder but is still starting (it listens as soon as it holds the folder).
constexpr auto kAnswerWait = std::chrono::milliseconds(500);
constexpr auto kStartingWait = std::chrono::seconds(5);

CUserPrompt& PromptOf(const CStartupServices& services, const std::unique_ptr<CUserPrompt>& own) {
    return services.m_Prompt != nullptr ? *services.m_Prompt : *own;
}

}  // namespace

CSieveclawApp::CSieveclawApp(std::vector<std::string> arguments, CStartupServices services)
    : m_Arguments(std::move(arguments)),
      m_Services(std::move(services)),
      m_State(std::make_unique<CSharedState>()),
      m_OwnPrompt(m_Services.m_Prompt == nullptr ? std::make_unique<CQtUserPrompt>(nullptr, m_State->m_Store)
                                                 : nullptr),
      m_Context{*m_State, PromptOf(m_Services, m_OwnPrompt), nullptr, false, m_Services.m_TuneTransport} {}

CSieveclawApp::~CSieveclawApp() {
    if (m_WorkerLeftRunning) {
        // The worker that did not end still uses the state and the window's notifications: they
        // stay for the moment the process has left.
        static_cast<void>(m_MainWindow.release());
        static_cast<void>(m_State.release());
    }
}

CSieveclawApp::EInstance CSieveclawApp::CheckSingleInstance() {
    const std::string folder = GetProgramFolder();
    if (!EnsureProgramFolder()) {
        m_Context.m_Prompt.ShowError("Sieveclaw cannot create its data folder " + folder + ".");
        return EInstance::kFolderBusy;
    }
    const QString name = CInstanceChannel::ServerName(folder);
    if (CInstanceChannel::AskToShow(name, kAnswerWait)) {
        return EInstance::kOtherShown;
    }
    if (!m_FolderLock.Acquire(folder, "sieveclaw")) {
        if (m_FolderLock.Error().empty() && m_FolderLock.Holder().m_Program == "sieveclaw") {
            const auto deadline = std::chrono::steady_clock::now() + kStartingWait;
            while (std::chrono::steady_clock::now() < deadline) {
                if (CInstanceChannel::AskToShow(name, kAnswerWait)) {
                    return EInstance::kOtherShown;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
        const std::string busy = DataFolderInUseText(folder, m_FolderLock);
        std::cerr << "sieveclaw: " << busy << "\n";
        const bool service = m_FolderLock.Holder().m_Program == "sieveclaw-cli run";
        m_Context.m_Prompt.ShowError("Sieveclaw cannot start: " + busy +
                                     ".  Only one program at a time may check the email of a data folder.  End "
                                     "that one first" +
                                     (service ? " (the service stops with \"systemctl --user stop sieveclaw\")" : "") +
                                     ", then start Sieveclaw again.");
        return EInstance::kFolderBusy;
    }
    m_Channel = std::make_unique<CInstanceChannel>();
    QObject::connect(m_Channel.get(), &CInstanceChannel::ShowRequested, m_Channel.get(),
                     [this] { ShowMainWindowWhenAsked(); });
    if (!m_Channel->Listen(name)) {
        WriteActivityLog("CSieveclawApp - Later starts cannot reach this one: the channel could not be opened");
    }
    return EInstance::kFirst;
}

void CSieveclawApp::ShowMainWindowWhenAsked() {
    if (!m_MainWindow) {
        m_ShowAsked = true;  // still starting: the window shows once it exists
        return;
    }
    WriteActivityLog("CSieveclawDlg - Shown for a later start");
    m_MainWindow->ShowNormally(false);
}

bool CSieveclawApp::InitInstance() {
    if (qApp != nullptr) {
        // Hiding the window leaves the program running in the tray.
        QApplication::setQuitOnLastWindowClosed(false);
    }
    // Before anything is loaded: a later start must not run the first run, ask for addresses or
    // write the files of the program that holds the folder.
    switch (CheckSingleInstance()) {
        case EInstance::kOtherShown:
            m_SaveNothing = true;
            return false;
        case EInstance::kFolderBusy:
            m_SaveNothing = true;
            m_ExitStatus = 1;
            return false;
        case EInstance::kFirst:
            break;
    }

    LoadAccountsAtStartup(*m_State, m_Loaded);
    // Nothing may be set up in place of accounts that did not load: it would be saved over them.
    if (!m_Loaded.m_AccountsDamaged) {
        if (AccountCount(m_State->m_Accounts) == 0) {
            bool proceed = true;
            SettleFirstRun(proceed);
            if (!proceed) {
                return false;
            }
        }
        AskForEmailAddresses();
    }
    LoadSettingsAndListsAtStartup(*m_State, m_Loaded);
    if (!m_Loaded.IsWhole()) {
        m_Context.m_Prompt.ShowError(DamagedAtStartupText(m_Loaded));
        m_SaveNothing = true;
        m_ExitStatus = 1;
        return false;
    }

    m_MainWindow = std::make_unique<CSieveclawDlg>(m_Context, m_Services.m_Openers.value_or(DefaultListWindowOpeners()),
                                                   m_Services.m_Updater);
    m_MainWindow->OnInitDialog();

    const StartupSwitches switches = ReadStartupSwitches(m_Arguments);
    m_Context.m_Administrator = switches.m_Administrator;
    if (switches.m_Minimised) {
        // Without a tray the window is the only way back to the program.
        if (m_ShowAsked || !CSieveclawTray::IsTrayAvailable()) {
            m_MainWindow->ShowNormally(false);
        }
        return true;
    }
    m_MainWindow->ShowNormally(false);
    m_Context.m_Prompt.ShowDismissable(std::string(kMsgNowWorking),
                                       NowWorkingText(m_State->m_Settings.GetEmailDelay(),
                                                      AccountCount(m_State->m_Accounts)));
    return true;
}

void CSieveclawApp::SettleFirstRun(bool& proceed) {
    if (!SetRunAtStartup(true)) {
        WriteActivityLog("CSieveclawApp - The autostart entry could not be written");
    }
    if (!m_Services.m_Wizard && !m_OwnWizard) {
        m_OwnWizard = std::make_unique<CQtAccountWizard>(m_Context, nullptr);
    }
    CAccountWizard& wizard = m_Services.m_Wizard != nullptr ? *m_Services.m_Wizard : *m_OwnWizard;
    const int collected = CollectEmailAccountInfo(m_State->m_Accounts, wizard, m_Context.m_Prompt,
                                                  m_Services.m_Places.value_or(DefaultDiscoveryPlaces()));
    // Accounts found but the wizard cancelled: the user chose not to set one up now. When nothing
    // was found there was nothing to choose from; the main window asks for the first account.
    if (collected == 0 && AccountCount(m_State->m_Accounts) > 0) {
        m_NoAccount = true;
        m_SaveNothing = true;
        proceed = false;
    }
}

void CSieveclawApp::AskForEmailAddresses() {
    CAccountList& accounts = m_State->m_Accounts;
    for (const ListPos pos : AccountsWithoutAddress(accounts)) {
        const std::optional<EmailAccountInfo> account = accounts.GetAt(pos);
        if (!account) {
            continue;
        }
        std::optional<std::string> address;
        if (m_Services.m_AskEmailAddress) {
            address = m_Services.m_AskEmailAddress(account->m_AccountName);
        } else {
            CEmailAddressDlg dialog(m_Context.m_Prompt, account->m_AccountName);
            if (dialog.exec() == QDialog::Accepted) {
                address = dialog.Address();
            }
        }
        if (address) {
            m_Context.ShowIfNotSaved(StoreEmailAddressAndSave(accounts, pos, *address));
        }
    }
}

int CSieveclawApp::ExitInstance() {
    if (m_MainWindow) {
        m_WorkerLeftRunning = !m_MainWindow->StopWorker();
    }
    if (!m_SaveNothing && !m_State->m_Settings.SaveSettings(m_State->m_Store)) {
        WriteActivityLog2("CSieveclawApp - The settings were not saved: ", m_State->m_Store.LastError());
        std::cerr << "sieveclaw: the settings were not saved: " << m_State->m_Store.LastError() << "\n";
    }
    if (!m_WorkerLeftRunning) {
        m_MainWindow.reset();
        m_Channel.reset();
        m_FolderLock.Release();
    }
    return m_ExitStatus;
}

bool CSieveclawApp::WorkerLeftRunning() const {
    return m_WorkerLeftRunning;
}

}  // namespace sieveclaw

#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/DataFolderLock.h"
#include "core/Updater.h"
#include "core/UserPrompt.h"
#include "engine/SharedState.h"
#include "engine/StartupData.h"
#include "engine/StartupSteps.h"
#include "setup/AccountDiscovery.h"
#include "ui/DialogContext.h"
#include "ui/ListWindowHost.h"

namespace sieveclaw {

class CInstanceChannel;
class CSieveclawDlg;

// What start-up asks the user with and looks at. The program leaves every member empty and gets
// its own windows; tests put in their recording ones.
struct CStartupServices {
    CUserPrompt* m_Prompt = nullptr;       // the boxes
    CAccountWizard* m_Wizard = nullptr;    // the first-run wizard over the accounts discovery found
    // Asks for the email address of the account named by the argument; nothing when the user
    // closed the question without one.
    std::function<std::optional<std::string>(const std::string&)> m_AskEmailAddress;
    std::optional<DiscoveryPlaces> m_Places;  // where discovery looks
    std::optional<CListWindowOpeners> m_Openers;
    CUpdater* m_Updater = nullptr;
    // Changes the transport of every connection (tests trust their own CA).
    std::function<void(CTransportOptions&)> m_TuneTransport;
};

// The application object: the data the windows and the mail check share, the guard that keeps one
// program per data folder, the main window, and the switches of this run. Start-up is
// InitInstance, the end ExitInstance, both on the user interface thread around its event loop.
class CSieveclawApp {
public:
    // arguments: the command line after the program name.
    explicit CSieveclawApp(std::vector<std::string> arguments, CStartupServices services = {});
    ~CSieveclawApp();
    CSieveclawApp(const CSieveclawApp&) = delete;
    CSieveclawApp& operator=(const CSieveclawApp&) = delete;

    // Start-up: the single instance and the data folder first, then the accounts and the first run,
    // the settings and the lists, the main window and the welcome. True to run the event loop;
    // false to end at once (ExitInstance still runs).
    bool InitInstance();

    // The end: the worker stopped (its connection logged off), then the settings saved, unless
    // this run must not write them. The process's exit status.
    int ExitInstance();

    // Whether a worker is still running after ExitInstance; the process must then end without
    // destroying what it uses.
    bool WorkerLeftRunning() const;

    CSharedState& State() { return *m_State; }
    CSieveclawDlg* MainWindow() { return m_MainWindow.get(); }
    const StartupData& Loaded() const { return m_Loaded; }
    bool IsAdministrator() const { return m_Context.m_Administrator; }
    bool NoAccount() const { return m_NoAccount; }

    enum class EInstance { kFirst, kOtherShown, kFolderBusy };
    // Whether this is the program for the data folder: the first (now listening for later starts
    // and holding the folder), a later one (the first was asked to show its window), or one
    // refused because another program checks the folder (the box said which).
    EInstance CheckSingleInstance();

private:
    void SettleFirstRun(bool& proceed);
    void AskForEmailAddresses();
    void ShowMainWindowWhenAsked();

    std::vector<std::string> m_Arguments;
    CStartupServices m_Services;
    std::unique_ptr<CSharedState> m_State;
    std::unique_ptr<CUserPrompt> m_OwnPrompt;
    std::unique_ptr<CAccountWizard> m_OwnWizard;
    CDialogContext m_Context;
    StartupData m_Loaded;
    CDataFolderLock m_FolderLock;
    std::unique_ptr<CInstanceChannel> m_Channel;
    std::unique_ptr<CSieveclawDlg> m_MainWindow;
    bool m_ShowAsked = false;  // a later start asked for the window before it existed
    // This run writes no settings at its end: the first run produced no account, another program
    // holds the folder, or the data folder's files do not read whole.
    bool m_SaveNothing = false;
    bool m_NoAccount = false;
    bool m_WorkerLeftRunning = false;
    int m_ExitStatus = 0;
};

}  // namespace sieveclaw

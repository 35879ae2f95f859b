#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include <QDialog>
#include <QPointer>

#include "core/Updater.h"
#include "engine/EmailThread.h"
#include "ui/DialogContext.h"
#include "ui/ListWindowHost.h"
#include "ui/QueuedStatusSink.h"
#include "ui/SieveclawTray.h"
#include "ui/SoundPlayer.h"
#include "ui/UiThreadCall.h"

class QCheckBox;
class QLabel;
class QMenu;
class QProgressBar;
class QTimer;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace sieveclaw {

class CGlobalHotKey;
class CHelpWindow;

// "Sieveclaw", the program's one permanent window, with its icon in the tray: the accounts with
// their Inbox and Trash Can counts, the state of the mail check, and the buttons that open every
// other window. It owns the mail check worker and receives its notifications on the user interface
// thread (CStatusReceiver). Closing or minimising only hides it while the tray shows the icon;
// without a tray it stays reachable, and closing it asks whether to quit.
class CSieveclawDlg : public QDialog, public CStatusReceiver {
    Q_OBJECT
public:
    // How long the end of the program waits for the worker to log off and end.
    static constexpr std::chrono::milliseconds kWorkerStopBound{10000};
    // The window's title, and the tray's tip wherever no other is given.
    static const QString kTitle;

    // context: the shared state, the boxes and the switches; outlives the window. openers: the list
    // windows. updater: where Live Update and the worker's filter update get their files; nullptr
    // takes the data folder's "updates/".
    explicit CSieveclawDlg(CDialogContext& context, CListWindowOpeners openers = DefaultListWindowOpeners(),
                           CUpdater* updater = nullptr, QWidget* parent = nullptr);
    ~CSieveclawDlg() override;  // StopWorker()

    // The rest of the window's creation, which may ask the user (no account yet): the tray icon,
    // the rows, the worker, the pictures and the hot key.
    void OnInitDialog();

    // Where the mail check's notifications go: queued to this window.
    CStatusSink& StatusSink() { return m_Sink; }
    CListWindowHost& ListWindows() { return m_ListWindows; }
    CSieveclawTray& Tray() { return *m_Tray; }

    // Starts the mail check worker once; later calls do nothing. True when it runs.
    bool StartWorker();
    bool IsWorkerStarted() const { return m_Worker != nullptr; }
    // Ends the worker for the end of the program: no more notifications, the connection it holds
    // logged off (QUIT). False when it did not end within kWorkerStopBound.
    bool StopWorker();

    // Shows the window in its normal state (a later start, the tray); raise also brings it to the
    // front (a click on the tray icon, the hot key).
    void ShowNormally(bool raise);

    // The tray's E&xit: the icon goes and the event loop ends.
    void Exit();

    // CStatusReceiver
    void OnSetStatus(int code, std::int64_t value, const std::string& text) override;
    void OnClawAnimation() override;
    void OnReloadRequest(EListWindow window) override;
    void OnShowError(const std::string& text, int style) override;
    void OnScanningIcon() override;
    void OnStatusColour(std::uint32_t rgb) override;
    void OnPlaySound(const std::string& path, std::function<void()> ended) override;

    // The menus as they are shown: the tray's (the paused variant while paused) and the account
    // list's for the selected row (nothing without one).
    std::unique_ptr<QMenu> MakeTrayMenu();
    std::unique_ptr<QMenu> MakeAccountMenu();

    // The commands of the buttons and menus.
    void OnInbox();
    void OnTrashCan(const std::string& account = {});
    void OnFriends();
    void OnFilters();
    void OnPreferences();
    void OnCheckAllNow();
    void OnPlaySounds();
    void OnPause();
    void OnGetYourEmail();
    void OnHelp();
    void OnAbout();
    void OnLiveUpdate();
    void OnAccountDoubleClicked();
    void OnHoldEnable();
    void OnEditAccount();
    void SortAccounts(int column);

    // The row of the account named name (exact text, without regard to letter case); null when none.
    QTreeWidgetItem* FindRow(const std::string& name) const;

    // Esc: the window stays.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QWidget* BuildButtons();
    QWidget* BuildStatusGroup();
    QWidget* BuildBottomRow();
    QTreeWidgetItem* AddRow(const std::string& name, bool held);
    void SetRowIcon(QTreeWidgetItem* row, bool held);
    void ApplySort();
    // The rows after the Preferences: one per account, the gone ones removed, icons as held.
    void SyncRows();
    // The got-mail icon while any row's Inbox Count is not "0", else the main icon.
    void UpdateMailIcon();
    void RecountTrash();
    void RegisterShowHotKey();
    void ShowTrayMenu(QPoint where);
    // Whether hiding the window leaves a way back to it.
    bool CanHide() const;
    std::string SelectedAccountName() const;
    void ScheduleTrashRecount();

    CDialogContext& m_Context;
    CListWindowOpeners m_Openers;
    std::unique_ptr<CUpdater> m_OwnUpdater;
    CUpdater& m_Updater;

    CUiThreadCalls m_Calls;
    CQueuedStatusSink m_Sink;
    CQueuedPrompt m_WorkerPrompt;
    CListWindowHost m_ListWindows;
    CSoundPlayer m_Player;
    std::unique_ptr<CEmailThread> m_Worker;

    CSieveclawTray* m_Tray;
    CGlobalHotKey* m_HotKey;
    QPointer<CHelpWindow> m_Help;
    QTimer* m_TrashRecount;

    QTreeWidget* m_Accounts = nullptr;
    QLabel* m_Connection = nullptr;
    QLabel* m_Currently = nullptr;
    QLabel* m_Countdown = nullptr;
    QProgressBar* m_Progress = nullptr;
    QPushButton* m_Inbox = nullptr;
    QPushButton* m_Trash = nullptr;
    QCheckBox* m_PlaySounds = nullptr;
    QPushButton* m_Pause = nullptr;
};

}  // namespace sieveclaw

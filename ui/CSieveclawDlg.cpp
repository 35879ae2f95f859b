#include "ui/CSieveclawDlg.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/ActivityLog.h"
#include "core/AsciiCase.h"
#include "engine/AccountCommands.h"
#include "engine/AccountRows.h"
#include "engine/FilterUpdate.h"
#include "engine/FolderUpdater.h"
#include "ui/CAboutDlg.h"
#include "ui/CFilters.h"
#include "ui/CFriendsDlg.h"
#include "ui/CPrefsDlg.h"
#include "ui/CServerDlg.h"
#include "ui/DialogParts.h"
#include "ui/GlobalHotKey.h"
#include "ui/HelpWindow.h"
#include "ui/Pictures.h"
#include "ui/ShellHelpers.h"

namespace sieveclaw {

namespace {

constexpr QSize kRowPicture{16, 16};
constexpr QSize kButtonPicture{28, 28};
// Spam stored one message after another asks for a recount each time; one recount a little later
// gives the same counts without reading the spam folder for every message.
constexpr int kTrashRecountDelay = 150;

const QString kGotMailTip = QStringLiteral("Sieveclaw - You've Got Mail!");
const QString kScanningTip = QStringLiteral("Sieveclaw - Scanning for email");

constexpr const char* kNoAccountMessage =
    "You do not have any email accounts set up.  Please add your email account information into Sieveclaw so it "
    "can check for Spam.";
constexpr const char* kStillNoAccountMessage =
    "You still do not have an email account set up. Sieveclaw cannot function until you provide yoru email "
    "account information.  Please click <Preferences> then <Add> to setup your account.";
constexpr const char* kNoTrayQuestion =
    "This desktop has no notification area (tray) for Sieveclaw's icon, so its window is the only way back to "
    "it.  Do you want to quit Sieveclaw?  It then stops checking your email.";

QString Text(std::string_view text) {
    return ToQString(text);
}

}  // namespace

const QString CSieveclawDlg::kTitle = QStringLiteral("Sieveclaw");

CSieveclawDlg::CSieveclawDlg(CDialogContext& context, CListWindowOpeners openers, CUpdater* updater, QWidget* parent)
    : QDialog(parent),
      m_Context(context),
      m_Openers(std::move(openers)),
      m_OwnUpdater(updater == nullptr ? std::make_unique<CFolderUpdater>() : nullptr),
      m_Updater(updater == nullptr ? *m_OwnUpdater : *updater),
      m_Calls(this),
      m_Sink(m_Calls, *this),
      m_WorkerPrompt(m_Calls, context.m_Prompt),
      m_Tray(new CSieveclawTray(kTitle, this)),
      m_HotKey(new CGlobalHotKey(this)),
      m_TrashRecount(new QTimer(this)) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(kTitle);
    setWindowIcon(ScalableIcon(EPicture::kMain));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    if (m_Context.m_StatusSink == nullptr) {
        // The windows opened from here (a rescan, the list windows) report to this window too.
        m_Context.m_StatusSink = &m_Sink;
    }

    m_Accounts = new QTreeWidget(this);
    m_Accounts->setObjectName(QStringLiteral("accounts"));
    m_Accounts->setHeaderLabels(
        {QStringLiteral("Email Account"), QStringLiteral("Inbox Count"), QStringLiteral("Trash Can Count")});
    m_Accounts->setRootIsDecorated(false);
    m_Accounts->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_Accounts->setIconSize(kRowPicture);
    m_Accounts->setContextMenuPolicy(Qt::CustomContextMenu);
    m_Accounts->header()->setSectionsClickable(true);
    m_Accounts->header()->setStretchLastSection(false);
    for (int column = 0; column < 3; ++column) {
        // Each column as wide as its heading (the name column takes what is left).
        m_Accounts->header()->setSectionResizeMode(column, column == 0 ? QHeaderView::Stretch
                                                                       : QHeaderView::ResizeToContents);
    }
    connect(m_Accounts, &QTreeWidget::itemDoubleClicked, this, &CSieveclawDlg::OnAccountDoubleClicked);
    connect(m_Accounts, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& where) {
        if (const std::unique_ptr<QMenu> menu = MakeAccountMenu()) {
            menu->exec(m_Accounts->viewport()->mapToGlobal(where));
        }
    });
    connect(m_Accounts->header(), &QHeaderView::sectionClicked, this, &CSieveclawDlg::SortAccounts);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("picture"));
    picture->setPixmap(Picture(EPicture::kMain, QSize(64, 64)));
    auto* right = new QGridLayout;
    right->addWidget(m_Accounts, 0, 0);
    right->addWidget(picture, 0, 1, Qt::AlignTop | Qt::AlignHCenter);
    right->addWidget(BuildStatusGroup(), 1, 0, 1, 2);
    right->setRowStretch(0, 1);
    right->setColumnStretch(0, 1);

    auto* columns = new QHBoxLayout;
    columns->addWidget(BuildButtons());
    columns->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addWidget(BuildBottomRow());
    resize(720, 440);

    connect(m_Tray, &CSieveclawTray::LeftClicked, this, [this] { ShowNormally(true); });
    connect(m_Tray, &CSieveclawTray::ContextMenuRequested, this, &CSieveclawDlg::ShowTrayMenu);
    connect(m_HotKey, &CGlobalHotKey::Pressed, this, [this] { ShowNormally(true); });
    m_TrashRecount->setSingleShot(true);
    m_TrashRecount->setInterval(kTrashRecountDelay);
    connect(m_TrashRecount, &QTimer::timeout, this, &CSieveclawDlg::RecountTrash);
}

CSieveclawDlg::~CSieveclawDlg() {
    StopWorker();
    if (m_Context.m_StatusSink == &m_Sink) {
        m_Context.m_StatusSink = nullptr;
    }
}

QWidget* CSieveclawDlg::BuildButtons() {
    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    const auto add = [&](const QString& text, const char* name, EPicture picture, void (CSieveclawDlg::*command)()) {
        QPushButton* button = NamedButton(text, name, panel);
        button->setIcon(PictureIcon(picture, kButtonPicture));
        button->setIconSize(kButtonPicture);
        button->setStyleSheet(QStringLiteral("text-align: left; padding: 4px 10px 4px 6px;"));
        connect(button, &QPushButton::clicked, this, command);
        column->addWidget(button);
        return button;
    };
    m_Inbox = add(QStringLiteral("&Inbox"), "inbox", EPicture::kButtonInbox, &CSieveclawDlg::OnInbox);
    m_Trash = NamedButton(QStringLiteral("&Trash Can"), "trashCan", panel);
    m_Trash->setIcon(PictureIcon(EPicture::kButtonTrash, kButtonPicture));
    m_Trash->setIconSize(kButtonPicture);
    m_Trash->setStyleSheet(QStringLiteral("text-align: left; padding: 4px 10px 4px 6px;"));
    connect(m_Trash, &QPushButton::clicked, this, [this] { OnTrashCan(); });
    column->addWidget(m_Trash);
    add(QStringLiteral("&My Friends"), "myFriends", EPicture::kButtonFriends, &CSieveclawDlg::OnFriends);
    add(QStringLiteral("&Filters"), "filters", EPicture::kButtonFilters, &CSieveclawDlg::OnFilters);
    add(QStringLiteral("&Preferences"), "preferences", EPicture::kButtonPreferences, &CSieveclawDlg::OnPreferences);
    add(QStringLiteral("&Check All Now"), "checkAllNow", EPicture::kButtonCheck, &CSieveclawDlg::OnCheckAllNow);
    add(QStringLiteral("&Get Your Email"), "getYourEmail", EPicture::kButtonGetMail, &CSieveclawDlg::OnGetYourEmail);
    column->addStretch();
    // A list window that is not part of the program cannot be opened.
    m_Inbox->setEnabled(static_cast<bool>(m_Openers.m_OpenInbox));
    m_Trash->setEnabled(static_cast<bool>(m_Openers.m_OpenTrash));
    return panel;
}

QWidget* CSieveclawDlg::BuildStatusGroup() {
    auto* group = new QGroupBox(QStringLiteral("Status"), this);
    const auto value = [group](const QString& text, const char* name) {
        auto* label = new QLabel(text, group);
        label->setObjectName(QString::fromLatin1(name));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // Long texts are cut, never widen the window.
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        label->setMinimumWidth(120);
        return label;
    };
    m_Connection = value(QStringLiteral("Not Active"), "emailConnection");
    m_Currently = value(QStringLiteral("Idle"), "currently");
    m_Countdown = value(QStringLiteral("0"), "countdown");
    m_Progress = new QProgressBar(group);
    m_Progress->setObjectName(QStringLiteral("progress"));
    m_Progress->setRange(0, 100);
    m_Progress->setValue(0);
    m_Progress->setTextVisible(false);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("Email Connection"), group), 0, 0);
    grid->addWidget(m_Connection, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Currently"), group), 1, 0);
    grid->addWidget(m_Currently, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Time until the next email scan"), group), 2, 0);
    grid->addWidget(m_Countdown, 2, 1);
    grid->addWidget(m_Progress, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    return group;
}

QWidget* CSieveclawDlg::BuildBottomRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    m_PlaySounds = new QCheckBox(QStringLiteral("&Play Sounds"), row);
    m_PlaySounds->setObjectName(QStringLiteral("playSounds"));
    connect(m_PlaySounds, &QCheckBox::clicked, this, &CSieveclawDlg::OnPlaySounds);
    m_Pause = NamedButton(QStringLiteral("&Pause"), "pause", row);
    m_Pause->setCheckable(true);
    connect(m_Pause, &QPushButton::clicked, this, &CSieveclawDlg::OnPause);
    layout->addWidget(m_PlaySounds);
    layout->addWidget(m_Pause);
    layout->addStretch();
    for (const auto& [text, name, command] :
         {std::tuple{QStringLiteral("&Help"), "help", &CSieveclawDlg::OnHelp},
          std::tuple{QStringLiteral("&About"), "about", &CSieveclawDlg::OnAbout},
          std::tuple{QStringLiteral("&Live Update"), "liveUpdate", &CSieveclawDlg::OnLiveUpdate}}) {
        QPushButton* button = NamedButton(text, name, row);
        connect(button, &QPushButton::clicked, this, command);
        layout->addWidget(button);
    }
    return row;
}

void CSieveclawDlg::OnInitDialog() {
    CSharedState& state = m_Context.m_State;
    // The Trash Can counts, once the rows are there.
    m_Sink.PostStatus(kStatusRecountTrash, 0);
    m_Tray->SetTrayIcon(CSieveclawTray::EAction::kAdd, EPicture::kMain);
    if (AccountCount(state.m_Accounts) == 0) {
        m_Context.m_Prompt.ShowInformation(kNoAccountMessage);
        CServerDlg dialog(m_Context, state.m_Accounts, EmailAccountInfo(), this);
        if (dialog.exec() == QDialog::Accepted) {
            m_Context.ShowIfNotSaved(AddAccountAndSave(state.m_Accounts, dialog.Account()));
            StartWorker();
        } else {
            m_Context.m_Prompt.ShowError(kStillNoAccountMessage);
        }
    } else {
        StartWorker();
    }
    for (const EmailAccountInfo& account : state.m_Accounts.Snapshot()) {
        AddRow(account.m_AccountName, account.m_OnHold != 0);
    }
    const SettingsValues values = state.m_Settings.Snapshot();
    m_PlaySounds->setChecked(values.m_PlaySounds);
    RegisterShowHotKey();
    if (values.m_AccountsSort.m_Col2SortBy >= 0) {
        ApplySort();
    }
    m_Progress->setValue(0);
}

// --- the worker ------------------------------------------------------------------------------

bool CSieveclawDlg::StartWorker() {
    if (m_Worker) {
        return m_Worker->IsRunning();
    }
    m_Worker = std::make_unique<CEmailThread>(m_Context.m_State, m_Sink, &m_Updater, &m_WorkerPrompt);
    // Stopping waits for the worker, which may be waiting for this thread: its calls must run.
    m_Worker->SetStopWaitHook([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    if (m_Context.m_TuneTransport) {
        m_Worker->SetTransportTuning(m_Context.m_TuneTransport);
    }
    return m_Worker->Start();
}

bool CSieveclawDlg::StopWorker() {
    // From here on nothing reaches the window, and no call of the worker waits for it.
    m_Calls.Cancel();
    if (!m_Worker) {
        return true;
    }
    const bool ended = m_Worker->Stop(kWorkerStopBound);
    if (!ended) {
        WriteActivityLog("CSieveclawDlg - The mail check did not end in time");
        m_Worker->SetDestructorBound(std::chrono::milliseconds(0));
    }
    m_Worker.reset();
    return ended;
}

// --- the notifications -----------------------------------------------------------------------

void CSieveclawDlg::OnSetStatus(int code, std::int64_t value, const std::string& text) {
    if (code != kStatusProgress) {
        m_Progress->setValue(0);
    }
    switch (code) {
        case kStatusInboxCount: {
            WriteActivityLog("CSieveclawDlg::OnSetStatus - Updating Waiting count");
            const std::optional<EmailAccountInfo> account =
                m_Context.m_State.m_Accounts.GetAt(static_cast<ListPos>(value));
            if (account) {
                if (QTreeWidgetItem* row = FindRow(account->m_AccountName)) {
                    row->setText(kInboxCountColumn, QString::number(account->m_InboxEntries->Count()));
                }
            }
            UpdateMailIcon();
            break;
        }
        case kStatusRecountTrash:
            ScheduleTrashRecount();
            break;
        case kStatusCountdown:
            m_Countdown->setText(Text(text));
            break;
        case kStatusProgress:
            m_Progress->setValue(static_cast<int>(std::clamp<std::int64_t>(value, 0, 100)));
            break;
        default: {
            const std::string shown = StatusText(code, code == kStatusBytesDownloaded ? std::to_string(value) : text);
            if (!shown.empty()) {
                m_Currently->setText(Text(shown));
            }
            const std::string connection = ConnectionText(code, text);
            if (!connection.empty()) {
                m_Connection->setText(Text(connection));
            }
        }
    }
    if (code != kStatusCountdown && code != kStatusScanning && IsActivityLogEnabled()) {
        WriteActivityLog2("CSieveclawDlg::OnSetStatus - ", m_Currently->text().toStdString());
    }
}

void CSieveclawDlg::OnClawAnimation() {
    m_Tray->PlayClawAnimation();
}

void CSieveclawDlg::OnReloadRequest(EListWindow window) {
    m_ListWindows.Reload(window);
}

void CSieveclawDlg::OnShowError(const std::string& text, int style) {
    if (style == kErrorBoxStyle) {
        m_Context.m_Prompt.ShowError(text);
    } else {
        m_Context.m_Prompt.ShowInformation(text);
    }
}

void CSieveclawDlg::OnScanningIcon() {
    if (!m_Tray->IsAnimating()) {
        m_Tray->SetTrayIcon(CSieveclawTray::EAction::kChange, EPicture::kScanning, kScanningTip);
    }
}

void CSieveclawDlg::OnStatusColour(std::uint32_t rgb) {
    QPalette palette = m_Currently->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgb(rgb));
    m_Currently->setPalette(palette);
}

void CSieveclawDlg::OnPlaySound(const std::string& path, std::function<void()> ended) {
    m_Player.Play(path, std::move(ended));
}

// --- the accounts list -----------------------------------------------------------------------

QTreeWidgetItem* CSieveclawDlg::AddRow(const std::string& name, bool held) {
    auto* row = new QTreeWidgetItem(m_Accounts, {Text(name), QStringLiteral("0"), QStringLiteral("0")});
    SetRowIcon(row, held);
    return row;
}

void CSieveclawDlg::SetRowIcon(QTreeWidgetItem* row, bool held) {
    row->setIcon(kAccountNameColumn,
                 PictureIcon(held ? EPicture::kAccountHeld : EPicture::kAccountActive, kRowPicture));
    row->setData(kAccountNameColumn, Qt::UserRole, held);
}

QTreeWidgetItem* CSieveclawDlg::FindRow(const std::string& name) const {
    for (int i = 0; i < m_Accounts->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = m_Accounts->topLevelItem(i);
        if (EqualsIgnoringAsciiCase(row->text(kAccountNameColumn).toStdString(), name)) {
            return row;
        }
    }
    return nullptr;
}

std::string CSieveclawDlg::SelectedAccountName() const {
    const QTreeWidgetItem* row = m_Accounts->currentItem();
    return row != nullptr && row->isSelected() ? row->text(kAccountNameColumn).toStdString() : std::string();
}

void CSieveclawDlg::SortAccounts(int column) {
    m_Context.m_State.m_Settings.Update(
        [column](SettingsValues& values) { values.m_AccountsSort = AccountSortAfterClick(values.m_AccountsSort, column); });
    ApplySort();
}

void CSieveclawDlg::ApplySort() {
    const ListSortState sort = m_Context.m_State.m_Settings.Snapshot().m_AccountsSort;
    if (sort.m_Col2SortBy < kAccountNameColumn || sort.m_Col2SortBy > kTrashCountColumn) {
        return;
    }
    QTreeWidgetItem* selected = m_Accounts->currentItem();
    QList<QTreeWidgetItem*> rows = m_Accounts->invisibleRootItem()->takeChildren();
    std::stable_sort(rows.begin(), rows.end(), [&sort](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        return AccountRowBefore(sort.m_Col2SortBy, sort.m_SortOrder, a->text(sort.m_Col2SortBy).toStdString(),
                                b->text(sort.m_Col2SortBy).toStdString());
    });
    m_Accounts->addTopLevelItems(rows);
    if (selected != nullptr) {
        m_Accounts->setCurrentItem(selected);
    }
}

void CSieveclawDlg::SyncRows() {
    CAccountList& accounts = m_Context.m_State.m_Accounts;
    const std::vector<EmailAccountInfo> all = accounts.Snapshot();
    for (int i = m_Accounts->topLevelItemCount() - 1; i >= 0; --i) {
        const std::string name = m_Accounts->topLevelItem(i)->text(kAccountNameColumn).toStdString();
        if (FindAccount(accounts, name) == kNoPos) {
            delete m_Accounts->takeTopLevelItem(i);
        }
    }
    for (const EmailAccountInfo& account : all) {
        QTreeWidgetItem* row = FindRow(account.m_AccountName);
        if (row == nullptr) {
            row = AddRow(account.m_AccountName, account.m_OnHold != 0);
        }
        SetRowIcon(row, account.m_OnHold != 0);
    }
    UpdateMailIcon();
}

void CSieveclawDlg::UpdateMailIcon() {
    bool mail = false;
    for (int i = 0; i < m_Accounts->topLevelItemCount() && !mail; ++i) {
        mail = m_Accounts->topLevelItem(i)->text(kInboxCountColumn) != QStringLiteral("0");
    }
    m_Tray->SetCurrent(mail ? EPicture::kGotMail : EPicture::kMain);
    if (!m_Tray->IsAnimating()) {
        m_Tray->SetTrayIcon(CSieveclawTray::EAction::kChange, m_Tray->Current(), mail ? kGotMailTip : QString());
    }
}

void CSieveclawDlg::ScheduleTrashRecount() {
    if (!m_TrashRecount->isActive()) {
        m_TrashRecount->start();
    }
}

void CSieveclawDlg::RecountTrash() {
    std::vector<std::string> names;
    for (int i = 0; i < m_Accounts->topLevelItemCount(); ++i) {
        names.push_back(m_Accounts->topLevelItem(i)->text(kAccountNameColumn).toStdString());
    }
    const std::vector<std::size_t> counts = CountSpamFilesByAccount(names);
    for (int i = 0; i < m_Accounts->topLevelItemCount(); ++i) {
        m_Accounts->topLevelItem(i)->setText(kTrashCountColumn, QString::number(counts[static_cast<std::size_t>(i)]));
    }
}

std::unique_ptr<QMenu> CSieveclawDlg::MakeAccountMenu() {
    const std::string name = SelectedAccountName();
    const std::optional<EmailAccountInfo> account =
        name.empty() ? std::nullopt : m_Context.m_State.m_Accounts.GetAt(FindAccount(m_Context.m_State.m_Accounts, name));
    if (!account) {
        return nullptr;
    }
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName(QStringLiteral("accountMenu"));
    menu->addAction(account->m_OnHold != 0 ? QStringLiteral("&Enable") : QStringLiteral("&Hold"), this,
                    &CSieveclawDlg::OnHoldEnable);
    menu->addAction(QStringLiteral("&Edit"), this, &CSieveclawDlg::OnEditAccount);
    menu->addAction(QStringLiteral("&Preferences"), this, &CSieveclawDlg::OnPreferences);
    return menu;
}

void CSieveclawDlg::OnAccountDoubleClicked() {
    const QTreeWidgetItem* row = m_Accounts->currentItem();
    if (row != nullptr && row->text(kTrashCountColumn).toLongLong() > 0) {
        OnTrashCan(row->text(kAccountNameColumn).toStdString());
    }
}

void CSieveclawDlg::OnHoldEnable() {
    const std::string name = SelectedAccountName();
    QTreeWidgetItem* row = m_Accounts->currentItem();
    if (name.empty()) {
        return;
    }
    SaveResult saved;
    if (const std::optional<std::int32_t> held = ToggleHoldAndSave(m_Context.m_State.m_Accounts, name, saved)) {
        SetRowIcon(row, *held != 0);
    }
    m_Context.ShowIfNotSaved(saved);
}

void CSieveclawDlg::OnEditAccount() {
    const std::string name = SelectedAccountName();
    QTreeWidgetItem* row = m_Accounts->currentItem();
    CAccountList& accounts = m_Context.m_State.m_Accounts;
    const std::optional<EmailAccountInfo> account = name.empty() ? std::nullopt : accounts.GetAt(FindAccount(accounts, name));
    if (!account) {
        return;
    }
    CServerDlg dialog(m_Context, accounts, *account, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    m_Context.ShowIfNotSaved(EditAccountAndSave(accounts, name, dialog.Account()));
    row->setText(kAccountNameColumn, Text(dialog.Account().m_AccountName));
}

// --- the buttons -----------------------------------------------------------------------------

void CSieveclawDlg::OnInbox() {
    if (m_Openers.m_OpenInbox) {
        m_Openers.m_OpenInbox({m_Context, m_ListWindows, {}, this});
    }
}

void CSieveclawDlg::OnTrashCan(const std::string& account) {
    if (m_Openers.m_OpenTrash) {
        m_Openers.m_OpenTrash({m_Context, m_ListWindows, account, this});
        m_Sink.PostStatus(kStatusRecountTrash, 0);
    }
}

void CSieveclawDlg::OnFriends() {
    CFriendsDlg(m_Context, this).exec();
}

void CSieveclawDlg::OnFilters() {
    CFilters(m_Context, this).exec();
}

void CSieveclawDlg::OnPreferences() {
    CPrefsDlg dialog(m_Context, this);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // The dialog's account commands took effect however it was closed.
    SyncRows();
    if (!accepted) {
        return;
    }
    RegisterShowHotKey();
    if (AccountCount(m_Context.m_State.m_Accounts) > 0) {
        StartWorker();
    }
}

void CSieveclawDlg::OnCheckAllNow() {
    m_Context.m_State.m_CheckNowSignal.release();
}

void CSieveclawDlg::OnPlaySounds() {
    CSettings& settings = m_Context.m_State.m_Settings;
    settings.SetPlaySounds(!settings.GetPlaySounds());
    m_PlaySounds->setChecked(settings.GetPlaySounds());
    m_Context.ShowIfSettingsNotSaved(settings.SaveSettings(m_Context.m_State.m_Store));
}

void CSieveclawDlg::OnPause() {
    const bool paused = m_Context.m_State.TogglePause();
    m_Pause->setChecked(paused);
    m_Pause->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
}

void CSieveclawDlg::OnGetYourEmail() {
    LaunchMailProgram(m_Context.m_Prompt, m_Context.m_State.m_Settings.Snapshot().m_MailProgram);
}

void CSieveclawDlg::OnHelp() {
    if (!m_Help) {
        m_Help = new CHelpWindow(this);
    }
    if (!m_Help->ShowPage("main-window.md")) {
        m_Context.m_Prompt.ShowError("The user manual of Sieveclaw is not installed on this computer.");
    }
}

void CSieveclawDlg::OnAbout() {
    CAboutDlg(m_Context.m_Prompt, this).exec();
}

void CSieveclawDlg::OnLiveUpdate() {
    std::string report;
    if (m_Updater.UpdateProgram(report)) {
        Exit();
        return;
    }
    const FilterUpdateResult filters = RunFilterUpdate(m_Context.m_State, m_Updater);
    m_Context.m_Prompt.ShowInformation(report + "\n\n" + FilterUpdateReport(filters, m_Updater));
}

void CSieveclawDlg::RegisterShowHotKey() {
    const std::uint32_t value = m_Context.m_State.m_Settings.Snapshot().m_HotKey;
    m_HotKey->Unregister();
    if (value != 0) {
        m_HotKey->Register(value);  // a key that cannot be taken is left alone
    }
}

// --- the window and the tray -----------------------------------------------------------------

void CSieveclawDlg::ShowNormally(bool raise) {
    showNormal();
    if (raise) {
        this->raise();
        activateWindow();
    }
}

std::unique_ptr<QMenu> CSieveclawDlg::MakeTrayMenu() {
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName(QStringLiteral("trayMenu"));
    menu->addAction(QStringLiteral("&Check All Now"), this, &CSieveclawDlg::OnCheckAllNow);
    menu->addAction(m_Context.m_State.IsPaused() ? QStringLiteral("&Resume") : QStringLiteral("&Pause"), this,
                    &CSieveclawDlg::OnPause);
    menu->addSeparator();
    menu->addAction(QStringLiteral("&Preferences"), this, &CSieveclawDlg::OnPreferences);
    menu->addAction(QStringLiteral("E&xit"), this, &CSieveclawDlg::Exit);
    return menu;
}

void CSieveclawDlg::ShowTrayMenu(QPoint where) {
    ShowNormally(true);
    MakeTrayMenu()->exec(where);
}

void CSieveclawDlg::Exit() {
    m_Tray->SetTrayIcon(CSieveclawTray::EAction::kDelete, m_Tray->Current());
    // exit(), not quit(): quit() first asks every window to close, and this one only hides.
    QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

bool CSieveclawDlg::CanHide() const {
    return m_Tray->IsPresent() && CSieveclawTray::IsTrayAvailable();
}

void CSieveclawDlg::reject() {}

void CSieveclawDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (CanHide()) {
        hide();
        return;
    }
    if (m_Context.m_Prompt.AskYesNoCancel(kNoTrayQuestion) == CUserPrompt::EAnswer::kYes) {
        Exit();
    }
}

void CSieveclawDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && CanHide()) {
        // Hidden once the minimise is through; shown again in its normal state.
        QTimer::singleShot(0, this, [this] {
            setWindowState(windowState() & ~Qt::WindowMinimized);
            hide();
        });
    }
}

void CSieveclawDlg::contextMenuEvent(QContextMenuEvent* event) {
    // The window menu's own entry, where the desktop's window menu cannot take one.
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("systemMenu"));
    menu.addAction(QStringLiteral("&About Sieveclaw..."), this, &CSieveclawDlg::OnAbout);
    menu.exec(event->globalPos());
}

}  // namespace sieveclaw

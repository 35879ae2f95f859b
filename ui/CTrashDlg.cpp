#include "ui/CTrashDlg.h"

#include <ctime>

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "engine/InboxCommands.h"
#include "engine/TrashCommands.h"
#include "ui/BackgroundWork.h"
#include "ui/DialogParts.h"
#include "ui/SendWithStatusBox.h"

namespace sieveclaw {

namespace {

constexpr int kMinDays = 1;
constexpr int kMaxDays = 365;

std::vector<EListColumn> TrashColumns(std::size_t accounts) {
    std::vector<EListColumn> columns{EListColumn::kReason};
    if (accounts >= 2) {
        columns.push_back(EListColumn::kAccount);
    }
    columns.insert(columns.end(), {EListColumn::kSubject, EListColumn::kDate, EListColumn::kFrom, EListColumn::kTo});
    return columns;
}

std::span<int> TrashWidths(SettingsValues& values) {
    return values.m_TrashColWidths;
}

constexpr CListWindowKeys kTrashKeys{&SettingsValues::m_TrashRect, &SettingsValues::m_TrashSort, &TrashWidths};

// The stored day count as the window works with it; a count it cannot use is stored as 7.
int TakeDeleteAfterDays(CSettings& settings) {
    const int stored = settings.GetDeleteAfterDaysOld();
    const int days = ClampDeleteAfterDays(stored);
    if (days != stored) {
        settings.SetDeleteAfterDaysOld(days);
    }
    return days;
}

}  // namespace

CTrashDlg::CTrashDlg(CDialogContext& context, std::string accountFilter, QWidget* parent)
    : CMessageListDlg(context, QStringLiteral("Sieveclaw - Clawed Spam"),
                      TrashColumns(AccountCount(context.m_State.m_Accounts)), kTrashKeys,
                      QStringLiteral("If you have an email that is NOT spam, right click on it.  A menu will appear "
                                     "and let you correct it."),
                      parent),
      m_AccountFilter(std::move(accountFilter)),
      m_DeleteAfterDays(TakeDeleteAfterDays(context.m_State.m_Settings)),
      m_View(NamedButton(QStringLiteral("&View Email"), "view", this)),
      m_Delete(NamedButton(QStringLiteral("&Delete"), "delete", this)),
      m_DeleteAll(NamedButton(QStringLiteral("Delete &All"), "deleteAll", this)),
      m_Salvage(NamedButton(QStringLiteral("&Salvage Email"), "salvage", this)),
      m_Bounce(NamedButton(QStringLiteral("&Bounce"), "bounce", this)),
      m_AutoDelete(new QCheckBox(QStringLiteral("&Automatically Delete Old Spam"), this)),
      m_Before(new QLabel(QStringLiteral("Delete spam when it's "), this)),
      m_Days(new CTypedRangeSpinBox(kMinDays, kMaxDays, this)),
      m_After(new QLabel(QStringLiteral("days old"), this)) {
    auto* close = NamedButton(QStringLiteral("&Close"), "close", this);
    close->setDefault(true);
    m_AutoDelete->setObjectName(QStringLiteral("autoDelete"));
    m_Days->setObjectName(QStringLiteral("days"));
    m_Days->setValue(m_DeleteAfterDays);
    m_AutoDelete->setChecked(m_Context.m_State.m_Settings.GetAutoDelete());
    m_Before->setBuddy(m_Days);
    SetMarkPictures(EPicture::kMarkSpamYoung, EPicture::kMarkSpamOld);

    auto* group = new QGroupBox(this);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_AutoDelete);
    auto* age = new QHBoxLayout;
    age->addWidget(m_Before);
    age->addWidget(m_Days);
    age->addWidget(m_After);
    age->addStretch();
    groupLayout->addLayout(age);
    auto* middle = new QHBoxLayout;
    middle->setSpacing(1);
    middle->addWidget(MarkLegend(EPicture::kMarkSpamYoung, QStringLiteral("Kept"), EPicture::kMarkSpamOld,
                                 QStringLiteral("Old enough to be deleted"), this),
                      1, Qt::AlignCenter);
    middle->addWidget(group, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(ButtonRow({m_View, m_Delete, m_DeleteAll, m_Salvage, m_Bounce, close}));
    layout->addSpacing(8);
    layout->addLayout(middle);
    layout->addSpacing(8);
    layout->addWidget(m_List, 1);
    layout->addSpacing(1);
    layout->addWidget(m_StatusBar);
    resize(820, 500);

    connect(m_View, &QPushButton::clicked, this, [this] { RunCommand([this] { ViewSelected(); }); });
    connect(m_Delete, &QPushButton::clicked, this, [this] { RunCommand([this] { DeleteSelected(); }); });
    connect(m_DeleteAll, &QPushButton::clicked, this, [this] { RunCommand([this] { DeleteAll(); }); });
    connect(m_Salvage, &QPushButton::clicked, this, [this] { RunCommand([this] { SendSelected(false); }); });
    connect(m_Bounce, &QPushButton::clicked, this, [this] { RunCommand([this] { SendSelected(true); }); });
    connect(m_AutoDelete, &QCheckBox::toggled, this, &CTrashDlg::EnableAgeFields);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    EnableAgeFields();
    Start();
}

std::vector<CListRow> CTrashDlg::LoadRows() {
    return TrashRows(m_AccountFilter, m_DeleteAfterDays, m_Clock ? m_Clock() : std::time(nullptr));
}

void CTrashDlg::SetClock(std::function<std::time_t()> clock) {
    m_Clock = std::move(clock);
    Reload();
}

void CTrashDlg::UpdateButtons() {
    const bool selected = !IsBusy() && HasSelection();
    for (QPushButton* button : {m_View, m_Delete, m_Bounce, m_Salvage}) {
        button->setEnabled(selected);
    }
    m_DeleteAll->setEnabled(!IsBusy() && RowCount() > 0);
}

std::vector<CMessageListDlg::CMenuItem> CTrashDlg::ContextMenuItems() {
    return {
        {QStringLiteral("&Remove Filter"), [this] { RemoveFilters(Commands(), m_Model->Rows(), Selected()); }},
        {QStringLiteral("&Add to my Friends list"),
         [this] { AddSendersToFriends(Commands(), m_Model->Rows(), Selected(), kTrashAddFriendsQuestion, false); }},
        {QStringLiteral("&Block all email from this email address"),
         [this] { BlockSendersFromTrash(Commands(), m_Model->Rows(), Selected()); }},
        {QStringLiteral("&View Email"), [this] { ViewSelected(); }},
        {QStringLiteral("&Delete"), [this] { DeleteSelected(); }},
        {QStringLiteral("Delete &All"), [this] { DeleteAll(); }},
        {QStringLiteral("&Salvage"), [this] { SendSelected(false); }},
    };
}

void CTrashDlg::ViewSelected() {
    OpenViewer(false);
}

void CTrashDlg::DeleteSelected() {
    const CWaitCursor wait;
    RemovePositions(DeleteSpamMessages(Commands(), m_Model->Rows(), Selected()), true);
}

void CTrashDlg::DeleteAll() {
    const CWaitCursor wait;
    RemovePositions(DeleteAllSpam(Commands(), m_Model->Rows()), false);
}

void CTrashDlg::SendSelected(bool bounce) {
    const std::vector<std::size_t> selected = Selected();
    if (selected.empty()) {
        return;
    }
    if (bounce && m_Context.m_Prompt.AskYesNoCancel("Are you sure that you want to bounce the selected email?") !=
                      CUserPrompt::EAnswer::kYes) {
        return;
    }
    CSharedState& state = m_Context.m_State;
    const CTransportOptions transport = m_Context.TransportOptions();
    // Rows are found again by their files after each send: a reload may not change them meanwhile,
    // but the user may sort them.
    std::vector<std::string> paths;
    for (auto at = selected.rbegin(); at != selected.rend(); ++at) {
        const CListRow& row = RowAt(static_cast<int>(*at));
        if (FindAccount(state.m_Accounts, row.m_Account) != kNoPos) {
            paths.push_back(row.m_Stored.m_FilePath);
        }
    }
    for (const std::string& path : paths) {
        const ESendOutcome outcome =
            SendWithStatusBox(this, m_Context.m_Prompt, [&](const SendStatusFn& status, CUserPrompt& prompt) {
                return bounce ? BounceSpamFile(path, state.m_Accounts, status, prompt, transport)
                              : SalvageSpamFile(path, state.m_Accounts, state.m_Lists.m_Salvaged, status, prompt,
                                                transport);
            });
        const bool gone = bounce ? outcome != ESendOutcome::kNoAccount : outcome == ESendOutcome::kSent;
        const int row = m_Model->FindFile(path);
        if (gone && row >= 0) {
            RemovePositions({static_cast<std::size_t>(row)}, false);
        }
    }
}

void CTrashDlg::EnableAgeFields() {
    const bool on = m_AutoDelete->isChecked();
    for (QWidget* field :
         {static_cast<QWidget*>(m_Before), static_cast<QWidget*>(m_Days), static_cast<QWidget*>(m_After)}) {
        field->setEnabled(on);
    }
}

std::optional<int> CTrashDlg::DayCount() const {
    const int days = m_Days->value();
    if (days < kMinDays || days > kMaxDays) {
        return std::nullopt;
    }
    return days;
}

void CTrashDlg::accept() {
    if (!DayCount()) {
        m_Context.m_Prompt.ShowError("Please enter an integer between 1 and 365.");
        m_Days->setFocus();
        m_Days->selectAll();
        return;
    }
    CMessageListDlg::accept();
}

void CTrashDlg::StoreSettings(SettingsValues& values) {
    values.m_AutoDelete = m_AutoDelete->isChecked();
    values.m_DeleteAfterDaysOld = DayCount().value_or(m_DeleteAfterDays);
}

void CTrashDlg::ShowStartMessage() {
    if (RowCount() == 0) {
        return;
    }
    m_Context.m_Prompt.ShowDismissable(
        std::string(kMsgTrashCanWarning),
        "Please look through the spam in your Trash Can.  Make sure that none of these are email that you actually "
        "want.\n\nIf there is an email from a friend, right click on it and click <Add to my Friends list>.\n\nIf "
        "you want to keep an email, click on it, then click <Salvage>.");
}

}  // namespace sieveclaw

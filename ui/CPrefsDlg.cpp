#include "ui/CPrefsDlg.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/AsciiCase.h"
#include "core/MailPrograms.h"
#include "core/RunAtStartup.h"
#include "engine/AccountCommands.h"
#include "engine/Preferences.h"
#include "ui/CFileExtDlg.h"
#include "ui/CServerDlg.h"
#include "ui/DialogParts.h"
#include "ui/HotKey.h"
#include "ui/Pictures.h"

namespace sieveclaw {

namespace {

constexpr QSize kRowPicture{16, 16};


}  // namespace

CPrefsDlg::CPrefsDlg(CDialogContext& context, QWidget* parent) : QDialog(parent), m_Context(context) {
    setWindowTitle(QStringLiteral("Preferences"));
    auto* columns = new QHBoxLayout;
    auto* right = new QVBoxLayout;
    columns->addWidget(BuildAccountsGroup(), 1);
    right->addWidget(BuildSettingsGroup());
    right->addWidget(BuildAttachmentsGroup());
    columns->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(OkCancelButtons(this));

    const SettingsValues values = m_Context.m_State.m_Settings.Snapshot();
    m_Interval->setValue(values.m_EmailDelay);
    m_RunAtStartup->setChecked(IsRunAtStartup());
    m_Size->setValue(static_cast<int>(std::clamp(values.m_MaxMsgSize, kMinMaxMsgSize, kMaxMaxMsgSize)));
    m_MarkFriends->setChecked(values.m_AcceptOnlyFriends);
    m_AutoDelExts->setChecked(values.m_AutoDelFileExts);
    for (const std::string& ext : values.m_Exts) {
        m_Exts->addItem(QString::fromStdString(ext));
    }
    const QKeyCombination hotKey = HotKeyCombination(values.m_HotKey);
    if (hotKey.key() != Qt::Key_unknown) {
        m_HotKey->setKeySequence(QKeySequence(hotKey));
    }
    FillAccounts();
    FillMailPrograms();
    ApplyExtensionSwitch();

    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CPrefsDlg::UpdateControls);
    timer->start(50);
    UpdateControls();
}

QWidget* CPrefsDlg::BuildAccountsGroup() {
    auto* group = new QGroupBox(QStringLiteral("Email Accounts"), this);
    m_Accounts = new QTreeWidget(group);
    m_Accounts->setObjectName(QStringLiteral("accounts"));
    m_Accounts->setHeaderLabels({QStringLiteral("Account Name")});
    m_Accounts->setRootIsDecorated(false);
    m_Accounts->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_Accounts->setIconSize(kRowPicture);
    m_Accounts->header()->setSectionsClickable(true);
    m_Add = NamedButton(QStringLiteral("&Add"), "add", group);
    m_Edit = NamedButton(QStringLiteral("&Edit"), "edit", group);
    m_Delete = NamedButton(QStringLiteral("&Delete"), "delete", group);
    m_Hold = NamedButton(QStringLiteral("&Hold"), "hold", group);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {m_Add, m_Edit, m_Delete, m_Hold}) {
        buttons->addWidget(button);
    }
    buttons->addStretch();
    auto* layout = new QHBoxLayout(group);
    layout->addWidget(m_Accounts, 1);
    layout->addLayout(buttons);

    connect(m_Add, &QPushButton::clicked, this, &CPrefsDlg::AddAccount);
    connect(m_Edit, &QPushButton::clicked, this, &CPrefsDlg::EditAccount);
    connect(m_Accounts, &QTreeWidget::itemDoubleClicked, this, &CPrefsDlg::EditAccount);
    connect(m_Delete, &QPushButton::clicked, this, &CPrefsDlg::DeleteAccount);
    connect(m_Hold, &QPushButton::clicked, this, &CPrefsDlg::ToggleHold);
    connect(m_Accounts->header(), &QHeaderView::sectionClicked, this, &CPrefsDlg::OnHeaderClicked);
    return group;
}

QWidget* CPrefsDlg::BuildSettingsGroup() {
    auto* group = new QGroupBox(QStringLiteral("Settings"), this);
    auto* form = new QFormLayout(group);
    m_Interval = new CTypedRangeSpinBox(kMinEmailDelay, kMaxEmailDelay, group);
    m_Interval->setObjectName(QStringLiteral("interval"));
    m_Interval->setSuffix(QStringLiteral(" minutes"));
    form->addRow(QStringLiteral("&Check for spam every"), m_Interval);

    m_HotKey = new QKeySequenceEdit(group);
    m_HotKey->setObjectName(QStringLiteral("hotKey"));
    m_HotKey->setClearButtonEnabled(true);
    // One key combination, as the stored hot key holds one.
    connect(m_HotKey, &QKeySequenceEdit::keySequenceChanged, this, [this](const QKeySequence& sequence) {
        if (sequence.count() > 1) {
            m_HotKey->setKeySequence(QKeySequence(sequence[0]));
        }
    });
    form->addRow(QStringLiteral("Show Sieveclaw with the &hot key"), m_HotKey);
    if (!CanGrabGlobalHotKey()) {
        QLabel* note = WrappedLabel(QStringLiteral("This desktop session does not let a program take a key for "
                                                   "itself, so the hot key has no effect here."),
                                    group);
        note->setObjectName(QStringLiteral("hotKeyNote"));
        form->addRow(note);
    }
    // The desktop's autostart entry stands for the Windows Run key, so the box names the desktop.
    m_RunAtStartup = new QCheckBox(QStringLiteral("Automatically run Sieveclaw when the desktop starts"), group);
    m_RunAtStartup->setObjectName(QStringLiteral("runAtStartup"));
    m_MarkFriends = new QCheckBox(QStringLiteral("&Identify my friends in the Inbox"), group);
    m_MarkFriends->setObjectName(QStringLiteral("markFriends"));
    form->addRow(m_RunAtStartup);
    form->addRow(m_MarkFriends);

    m_Size = new QSpinBox(group);
    m_Size->setObjectName(QStringLiteral("maxMsgSize"));
    m_Size->setRange(static_cast<int>(kMinMaxMsgSize), static_cast<int>(kMaxMaxMsgSize));
    m_Size->setSingleStep(static_cast<int>(kMinMaxMsgSize));
    m_Size->setGroupSeparatorShown(true);
    m_Size->setSuffix(QStringLiteral(" bytes"));
    form->addRow(QStringLiteral("Maximum Message Size"), m_Size);

    m_MailProgram = new QComboBox(group);
    m_MailProgram->setObjectName(QStringLiteral("mailProgram"));
    form->addRow(QStringLiteral("Which email program do you use?"), m_MailProgram);
    return group;
}

QWidget* CPrefsDlg::BuildAttachmentsGroup() {
    auto* group = new QGroupBox(QStringLiteral("Attachments"), this);
    m_AutoDelExts = new QCheckBox(QStringLiteral("Automatically delete email that contain attachments with these "
                                                 "file extensions"),
                                  group);
    m_AutoDelExts->setObjectName(QStringLiteral("autoDelExts"));
    m_Exts = new QListWidget(group);
    m_Exts->setObjectName(QStringLiteral("exts"));
    m_Exts->setMaximumHeight(110);
    m_ExtAdd = NamedButton(QStringLiteral("&Add"), "extAdd", group);
    m_ExtDelete = NamedButton(QStringLiteral("&Delete"), "extDelete", group);
    auto* grid = new QGridLayout(group);
    grid->addWidget(m_AutoDelExts, 0, 0, 1, 2);
    grid->addWidget(m_Exts, 1, 0, 3, 1);
    grid->addWidget(m_ExtAdd, 1, 1);
    grid->addWidget(m_ExtDelete, 2, 1);
    grid->setRowStretch(3, 1);
    connect(m_AutoDelExts, &QCheckBox::toggled, this, &CPrefsDlg::ApplyExtensionSwitch);
    connect(m_ExtAdd, &QPushButton::clicked, this, &CPrefsDlg::AddExtension);
    connect(m_ExtDelete, &QPushButton::clicked, this, &CPrefsDlg::DeleteExtension);
    return group;
}

void CPrefsDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_Shown) {
        m_Shown = true;
        if (AccountCount(m_Context.m_State.m_Accounts) == 0) {
            QTimer::singleShot(0, this, &CPrefsDlg::AddAccount);
        }
    }
}

void CPrefsDlg::FillAccounts() {
    for (const EmailAccountInfo& account : m_Context.m_State.m_Accounts.Snapshot()) {
        AddRow(account.m_AccountName, account.m_OnHold != 0);
    }
    if (m_Context.m_State.m_Settings.Snapshot().m_AccountsSort.m_Col2SortBy >= 0) {
        SortAccounts();
    }
}

void CPrefsDlg::AddRow(const std::string& name, bool held) {
    auto* row = new QTreeWidgetItem(m_Accounts, {QString::fromStdString(name)});
    row->setIcon(0, PictureIcon(held ? EPicture::kAccountHeld : EPicture::kAccountActive, kRowPicture));
    m_Accounts->resizeColumnToContents(0);
}

// By name without regard to letter case, direction 1 ascending and any other descending.
void CPrefsDlg::SortAccounts() {
    const bool ascending = m_Context.m_State.m_Settings.Snapshot().m_AccountsSort.m_SortOrder == 1;
    QTreeWidgetItem* selected = m_Accounts->currentItem();
    QList<QTreeWidgetItem*> rows = m_Accounts->invisibleRootItem()->takeChildren();
    std::stable_sort(rows.begin(), rows.end(), [ascending](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        const std::string left = AsciiLowered(a->text(0).toStdString());
        const std::string right = AsciiLowered(b->text(0).toStdString());
        return ascending ? left < right : right < left;
    });
    m_Accounts->addTopLevelItems(rows);
    if (selected != nullptr) {
        m_Accounts->setCurrentItem(selected);
    }
}

void CPrefsDlg::OnHeaderClicked(int) {
    m_Context.m_State.m_Settings.Update([](SettingsValues& values) {
        values.m_AccountsSort.m_SortOrder = NextSortOrder(values.m_AccountsSort.m_SortOrder);
        values.m_AccountsSort.m_Col2SortBy = 0;
    });
    SortAccounts();
}

void CPrefsDlg::FillMailPrograms() {
    const std::vector<MailProgram> programs = FindMailPrograms();
    for (const MailProgram& program : programs) {
        m_MailProgram->addItem(QString::fromStdString(program.m_Name));
    }
    CSettings& settings = m_Context.m_State.m_Settings;
    std::string chosen = settings.Snapshot().m_MailProgram;
    if (chosen.empty()) {
        chosen = MatchDefaultMailProgram(programs, DefaultMailtoCommand());
        settings.Update([&chosen](SettingsValues& values) { values.m_MailProgram = chosen; });
    }
    const QString wanted = QString::fromStdString(chosen);
    for (int i = 0; i < m_MailProgram->count(); ++i) {
        if (m_MailProgram->itemText(i).startsWith(wanted, Qt::CaseInsensitive)) {
            m_MailProgram->setCurrentIndex(i);
            return;
        }
    }
    m_MailProgram->setCurrentIndex(-1);
}

std::string CPrefsDlg::SelectedName() const {
    const QTreeWidgetItem* row = m_Accounts->currentItem();
    return row != nullptr && row->isSelected() ? row->text(0).toStdString() : std::string();
}

void CPrefsDlg::AddAccount() {
    CServerDlg dialog(m_Context, m_Context.m_State.m_Accounts, EmailAccountInfo(), this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    m_Context.ShowIfNotSaved(AddAccountAndSave(m_Context.m_State.m_Accounts, dialog.Account()));
    AddRow(dialog.Account().m_AccountName, false);
}

void CPrefsDlg::EditAccount() {
    QTreeWidgetItem* row = m_Accounts->currentItem();
    CAccountList& accounts = m_Context.m_State.m_Accounts;
    const std::string name = SelectedName();
    const std::optional<EmailAccountInfo> account = accounts.GetAt(FindAccount(accounts, name));
    if (name.empty() || !account) {
        return;
    }
    CServerDlg dialog(m_Context, accounts, *account, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    m_Context.ShowIfNotSaved(EditAccountAndSave(accounts, name, dialog.Account()));
    row->setText(0, QString::fromStdString(dialog.Account().m_AccountName));
}

void CPrefsDlg::DeleteAccount() {
    QTreeWidgetItem* row = m_Accounts->currentItem();
    if (row == nullptr || !row->isSelected()) {
        return;
    }
    m_Context.ShowIfNotSaved(DeleteAccountAndSave(m_Context.m_State.m_Accounts, row->text(0).toStdString()));
    delete row;
}

void CPrefsDlg::ToggleHold() {
    QTreeWidgetItem* row = m_Accounts->currentItem();
    const std::string name = SelectedName();
    if (name.empty()) {
        return;
    }
    SaveResult saved;
    if (const auto held = ToggleHoldAndSave(m_Context.m_State.m_Accounts, name, saved)) {
        row->setIcon(0, PictureIcon(*held != 0 ? EPicture::kAccountHeld : EPicture::kAccountActive, kRowPicture));
    }
    m_Context.ShowIfNotSaved(saved);
}

void CPrefsDlg::AddExtension() {
    CFileExtDlg dialog(m_Context.m_Prompt, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    m_Exts->addItem(QString::fromStdString(dialog.Extension()));
    m_Exts->setCurrentRow(m_Exts->count() - 1);
}

void CPrefsDlg::DeleteExtension() {
    const int row = m_Exts->currentRow();
    if (row < 0 || m_Exts->selectedItems().isEmpty()) {
        return;
    }
    if (m_Context.m_Prompt.AskYesNoCancel("Are you sure you want to delete this file extension?") !=
        CUserPrompt::EAnswer::kYes) {
        return;
    }
    delete m_Exts->takeItem(row);
    if (m_Exts->count() > 0) {
        m_Exts->setCurrentRow(std::min(row, m_Exts->count() - 1));
    }
}

void CPrefsDlg::ApplyExtensionSwitch() {
    const bool on = m_AutoDelExts->isChecked();
    m_Exts->setEnabled(on);
    m_ExtAdd->setEnabled(on);
    if (!on) {
        m_ExtDelete->setEnabled(false);
    }
}

void CPrefsDlg::UpdateControls() {
    const std::string name = SelectedName();
    const bool selected = !name.empty();
    m_Edit->setEnabled(selected);
    m_Delete->setEnabled(selected);
    m_Hold->setEnabled(selected);
    const CAccountList& accounts = m_Context.m_State.m_Accounts;
    const std::optional<EmailAccountInfo> account =
        selected ? accounts.GetAt(FindAccount(accounts, name)) : std::nullopt;
    m_Hold->setText(account && account->m_OnHold != 0 ? QStringLiteral("&Enable") : QStringLiteral("&Hold"));
    if (m_AutoDelExts->isChecked()) {
        m_ExtDelete->setEnabled(!m_Exts->selectedItems().isEmpty());
    }
}

void CPrefsDlg::accept() {
    PreferencesChoice choice;
    bool corrected = false;
    choice.m_EmailDelay = CorrectedEmailDelay(m_Interval->cleanText().toInt(), corrected);
    if (corrected) {
        m_Context.m_Prompt.ShowPlain(std::string(kIntervalCorrectionMessage));
    }
    choice.m_RunAtStartup = m_RunAtStartup->isChecked();
    const QKeySequence hotKey = m_HotKey->keySequence();
    choice.m_HotKey = hotKey.isEmpty() ? 0 : HotKeyValue(hotKey[0]);
    choice.m_AcceptOnlyFriends = m_MarkFriends->isChecked();
    choice.m_AutoDelFileExts = m_AutoDelExts->isChecked();
    for (int i = 0; i < m_Exts->count(); ++i) {
        choice.m_Exts.push_back(m_Exts->item(i)->text().toStdString());
    }
    choice.m_MaxMsgSize =
        MaxMsgSizeFromText(m_Size->cleanText().toStdString(), m_Size->locale().groupSeparator().toStdString());
    if (m_MailProgram->currentIndex() >= 0) {
        choice.m_MailProgram = m_MailProgram->currentText().toStdString();
    }
    m_Context.ShowIfSettingsNotSaved(StorePreferences(m_Context.m_State, choice));
    QDialog::accept();
}

}  // namespace sieveclaw

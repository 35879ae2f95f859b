#include "ui/CFriendsDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/Settings.h"
#include "filter/AddressBookImport.h"
#include "filter/FilterFiles.h"
#include "ui/CEditFriendDlg.h"
#include "ui/DialogParts.h"

namespace sieveclaw {

CFriendsDlg::CFriendsDlg(CDialogContext& context, QWidget* parent)
    : QDialog(parent),
      m_Context(context),
      m_List(new QTreeWidget(this)),
      m_OnlyFriends(new QCheckBox(QStringLiteral("&Only accept email from my friends"), this)) {
    setWindowTitle(QStringLiteral("Friends"));
    m_List->setObjectName(QStringLiteral("friends"));
    m_List->setHeaderLabels({QStringLiteral("Type"), QStringLiteral("Friend(s)")});
    m_List->setRootIsDecorated(false);
    m_List->header()->setSectionsClickable(true);
    m_OnlyFriends->setObjectName(QStringLiteral("onlyFriends"));

    auto* add = NamedButton(QStringLiteral("&Add"), "add", this);
    auto* edit = NamedButton(QStringLiteral("&Edit"), "edit", this);
    auto* remove = NamedButton(QStringLiteral("&Remove"), "remove", this);
    auto* import = NamedButton(QStringLiteral("&Import"), "import", this);
    auto* close = NamedButton(QStringLiteral("&Close"), "close", this);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {add, edit, remove, import}) {
        buttons->addWidget(button);
    }
    buttons->addStretch();
    buttons->addWidget(close);
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_List, 0, 0);
    grid->addLayout(buttons, 0, 1, 2, 1);
    grid->addWidget(m_OnlyFriends, 1, 0);
    resize(560, 380);

    for (const std::string& entry : m_Context.m_State.m_Lists.m_Friends.Snapshot()) {
        InsertRow(entry, false);
    }
    m_List->resizeColumnToContents(0);
    m_OnlyFriends->setChecked(m_Context.m_State.m_Settings.GetAcceptOnlyFriends());

    connect(add, &QPushButton::clicked, this, &CFriendsDlg::AddFriendEntry);
    connect(edit, &QPushButton::clicked, this, &CFriendsDlg::EditFriendEntry);
    connect(remove, &QPushButton::clicked, this, &CFriendsDlg::RemoveFriendEntry);
    connect(import, &QPushButton::clicked, this, &CFriendsDlg::ImportFriends);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_List->header(), &QHeaderView::sectionClicked, this, &CFriendsDlg::SortBy);
}

void CFriendsDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_Shown) {
        m_Shown = true;
        QTimer::singleShot(0, this, [this] {
            m_Context.m_Prompt.ShowDismissable(std::string(kMsgFriends),
                                               "You can add friends by importing the address book from your email "
                                               "program in comma-delimited, CSV format OR add them one at a time.");
        });
    }
}

void CFriendsDlg::InsertRow(const std::string& entry, bool atTop) {
    auto* row = new QTreeWidgetItem({ToQString(FriendTypeText(entry)), QString::fromStdString(entry)});
    if (atTop) {
        m_List->insertTopLevelItem(0, row);
    } else {
        m_List->addTopLevelItem(row);
    }
    m_List->scrollToItem(row);
}

void CFriendsDlg::AddFriendEntry() {
    CEditFriendDlg dialog(m_Context.m_Prompt, {}, EFriendType::kIndividual, this);
    if (dialog.exec() != QDialog::Accepted || !AddFriend(m_Context.m_State.m_Lists, dialog.Entry())) {
        return;
    }
    InsertRow(dialog.Entry(), true);
    m_Changed = true;
}

void CFriendsDlg::EditFriendEntry() {
    QTreeWidgetItem* row = m_List->currentItem();
    if (row == nullptr || !row->isSelected()) {
        return;
    }
    const std::string old = row->text(1).toStdString();
    CEditFriendDlg dialog(m_Context.m_Prompt, old, FriendTypeOf(old), this);
    if (dialog.exec() != QDialog::Accepted || !ReplaceFriend(m_Context.m_State.m_Lists, old, dialog.Entry())) {
        return;
    }
    row->setText(0, ToQString(FriendTypeText(dialog.Entry())));
    row->setText(1, QString::fromStdString(dialog.Entry()));
    m_Changed = true;
}

void CFriendsDlg::RemoveFriendEntry() {
    QTreeWidgetItem* row = m_List->currentItem();
    if (row == nullptr || !row->isSelected()) {
        m_Context.m_Prompt.ShowError("Please select a friend to delete.");
        return;
    }
    RemoveFriend(m_Context.m_State.m_Lists, row->text(1).toStdString());
    delete row;
    m_Changed = true;
}

void CFriendsDlg::ImportFriends() {
    const AddressBookImportResult result = ImportAddressBook(m_Context.m_Prompt, m_Context.m_State.m_Lists);
    for (const FriendRow& added : result.m_Added) {
        InsertRow(added.m_Entry, false);
    }
    m_Changed = m_Changed || result.m_Changed;
}

void CFriendsDlg::SortBy(int column) {
    m_SortOrder =
        column == m_SortColumn && m_SortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_SortColumn = column;
    m_List->sortItems(column, m_SortOrder);
}

void CFriendsDlg::done(int result) {
    CSharedState& state = m_Context.m_State;
    if (m_Changed) {
        m_Context.ShowIfNotSaved(SaveFriends(state.m_Lists, state.m_FilterFilesLock));
        m_Changed = false;
    }
    // Saved at once, as the other windows' changes are, so that sieveclaw-cli sees it too.
    if (state.m_Settings.GetAcceptOnlyFriends() != m_OnlyFriends->isChecked()) {
        state.m_Settings.SetAcceptOnlyFriends(m_OnlyFriends->isChecked());
        m_Context.ShowIfSettingsNotSaved(state.m_Settings.SaveSettings(state.m_Store));
    }
    QDialog::done(result);
}

}  // namespace sieveclaw

#include "ui/CInboxDlg.h"

#include <QFileInfo>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "core/ActivityLog.h"
#include "engine/InboxCommands.h"
#include "ui/BackgroundWork.h"
#include "ui/CBlockDomainsDlg.h"
#include "ui/COffsensiveWordDlg.h"
#include "ui/DialogParts.h"

namespace sieveclaw {

namespace {

std::vector<EListColumn> InboxColumns(std::size_t accounts) {
    std::vector<EListColumn> columns;
    if (accounts >= 2) {
        columns.push_back(EListColumn::kAccount);
    }
    columns.insert(columns.end(), {EListColumn::kSubject, EListColumn::kDate, EListColumn::kFrom, EListColumn::kTo});
    return columns;
}

std::span<int> InboxWidths(SettingsValues& values) {
    return values.m_InboxColWidths;
}

constexpr CListWindowKeys kInboxKeys{&SettingsValues::m_InboxRect, &SettingsValues::m_InboxSort, &InboxWidths};

}  // namespace

CInboxDlg::CInboxDlg(CDialogContext& context, std::function<void()> launchMailProgram, QWidget* parent)
    : CMessageListDlg(
          context, QStringLiteral("Sieveclaw - Your Inbox"), InboxColumns(AccountCount(context.m_State.m_Accounts)),
          kInboxKeys,
          QStringLiteral("If you have an email that is spam, right click on it.  A menu will appear and let "
                         "you block emails like it in the future."),
          parent),
      m_LaunchMailProgram(std::move(launchMailProgram)),
      m_MarkFriends(context.m_State.m_Settings.GetAcceptOnlyFriends()),
      m_View(NamedButton(QStringLiteral("&View Email"), "view", this)),
      m_Delete(NamedButton(QStringLiteral("&Delete"), "delete", this)),
      m_GetEmail(NamedButton(QStringLiteral("&Get Your Email"), "getEmail", this)) {
    auto* close = NamedButton(QStringLiteral("&Close"), "close", this);
    QWidget* legend = MarkLegend(EPicture::kMarkFriend, QStringLiteral("From a friend"), EPicture::kMarkStranger,
                                 QStringLiteral("Not on your friends list"), this);
    legend->setVisible(m_MarkFriends);
    if (m_MarkFriends) {
        SetMarkPictures(EPicture::kMarkFriend, EPicture::kMarkStranger);
    }
    m_GetEmail->setEnabled(static_cast<bool>(m_LaunchMailProgram));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(ButtonRow({m_View, m_Delete, m_GetEmail, close}));
    layout->addSpacing(8);
    layout->addWidget(legend, 0, Qt::AlignHCenter);
    layout->addSpacing(m_MarkFriends ? 8 : 0);
    layout->addWidget(m_List, 1);
    layout->addSpacing(1);
    layout->addWidget(m_StatusBar);
    resize(760, 480);

    connect(m_View, &QPushButton::clicked, this, [this] { RunCommand([this] { ViewSelected(); }); });
    connect(m_Delete, &QPushButton::clicked, this, [this] { RunCommand([this] { DeleteSelected(); }); });
    connect(m_GetEmail, &QPushButton::clicked, this, [this] {
        if (m_LaunchMailProgram) {
            m_LaunchMailProgram();
        }
    });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    Start();
}

std::vector<CListRow> CInboxDlg::LoadRows() {
    const CSharedState& state = m_Context.m_State;
    return InboxRows(state.m_Accounts, m_MarkFriends ? &state.m_Lists.m_Friends : nullptr);
}

void CInboxDlg::UpdateButtons() {
    const bool selected = !IsBusy() && HasSelection();
    m_View->setEnabled(selected);
    m_Delete->setEnabled(selected);
}

std::vector<CMessageListDlg::CMenuItem> CInboxDlg::ContextMenuItems() {
    std::vector<CMenuItem> items;
    if (m_LaunchMailProgram) {
        items.push_back({QStringLiteral("&Get My Email"), m_LaunchMailProgram});
    }
    items.insert(items.end(),
                 {
                     {QStringLiteral("Block all Email from this email &address"), [this] { BlockSender(); }},
                     {QStringLiteral("Block all Email from this &domain"), [this] { BlockDomain(); }},
                     {QStringLiteral("Block all Email with words from this &subject"), [this] { BlockSubject(); }},
                     {QStringLiteral("&Add to my Friends list"), [this] { AddToFriends(); }},
                     {QStringLiteral("&Delete"), [this] { DeleteSelected(); }},
                     {QStringLiteral("&View Email"), [this] { ViewSelected(); }},
                 });
    return items;
}

void CInboxDlg::ViewSelected() {
    WriteActivityLog("CInboxDlg::OnBnClickedViewemail() - getting selection");
    WriteActivityLog("CInboxDlg::OnBnClickedViewemail() - getting selected row");
    WriteActivityLog("CInboxDlg::OnBnClickedViewemail() - getting selection");
    WriteActivityLog("CInboxDlg::OnBnClickedViewemail() - freeing array");
    WriteActivityLog("CInboxDlg::OnBnClickedViewemail() - Getting file name");
    const std::vector<std::size_t> selected = Selected();
    if (selected.empty()) {
        return;
    }
    const std::string& path = RowAt(static_cast<int>(selected.front())).m_Stored.m_FilePath;
    if (path.empty()) {
        WriteActivityLog("CInboxDlg::OnBnClickedViewemail() - No file name was listed");
        return;
    }
    WriteActivityLog("CInboxDlg::OnBnClickedViewemail() - " + path);
    if (!QFileInfo::exists(QString::fromStdString(path))) {
        m_Context.m_Prompt.ShowError(
            "Sieveclaw was not able to locate the email.  Perhaps your Anti Virus program deleted it.");
        return;
    }
    OpenViewer(true);
}

void CInboxDlg::DeleteSelected() {
    RemovePositions(DeleteInboxMessages(Commands(), m_Model->Rows(), Selected()), true);
}

void CInboxDlg::ShowStartMessage() {
    m_Context.m_Prompt.ShowDismissable(std::string(kMsgInboxRightClick),
                                       "If you see an email that is a spam then right click on it.  And tell "
                                       "Sieveclaw what you would like to do with it.");
}

void CInboxDlg::BlockSender() {
    const CWaitCursor wait;
    RemovePositions(BlockSenders(Commands(), m_Model->Rows(), Selected()), false);
}

void CInboxDlg::BlockDomain() {
    const std::vector<std::size_t> selected = Selected();
    if (selected.empty()) {
        return;
    }
    CBlockDomainsDlg dialog(m_Context.m_Prompt, DomainsToOffer(m_Model->Rows(), selected), this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const CWaitCursor wait;
    RemovePositions(BlockDomains(Commands(), m_Model->Rows(), dialog.Domains()), false);
}

void CInboxDlg::BlockSubject() {
    const std::vector<std::size_t> selected = Selected();
    if (selected.empty()) {
        return;
    }
    COffsensiveWordDlg dialog(
        m_Context.m_Prompt,
        QString::fromLatin1(kBlockSubjectPrompt.data(), static_cast<qsizetype>(kBlockSubjectPrompt.size())), this);
    dialog.SetEntry(m_Model->Cell(static_cast<int>(selected.front()), EListColumn::kSubject));
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const CWaitCursor wait;
    RemovePositions(BlockSubjectWords(Commands(), m_Model->Rows(), dialog.Entry()), false);
}

void CInboxDlg::AddToFriends() {
    const CWaitCursor wait;
    AddSendersToFriends(Commands(), m_Model->Rows(), Selected(), kInboxAddFriendsQuestion, true);
}

}  // namespace sieveclaw

#include "ui/CViewEmailDlg.h"

#include <unistd.h>

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "core/DataFolder.h"
#include "core/TextFile.h"
#include "engine/InboxCommands.h"
#include "mail/ViewedMessage.h"
#include "ui/BackgroundWork.h"
#include "ui/CHTMLView.h"
#include "ui/DialogParts.h"
#include "ui/SendWithStatusBox.h"
#include "ui/WindowRects.h"

namespace sieveclaw {

namespace {

constexpr int kButtonGap = 5;

QLineEdit* HeaderField(const char* name, QWidget* parent) {
    QLineEdit* field = NamedEdit(name, parent);
    field->setReadOnly(true);
    return field;
}

}  // namespace

CViewEmailDlg::CViewEmailDlg(CDialogContext& context, CViewerList& list, int row, bool fromInbox, QWidget* parent)
    : QDialog(parent),
      m_Context(context),
      m_List(list),
      m_Row(row),
      m_FromInbox(fromInbox),
      m_To(HeaderField("to", this)),
      m_From(HeaderField("from", this)),
      m_Subject(HeaderField("subject", this)),
      m_RemoteBlocked(
          new QLabel(QStringLiteral("Pictures and styles from the Internet were blocked, so that the sender "
                                    "cannot tell that you opened this email."),
                     this)),
      m_Text(new QPlainTextEdit(this)),
      m_Previous(NamedButton(QStringLiteral("&Previous"), "previous", this)),
      m_Next(NamedButton(QStringLiteral("&Next"), "next", this)),
      m_Delete(NamedButton(QStringLiteral("&Delete"), "delete", this)),
      m_Salvage(NamedButton(QStringLiteral("&Salvage Email"), "salvage", this)),
      m_Close(NamedButton(QStringLiteral("&Close"), "close", this)),
      m_StatusBar(new QStatusBar(this)) {
    setWindowTitle(QStringLiteral("Your Filtered Email"));
    setSizeGripEnabled(false);
    m_RemoteBlocked->setObjectName(QStringLiteral("remoteBlocked"));
    m_RemoteBlocked->setWordWrap(true);
    m_RemoteBlocked->setContentsMargins(10, 0, 10, 4);
    m_RemoteBlocked->hide();
    m_Text->setObjectName(QStringLiteral("body"));
    m_Text->setReadOnly(true);
    m_Text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_StatusBar->setSizeGripEnabled(true);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(kButtonGap);
    buttons->addStretch();
    for (QPushButton* button : {m_Previous, m_Next, m_Delete, m_Salvage, m_Close}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("To:"), m_To);
    fields->addRow(QStringLiteral("From:"), m_From);
    fields->addRow(QStringLiteral("Subject:"), m_Subject);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->setSpacing(0);
    auto* top = new QVBoxLayout;
    top->setContentsMargins(10, 0, 10, 8);
    top->addLayout(buttons);
    top->addSpacing(8);
    top->addLayout(fields);
    layout->addLayout(top);
    layout->addWidget(m_RemoteBlocked);
    layout->addWidget(m_Text, 1);
    layout->addSpacing(1);
    layout->addWidget(m_StatusBar);
    resize(640, 480);

    connect(m_Previous, &QPushButton::clicked, this, [this] { Step(-1); });
    connect(m_Next, &QPushButton::clicked, this, [this] { Step(1); });
    connect(m_Delete, &QPushButton::clicked, this, &CViewEmailDlg::DeleteShown);
    connect(m_Salvage, &QPushButton::clicked, this, &CViewEmailDlg::SalvageShown);
    connect(m_Close, &QPushButton::clicked, this, &QDialog::reject);

    m_Salvage->setVisible(!m_FromInbox);
    ShowCurrent();
    RestoreWindowRect(*this, m_Context.m_State.m_Settings.Snapshot().m_ViewEmailRect);
}

CViewEmailDlg::~CViewEmailDlg() {
    RemoveEmailHtm();
}

void CViewEmailDlg::ShowCurrent() {
    if (m_Row < 0 || m_Row >= m_List.RowCount()) {
        return;
    }
    const CListRow& row = m_List.RowAt(m_Row);
    m_To->setText(ToQString(row.m_Shown.m_To));
    m_From->setText(ToQString(row.m_Shown.m_From));
    m_Subject->setText(ToQString(row.m_Shown.m_Subject));
    for (QLineEdit* field : {m_To, m_From, m_Subject}) {
        field->setCursorPosition(0);
    }
    CViewedMessage message = LoadViewedMessage(row.m_Stored.m_FilePath, m_FromInbox);
    if (message.m_IsHtml) {
        ShowHtml(message.m_Body, std::move(message.m_InlineParts));
    } else {
        if (m_Html != nullptr) {
            m_Html->hide();
        }
        m_RemoteBlocked->hide();
        m_Text->show();
        m_Text->setPlainText(ToQString(message.m_Body));
    }
    UpdateButtons();
}

void CViewEmailDlg::ShowHtml(const std::string& body, std::vector<CInlinePart> parts) {
    const std::string path = GetProgramFolder() + "email.htm";
    if (!WriteFileAtomically(path, body)) {
        return;  // the message shown before stays
    }
    m_HtmlPath = path;
    if (m_Html == nullptr) {
        m_Html = new CHTMLView(this);
        static_cast<QVBoxLayout*>(layout())->insertWidget(layout()->indexOf(m_Text), m_Html, 1);
        connect(m_Html, &CHTMLView::RemoteContentBlocked, m_RemoteBlocked, &QLabel::show);
        connect(m_Html, &QTextBrowser::highlighted, this,
                [this](const QUrl& link) { m_StatusBar->showMessage(link.toDisplayString()); });
    }
    m_RemoteBlocked->hide();
    m_Text->hide();
    m_Html->show();
    m_Html->ShowDocument(QUrl::fromLocalFile(QString::fromStdString(path)), std::move(parts));
}

void CViewEmailDlg::UpdateButtons() {
    m_Previous->setEnabled(!m_Busy && m_Row > 0);
    m_Next->setEnabled(!m_Busy && m_Row < m_List.RowCount() - 1);
    m_Delete->setEnabled(!m_Busy);
    m_Salvage->setEnabled(!m_Busy);
    m_Close->setEnabled(!m_Busy);
}

void CViewEmailDlg::Step(int by) {
    const int row = m_Row + by;
    if (m_Busy || row < 0 || row >= m_List.RowCount()) {
        return;
    }
    m_Row = row;
    ShowCurrent();
}

void CViewEmailDlg::DeleteShown() {
    if (m_Busy || m_Row < 0 || m_Row >= m_List.RowCount()) {
        return;
    }
    const CWaitCursor wait;
    const CListRow row = m_List.RowAt(m_Row);
    m_List.RemoveRow(m_Row);
    if (m_FromInbox) {
        DeleteInboxMessage({m_Context.m_State, m_Context.m_Prompt, m_Context.m_StatusSink, m_Context.m_Administrator},
                           row);
    }
    ::unlink(row.m_Stored.m_FilePath.c_str());
    accept();
}

void CViewEmailDlg::SalvageShown() {
    if (m_Busy || m_FromInbox || m_Row < 0 || m_Row >= m_List.RowCount()) {
        return;
    }
    const CListRow row = m_List.RowAt(m_Row);
    CSharedState& state = m_Context.m_State;
    const CTransportOptions transport = m_Context.TransportOptions();
    m_Busy = true;
    UpdateButtons();
    const ESendOutcome outcome =
        SendWithStatusBox(this, m_Context.m_Prompt, [&](const SendStatusFn& status, CUserPrompt& prompt) {
            return SalvageViewedFile(row.m_Stored.m_FilePath, row.m_Account, row.m_Stored, state.m_Accounts,
                                     state.m_Lists.m_Salvaged, status, prompt, transport);
        });
    m_Busy = false;
    UpdateButtons();
    if (outcome == ESendOutcome::kSent) {
        m_List.RemoveRow(m_Row);
        accept();
    }
}

void CViewEmailDlg::done(int result) {
    if (m_Busy) {
        return;  // the message is on its way; the box goes when it has arrived or failed
    }
    CSharedState& state = m_Context.m_State;
    const WindowRect rect = SavedWindowRect(*this);
    state.m_Settings.Update([&rect](SettingsValues& values) { values.m_ViewEmailRect = rect; });
    RemoveEmailHtm();
    m_Context.ShowIfSettingsNotSaved(state.m_Settings.SaveSettings(state.m_Store));
    QDialog::done(result);
}

void CViewEmailDlg::RemoveEmailHtm() {
    if (!m_HtmlPath.empty()) {
        ::unlink(m_HtmlPath.c_str());
        m_HtmlPath.clear();
    }
}

}  // namespace sieveclaw

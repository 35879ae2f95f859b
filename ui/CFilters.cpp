#include "ui/CFilters.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

#include "filter/AddressBookImport.h"
#include "filter/ListEdits.h"
#include "filter/RescanInbox.h"
#include "ui/BackgroundWork.h"
#include "ui/CFilterPwdDlg.h"
#include "ui/COffsensiveWordDlg.h"
#include "ui/CPasswordProtectDlg.h"
#include "ui/DialogParts.h"
#include "ui/Pictures.h"

namespace sieveclaw {

namespace {

const QString kFromDescription =
    QStringLiteral("Emails from the following domains or containing the following words will be blocked.");
const QString kBodyDescription = QStringLiteral(
    "Emails with the following phrases or containing links to the following domains in the email will be blocked.");

}  // namespace

CFilters::CFilters(CDialogContext& context, QWidget* parent)
    : QDialog(parent),
      m_Context(context),
      m_Tabs(new QTabBar(this)),
      m_Description(WrappedLabel(QString(), this)),
      m_Stack(new QStackedWidget(this)),
      m_List(new QListWidget(this)),
      m_Lock(new QLabel(this)),
      m_Password(NamedButton(QString(), "password", this)) {
    setWindowTitle(QStringLiteral("Filters"));
    m_Tabs->setObjectName(QStringLiteral("tabs"));
    m_Tabs->addTab(QStringLiteral("From"));
    m_Tabs->addTab(QStringLiteral("Body"));
    m_Description->setObjectName(QStringLiteral("description"));
    m_Description->setMinimumHeight(m_Description->fontMetrics().lineSpacing() * 2);
    m_List->setObjectName(QStringLiteral("entries"));
    m_Lock->setObjectName(QStringLiteral("lock"));
    m_Lock->setPixmap(Picture(EPicture::kLock, QSize(96, 96)));
    m_Lock->setAlignment(Qt::AlignCenter);
    m_Stack->addWidget(m_List);
    m_Stack->addWidget(m_Lock);

    auto* add = NamedButton(QStringLiteral("&Add"), "add", this);
    auto* remove = NamedButton(QStringLiteral("&Delete"), "delete", this);
    auto* import = NamedButton(QStringLiteral("&Import"), "import", this);
    auto* close = NamedButton(QStringLiteral("&Close"), "close", this);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {add, remove, import, m_Password}) {
        buttons->addWidget(button);
    }
    buttons->addStretch();
    buttons->addWidget(close);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_Tabs, 0, 0);
    grid->addWidget(m_Description, 1, 0);
    grid->addWidget(m_Stack, 2, 0);
    grid->addLayout(buttons, 1, 1, 2, 1);
    grid->setRowStretch(2, 1);
    resize(520, 380);

    connect(m_Tabs, &QTabBar::currentChanged, this, &CFilters::ShowTab);
    connect(add, &QPushButton::clicked, this, &CFilters::AddEntry);
    connect(remove, &QPushButton::clicked, this, &CFilters::DeleteEntry);
    connect(import, &QPushButton::clicked, this, &CFilters::ImportEntries);
    connect(m_Password, &QPushButton::clicked, this, &CFilters::OnPasswordButton);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    ShowTab(0);
    SetLocked(!m_Context.m_State.m_Settings.Snapshot().m_FilterPassword.empty());
}

EFilterList CFilters::CurrentList() const {
    return m_Tabs->currentIndex() == 1 ? EFilterList::kBody : EFilterList::kFrom;
}

void CFilters::ShowTab(int tab) {
    const CFilterLists& lists = m_Context.m_State.m_Lists;
    m_Description->setText(tab == 1 ? kBodyDescription : kFromDescription);
    m_List->clear();
    for (const std::string& entry : (tab == 1 ? lists.m_BodyList : lists.m_FromList).Entries()) {
        m_List->addItem(QString::fromStdString(entry));
    }
}

void CFilters::Rescan() {
    const CWaitCursor wait;
    CSharedState& state = m_Context.m_State;
    RescanInbox(state.m_Accounts, state.m_Lists, state.m_Settings.GetAutoDelFileExts(), m_Context.m_Prompt,
                m_Context.m_StatusSink);
}

void CFilters::AddEntry() {
    COffsensiveWordDlg dialog(m_Context.m_Prompt,
                              QStringLiteral("Type a word, phrase or domain that you consider to be offensive; one "
                                             "that you would want Sieveclaw to block an email for."),
                              this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    auto* row = new QListWidgetItem(QString::fromStdString(dialog.Entry()), m_List);
    m_List->setCurrentItem(row);
    m_List->scrollToItem(row);
    m_Changed = true;
    if (!AddFilterEntryByHand(m_Context.m_State.m_Lists, CurrentList(), dialog.Entry(), m_Context.m_Administrator,
                              [this] { Rescan(); })) {
        delete row;  // already in the list
    }
}

void CFilters::DeleteEntry() {
    const int row = m_List->currentRow();
    if (row < 0 || m_List->selectedItems().isEmpty()) {
        return;
    }
    const std::string entry = m_List->item(row)->text().toStdString();
    delete m_List->takeItem(row);
    if (row < m_List->count()) {
        m_List->setCurrentRow(row);
    }
    m_Changed = true;
    RemoveFilterEntry(m_Context.m_State.m_Lists, CurrentList(), entry);
}

void CFilters::ImportEntries() {
    const FilterImportResult result = ImportFilterFile(m_Context.m_Prompt, m_Context.m_State.m_Lists, CurrentList(),
                                                       m_Context.m_Administrator, [this] { Rescan(); });
    for (const std::string& entry : result.m_Added) {
        m_List->addItem(QString::fromStdString(entry));
    }
    m_Changed = m_Changed || result.m_Changed;
}

void CFilters::OnPasswordButton() {
    CSettings& settings = m_Context.m_State.m_Settings;
    if (!m_Locked) {
        CPasswordProtectDlg dialog(m_Context.m_Prompt, this);
        if (dialog.exec() != QDialog::Accepted) {
            return;
        }
        const std::string password = dialog.Password();
        settings.Update([&password](SettingsValues& values) { values.m_FilterPassword = password; });
        SetLocked(true);
        m_Context.ShowIfSettingsNotSaved(settings.SaveSettings(m_Context.m_State.m_Store));
        return;
    }
    CFilterPwdDlg dialog(m_Context.m_Prompt, settings.Snapshot().m_FilterPassword, this);
    if (dialog.exec() == QDialog::Accepted) {
        SetLocked(false);
    }
}

void CFilters::SetLocked(bool locked) {
    m_Locked = locked;
    m_Stack->setCurrentWidget(locked ? static_cast<QWidget*>(m_Lock) : m_List);
    m_Password->setText(locked ? QStringLiteral("&Type the\npassword.") : QStringLiteral("&Password\nProtect Filters"));
}

void CFilters::done(int result) {
    if (m_Changed) {
        m_Context.ShowIfNotSaved(SaveWordList(m_Context.m_State.m_Lists, m_Context.m_State.m_FilterFilesLock));
        m_Changed = false;
    }
    QDialog::done(result);
}

}  // namespace sieveclaw

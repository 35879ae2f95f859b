#include "ui/WizardRows.h"

#include <QHeaderView>

#include "ui/Pictures.h"

namespace sieveclaw {

namespace {

constexpr QSize kStatePicture{20, 20};
constexpr int kStateRole = Qt::UserRole;
constexpr int kValueRole = Qt::UserRole + 1;

EPicture PictureOf(ETestState state) {
    switch (state) {
        case ETestState::kWorked:
            return EPicture::kTestWorked;
        case ETestState::kFailed:
            return EPicture::kTestFailed;
        case ETestState::kTesting:
            return EPicture::kTestRunning;
        case ETestState::kUntested:
            break;
    }
    return EPicture::kTestUntested;
}

}  // namespace

QTreeWidget* AccountRowsList(QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QStringLiteral("accounts"));
    list->setHeaderLabels({QStringLiteral("Account Name"), QStringLiteral("User Id"), QStringLiteral("Email Program")});
    list->setRootIsDecorated(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setIconSize(kStatePicture);
    list->header()->setSectionResizeMode(QHeaderView::Stretch);
    return list;
}

QTreeWidgetItem* AppendAccountRow(QTreeWidget* list, const EmailAccountInfo& account) {
    auto* row = new QTreeWidgetItem(list);
    SetAccountRowTexts(row, account);
    SetTestState(row, ETestState::kUntested);
    SetRowValue(row, 0);
    return row;
}

void SetAccountRowTexts(QTreeWidgetItem* row, const EmailAccountInfo& account) {
    row->setText(0, QString::fromStdString(account.m_AccountName));
    row->setText(1, QString::fromStdString(account.m_POP3UserId));
    row->setText(2, QString::fromStdString(account.m_MailProgram));
}

void SetTestState(QTreeWidgetItem* row, ETestState state) {
    row->setData(0, kStateRole, static_cast<int>(state));
    row->setIcon(0, PictureIcon(PictureOf(state), kStatePicture));
}

ETestState TestStateOf(const QTreeWidgetItem* row) {
    return static_cast<ETestState>(row->data(0, kStateRole).toInt());
}

void SetRowValue(QTreeWidgetItem* row, int value) {
    row->setData(0, kValueRole, value);
}

int RowValueOf(const QTreeWidgetItem* row) {
    return row->data(0, kValueRole).toInt();
}

}  // namespace sieveclaw

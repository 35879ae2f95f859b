#pragma once

#include <string>

#include <QTreeWidget>

#include "core/EmailAccountInfo.h"

// The account rows both pages of the first-run wizard show: "Account Name", "User Id", "Email
// Program", a state picture, and the row value (1 when the account's logon worked).

namespace sieveclaw {

enum class ETestState { kUntested, kWorked, kFailed, kTesting };

QTreeWidget* AccountRowsList(QWidget* parent);
QTreeWidgetItem* AppendAccountRow(QTreeWidget* list, const EmailAccountInfo& account);
void SetAccountRowTexts(QTreeWidgetItem* row, const EmailAccountInfo& account);
void SetTestState(QTreeWidgetItem* row, ETestState state);
ETestState TestStateOf(const QTreeWidgetItem* row);
void SetRowValue(QTreeWidgetItem* row, int value);
int RowValueOf(const QTreeWidgetItem* row);

}  // namespace sieveclaw

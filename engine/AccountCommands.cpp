#include "engine/AccountCommands.h"

#include <utility>

#include "core/AccountsFile.h"

namespace sieveclaw {

void CopyAccountSettings(const EmailAccountInfo& source, EmailAccountInfo& target) {
    const std::int32_t onHold = target.m_OnHold;
    auto inbox = target.m_InboxEntries;
    auto pending = target.m_PendingDeletions;
    const std::string mailProgram = target.m_MailProgram;
    target = source;
    target.m_OnHold = onHold;
    target.m_InboxEntries = std::move(inbox);
    target.m_PendingDeletions = std::move(pending);
    target.m_MailProgram = mailProgram;
}

namespace {

SaveResult NoAccountNamed(std::string_view name) {
    return {false, "There is no account named '" + std::string(name) + "'."};
}

}  // namespace

SaveResult AddAccountAndSave(CAccountList& accounts, EmailAccountInfo record) {
    AddAccount(accounts, std::move(record));
    return SaveAccounts(accounts);
}

SaveResult EditAccountAndSave(CAccountList& accounts, std::string_view name, const EmailAccountInfo& record) {
    const bool found = accounts.ModifyAt(FindAccount(accounts, name),
                                         [&record](EmailAccountInfo& stored) { CopyAccountSettings(record, stored); });
    return found ? SaveAccounts(accounts) : NoAccountNamed(name);
}

SaveResult DeleteAccountAndSave(CAccountList& accounts, std::string_view name) {
    return RemoveAccountNamed(accounts, name) ? SaveAccounts(accounts) : NoAccountNamed(name);
}

std::optional<std::int32_t> ToggleHoldAndSave(CAccountList& accounts, std::string_view name, SaveResult& saved) {
    std::optional<std::int32_t> flag;
    accounts.ModifyAt(FindAccount(accounts, name), [&flag](EmailAccountInfo& stored) {
        stored.m_OnHold = stored.m_OnHold != 0 ? 0 : 1;
        flag = stored.m_OnHold;
    });
    saved = flag ? SaveAccounts(accounts) : NoAccountNamed(name);
    return flag;
}

bool RemoveAccountNamed(CAccountList& accounts, std::string_view name) {
    return accounts.RemoveAt(FindAccount(accounts, name));
}

}  // namespace sieveclaw

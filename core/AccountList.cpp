#include "core/AccountList.h"

#include <utility>

namespace sieveclaw {

ListPos FindAccount(const CAccountList& list, std::string_view name) {
    return list.FindIf([name](const EmailAccountInfo& account) { return account.m_AccountName == name; });
}

ListPos AddAccount(CAccountList& list, EmailAccountInfo record) {
    return list.Append(std::move(record));
}

std::size_t AccountCount(const CAccountList& list) {
    return list.Count();
}

ListPos AddAccountUnique(CAccountList& list, EmailAccountInfo record) {
    if (FindAccount(list, record.m_AccountName) != kNoPos) {
        record.m_AccountName += " - " + record.m_MailProgram;
    }
    return AddAccount(list, std::move(record));
}

std::string DuplicateAccountNameMessage(std::string_view name) {
    std::string message = "You already have an account named '";
    message += name;
    message += "'.  Please type a different name.";
    return message;
}

}  // namespace sieveclaw

#include "engine/TrashCommands.h"

#include <unistd.h>

#include "core/TextFile.h"
#include "engine/InboxCommands.h"
#include "filter/FilterFiles.h"

namespace sieveclaw {

namespace {

std::vector<std::size_t> DeleteFiles(const std::vector<CListRow>& rows, const std::vector<std::size_t>& positions) {
    for (auto at = positions.rbegin(); at != positions.rend(); ++at) {
        ::unlink(rows[*at].m_Stored.m_FilePath.c_str());
    }
    return positions;
}

}  // namespace

std::vector<std::size_t> DeleteSpamMessages(const CListCommandContext& context, const std::vector<CListRow>& rows,
                                            const std::vector<std::size_t>& selected) {
    if (!ConfirmDelete(context.m_Prompt, selected.size())) {
        return {};
    }
    return DeleteFiles(rows, selected);
}

std::vector<std::size_t> DeleteAllSpam(const CListCommandContext& context, const std::vector<CListRow>& rows) {
    if (rows.empty() ||
        context.m_Prompt.AskYesNoCancel(std::string(kDeleteSeveralQuestion)) != CUserPrompt::EAnswer::kYes) {
        return {};
    }
    std::vector<std::size_t> all(rows.size());
    for (std::size_t at = 0; at < all.size(); ++at) {
        all[at] = at;
    }
    return DeleteFiles(rows, all);
}

std::string FilterOfReason(std::string_view reason) {
    if (!reason.empty()) {
        reason.remove_suffix(1);
    }
    const std::size_t quote = reason.find('\'');
    return std::string(quote == std::string_view::npos ? reason : reason.substr(quote + 1));
}

void RemoveFilters(const CListCommandContext& context, const std::vector<CListRow>& rows,
                   const std::vector<std::size_t>& selected) {
    if (selected.empty()) {
        return;
    }
    std::string question(kRemoveFiltersQuestion);
    std::vector<std::string> filters;
    for (const std::size_t at : selected) {
        filters.push_back(FilterOfReason(rows[at].m_Reason));
        question += filters.back() + "\n";
    }
    if (context.m_Prompt.AskYesNoCancel(question) != CUserPrompt::EAnswer::kYes) {
        return;
    }
    CFilterLists& lists = context.m_State.m_Lists;
    for (const std::string& filter : filters) {
        lists.m_BodyList.Remove(filter);
        lists.m_FromList.Remove(filter);
    }
    context.ShowIfNotSaved(SaveWordList(lists, context.m_State.m_FilterFilesLock));
}

void BlockSendersFromTrash(const CListCommandContext& context, const std::vector<CListRow>& rows,
                           const std::vector<std::size_t>& selected) {
    std::string question(kBlockSendersQuestion);
    std::vector<std::string> addresses;
    for (const std::size_t at : selected) {
        const std::string& from = rows[at].m_Shown.m_From;
        question += from + "\n";
        if (!StripWhiteSpace(from).empty()) {
            addresses.push_back(from);
        }
    }
    if (addresses.empty() || context.m_Prompt.AskYesNoCancel(question) != CUserPrompt::EAnswer::kYes) {
        return;
    }
    CFilterLists& lists = context.m_State.m_Lists;
    bool added = false;
    for (const std::string& address : addresses) {
        if (!lists.m_FromList.Contains(address)) {
            AppendAdminList(address, EFilterList::kFrom, context.m_Administrator);
            added = lists.m_FromList.Add(address) || added;
        }
    }
    if (added) {
        context.ShowIfNotSaved(SaveWordList(lists, context.m_State.m_FilterFilesLock));
    }
}

}  // namespace sieveclaw

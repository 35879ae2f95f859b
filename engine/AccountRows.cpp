#include "engine/AccountRows.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/AsciiCase.h"
#include "core/LeadingNumber.h"
#include "mail/MessageFiles.h"

namespace sieveclaw {

std::vector<std::size_t> CountSpamFilesByAccount(const std::vector<std::string>& names) {
    std::vector<std::size_t> counts(names.size(), 0);
    std::error_code failure;
    for (std::filesystem::directory_iterator it(SpamFolder(), failure), end; !failure && it != end;
         it.increment(failure)) {
        std::error_code ignored;
        if (!it->is_regular_file(ignored) || it->path().extension() != ".eml") {
            continue;
        }
        const std::string owner = ReadAccountLine(it->path().string());
        const auto row = std::find_if(names.begin(), names.end(),
                                      [&owner](const std::string& name) { return EqualsIgnoringAsciiCase(name, owner); });
        if (row != names.end()) {
            ++counts[static_cast<std::size_t>(row - names.begin())];
        }
    }
    return counts;
}

ListSortState AccountSortAfterClick(ListSortState current, int column) {
    ListSortState next;
    next.m_Col2SortBy = column;
    next.m_SortOrder = column == current.m_Col2SortBy && current.m_SortOrder == 1 ? 2 : 1;
    return next;
}

bool AccountRowBefore(int column, int direction, std::string_view a, std::string_view b) {
    if (column == kAccountNameColumn) {
        const std::string left = AsciiLowered(a);
        const std::string right = AsciiLowered(b);
        return direction == 1 ? left < right : right < left;
    }
    const long long left = LeadingNumber<long long>(a);
    const long long right = LeadingNumber<long long>(b);
    return direction == 1 ? left > right : left < right;
}

}  // namespace sieveclaw

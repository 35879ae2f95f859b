#include "net/Pop3Replies.h"

#include <algorithm>

#include "core/LeadingNumber.h"

namespace sieveclaw {

Pop3Stats ParseStatReply(std::string_view reply) {
    Pop3Stats stats;
    const std::string_view rest = reply.substr(std::min<std::size_t>(4, reply.size()));
    const std::size_t blank = rest.find(' ');
    stats.m_Count = LeadingNumber<long long>(rest.substr(0, blank));
    if (blank != std::string_view::npos) {
        const std::string_view after = rest.substr(blank + 1);
        stats.m_Size = LeadingNumber<long long>(after.substr(0, after.find("\r\n")));
    }
    return stats;
}

long long ParseListReply(std::string_view reply) {
    const std::size_t first = reply.find(' ');
    if (first == std::string_view::npos || first + 1 >= reply.size()) {
        return 0;
    }
    const std::size_t second = reply.find(' ', first + 1);
    if (second == std::string_view::npos) {
        return 0;
    }
    return LeadingNumber<long long>(reply.substr(second + 1));
}

bool EndsWithEndMarker(std::string_view text) {
    return text.size() >= 5 && text.substr(text.size() - 5) == "\r\n.\r\n";
}

bool IsOkReply(std::string_view reply) {
    return reply.substr(0, 3) == "+OK";
}

bool IsErrReply(std::string_view reply) {
    return reply.substr(0, 4) == "-ERR";
}

bool CapaListsStls(std::string_view capabilities) {
    // One capability a line; its name is the first word, compared without regard to case.
    while (!capabilities.empty()) {
        const std::size_t end = capabilities.find('\n');
        std::string_view line = capabilities.substr(0, end);
        capabilities = end == std::string_view::npos ? std::string_view() : capabilities.substr(end + 1);
        const std::size_t word = line.find_first_of(" \t\r");
        line = line.substr(0, word);
        if (line.size() == 4 && (line[0] | 0x20) == 's' && (line[1] | 0x20) == 't' && (line[2] | 0x20) == 'l' &&
            (line[3] | 0x20) == 's') {
            return true;
        }
    }
    return false;
}

}  // namespace sieveclaw

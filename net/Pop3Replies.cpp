#include "net/Pop3Replies.h"

#include <algorithm>
#include <unordered_map>

#include "core/AsciiCase.h"

namespace sieveclaw {

namespace {

// More digits than any real count or size has; also keeps the value inside long long.
constexpr std::size_t kMaxDigits = 15;
// The longest unique id the protocol allows.
constexpr std::size_t kMaxUniqueId = 70;

// Reads "<digits>" from the front of text into value; false when there are none or too many.
bool TakeNumber(std::string_view& text, long long& value) {
    std::size_t digits = 0;
    value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        if (digits == kMaxDigits) {
            return false;
        }
        value = value * 10 + (text[digits] - '0');
        ++digits;
    }
    text.remove_prefix(digits);
    return digits > 0;
}

// "+OK <number> <number>" and then the end of the line or a blank: the form STAT and LIST n share.
bool ParseTwoNumbers(std::string_view status, long long& first, long long& second) {
    if (!status.starts_with("+OK ")) {
        return false;
    }
    status.remove_prefix(4);
    if (!TakeNumber(status, first) || !status.starts_with(' ')) {
        return false;
    }
    status.remove_prefix(1);
    if (!TakeNumber(status, second)) {
        return false;
    }
    return status.empty() || status.front() == ' ' || status.front() == '\r' || status.front() == '\n';
}

// Calls take(n - 1, rest) for every line of a listing that starts with a message number from 1 to
// count and one blank; rest is what follows the blank, without the line end.
template <class Take>
void ForEachListingLine(std::string_view body, long long count, Take&& take) {
    while (!body.empty()) {
        const std::size_t end = body.find('\n');
        std::string_view line = body.substr(0, end);
        body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        long long n = 0;
        if (TakeNumber(line, n) && n >= 1 && n <= count && line.starts_with(' ')) {
            line.remove_prefix(1);
            take(static_cast<std::size_t>(n - 1), line);
        }
    }
}

}  // namespace

CPop3ReplyReader::CPop3ReplyReader(bool multiLine, std::size_t maxBody) : m_MultiLine(multiLine), m_MaxBody(maxBody) {}

bool CPop3ReplyReader::IsOk() const { return IsOkReply(m_Status); }
bool CPop3ReplyReader::IsErr() const { return IsErrReply(m_Status); }

std::size_t CPop3ReplyReader::Take(std::string_view input) {
    std::size_t used = 0;
    while (m_State == EState::kNeedMore && used < input.size()) {
        const std::string_view rest = input.substr(used);
        const std::size_t lf = rest.find('\n');
        const std::size_t lineLength = lf == std::string_view::npos ? rest.size() : lf + 1;
        used += lineLength;
        if (!m_HaveStatus) {
            m_Status.append(rest.substr(0, lineLength));
            if (m_Status.size() > kMaxStatusLine) {
                m_State = EState::kTooLong;
            } else if (lf != std::string_view::npos) {
                m_HaveStatus = true;
                if (!m_MultiLine || !IsOk()) {
                    m_State = EState::kComplete;
                }
            }
            continue;
        }
        const std::string_view piece = rest.substr(0, lineLength);
        // A line ends at CR LF only; the CR may have come at the end of the last piece.
        const bool lineEnds =
            lf != std::string_view::npos &&
            (lf > 0 ? rest[lf - 1] == '\r' : (!m_Partial.empty() && m_Partial.back() == '\r'));
        if (!lineEnds) {
            m_Partial.append(piece);
            CheckBound();
            continue;
        }
        if (m_Partial.empty()) {
            TakeBodyLine(piece);
        } else {
            std::string line = std::move(m_Partial);
            m_Partial.clear();
            line.append(piece);
            TakeBodyLine(line);
        }
    }
    return used;
}

void CPop3ReplyReader::TakeBodyLine(std::string_view line) {
    if (line == ".\r\n") {
        m_State = EState::kComplete;
        return;
    }
    // A line the server starts with a dot got one more in front of it.
    m_Body.append(line.starts_with('.') ? line.substr(1) : line);
    CheckBound();
}

void CPop3ReplyReader::CheckBound() {
    // A partial line counts with what it will add to the body: without its stuffing dot, and
    // nothing while it may still become the end marker. So the bound does not depend on where
    // the bytes were split.
    std::size_t partial = m_Partial.size();
    if (m_Partial == "." || m_Partial == ".\r") {
        partial = 0;
    } else if (m_Partial.starts_with('.')) {
        --partial;
    }
    if (m_Body.size() + partial > m_MaxBody) {
        m_State = EState::kTooLong;
    }
}

bool IsOkReply(std::string_view reply) { return reply.substr(0, 3) == "+OK"; }

bool IsErrReply(std::string_view reply) { return reply.substr(0, 4) == "-ERR"; }

std::string_view ReplyText(std::string_view status) {
    std::size_t start = IsOkReply(status) ? 3 : IsErrReply(status) ? 4 : 0;
    if (start > 0 && start < status.size() && status[start] == ' ') {
        ++start;
    }
    status.remove_prefix(std::min(start, status.size()));
    while (!status.empty() && (status.back() == '\n' || status.back() == '\r')) {
        status.remove_suffix(1);
    }
    return status;
}

std::optional<Pop3Stats> ParseStatReply(std::string_view status) {
    Pop3Stats stats;
    if (!ParseTwoNumbers(status, stats.m_Count, stats.m_Size)) {
        return std::nullopt;
    }
    return stats;
}

std::optional<Pop3Listing> ParseListReply(std::string_view status) {
    Pop3Listing listing;
    if (!ParseTwoNumbers(status, listing.m_Number, listing.m_Size)) {
        return std::nullopt;
    }
    return listing;
}

bool CapaLists(std::string_view capabilities, std::string_view name) {
    while (!capabilities.empty()) {
        const std::size_t end = capabilities.find('\n');
        std::string_view line = capabilities.substr(0, end);
        capabilities = end == std::string_view::npos ? std::string_view() : capabilities.substr(end + 1);
        line = line.substr(0, line.find_first_of(" \t\r"));
        if (EqualsIgnoringAsciiCase(line, name)) {
            return true;
        }
    }
    return false;
}

bool IsValidUniqueId(std::string_view id) {
    return !id.empty() && id.size() <= kMaxUniqueId &&
           std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x21 && c <= 0x7e; });
}

std::vector<std::string> ParseUidlListing(std::string_view body, long long count) {
    const std::size_t messages = static_cast<std::size_t>(std::max(count, 0LL));
    std::vector<std::string> ids(messages);
    std::vector<bool> doubtful(messages, false);  // named twice, with different ids
    ForEachListingLine(body, count, [&](std::size_t index, std::string_view rest) {
        if (!IsValidUniqueId(rest)) {
            return;
        }
        if (ids[index].empty() && !doubtful[index]) {
            ids[index] = std::string(rest);
        } else if (ids[index] != rest) {
            doubtful[index] = true;
            ids[index].clear();
        }
    });
    std::unordered_map<std::string, int> holders;
    for (const std::string& id : ids) {
        if (!id.empty()) {
            ++holders[id];
        }
    }
    for (std::string& id : ids) {
        if (!id.empty() && holders[id] > 1) {
            id.clear();
        }
    }
    return ids;
}

std::vector<long long> ParseListListing(std::string_view body, long long count) {
    std::vector<long long> sizes(static_cast<std::size_t>(std::max(count, 0LL)), -1);
    std::vector<bool> doubtful(sizes.size(), false);
    ForEachListingLine(body, count, [&](std::size_t index, std::string_view rest) {
        long long size = 0;
        if (!TakeNumber(rest, size) || !(rest.empty() || rest.front() == ' ') || doubtful[index]) {
            return;
        }
        if (sizes[index] < 0) {
            sizes[index] = size;
        } else if (sizes[index] != size) {
            doubtful[index] = true;
            sizes[index] = -1;
        }
    });
    return sizes;
}

}  // namespace sieveclaw

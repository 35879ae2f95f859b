#include "filter/SpamDecision.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "filter/WordMatcher.h"

namespace sieveclaw {

namespace {

constexpr std::size_t kNoEntry = static_cast<std::size_t>(-1);

bool Contains(std::string_view text, std::string_view what) {
    return text.find(what) != std::string_view::npos;
}

bool IsFromFriend(const std::string& from, const GuardedList<std::string>& friends) {
    for (const std::string_view domain : kVendorDomains) {
        if (Contains(from, std::string("@").append(domain))) {
            return true;
        }
    }
    // A domain entry is compared with the start of the host: it also covers longer host names.
    const std::size_t at = from.find('@');
    const std::string_view host = at == std::string::npos ? std::string_view() : std::string_view(from).substr(at + 1);
    return friends.FindIf([&](const std::string& entry) {
        if (Contains(entry, "@")) {
            return Contains(from, entry);
        }
        return at != std::string::npos && host.starts_with(entry);
    }) != kNoPos;
}

// Only the one occurrence given is judged; letters on either side make it part of a longer word.
bool IsWholeWord(std::string_view text, std::size_t start, std::size_t length) {
    if (start > 0 && !IsWordBoundaryChar(text[start - 1])) {
        return false;
    }
    const std::size_t end = start + length;
    return end >= text.size() || IsWordBoundaryChar(text[end]);
}

// The posts a walk over the lists makes: after each of the first `examined` of `total` entries,
// the whole percentage done whenever it grew. Only the entries where it grows are visited.
void PostWalkProgress(CStatusSink* progress, std::uint64_t total, std::uint64_t examined) {
    if (progress == nullptr || total == 0) {
        return;
    }
    std::uint64_t posted = 0;
    for (;;) {
        // The first entry after which the percentage reaches posted + 1.
        const std::uint64_t entry = ((posted + 1) * total + 99) / 100;
        if (entry > examined) {
            break;
        }
        posted = entry * 100 / total;
        progress->PostStatus(kStatusProgress, static_cast<std::int64_t>(posted));
    }
}

// The From and Body lists. Each list's first occurrences in the text come from one scan; the
// earliest entry in list order that counts decides, exactly as a walk over the list would.
bool MatchesLists(const CEmailMsg& message, std::string& reason, const CFilterLists& lists, CStatusSink* progress) {
    const std::shared_ptr<const CListMatcher> fromList = lists.m_FromMatcher.Get();
    const std::shared_ptr<const CListMatcher> bodyList = lists.m_BodyMatcher.Get();
    const std::uint64_t total = fromList->m_Entries.size() + bodyList->m_Entries.size();
    std::vector<WordMatch> matches;

    fromList->m_Matcher.FindFirst(message.m_From, matches);
    std::size_t hit = kNoEntry;
    for (const WordMatch& match : matches) {
        hit = std::min(hit, match.m_Index);
    }
    if (hit != kNoEntry) {
        reason = "From contains '" + fromList->m_Entries[hit] + "'";
        PostWalkProgress(progress, total, hit + 1);
        return true;
    }

    const std::vector<std::string>& entries = bodyList->m_Entries;
    matches.clear();
    bodyList->m_Matcher.FindFirst(message.m_Body, matches);
    bool inSubject = false;
    for (const WordMatch& match : matches) {
        if (match.m_Index < hit && IsWholeWord(message.m_Body, match.m_Start, entries[match.m_Index].size())) {
            hit = match.m_Index;
        }
    }
    matches.clear();
    bodyList->m_Matcher.FindFirst(message.m_Subject, matches);
    for (const WordMatch& match : matches) {
        // The subject wins over the body for the same entry.
        if (match.m_Index <= hit && IsWholeWord(message.m_Subject, match.m_Start, entries[match.m_Index].size())) {
            hit = match.m_Index;
            inSubject = true;
        }
    }
    if (hit == kNoEntry) {
        PostWalkProgress(progress, total, total);
        return false;
    }
    reason = (inSubject ? "The subject contains '" : "The email contains '") + entries[hit] + "'";
    PostWalkProgress(progress, total, fromList->m_Entries.size() + hit + 1);
    return true;
}

bool HasForbiddenAttachment(const CEmailMsg& message, std::string& reason, const CFilterLists& lists) {
    const std::vector<std::string> extensions = lists.m_Exts.Snapshot();
    for (const EmailAttachment& attachment : message.m_Attachments) {
        for (const std::string& extension : extensions) {
            if (Contains(attachment.m_Disposition, extension) || Contains(attachment.m_Description, extension) ||
                Contains(attachment.m_ContentType, extension)) {
                reason = "This email contains a file attachment of type '" + extension + "'.";
                return true;
            }
        }
    }
    return false;
}

}  // namespace

bool IsSpam(const CEmailMsg& message, std::string& reason, const CFilterLists& lists, bool autoDelFileExts,
            CStatusSink* progress) {
    const bool salvaged = lists.m_Salvaged.FindIf([&message](const MessageEntry& entry) {
        return entry.m_To == message.m_To && entry.m_From == message.m_From && entry.m_Subject == message.m_Subject;
    }) != kNoPos;
    if (salvaged) {
        return false;
    }

    const bool fromFriend = IsFromFriend(message.m_From, lists.m_Friends);
    bool spam = false;
    if (message.m_To.empty() && message.m_From.empty() && message.m_Subject.empty() && message.m_Date.empty()) {
        reason = "This message has a blank To, From, Subject and Date.";
        spam = true;
    } else {
        if (!fromFriend) {
            spam = MatchesLists(message, reason, lists, progress);
        }
        // Friendship does not protect against a dangerous attachment.
        if (!spam && autoDelFileExts && !message.m_Attachments.empty()) {
            spam = HasForbiddenAttachment(message, reason, lists);
        }
    }
    if (progress != nullptr) {
        progress->PostStatus(kStatusProgress, 0);
    }
    return spam;
}

}  // namespace sieveclaw

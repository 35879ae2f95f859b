#include "filter/SpamDecision.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "filter/WordMatcher.h"
#include "mail/BodyText.h"
#include "mail/EncodedWords.h"

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

// The texts one list is looked for in: the one as it arrived, then the decoded ones. A decoded
// text that is empty shows nothing new and is left out, and so is one that an earlier text holds
// as it is, when it may (a short header text, or a part that arrived without any encoding): plain
// mail is scanned once. Longer decoded texts are not searched for, which would cost as much as
// scanning them.
class CTexts {
public:
    explicit CTexts(std::string_view arrived) : m_Texts{arrived} {}
    void AddDecoded(std::string_view text, bool mayRepeat) {
        const auto holds = [text](std::string_view listed) { return FindText(listed, text, true) != std::string_view::npos; };
        if (!text.empty() && !(mayRepeat && std::any_of(m_Texts.begin(), m_Texts.end(), holds))) {
            m_Texts.push_back(text);
        }
    }
    const std::vector<std::string_view>& All() const { return m_Texts; }

private:
    std::vector<std::string_view> m_Texts;
};

// The From and Body lists. Each list's first occurrences in each text come from one scan; the
// earliest entry in list order that counts in any text decides, exactly as a walk over the list
// would that tried every text for each entry.
bool MatchesLists(const CEmailMsg& message, const CDecodedMessage& decoded, std::string& reason,
                  const CFilterLists& lists, CStatusSink* progress) {
    const std::shared_ptr<const CListMatcher> fromList = lists.m_FromMatcher.Get();
    const std::shared_ptr<const CListMatcher> bodyList = lists.m_BodyMatcher.Get();
    const std::uint64_t total = fromList->m_Entries.size() + bodyList->m_Entries.size();
    std::vector<WordMatch> matches;

    CTexts from(message.m_From);
    from.AddDecoded(decoded.m_From, true);
    std::size_t hit = kNoEntry;
    for (const std::string_view text : from.All()) {
        matches.clear();
        fromList->m_Matcher.FindFirst(text, matches);
        for (const WordMatch& match : matches) {
            hit = std::min(hit, match.m_Index);
        }
    }
    if (hit != kNoEntry) {
        reason = "From contains '" + fromList->m_Entries[hit] + "'";
        PostWalkProgress(progress, total, hit + 1);
        return true;
    }

    const std::vector<std::string>& entries = bodyList->m_Entries;
    // Lowers hit to the earliest entry whose first occurrence in text is a whole word; with
    // orEqual, also takes an entry equal to hit. True when it took one.
    const auto lowest = [&](std::string_view text, bool orEqual) {
        bool took = false;
        matches.clear();
        bodyList->m_Matcher.FindFirst(text, matches);
        for (const WordMatch& match : matches) {
            if ((match.m_Index < hit || (orEqual && match.m_Index == hit)) &&
                IsWholeWord(text, match.m_Start, entries[match.m_Index].size())) {
                hit = match.m_Index;
                took = true;
            }
        }
        return took;
    };
    CTexts body(message.m_Body);
    for (const CDecodedText& text : decoded.m_Texts) {
        body.AddDecoded(text.m_Text, text.m_AsArrived);
    }
    for (const std::string_view text : body.All()) {
        lowest(text, false);
    }
    CTexts subject(message.m_Subject);
    subject.AddDecoded(decoded.m_Subject, true);
    bool inSubject = false;
    for (const std::string_view text : subject.All()) {
        // The subject wins over the body for the same entry.
        inSubject = lowest(text, true) || inSubject;
    }
    if (hit == kNoEntry) {
        PostWalkProgress(progress, total, total);
        return false;
    }
    reason = (inSubject ? "The subject contains '" : "The email contains '") + entries[hit] + "'";
    PostWalkProgress(progress, total, fromList->m_Entries.size() + hit + 1);
    return true;
}

bool HasForbiddenAttachment(const CEmailMsg& message, const CDecodedMessage& decoded, std::string& reason,
                            const CFilterLists& lists) {
    const std::vector<std::string> extensions = lists.m_Exts.Snapshot();
    const auto found = [&reason](const std::string& extension) {
        reason = "This email contains a file attachment of type '" + extension + "'.";
        return true;
    };
    for (const EmailAttachment& attachment : message.m_Attachments) {
        for (const std::string& extension : extensions) {
            if (Contains(attachment.m_Disposition, extension) || Contains(attachment.m_Description, extension) ||
                Contains(attachment.m_ContentType, extension)) {
                return found(extension);
            }
        }
    }
    for (const std::string& name : decoded.m_FileNames) {
        for (const std::string& extension : extensions) {
            if (Contains(name, extension)) {
                return found(extension);
            }
        }
    }
    return false;
}

}  // namespace

bool IsSpam(const CEmailMsg& message, std::string& reason, const CFilterLists& lists, bool autoDelFileExts,
            CStatusSink* progress) {
    return IsSpam(message, DecodeForDecision(message), reason, lists, autoDelFileExts, progress);
}

bool IsSpam(const CEmailMsg& message, const CDecodedMessage& decoded, std::string& reason, const CFilterLists& lists,
            bool autoDelFileExts, CStatusSink* progress) {
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
            spam = MatchesLists(message, decoded, reason, lists, progress);
        }
        // Friendship does not protect against a dangerous attachment.
        if (!spam && autoDelFileExts && (!message.m_Attachments.empty() || !decoded.m_FileNames.empty())) {
            spam = HasForbiddenAttachment(message, decoded, reason, lists);
        }
    }
    if (progress != nullptr) {
        progress->PostStatus(kStatusProgress, 0);
    }
    return spam;
}

CDecodedMessage DecodeForDecision(const CEmailMsg& message) {
    if (message.m_RawText.empty()) {
        return {};
    }
    CDecodedMessage decoded = DecodeMessage(message.m_RawText);
    if (decoded.m_Subject.empty()) {
        decoded.m_Subject = DecodeHeaderText(message.m_Subject);
    }
    if (decoded.m_From.empty()) {
        decoded.m_From = DecodeHeaderText(message.m_From);
    }
    return decoded;
}

}  // namespace sieveclaw

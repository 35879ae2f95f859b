#pragma once

// The spam decision written the plain way: for every list entry, an upper-cased copy of each
// text and a substring search. Slow (entries x text), but easy to check by reading, so the
// tests, the fuzz target and the benchmark hold IsSpam to it.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/StatusSink.h"
#include "filter/FilterLists.h"
#include "filter/SpamDecision.h"
#include "mail/CEmailMsg.h"
#include "mail/DecodedMessage.h"

namespace sieveclaw::test {

// Keeps every post in order.
class CRecordingSink : public CStatusSink {
public:
    void PostStatus(int code, std::int64_t value) override { m_Posts.emplace_back(code, value); }
    std::vector<std::pair<int, std::int64_t>> m_Posts;
};

inline std::string ReferenceUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// The first occurrence of upperEntry in upperText, judged as a whole word.
inline bool ReferenceWholeWordHit(const std::string& upperText, const std::string& upperEntry) {
    const std::size_t at = upperText.find(upperEntry);
    if (at == std::string::npos) {
        return false;
    }
    if (at > 0 && !IsWordBoundaryChar(upperText[at - 1])) {
        return false;
    }
    const std::size_t after = at + upperEntry.size();
    return after >= upperText.size() || IsWordBoundaryChar(upperText[after]);
}

// The texts a list is looked for in: the one as it arrived, and each decoded one that is not
// empty and, where it may repeat, not already held by an earlier text.
inline void AddReferenceText(std::vector<std::string>& texts, const std::string& text, bool mayRepeat) {
    bool held = false;
    for (const std::string& listed : texts) {
        held = held || (mayRepeat && listed.find(text) != std::string::npos);
    }
    if (!text.empty() && !held) {
        texts.push_back(text);
    }
}

inline bool ReferenceIsSpam(const CEmailMsg& message, const CDecodedMessage& decoded, std::string& reason,
                            const CFilterLists& lists, bool autoDelFileExts, CStatusSink* progress) {
    for (const MessageEntry& entry : lists.m_Salvaged.Snapshot()) {
        if (entry.m_To == message.m_To && entry.m_From == message.m_From && entry.m_Subject == message.m_Subject) {
            return false;
        }
    }

    const std::string& from = message.m_From;
    bool fromFriend = false;
    for (const std::string_view domain : kVendorDomains) {
        fromFriend = fromFriend || from.find("@" + std::string(domain)) != std::string::npos;
    }
    for (const std::string& entry : lists.m_Friends.Snapshot()) {
        if (fromFriend) {
            break;
        }
        if (entry.find('@') != std::string::npos) {
            fromFriend = from.find(entry) != std::string::npos;
        } else {
            const std::size_t at = from.find('@');
            fromFriend = at != std::string::npos && from.size() - (at + 1) >= entry.size() &&
                         from.compare(at + 1, entry.size(), entry) == 0;
        }
    }
    std::vector<std::string> froms{from};
    AddReferenceText(froms, decoded.m_From, true);
    std::vector<std::string> bodies{message.m_Body};
    for (const CDecodedText& text : decoded.m_Texts) {
        AddReferenceText(bodies, text.m_Text, text.m_AsArrived);
    }
    std::vector<std::string> subjects{message.m_Subject};
    AddReferenceText(subjects, decoded.m_Subject, true);

    const auto finish = [progress](bool spam) {
        if (progress != nullptr) {
            progress->PostStatus(kStatusProgress, 0);
        }
        return spam;
    };
    if (message.m_To.empty() && message.m_From.empty() && message.m_Subject.empty() && message.m_Date.empty()) {
        reason = "This message has a blank To, From, Subject and Date.";
        return finish(true);
    }

    bool spam = false;
    if (!fromFriend) {
        const std::vector<std::string> fromList = lists.m_FromList.Entries();
        const std::vector<std::string> bodyList = lists.m_BodyList.Entries();
        const std::uint64_t total = fromList.size() + bodyList.size();
        std::uint64_t done = 0;
        std::int64_t posted = 0;
        const auto count = [&] {
            ++done;
            const auto percent = static_cast<std::int64_t>(done * 100 / total);
            if (progress != nullptr && percent > posted) {
                progress->PostStatus(kStatusProgress, percent);
                posted = percent;
            }
        };
        for (const std::string& entry : fromList) {
            for (const std::string& text : froms) {
                spam = spam || ReferenceUpper(text).find(ReferenceUpper(entry)) != std::string::npos;
            }
            if (spam) {
                reason = "From contains '" + entry + "'";
            }
            count();
            if (spam) {
                break;
            }
        }
        for (const std::string& entry : bodyList) {
            if (spam) {
                break;
            }
            const std::string upperEntry = ReferenceUpper(entry);
            for (const std::string& text : bodies) {
                if (ReferenceWholeWordHit(ReferenceUpper(text), upperEntry)) {
                    reason = "The email contains '" + entry + "'";
                    spam = true;
                }
            }
            for (const std::string& text : subjects) {
                if (ReferenceWholeWordHit(ReferenceUpper(text), upperEntry)) {
                    reason = "The subject contains '" + entry + "'";
                    spam = true;
                }
            }
            count();
        }
    }

    if (!spam && autoDelFileExts) {
        const std::vector<std::string> extensions = lists.m_Exts.Snapshot();
        for (const EmailAttachment& attachment : message.m_Attachments) {
            for (const std::string& extension : extensions) {
                if (attachment.m_Disposition.find(extension) != std::string::npos ||
                    attachment.m_Description.find(extension) != std::string::npos ||
                    attachment.m_ContentType.find(extension) != std::string::npos) {
                    reason = "This email contains a file attachment of type '" + extension + "'.";
                    return finish(true);
                }
            }
        }
        for (const std::string& name : decoded.m_FileNames) {
            for (const std::string& extension : extensions) {
                if (name.find(extension) != std::string::npos) {
                    reason = "This email contains a file attachment of type '" + extension + "'.";
                    return finish(true);
                }
            }
        }
    }
    return finish(spam);
}

// The decision as it was before messages were decoded: the texts as they arrived only.
inline bool ReferenceIsSpam(const CEmailMsg& message, std::string& reason, const CFilterLists& lists,
                            bool autoDelFileExts, CStatusSink* progress) {
    return ReferenceIsSpam(message, CDecodedMessage{}, reason, lists, autoDelFileExts, progress);
}

}  // namespace sieveclaw::test

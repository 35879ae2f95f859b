// The spam decision over lists and a message made from arbitrary bytes: no crash, no read outside
// a text, and the same verdict, reason and progress posts as the plain per-entry method.
//
// With bit 2 of the switches the message text is also the raw text, which the decision decodes:
// then the plain method runs over the decoded texts too, and whatever the texts as they arrived
// make spam must stay spam.
//
// Input: the first byte holds switches (bit 0: the attachment test, bit 1: a progress sink, bit 2:
// decode); the rest is lines. A line's first byte says what the rest is: 'f' a From-list entry, 'b' a Body-list
// entry, 'r' a friend, 'x' an extension, 'a' an attachment's Content-Type, 'F' From, 'T' To,
// 'S' Subject, 'D' Date, 'v' the message so far onto the salvaged list; any other line belongs
// to the message text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "filter/SpamDecision.h"
#include "fuzz/FuzzRequire.h"
#include "tests/filter/ReferenceDecision.h"

namespace {

using sieveclaw::CEmailMsg;
using sieveclaw::CFilterLists;
using sieveclaw::test::CRecordingSink;

// Keeps the plain method cheap enough to run on every input.
constexpr std::size_t kMaxEntries = 200;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool autoDelFileExts = (data[0] & 1) != 0;
    const bool withSink = (data[0] & 2) != 0;
    const bool decode = (data[0] & 4) != 0;
    std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

    CFilterLists lists;
    CEmailMsg message;
    std::size_t entries = 0;
    while (!input.empty()) {
        const std::size_t end = input.find('\n');
        const std::string_view line = input.substr(0, end);
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
        const std::string rest(line.empty() ? std::string_view() : line.substr(1));
        const char kind = line.empty() ? '\0' : line[0];
        if (std::string_view("fbrxv").find(kind) != std::string_view::npos && ++entries > kMaxEntries) {
            continue;
        }
        switch (kind) {
            case 'f':
                lists.m_FromList.Add(rest);
                break;
            case 'b':
                lists.m_BodyList.Add(rest);
                break;
            case 'r':
                lists.m_Friends.Append(rest);
                break;
            case 'x':
                lists.m_Exts.Append(rest);
                break;
            case 'a': {
                sieveclaw::EmailAttachment attachment;
                attachment.m_ContentType = rest;
                message.m_Attachments.push_back(attachment);
                break;
            }
            case 'F':
                message.m_From = rest;
                break;
            case 'T':
                message.m_To = rest;
                break;
            case 'S':
                message.m_Subject = rest;
                break;
            case 'D':
                message.m_Date = rest;
                break;
            case 'v':
                lists.m_Salvaged.Append(message.Summary());
                break;
            default:
                message.m_Body.append(line).append("\n");
                break;
        }
    }

    if (decode) {
        message.m_RawText = message.m_Body;
    }
    std::string reason = "kept";
    CRecordingSink sink;
    const bool spam = sieveclaw::IsSpam(message, reason, lists, autoDelFileExts, withSink ? &sink : nullptr);
    std::string plainReason = "kept";
    CRecordingSink plainSink;
    const bool plainSpam = sieveclaw::test::ReferenceIsSpam(message, sieveclaw::DecodeForDecision(message),
                                                            plainReason, lists, autoDelFileExts,
                                                            withSink ? &plainSink : nullptr);
    Require(spam == plainSpam);
    Require(reason == plainReason);
    Require(sink.m_Posts == plainSink.m_Posts);
    Require(spam || reason == "kept");
    std::string arrivedReason;
    Require(spam || !sieveclaw::test::ReferenceIsSpam(message, arrivedReason, lists, autoDelFileExts, nullptr));

    // Again with the automata the first call left in the cache.
    std::string again = "kept";
    Require(sieveclaw::IsSpam(message, again, lists, autoDelFileExts, nullptr) == spam && again == reason);
    return 0;
}

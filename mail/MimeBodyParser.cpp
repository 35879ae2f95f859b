// CEmailMsg::Process and GetContentStr: a position-based reading of multipart/mixed messages.
// Parts are found by searching for the boundary text, their header fields within the next few
// lines, and their data by counting lines.
//
// Mail is hostile, so every search that is repeated per part goes through a COccurrences cursor:
// each byte of the message is searched at most once per pattern, however the parts, line breaks
// and field names are laid out (thousands of parts, no line breaks, a name that never occurs).

#include <algorithm>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/ActivityLog.h"
#include "mail/BodyText.h"
#include "mail/CEmailMsg.h"

namespace sieveclaw {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// A field value is copied through a buffer of this many characters plus a terminator.
constexpr std::size_t kMaxFieldValue = 255;
// A part's header fields are looked for within this many line breaks of the part's boundary.
constexpr int kFieldWindowLines = 5;
// Bounds the attachment list of one message: a one-character boundary would otherwise make a
// record of every few bytes. Far above any real message.
constexpr std::size_t kMaxAttachments = 10000;

// The occurrences of one pattern in a text, each found once. Next(from) answers from the
// occurrences already found when it can, so a caller whose questions stay at or after a floor it
// raises with Forget() searches every byte once, even when its questions go back and forth
// between the floor and the farthest occurrence found.
class COccurrences {
public:
    COccurrences(std::string_view text, std::string_view pattern, bool caseSensitive)
        : m_Text(text), m_Pattern(pattern), m_CaseSensitive(caseSensitive) {}

    // The first occurrence at or after from, or kNone. Any from is answered correctly; one below
    // the floor or past the part already searched starts the memory afresh.
    std::size_t Next(std::size_t from) {
        if (from < m_Floor || from > m_Searched) {
            m_Found.clear();
            m_Floor = from;
            m_Searched = from;
        }
        const auto known = std::lower_bound(m_Found.begin(), m_Found.end(), from);
        if (known != m_Found.end()) {
            return *known;
        }
        if (m_Searched > m_Text.size()) {
            return kNone;
        }
        const std::size_t found = FindText(m_Text, m_Pattern, m_CaseSensitive, m_Searched);
        if (found == kNone) {
            m_Searched = m_Text.size() + 1;
            return kNone;
        }
        m_Found.push_back(found);
        m_Searched = found + 1;
        return found;
    }

    // No later question will be about occurrences before position.
    void Forget(std::size_t position) {
        if (position <= m_Floor) {
            return;
        }
        m_Floor = position;
        while (!m_Found.empty() && m_Found.front() < position) {
            m_Found.pop_front();
        }
        m_Searched = std::max(m_Searched, position);
    }

    std::string_view Pattern() const { return m_Pattern; }

private:
    std::string_view m_Text;
    std::string_view m_Pattern;
    bool m_CaseSensitive;
    std::deque<std::size_t> m_Found;  // every occurrence starting in [m_Floor, m_Searched), ascending
    std::size_t m_Floor = 0;
    std::size_t m_Searched = 0;
};

// The line-break searches of one pass over a message, shared by its field look-ups.
class CMessageScan {
public:
    explicit CMessageScan(std::string_view text) : m_Text(text), m_CrLf(text, "\r\n", true), m_Cr(text, "\r", true) {}

    std::string_view Text() const { return m_Text; }

    void Forget(std::size_t position) {
        m_CrLf.Forget(position);
        m_Cr.Forget(position);
    }

    // GetContentStr with the name's occurrences supplied by the caller.
    std::string FieldValue(std::size_t start, COccurrences& name, bool scanWholeMsg) {
        WriteActivityLog("CEmailMsg::GetContentStr - ScanWholeMsg");
        std::size_t windowEnd = m_Text.size();
        if (!scanWholeMsg) {
            // Each search begins one past the previous line break, so a CR LF right after
            // another is skipped and the window can reach further than five lines.
            windowEnd = start;
            WriteActivityLog("CEmailMsg::GetContentStr - entering while");
            std::size_t from = start + 1;
            for (int lines = 0; lines < kFieldWindowLines; ++lines) {
                WriteActivityLog("CEmailMsg::GetContentStr - calling memsearch");
                const std::size_t lineBreak = m_CrLf.Next(from);
                if (lineBreak == kNone) {
                    break;
                }
                WriteActivityLog("CEmailMsg::GetContentStr - found LastLineBreak");
                windowEnd = lineBreak + 2;
                from = windowEnd + 1;
            }
            WriteActivityLog("CEmailMsg::GetContentStr - done with while");
        }

        // The name is searched past the window; a hit there counts as none.
        const std::size_t found = start <= m_Text.size() ? name.Next(start) : kNone;
        WriteActivityLog("CEmailMsg::GetContentStr - if Start is past last line break");
        if (found != kNone && found > windowEnd) {
            return {};
        }
        WriteActivityLog("CEmailMsg::GetContentStr - if Start is NULL");
        if (found == kNone) {
            return {};
        }

        WriteActivityLog("CEmailMsg::GetContentStr - copying buffer");
        const std::size_t valueStart = found + name.Pattern().size();
        const std::size_t end = m_Cr.Next(valueStart);
        if (end != kNone) {
            WriteActivityLog("CEmailMsg::GetContentStr - End found");
        } else {
            WriteActivityLog("CEmailMsg::GetContentStr - End is NULL");
        }
        // Without a CR the value runs to the end of the text, never past it.
        const std::size_t length = (end == kNone ? m_Text.size() : end) - valueStart;
        WriteActivityLogF("CEmailMsg::GetContentStr - End-Start=%zu", length);
        std::string value(m_Text.substr(valueStart, std::min(length, kMaxFieldValue)));
        WriteActivityLog2("CEmailMsg::GetContentStr - leaving  Buf=", value);
        return value;
    }

    std::string FieldValue(std::size_t start, std::string_view name, bool scanWholeMsg, bool caseSensitive) {
        COccurrences names(m_Text, name, caseSensitive);
        return FieldValue(start, names, scanWholeMsg);
    }

private:
    std::string_view m_Text;
    COccurrences m_CrLf;
    COccurrences m_Cr;
};

// The body of a message read as one part: from the second line feed after the first
// "Content-Type:" (or after the start of the text), as ParseBody gives it. Empty when fewer than
// two line feeds follow.
void TakeSinglePartBody(std::string& text) {
    std::size_t from = FindText(text, "Content-Type:", true);
    if (from == kNone) {
        from = 0;
    }
    const std::size_t firstLf = text.find('\n', from);
    const std::size_t secondLf = firstLf == kNone ? kNone : text.find('\n', firstLf + 1);
    const std::size_t bodyStart = secondLf == kNone ? text.size() : secondLf + 1;
    if (std::optional<std::string> html = ExtractHtmlBody(std::string_view(text).substr(bodyStart))) {
        text = std::move(*html);
    } else {
        text.erase(0, bodyStart);
    }
}

// The blank lines of a text: a line feed followed by an empty line, ended by CR LF or by a bare LF.
struct CBlankLines {
    explicit CBlankLines(std::string_view text) : m_CrLf(text, "\n\r\n", true), m_Lf(text, "\n\n", true) {}

    // The line feed of the first empty line that starts after the line feed at or after from,
    // or kNone.
    std::size_t NextLineFeed(std::size_t from) {
        const std::size_t crLf = m_CrLf.Next(from);
        const std::size_t lf = m_Lf.Next(from);
        if (crLf != kNone && (lf == kNone || crLf < lf)) {
            return crLf + 2;
        }
        return lf == kNone ? kNone : lf + 1;
    }

    void Forget(std::size_t position) {
        m_CrLf.Forget(position);
        m_Lf.Forget(position);
    }

private:
    COccurrences m_CrLf;
    COccurrences m_Lf;
};

// Where the data of the part whose delimiter is at part starts: just after the blank line that
// ends the part's header, however many fields (folded or not) the header holds. kNone when the
// delimiter line or the blank line never ends; end (no data) when the header runs up to the next
// delimiter at end.
std::size_t PartDataStart(COccurrences& lineFeeds, CBlankLines& blankLines, std::size_t part, std::size_t end) {
    const std::size_t delimiterEnd = lineFeeds.Next(part);
    const std::size_t blank = delimiterEnd == kNone ? kNone : blankLines.NextLineFeed(delimiterEnd);
    if (blank == kNone) {
        return kNone;
    }
    return end != kNone && blank >= end ? end : blank + 1;
}

}  // namespace

std::string CEmailMsg::GetContentStr(std::size_t start, std::string_view name, bool scanWholeMsg,
                                     bool caseSensitive) const {
    CMessageScan scan(m_Body);
    return scan.FieldValue(start, name, scanWholeMsg, caseSensitive);
}

void CEmailMsg::Process() {
    WriteActivityLog("CEmailMsg::Process - Entered");
    if (m_Body.empty()) {
        WriteActivityLog("CEmailMsg::Process - m_Body is NULL.  Leaving Process()");
        return;
    }
    WriteActivityLog("CEmailMsg::Process - getting content type");
    CMessageScan scan(m_Body);
    const std::string_view text = scan.Text();
    const std::string contentType = scan.FieldValue(0, "Content-Type:", true, true);
    WriteActivityLog2("CEmailMsg::Process - Content-Type:", contentType);

    if (!contentType.starts_with(" multipart/mixed")) {
        WriteActivityLog("CEmailMsg::Process - != multipart/mixed");
        TakeSinglePartBody(m_Body);
        WriteActivityLog("CEmailMsg::Process - done with != multipart/mixed");
        return;
    }
    WriteActivityLog("CEmailMsg::Process - is = multipart/mixed");

    // The boundary parameter without its first and last characters: the quotation marks of a
    // quoted boundary; what remains of an unquoted one still occurs in every delimiter line.
    std::string boundary;
    const std::size_t mixed = FindText(text, " multipart/mixed", true);
    const std::size_t parameter = mixed == kNone ? kNone : FindText(text, "boundary=", false, mixed);
    if (parameter != kNone) {
        const std::string value = scan.FieldValue(parameter, "boundary=", true, false);
        if (value.size() > 2) {
            boundary = value.substr(1, value.size() - 2);
        }
    }
    WriteActivityLog2("CEmailMsg::Process - BoundaryId = ", boundary);
    WriteActivityLog2("CEmailMsg::Process - COMPLETE MESSAGE :", text);
    if (boundary.empty()) {
        // An empty boundary would occur everywhere: read the message as one part instead.
        WriteActivityLog("CEmailMsg::Process - no boundary.  reading the message as a single part");
        TakeSinglePartBody(m_Body);
        WriteActivityLog("CEmailMsg::Process - end of - is = multipart/mixed");
        return;
    }

    // Occurrence 1 is normally the parameter itself, 2 the delimiter before the text part, 3 the
    // delimiter before the first attachment.
    COccurrences delimiters(text, boundary, true);
    const std::size_t first = delimiters.Next(0);
    const std::size_t second = first == kNone ? kNone : delimiters.Next(first + 1);
    std::size_t bodyStart = kNone;
    std::size_t bodyEnd = kNone;
    std::size_t part = first;
    if (second != kNone) {
        const std::size_t third = delimiters.Next(second + 1);
        if (third == kNone) {
            WriteActivityLog("CEmailMsg::Process - could not find any attachments.  leaving Process()");
            return;
        }
        WriteActivityLog("CEmailMsg::Process - finding the start and end of the body");
        bodyEnd = text.rfind('\r', third);
        // The text part's body begins with the LF of the blank line that ends the part's header,
        // however many lines that header has.
        const std::size_t delimiterEnd = text.find('\n', second);
        CBlankLines blankLines(text);
        const std::size_t blank = delimiterEnd == kNone ? kNone : blankLines.NextLineFeed(delimiterEnd);
        bodyStart = blank != kNone && blank < third ? blank : kNone;
        part = third;
    }
    WriteActivityLog("CEmailMsg::Process - found the start and end of the body");

    COccurrences lineFeeds(text, "\n", true);
    CBlankLines blankLines(text);
    COccurrences contentTypes(text, "Content-Type:", true);
    COccurrences descriptions(text, "Content-Description:", true);
    COccurrences dispositions(text, "Content-Disposition:", true);
    COccurrences encodings(text, "Content-Transfer-Encoding:", true);
    std::size_t added = 0;
    while (part != kNone) {
        if (added == kMaxAttachments) {
            WriteActivityLog("CEmailMsg::Process - too many attachments.  ignoring the rest");
            break;
        }
        WriteActivityLog("CEmailMsg::Process - extracting attachment data");
        // Every search below starts at or after this part's boundary.
        for (COccurrences* occurrences :
             {&delimiters, &lineFeeds, &contentTypes, &descriptions, &dispositions, &encodings}) {
            occurrences->Forget(part);
        }
        scan.Forget(part);
        blankLines.Forget(part);

        EmailAttachment attachment;
        attachment.m_ContentType = scan.FieldValue(part, contentTypes, false);
        WriteActivityLog2("CEmailMsg::Process - Attachment Content Type:", attachment.m_ContentType);
        attachment.m_Description = scan.FieldValue(part, descriptions, false);
        WriteActivityLog2("CEmailMsg::Process - Attachment Content Desc:", attachment.m_Description);
        attachment.m_Disposition = scan.FieldValue(part, dispositions, false);
        WriteActivityLog2("CEmailMsg::Process - Attachment Content Disposition:", attachment.m_Disposition);
        attachment.m_TransferEncoding = scan.FieldValue(part, encodings, false);
        WriteActivityLog2("CEmailMsg::Process - Attachment Content Transfer:", attachment.m_TransferEncoding);
        attachment.m_Boundary = boundary;

        WriteActivityLog("CEmailMsg::Process - skipping past 6 lines to the start of the data");
        // After the blank line that ends the part's header, not after a fixed count of lines: a
        // header of three lines would otherwise lose the first line of the data to the count, and
        // one of five would keep the blank line.
        const std::size_t dataStart = PartDataStart(lineFeeds, blankLines, part, delimiters.Next(part + 1));
        if (dataStart == kNone) {
            WriteActivityLog("CEmailMsg::Process - No body was detected.  leaving");
            return;
        }
        WriteActivityLog("CEmailMsg::Process - now looking for the end of the data");
        EmailAttachment& record = m_Attachments.emplace_back(std::move(attachment));
        ++added;

        const std::size_t next = delimiters.Next(dataStart);
        if (next == kNone) {
            break;  // the record stays, without data
        }
        WriteActivityLog("CEmailMsg::Process - end boundary found");
        WriteActivityLog("CEmailMsg::Process - calculating the location of the attachment data");
        // Up to the character before the boundary text: for "--boundary" the data keeps the line
        // break and the first '-'. A boundary right at the data start leaves no data.
        const std::size_t dataEnd = std::max(next - 1, dataStart);
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
        record.m_Data.assign(bytes + dataStart, bytes + dataEnd);
        WriteActivityLog("CEmailMsg::Process - look for another attachment");
        if (delimiters.Next(next + 1) == kNone) {
            WriteActivityLog("CEmailMsg::Process - no more attachments");
            break;
        }
        part = next;
    }

    if (std::optional<std::string> html = ExtractHtmlBody(text)) {
        m_Body = std::move(*html);
    } else {
        WriteActivityLog("CEmailMsg::Process - extracting the message body");
        if (bodyStart == kNone || bodyEnd == kNone || bodyStart >= bodyEnd) {
            m_Body.clear();
        } else {
            m_Body.erase(bodyEnd);
            m_Body.erase(0, bodyStart);
        }
    }
    WriteActivityLog("CEmailMsg::Process - end of - is = multipart/mixed");
}

}  // namespace sieveclaw

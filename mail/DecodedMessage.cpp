#include "mail/DecodedMessage.h"

#include <algorithm>
#include <cctype>

#include "core/AsciiCase.h"
#include "mail/BodyText.h"
#include "mail/Charset.h"
#include "mail/EncodedWords.h"
#include "mail/HtmlText.h"
#include "mail/MimeHeader.h"
#include "mail/TransferDecoding.h"

namespace sieveclaw {

namespace {

constexpr std::size_t kNone = std::string_view::npos;
// An HTML part that declares no charset may name it in a meta element near its start.
constexpr std::size_t kCharsetSniffBytes = 1024;
// Intermediate buffers (a decoded HTML document, before its markup goes) may be this many times
// the room left for output.
constexpr std::size_t kWorkFactor = 4;

bool IsLineSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// The parts of a multipart body: what lies between its delimiter lines ("--" boundary at the
// start of a line, blanks allowed after it), up to the closing one ("--" boundary "--") or, when
// that is missing, the end. The line break before a delimiter belongs to the delimiter.
std::vector<std::string_view> SplitParts(std::string_view body, std::string_view boundary, std::size_t maxParts,
                                         bool& cut) {
    const std::string delimiter = "--" + std::string(boundary);
    std::vector<std::string_view> parts;
    std::size_t partStart = kNone;
    for (std::size_t at = FindText(body, delimiter, true); at != kNone;
         at = FindText(body, delimiter, true, at + 1)) {
        if (at > 0 && body[at - 1] != '\n') {
            continue;
        }
        std::size_t after = at + delimiter.size();
        const bool closing = body.substr(after, 2) == "--";
        after += closing ? 2 : 0;
        while (after < body.size() && IsLineSpace(body[after])) {
            ++after;
        }
        if (after < body.size() && body[after] != '\n') {
            continue;  // a longer boundary that starts with this one, or text
        }
        if (partStart != kNone) {
            std::size_t partEnd = at;
            partEnd -= partEnd > partStart && body[partEnd - 1] == '\n' ? 1 : 0;
            partEnd -= partEnd > partStart && body[partEnd - 1] == '\r' ? 1 : 0;
            if (parts.size() == maxParts) {
                cut = true;
                return parts;
            }
            parts.push_back(body.substr(partStart, partEnd - partStart));
        }
        if (closing) {
            return parts;
        }
        partStart = std::min(after + 1, body.size());
    }
    if (partStart != kNone) {
        if (parts.size() == maxParts) {
            cut = true;
        } else {
            parts.push_back(body.substr(partStart));
        }
    }
    return parts;
}

// The charset a meta element near the start of an HTML document names, or empty.
std::string SniffHtmlCharset(std::string_view html) {
    const std::string_view start = html.substr(0, kCharsetSniffBytes);
    const std::size_t found = FindText(start, "charset=", false);
    if (found == kNone) {
        return {};
    }
    std::size_t at = found + 8;
    while (at < start.size() && (start[at] == '"' || start[at] == '\'' || start[at] == ' ')) {
        ++at;
    }
    std::size_t end = at;
    while (end < start.size() && (std::isalnum(static_cast<unsigned char>(start[end])) != 0 ||
                                  std::string_view("-_.:").find(start[end]) != kNone)) {
        ++end;
    }
    return std::string(start.substr(at, end - at));
}

class CMimeWalker {
public:
    CMimeWalker(const CDecodeLimits& limits, CDecodedMessage& out, bool forViewing)
        : m_Limits(limits), m_Out(out), m_Left(limits.m_MaxOutputBytes), m_ForViewing(forViewing) {}

    // One entity (a message or a part): its header, then its body by its content type; a part
    // without a Content-Type is of defaultType.
    void Walk(std::string_view entity, std::size_t depth, std::string_view defaultType, bool top) {
        if (m_Parts == m_Limits.m_MaxParts || depth > m_Limits.m_MaxDepth) {
            m_Out.m_Cut = true;
            return;
        }
        ++m_Parts;
        const CEntityHeader header = ReadEntityHeader(entity, m_Limits.m_MaxFieldBytes);
        if (top) {
            m_Out.m_To = HeaderText(header.m_To);
            m_Out.m_From = HeaderText(header.m_From);
            m_Out.m_Subject = HeaderText(header.m_Subject);
            m_Out.m_Date = HeaderText(header.m_Date);
        }
        const std::string_view body = entity.substr(header.m_BodyStart);
        std::string type = MediaType(header.m_ContentType);
        if (type.starts_with("multipart/")) {
            const std::string boundary = ParameterValue(header.m_ContentType, "boundary");
            if (!boundary.empty()) {
                const std::string_view partDefault = type == "multipart/digest" ? "message/rfc822" : "text/plain";
                for (const std::string_view part : SplitParts(body, boundary, m_Limits.m_MaxParts - m_Parts, m_Out.m_Cut)) {
                    Walk(part, depth + 1, partDefault, false);
                }
                return;
            }
            type = "text/plain";  // no boundary: the body can only be read as text
        }
        const bool namesFile = AddFileNames(header);
        if (type.empty() && namesFile) {
            return;  // an untyped part that names a file is a file, as mail programs read it
        }
        if (type.empty()) {
            type = defaultType;
        }
        if (type == "message/rfc822" || type == "message/global") {
            std::string storage;
            Walk(TransferDecoded(body, header.m_TransferEncoding, storage), depth + 1, "text/plain", false);
        } else if (type.starts_with("text/")) {
            AddText(type, header, body);
        } else if (m_ForViewing && !header.m_ContentId.empty()) {
            AddInlinePart(type, header, body);
        }
    }

private:
    std::string HeaderText(std::string_view value) {
        std::string text = DecodeHeaderText(value);
        Charge(text);
        return text;
    }

    // Takes text's size from the room left, cutting text at a character boundary when it is short.
    void Charge(std::string& text) {
        if (text.size() > m_Left) {
            text.resize(Utf8PrefixLength(text, m_Left));
            m_Out.m_Cut = true;
        }
        m_Left -= text.size();
    }

    std::size_t WorkRoom() const { return m_Left > kNoByteLimit / kWorkFactor ? kNoByteLimit : m_Left * kWorkFactor; }

    // The body without its transfer encoding: in storage, or a view of body for the encodings
    // that leave the bytes as they are. No longer than the work room.
    std::string_view TransferDecoded(std::string_view body, std::string_view encoding, std::string& storage) {
        const std::string name = AsciiLowered(encoding);
        const std::size_t room = WorkRoom();
        if (name == "base64" || name == "quoted-printable") {
            if (name == "base64") {
                DecodeBase64(body, storage, room);
            } else {
                DecodeQuotedPrintable(body, storage, false, room);
            }
            m_Out.m_Cut = m_Out.m_Cut || storage.size() == room;
            return storage;
        }
        if (body.size() > room) {
            m_Out.m_Cut = true;
            return body.substr(0, room);
        }
        return body;
    }

    void AddText(const std::string& type, const CEntityHeader& header, std::string_view body) {
        if (m_Left == 0) {
            m_Out.m_Cut = true;
            return;
        }
        std::string storage;
        const std::string_view bytes = TransferDecoded(body, header.m_TransferEncoding, storage);
        std::string charset = ParameterValue(header.m_ContentType, "charset");
        CDecodedText text;
        text.m_MediaType = type;
        if (type == "text/html") {
            if (charset.empty()) {
                charset = SniffHtmlCharset(bytes);
            }
            if (IsUtf8AsItIs(bytes, charset)) {
                AppendHtmlText(bytes, text.m_Text);
                if (m_ForViewing) {
                    text.m_Source = bytes;
                }
            } else {
                std::string document;
                AppendAsUtf8(bytes, charset, document);
                storage = std::string();
                AppendHtmlText(document, text.m_Text);
                if (m_ForViewing) {
                    text.m_Source = std::move(document);
                }
            }
            Charge(text.m_Source);
        } else if (!IsUtf8AsItIs(bytes, charset)) {
            AppendAsUtf8(bytes, charset, text.m_Text);
        } else if (bytes.data() == storage.data()) {
            text.m_Text = std::move(storage);
        } else {
            text.m_Text = bytes;
            text.m_AsArrived = true;
        }
        Charge(text.m_Text);
        m_Out.m_Texts.push_back(std::move(text));
    }

    void AddInlinePart(const std::string& type, const CEntityHeader& header, std::string_view body) {
        std::string_view id = header.m_ContentId;
        if (id.size() >= 2 && id.front() == '<' && id.back() == '>') {
            id = id.substr(1, id.size() - 2);
        }
        std::string storage;
        CInlinePart part{std::string(id), type, std::string(TransferDecoded(body, header.m_TransferEncoding, storage))};
        if (part.m_Data.size() > m_Left) {
            m_Out.m_Cut = true;  // half a picture is no picture
            return;
        }
        m_Left -= part.m_Data.size();
        m_Out.m_InlineParts.push_back(std::move(part));
    }

    // True when the part names a file.
    bool AddFileNames(const CEntityHeader& header) {
        std::string names[] = {FileNameParameter(header.m_Disposition, "filename"),
                               FileNameParameter(header.m_ContentType, "name")};
        const bool named = !names[0].empty() || !names[1].empty();
        for (std::string& name : names) {
            if (name.empty() || std::find(m_Out.m_FileNames.begin(), m_Out.m_FileNames.end(), name) != m_Out.m_FileNames.end()) {
                continue;
            }
            Charge(name);
            if (!name.empty()) {
                m_Out.m_FileNames.push_back(std::move(name));
            }
        }
        return named;
    }

    const CDecodeLimits& m_Limits;
    CDecodedMessage& m_Out;
    std::size_t m_Left;  // bytes of output still allowed
    std::size_t m_Parts = 0;
    bool m_ForViewing;
};

}  // namespace

CDecodedMessage DecodeMessage(std::string_view message, const CDecodeLimits& limits) {
    CDecodedMessage decoded;
    CMimeWalker walker(limits, decoded, false);
    walker.Walk(message, 0, "text/plain", true);
    return decoded;
}

CDecodedMessage DecodeMessageForViewing(std::string_view message, const CDecodeLimits& limits) {
    CDecodedMessage decoded;
    CMimeWalker walker(limits, decoded, true);
    walker.Walk(message, 0, "text/plain", true);
    return decoded;
}

MessageEntry DisplaySummary(const MessageEntry& entry) {
    return MessageEntry{DecodeHeaderText(entry.m_To), DecodeHeaderText(entry.m_From),
                        DecodeHeaderText(entry.m_Subject), DecodeHeaderText(entry.m_Date), entry.m_FilePath};
}

}  // namespace sieveclaw

#pragma once

// Messages for the benchmarks, encoded the way mail programs send them, the same bytes on every
// machine.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sieveclaw::bench {

// splitmix64: the same bytes on every machine.
class CRandom {
public:
    explicit CRandom(std::uint64_t state) : m_State(state) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_State += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t m_State;
};

// The bytes as base64 in lines of 76 characters, each ended by CR LF.
inline std::string Base64Lines(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve(bytes.size() * 4 / 3 + bytes.size() / 57 * 2 + 8);
    std::size_t column = 0;
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t count = bytes.size() - at < 3 ? bytes.size() - at : 3;
        std::uint32_t group = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            group = group << 8 | (i < count ? static_cast<unsigned char>(bytes[at + i]) : 0U);
        }
        for (std::size_t i = 0; i < 4; ++i) {
            text += i <= count ? kAlphabet[(group >> (18 - 6 * i)) & 63] : '=';
        }
        column += 4;
        if (column == 76) {
            text += "\r\n";
            column = 0;
        }
    }
    if (column != 0) {
        text += "\r\n";
    }
    return text;
}

// Quoted-printable as mail programs write it: '=' and bytes outside ASCII encoded, a blank or tab
// before a line end encoded, lines broken softly at 76 characters.
inline std::string QuotedPrintable(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    std::size_t column = 0;
    const auto put = [&](std::string_view piece) {
        if (column + piece.size() > 75) {
            encoded += "=\r\n";
            column = 0;
        }
        encoded += piece;
        column += piece.size();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool lineEnd = i + 1 == text.size() || text[i + 1] == '\n';
        if (c == '\n') {
            encoded += "\r\n";
            column = 0;
        } else if (c == '=' || c > 126 || ((c == ' ' || c == '\t') && lineEnd)) {
            const char escape[] = {'=', kHex[c >> 4], kHex[c & 15], '\0'};
            put(escape);
        } else {
            put(std::string_view(text.data() + i, 1));
        }
    }
    return encoded;
}

struct CSampleMessage {
    std::string m_Label;
    std::string m_Text;
};

// The prose with every 25th word turned into one with a letter outside ASCII, in UTF-8 or in
// Latin-1, so that charset conversion has work to do.
inline std::string WithAccents(std::string_view prose, bool utf8) {
    std::string text;
    text.reserve(prose.size() + prose.size() / 50);
    std::size_t words = 0;
    for (std::size_t at = 0; at < prose.size(); ++at) {
        text += prose[at];
        if (prose[at] == ' ' && ++words % 25 == 0) {
            text += utf8 ? "f\xC3\xBCr " : "f\xFCr ";
        }
    }
    return text;
}

// Paragraphs of the prose as an HTML document with a link every paragraph.
inline std::string AsHtml(std::string_view prose) {
    std::string html = "<html>\n<head><style>p { margin: 0 0 8px 0; }</style></head>\n<body>\n";
    for (std::size_t at = 0, paragraph = 0; at < prose.size(); at += 400, ++paragraph) {
        html += "<p><font face=\"Arial\">";
        html += prose.substr(at, 400);
        html += "</font> <a href=\"https://shop.example/item?id=" + std::to_string(paragraph) + "&amp;ref=m\">more</a></p>\n";
    }
    return html + "</body>\n</html>\n";
}

inline std::string MessageHeader(std::string_view contentType, std::string_view encoding) {
    std::string header =
        "Return-Path: <news@shop.example>\r\n"
        "From: =?UTF-8?Q?Gr=C3=BC=C3=9Fe_vom_Shop?= <news@shop.example>\r\n"
        "To: reader@example.org\r\n"
        "Subject: =?ISO-8859-1?Q?Angebote_f=FCr_Sie?=\r\n"
        "Date: Tue, 8 Dec 2026 09:00:00 +0000\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: ";
    header += contentType;
    header += "\r\n";
    if (!encoding.empty()) {
        header += "Content-Transfer-Encoding: ";
        header += encoding;
        header += "\r\n";
    }
    return header + "\r\n";
}

// One message of each common shape around the prose: base64 UTF-8 text, quoted-printable Latin-1
// HTML, a multipart/alternative pair inside multipart/mixed with an attachment, and plain 7-bit
// text. Each takes as much of the prose as keeps the message near targetBytes.
inline std::vector<CSampleMessage> SampleMessages(std::string_view prose, std::size_t targetBytes) {
    const auto fit = [&](auto build) {
        std::string text = build(prose);
        if (text.size() > targetBytes) {
            text = build(prose.substr(0, prose.size() * targetBytes / text.size()));
        }
        return text;
    };
    std::vector<CSampleMessage> messages;
    messages.push_back({"base64 text, UTF-8", fit([](std::string_view p) {
                            return MessageHeader("text/plain; charset=utf-8", "base64") +
                                   Base64Lines(WithAccents(p, true));
                        })});
    messages.push_back({"quoted-printable HTML, Latin-1", fit([](std::string_view p) {
                            return MessageHeader("text/html; charset=iso-8859-1", "quoted-printable") +
                                   QuotedPrintable(AsHtml(WithAccents(p, false)));
                        })});
    messages.push_back({"alternative in mixed", fit([](std::string_view p) {
                            const std::string_view half = p.substr(0, p.size() / 2);
                            return MessageHeader("multipart/mixed; boundary=\"mixed\"", "") +
                                   "--mixed\r\nContent-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n"
                                   "--alt\r\nContent-Type: text/plain; charset=utf-8\r\n"
                                   "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
                                   QuotedPrintable(WithAccents(half, true)) +
                                   "\r\n--alt\r\nContent-Type: text/html; charset=utf-8\r\n"
                                   "Content-Transfer-Encoding: base64\r\n\r\n" +
                                   Base64Lines(AsHtml(WithAccents(half, true))) +
                                   "--alt--\r\n--mixed\r\nContent-Type: application/pdf; "
                                   "name=\"=?UTF-8?Q?Rechnung_M=C3=A4rz.pdf?=\"\r\n"
                                   "Content-Disposition: attachment; filename*=UTF-8''Rechnung%20M%C3%A4rz.pdf\r\n"
                                   "Content-Transfer-Encoding: base64\r\n\r\n" +
                                   Base64Lines(std::string(3000, '\x7F')) + "--mixed--\r\n";
                        })});
    messages.push_back({"7-bit text", fit([](std::string_view p) {
                            std::string body;
                            for (std::size_t at = 0; at < p.size(); at += 72) {
                                body += p.substr(at, 72);
                                body += "\r\n";
                            }
                            return MessageHeader("text/plain; charset=us-ascii", "7bit") + body;
                        })});
    return messages;
}

inline bool IsSpamIndex(int index) {
    return index % 5 == 0;
}

// The mail check benchmarks' mailbox, one in five of them spam. About 2 KB; spam is caught by the From list ("casino") or the Body list ("cheap pills"),
// half each.
inline std::string MakeMessage(int index) {
    const bool spam = IsSpamIndex(index);
    const std::string sender = std::to_string(index % 97);
    const std::string from = spam && index % 10 == 0 ? "Lucky Seat <seat" + sender + "@casino-royale.example.net>"
                                                     : "Sender " + sender + " <sender" + sender + "@example.net>";
    std::string text = "Return-Path: <sender" + sender + "@example.net>\n" +
                       "Received: from mx.example.net (mx.example.net [192.0.2.7])\n\tby pop.example.org; Tue, 8 "
                       "Dec 2026 09:00:00 +0000\n" +
                       "Message-ID: <" + std::to_string(index) + ".bench@example.net>\n" +
                       "Date: Tue, 8 Dec 2026 09:" + std::to_string(10 + index % 50) + ":00 +0000\n" + "From: " + from +
                       "\n" + "To: Reader <reader@example.org>\n" + "Subject: Weekly figures, part " +
                       std::to_string(index) + "\n" +
                       "MIME-Version: 1.0\nContent-Type: text/plain; charset=us-ascii\n\n";
    if (spam && index % 10 != 0) {
        text += "Order cheap pills today and save.\n";
    }
    while (text.size() < 2000) {
        text += "The quarterly numbers are in the shared folder; please read them before Friday.\n";
    }
    return text;
}

}  // namespace sieveclaw::bench

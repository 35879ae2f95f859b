#include "mail/TransferDecoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "core/LeadingNumber.h"

namespace sieveclaw {

namespace {

constexpr std::uint8_t kPad = 64;
constexpr std::uint8_t kSkip = 65;     // white space: line breaks and blanks between lines
constexpr std::uint8_t kForeign = 66;  // anything else

constexpr std::array<std::uint8_t, 256> MakeBase64Table() {
    std::array<std::uint8_t, 256> table{};
    for (auto& entry : table) {
        entry = kForeign;
    }
    constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::uint8_t value = 0; value < 64; ++value) {
        table[static_cast<unsigned char>(kAlphabet[value])] = value;
    }
    table['='] = kPad;
    for (const char blank : {' ', '\t', '\r', '\n', '\v', '\f'}) {
        table[static_cast<unsigned char>(blank)] = kSkip;
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kBase64 = MakeBase64Table();

// Writes into a string grown once to its largest possible size and cut back at the end, so that
// the loops below store bytes without a capacity test per byte.
class COutput {
public:
    COutput(std::string& out, std::size_t room) : m_Out(out), m_Start(out.size()) {
        out.resize(m_Start + room);
        m_Next = out.data() + m_Start;
        m_End = out.data() + out.size();
    }
    ~COutput() { m_Out.resize(static_cast<std::size_t>(m_Next - m_Out.data())); }
    COutput(const COutput&) = delete;
    COutput& operator=(const COutput&) = delete;

    std::size_t Room() const { return static_cast<std::size_t>(m_End - m_Next); }
    bool Full() const { return m_Next == m_End; }
    void Put(char c) { *m_Next++ = c; }
    // Puts as much of bytes as there is room for; returns how much.
    std::size_t Put(std::string_view bytes) {
        const std::size_t count = std::min(bytes.size(), Room());
        std::memcpy(m_Next, bytes.data(), count);
        m_Next += count;
        return count;
    }

private:
    std::string& m_Out;
    std::size_t m_Start;
    char* m_Next;
    char* m_End;
};

std::size_t RoomFor(const std::string& out, std::size_t maxBytes, std::size_t mostNeeded) {
    return out.size() >= maxBytes ? 0 : std::min(maxBytes - out.size(), mostNeeded);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

bool DecodeBase64(std::string_view text, std::string& out, std::size_t maxBytes) {
    COutput output(out, RoomFor(out, maxBytes, text.size() / 4 * 3 + 3));
    const auto* at = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = at + text.size();
    bool clean = true;
    std::uint32_t bits = 0;
    int count = 0;  // characters of the current group
    // The bytes a group's count of characters carries (one character carries none).
    const auto flush = [&] {
        if (count == 1) {
            clean = false;
        }
        for (int shift = 16, bytes = count * 6 / 8; bytes > 0 && !output.Full(); shift -= 8, --bytes) {
            output.Put(static_cast<char>((bits << (6 * (4 - count))) >> shift));
        }
        bits = 0;
        count = 0;
    };
    while (at < end && !output.Full()) {
        // Whole groups between line breaks: the common case, four characters to three bytes.
        if (count == 0) {
            while (end - at >= 4 && output.Room() >= 3) {
                const std::uint32_t a = kBase64[at[0]];
                const std::uint32_t b = kBase64[at[1]];
                const std::uint32_t c = kBase64[at[2]];
                const std::uint32_t d = kBase64[at[3]];
                if ((a | b | c | d) >= 64) {
                    break;
                }
                const std::uint32_t group = a << 18 | b << 12 | c << 6 | d;
                output.Put(static_cast<char>(group >> 16));
                output.Put(static_cast<char>(group >> 8));
                output.Put(static_cast<char>(group));
                at += 4;
            }
            if (at == end || output.Full()) {
                break;
            }
        }
        const std::uint8_t value = kBase64[*at++];
        if (value < 64) {
            bits = bits << 6 | value;
            if (++count == 4) {
                flush();
            }
        } else if (value == kPad) {
            flush();
        } else if (value == kForeign) {
            clean = false;
        }
    }
    flush();
    return clean;
}

namespace {

// Appends the bytes of one line's content (no line end, no trailing blanks, no soft break) with
// its escapes decoded. False when an '=' starts no escape.
bool DecodeQuotedLine(std::string_view line, COutput& output, bool headerQ) {
    bool clean = true;
    std::size_t at = 0;
    while (at < line.size() && !output.Full()) {
        const std::size_t equals = headerQ ? line.find_first_of("=_", at) : line.find('=', at);
        const std::size_t runEnd = std::min(equals, line.size());
        at += output.Put(line.substr(at, runEnd - at));
        if (at != runEnd || runEnd == line.size() || output.Full()) {
            break;
        }
        if (line[at] == '_') {
            output.Put(' ');
            ++at;
            continue;
        }
        const int first = at + 1 < line.size() ? HexDigitValue(line[at + 1]) : -1;
        const int second = at + 2 < line.size() ? HexDigitValue(line[at + 2]) : -1;
        if (first >= 0 && second >= 0) {
            output.Put(static_cast<char>(first * 16 + second));
            at += 3;
        } else {
            clean = false;
            output.Put('=');
            ++at;
        }
    }
    return clean;
}

}  // namespace

bool DecodeQuotedPrintable(std::string_view text, std::string& out, bool headerQ, std::size_t maxBytes) {
    COutput output(out, RoomFor(out, maxBytes, text.size()));
    bool clean = true;
    std::size_t at = 0;
    while (at < text.size() && !output.Full()) {
        const std::size_t lineFeed = text.find('\n', at);
        const std::size_t lineEnd = lineFeed == std::string_view::npos ? text.size() : lineFeed;
        std::string_view line = text.substr(at, lineEnd - at);
        const bool crlf = !line.empty() && line.back() == '\r';
        if (crlf) {
            line.remove_suffix(1);
        }
        // Blanks before a line end were added in transport; an '=' that ends a line (or, its
        // line end lost, the text) is a soft line break.
        if (!headerQ) {
            while (!line.empty() && IsBlank(line.back())) {
                line.remove_suffix(1);
            }
        }
        const bool soft = !line.empty() && line.back() == '=';
        if (soft) {
            line.remove_suffix(1);
        }
        clean = DecodeQuotedLine(line, output, headerQ) && clean;
        if (lineFeed == std::string_view::npos) {
            break;
        }
        if (!soft) {
            output.Put(crlf ? std::string_view("\r\n") : std::string_view("\n"));
        }
        at = lineFeed + 1;
    }
    return clean;
}

}  // namespace sieveclaw

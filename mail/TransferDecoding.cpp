#include "mail/TransferDecoding.h"

#include <algorithm>
#include <array>
#include <cstdint>

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

bool DecodeQuotedPrintable(std::string_view text, std::string& out, bool headerQ, std::size_t maxBytes) {
    COutput output(out, RoomFor(out, maxBytes, text.size()));
    bool clean = true;
    const std::size_t size = text.size();
    std::size_t at = 0;
    while (at < size && !output.Full()) {
        const char c = text[at];
        if (c == '=') {
            const int first = at + 1 < size ? HexDigitValue(text[at + 1]) : -1;
            const int second = at + 2 < size ? HexDigitValue(text[at + 2]) : -1;
            if (first >= 0 && second >= 0) {
                output.Put(static_cast<char>(first * 16 + second));
                at += 3;
                continue;
            }
            // A soft line break: blanks a sender left after the '=', then the line end (or the end
            // of the text, where the line end went missing).
            std::size_t next = at + 1;
            while (next < size && IsBlank(text[next])) {
                ++next;
            }
            if (next == size) {
                at = next;
                continue;
            }
            if (text[next] == '\n' || (text[next] == '\r' && next + 1 < size && text[next + 1] == '\n')) {
                at = next + (text[next] == '\r' ? 2 : 1);
                continue;
            }
            clean = false;
            output.Put(c);
            ++at;
        } else if (IsBlank(c)) {
            // Blanks before a hard line end were added in transport.
            std::size_t next = at + 1;
            while (next < size && IsBlank(text[next])) {
                ++next;
            }
            const bool lineEnd = next == size || text[next] == '\n' ||
                                 (text[next] == '\r' && next + 1 < size && text[next + 1] == '\n');
            if (lineEnd && !headerQ) {
                at = next;
                continue;
            }
            for (; at < next && !output.Full(); ++at) {
                output.Put(text[at]);
            }
        } else {
            output.Put(headerQ && c == '_' ? ' ' : c);
            ++at;
        }
    }
    return clean;
}

}  // namespace sieveclaw

#include "mail/BodyText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/ActivityLog.h"
#include "core/AsciiCase.h"

namespace sieveclaw {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

std::size_t FindIgnoringCase(std::string_view text, std::string_view pattern, std::size_t from) {
    const char first = AsciiLower(pattern.front());
    const std::string_view rest = pattern.substr(1);
    const std::size_t last = text.size() - pattern.size();
    for (std::size_t at = from; at <= last; ++at) {
        if (AsciiLower(text[at]) == first && EqualIgnoringCase(rest, text.substr(at + 1, rest.size()))) {
            return at;
        }
    }
    return kNone;
}

// Positions where a pattern of gap + 1 bytes may start: first at the position and last gap bytes
// further on. Mail has few such positions for the patterns searched here (boundaries, tags, field
// names), so testing many positions at once runs at memory speed.
struct CCandidates {
    std::size_t m_At = 0;      // the first position of the block, or where the full blocks ended
    std::size_t m_Width = 0;   // positions the block covers
    std::uint32_t m_Mask = 0;  // bit i set: a candidate at m_At + i; 0: no full block left
};

// Finds the first block of candidates among the starts [at, limit); stops at the last full block.
using CandidateScan = CCandidates (*)(const char* base, std::size_t at, std::size_t limit, char first, char last,
                                      std::size_t gap);

#if defined(__SSE2__)
CCandidates ScanSse2(const char* base, std::size_t at, std::size_t limit, char first, char last, std::size_t gap) {
    const __m128i firsts = _mm_set1_epi8(first);
    const __m128i lasts = _mm_set1_epi8(last);
    for (; at + 16 <= limit; at += 16) {
        const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at));
        const __m128i tails = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at + gap));
        const int mask = _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(heads, firsts), _mm_cmpeq_epi8(tails, lasts)));
        if (mask != 0) {
            return {at, 16, static_cast<std::uint32_t>(mask)};
        }
    }
    return {at, 16, 0};
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define SIEVECLAW_HAVE_AVX2_SCAN 1
__attribute__((target("avx2"))) CCandidates ScanAvx2(const char* base, std::size_t at, std::size_t limit, char first,
                                                     char last, std::size_t gap) {
    const __m256i firsts = _mm256_set1_epi8(first);
    const __m256i lasts = _mm256_set1_epi8(last);
    for (; at + 32 <= limit; at += 32) {
        const __m256i heads = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + at));
        const __m256i tails = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + at + gap));
        const int mask =
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(heads, firsts), _mm256_cmpeq_epi8(tails, lasts)));
        if (mask != 0) {
            return {at, 32, static_cast<std::uint32_t>(mask)};
        }
    }
    return {at, 32, 0};
}
#endif

CandidateScan ChooseScan() {
#if defined(SIEVECLAW_HAVE_AVX2_SCAN)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        return ScanAvx2;
    }
#endif
#if defined(__SSE2__)
    return ScanSse2;
#else
    // No block scan: every position is tested one at a time.
    return [](const char*, std::size_t at, std::size_t, char, char, std::size_t) { return CCandidates{at, 1, 0}; };
#endif
}

// Offers every candidate start in [from, text.size() - length], in order, to accept until it
// returns true; returns that position, or kNone.
template <typename Accept>
std::size_t ForEachCandidate(std::string_view text, std::size_t from, std::size_t length, char first, char last,
                             Accept accept) {
    static const CandidateScan scan = ChooseScan();
    const char* const base = text.data();
    const std::size_t limit = text.size() - length + 1;
    const std::size_t gap = length - 1;
    std::size_t at = from;
    for (;;) {
        const CCandidates block = scan(base, at, limit, first, last, gap);
        if (block.m_Mask == 0) {
            at = block.m_At;
            break;
        }
        for (std::uint32_t mask = block.m_Mask; mask != 0; mask &= mask - 1) {
            const std::size_t candidate = block.m_At + static_cast<std::size_t>(__builtin_ctz(mask));
            if (accept(candidate)) {
                return candidate;
            }
        }
        at = block.m_At + block.m_Width;
    }
    for (; at < limit; ++at) {
        if (base[at] == first && base[at + gap] == last && accept(at)) {
            return at;
        }
    }
    return kNone;
}

// Case-sensitive search for a pattern of two or more bytes. Text built to make nearly every
// position a candidate exhausts the comparison budget, and the rest of the search goes to glibc's
// memmem, whose two-way algorithm keeps the whole search linear.
std::size_t FindBytes(std::string_view text, std::string_view pattern, std::size_t from) {
    const std::size_t length = pattern.size();
    std::size_t compared = 0;
    std::size_t gaveUpAt = kNone;
    const std::size_t found =
        ForEachCandidate(text, from, length, pattern.front(), pattern.back(), [&](std::size_t candidate) {
            if (std::memcmp(text.data() + candidate + 1, pattern.data() + 1, length - 2) == 0) {
                return true;
            }
            compared += length;
            if (compared > 2 * (candidate - from) + 256) {
                gaveUpAt = candidate;
                return true;
            }
            return false;
        });
    if (gaveUpAt == kNone) {
        return found;
    }
    const std::size_t rest = gaveUpAt + 1;
    const void* hit = ::memmem(text.data() + rest, text.size() - rest, pattern.data(), length);
    return hit == nullptr ? kNone : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
}

// The first lower-case tag from from on, or when there is none the first upper-case one, in one
// pass: both spellings share their first and last characters.
std::size_t FindTag(std::string_view text, std::string_view lower, std::string_view upper, std::size_t from) {
    if (from > text.size() || lower.size() > text.size() - from) {
        return kNone;
    }
    std::size_t firstUpper = kNone;
    const std::size_t found =
        ForEachCandidate(text, from, lower.size(), lower.front(), lower.back(), [&](std::size_t candidate) {
            const std::string_view here = text.substr(candidate, lower.size());
            if (here == lower) {
                return true;
            }
            if (firstUpper == kNone && here == upper) {
                firstUpper = candidate;
            }
            return false;
        });
    return found != kNone ? found : firstUpper;
}

// The four deletions of quoted-printable leftovers, "3D", "=20", "=09" and "=\r\n", each over the
// whole result of the one before, done in a single pass: each deletion is a stage that holds back
// the bytes that may begin its pattern and passes the rest on to the next stage. No pattern
// contains its own first byte again, so a stage only needs to know how much of its pattern it
// holds. While no stage holds anything, bytes other than '3' and '=' go straight through, and the
// usual shapes around those two are settled without the stages (see Shortcut).
class CLeftoverRemover {
public:
    // Room the output needs beyond the length of the text: blocks are stored whole.
    static constexpr std::size_t kSlack = 16;

    // Writes the cleaned text to out, which has room for text.size() + kSlack bytes; returns the
    // length written.
    std::size_t Run(std::string_view text, char* out) {
        m_Out = out;
        const char* const data = text.data();
        const std::size_t size = text.size();
        std::size_t at = 0;
        while (at < size) {
            if (!Idle()) {
                Feed(0, data[at++]);
                continue;
            }
#if defined(__SSE2__)
            const __m128i threes = _mm_set1_epi8('3');
            const __m128i equals = _mm_set1_epi8('=');
            for (; at + 16 <= size; at += 16, m_Out += 16) {
                const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(m_Out), block);
                const int mask =
                    _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, threes), _mm_cmpeq_epi8(block, equals)));
                if (mask != 0) {
                    const auto plain = static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
                    at += plain;
                    m_Out += plain;
                    break;
                }
            }
#endif
            while (at < size && data[at] != '3' && data[at] != '=') {
                *m_Out++ = data[at++];
            }
            if (at < size) {
                at += Shortcut(text.substr(at));
            }
        }
        Finish();
        return static_cast<std::size_t>(m_Out - out);
    }

private:
    static constexpr std::size_t kStages = 4;
    static constexpr std::string_view kPatterns[kStages] = {"3D", "=20", "=09", "=\r\n"};

    bool Idle() const {
        return (m_Held[0] | m_Held[1] | m_Held[2] | m_Held[3]) == 0;
    }

    // A byte after which an idle chain is idle again whatever came just before it: no stage
    // continues or begins a pattern with it.
    static bool Settles(char c) {
        return c != '3' && c != '=' && c != '2' && c != '0' && c != '\r';
    }

    // With every stage idle and rest starting with '3' or '=': consumes what the stages would
    // settle on their own, or the first byte through the stages. Returns the bytes consumed.
    std::size_t Shortcut(std::string_view rest) {
        if (rest.size() >= 4) {
            const char next = rest[1];
            if (rest[0] == '3') {
                if (next == 'D') {
                    return 2;
                }
                *m_Out++ = '3';
                return 1;
            }
            switch (next) {
                case '2':   // "=20"
                case '0':   // "=09"
                case '\r':  // "=\r\n"
                    if (rest[2] == (next == '2' ? '0' : next == '0' ? '9' : '\n')) {
                        return 3;
                    }
                    break;
                case '3':  // "=3D": the "=" of an encoded equals sign stays
                    if (rest[2] == 'D' && Settles(rest[3])) {
                        *m_Out++ = '=';
                        *m_Out++ = rest[3];
                        return 4;
                    }
                    break;
                default:
                    if (Settles(next)) {
                        *m_Out++ = '=';
                        return 1;
                    }
                    break;
            }
        }
        Feed(0, rest[0]);
        return 1;
    }

    void Feed(std::size_t stage, char c) {
        if (stage == kStages) {
            *m_Out++ = c;
            return;
        }
        const std::string_view pattern = kPatterns[stage];
        std::size_t& held = m_Held[stage];
        if (c == pattern[held]) {
            if (++held == pattern.size()) {
                held = 0;  // a whole pattern: deleted
            }
            return;
        }
        const std::size_t release = held;
        held = 0;
        for (std::size_t i = 0; i < release; ++i) {
            Feed(stage + 1, pattern[i]);
        }
        if (c == pattern[0]) {
            held = 1;
        } else {
            Feed(stage + 1, c);
        }
    }

    // Releases what the stages still hold at the end of the text, oldest first.
    void Finish() {
        for (std::size_t stage = 0; stage < kStages; ++stage) {
            const std::size_t held = m_Held[stage];
            m_Held[stage] = 0;
            for (std::size_t i = 0; i < held; ++i) {
                Feed(stage + 1, kPatterns[stage][i]);
            }
        }
    }

    char* m_Out = nullptr;
    std::size_t m_Held[kStages] = {};
};

}  // namespace

std::size_t FindText(std::string_view text, std::string_view pattern, bool caseSensitive, std::size_t from) {
    if (from > text.size() || pattern.size() > text.size() - from) {
        return kNone;
    }
    if (pattern.empty()) {
        return from;
    }
    if (!caseSensitive) {
        return FindIgnoringCase(text, pattern, from);
    }
    if (pattern.size() == 1) {
        const void* hit = std::memchr(text.data() + from, pattern.front(), text.size() - from);
        return hit == nullptr ? kNone : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    }
    return FindBytes(text, pattern, from);
}

std::optional<std::string> ExtractHtmlBody(std::string_view text) {
    WriteActivityLog("ParseBody - entered");
    const std::size_t open = FindTag(text, "<html>", "<HTML>", 0);
    if (open == kNone) {
        WriteActivityLog("ParseBody - leaving - text only msg");
        return std::nullopt;
    }
    WriteActivityLog("ParseBody - HTML message");
    constexpr std::string_view kClose = "</html>";
    const std::size_t close = FindTag(text, kClose, "</HTML>", open);
    // The opening tag is six characters, so two short of the end is never before it.
    const std::size_t end = close == kNone ? text.size() - 2 : close + kClose.size();
    // Quoted-printable left in the document: "=3D" keeps its "=", and encoded blanks, tabs and
    // soft line breaks go; "3D" also goes from ordinary text.
    const std::string_view document = text.substr(open, end - open);
    std::string html(document.size() + CLeftoverRemover::kSlack, '\0');
    html.resize(CLeftoverRemover().Run(document, html.data()));
    WriteActivityLog("ParseBody - Found end of HTML message");
    WriteActivityLog("ParseBody - leaving");
    return html;
}

std::string ParseBody(std::string_view text) {
    std::optional<std::string> html = ExtractHtmlBody(text);
    return html ? std::move(*html) : std::string(text);
}

}  // namespace sieveclaw

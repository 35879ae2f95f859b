#include "filter/WordMatcher.h"

#include <algorithm>
#include <array>
#include <bit>
#include <numeric>
#include <utility>

#include "core/GuardedStringSet.h"

namespace sieveclaw {

namespace {

constexpr std::size_t kNoIndex = static_cast<std::size_t>(-1);
constexpr std::uint32_t kNoNode = 0xFFFFFFFFU;

unsigned char FoldByte(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// The edge lookup counts bits on every step; without the instruction enabled, std::popcount
// becomes a library call.
inline unsigned CountBits(std::uint64_t bits) {
#if defined(__POPCNT__)
    return static_cast<unsigned>(std::popcount(bits));
#else
    bits -= (bits >> 1) & 0x5555555555555555ULL;
    bits = (bits & 0x3333333333333333ULL) + ((bits >> 2) & 0x3333333333333333ULL);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return static_cast<unsigned>((bits * 0x0101010101010101ULL) >> 56);
#endif
}

// The child of node on byteClass, or kNoNode. Node n's entry is Words bitmap words, then the
// first child in the low and the failure node in the high half of one word.
template <unsigned Words>
inline std::uint32_t ChildOf(const std::uint64_t* nodes, std::uint32_t node, unsigned byteClass) {
    const std::uint64_t* entry = nodes + std::size_t{node} * (Words + 1);
    const unsigned word = byteClass / 64;
    const std::uint64_t bit = std::uint64_t{1} << (byteClass % 64);
    if ((entry[word] & bit) == 0) {
        return kNoNode;
    }
    unsigned rank = CountBits(entry[word] & (bit - 1));
    for (unsigned before = 0; before < word; ++before) {
        rank += CountBits(entry[before]);
    }
    return static_cast<std::uint32_t>(entry[Words]) + rank;
}

// What a scan reads, as plain values: the compiler keeps them in registers through the loop,
// which it will not do for the members, as it cannot tell that a scan's stores leave them alone.
struct ScanTables {
    const std::uint8_t* m_Class;
    const std::uint64_t* m_Nodes;
    const std::uint32_t* m_Rows;
    const std::uint64_t* m_HasOutput;
    std::uint32_t m_RowCount;
    unsigned m_RowShift;
};

// The node after reading a byte of byteClass in node: one lookup in a full row, or edges and
// failure links until a node that has one.
template <unsigned Words>
inline std::uint32_t Step(const ScanTables& tables, std::uint32_t node, unsigned byteClass) {
    if (node >= tables.m_RowCount) {
        if (byteClass == 0) {
            return 0;
        }
        do {
            const std::uint32_t child = ChildOf<Words>(tables.m_Nodes, node, byteClass);
            if (child != kNoNode) {
                return child;
            }
            node = static_cast<std::uint32_t>(tables.m_Nodes[std::size_t{node} * (Words + 1) + Words] >> 32);
        } while (node >= tables.m_RowCount);
    }
    return tables.m_Rows[(std::size_t{node} << tables.m_RowShift) + byteClass];
}

inline bool HasOutput(const ScanTables& tables, std::uint32_t node) {
    return ((tables.m_HasOutput[node / 64] >> (node % 64)) & 1) != 0;
}

std::string FoldText(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        c = static_cast<char>(FoldByte(static_cast<unsigned char>(c)));
    }
    return folded;
}

}  // namespace

CWordMatcher::CWordMatcher(const std::vector<std::string>& patterns, std::size_t rowBudgetBytes) {
    std::vector<std::string> folded;
    folded.reserve(patterns.size());
    for (const std::string& pattern : patterns) {
        folded.push_back(FoldText(pattern));
    }

    // Classes in byte order, so that sorting the folded texts sorts their class sequences too.
    std::array<bool, 256> used{};
    for (const std::string& text : folded) {
        for (const char c : text) {
            used[static_cast<unsigned char>(c)] = true;
        }
    }
    for (unsigned byte = 0; byte < 256; ++byte) {
        if (used[byte]) {
            m_Class[byte] = static_cast<std::uint8_t>(++m_Classes);
        }
    }
    for (unsigned byte = 'a'; byte <= 'z'; ++byte) {
        m_Class[byte] = m_Class[byte - 'a' + 'A'];
    }
    // A class is a bit number; folded texts never hold a-z, so at most 230 classes are in use.
    m_Words = m_Classes < 64 ? 1 : m_Classes < 128 ? 2 : 4;

    // Sorted insertion: every new edge is then greater than its siblings, and a shared prefix
    // always continues through the node's last child, so building is one step per byte.
    std::vector<std::uint32_t> order(folded.size());
    std::iota(order.begin(), order.end(), 0U);
    std::stable_sort(order.begin(), order.end(),
                     [&folded](std::uint32_t a, std::uint32_t b) { return folded[a] < folded[b]; });

    std::vector<std::uint32_t> firstChild{kNone};
    std::vector<std::uint32_t> lastChild{kNone};
    std::vector<std::uint32_t> nextSibling{kNone};
    std::vector<std::uint8_t> label{0};
    std::vector<std::uint32_t> terminal{kNone};
    const std::string* previous = nullptr;
    for (const std::uint32_t index : order) {
        const std::string& text = folded[index];
        if (previous != nullptr && *previous == text) {
            continue;  // the stable sort put the earliest of equal texts first
        }
        previous = &text;
        if (text.empty()) {
            m_EmptyIndex = index;
            continue;
        }
        std::uint32_t node = 0;
        for (const char c : text) {
            const std::uint8_t byteClass = m_Class[static_cast<unsigned char>(c)];
            const std::uint32_t last = lastChild[node];
            if (last != kNone && label[last] == byteClass) {
                node = last;
                continue;
            }
            const auto added = static_cast<std::uint32_t>(label.size());
            firstChild.push_back(kNone);
            lastChild.push_back(kNone);
            nextSibling.push_back(kNone);
            label.push_back(byteClass);
            terminal.push_back(kNone);
            if (last == kNone) {
                firstChild[node] = added;
            } else {
                nextSibling[last] = added;
            }
            lastChild[node] = added;
            node = added;
        }
        terminal[node] = static_cast<std::uint32_t>(m_KeyIndex.size());
        m_KeyIndex.push_back(index);
        m_KeyLength.push_back(static_cast<std::uint32_t>(text.size()));
        m_MaxLength = std::max(m_MaxLength, static_cast<std::uint32_t>(text.size()));
    }
    m_PatternCount = patterns.size();
    folded.clear();
    folded.shrink_to_fit();

    // Renumber breadth first: the children of a node get consecutive numbers in class order, and
    // a node's failure target (shallower) is always numbered, and linked, before the node.
    const std::size_t nodes = label.size();
    const std::size_t stride = m_Words + 1;
    std::vector<std::uint32_t> byBreadth;  // old numbers in the new order
    byBreadth.reserve(nodes);
    byBreadth.push_back(0);
    m_Nodes.assign(nodes * stride, 0);
    m_Output.assign(nodes, kNone);
    m_KeyNext.assign(m_KeyIndex.size(), kNone);
    for (std::size_t at = 0; at < byBreadth.size(); ++at) {
        const std::uint32_t old = byBreadth[at];
        m_Nodes[at * stride + m_Words] = byBreadth.size();
        m_Output[at] = terminal[old];
        for (std::uint32_t child = firstChild[old]; child != kNone; child = nextSibling[child]) {
            const unsigned byteClass = label[child];
            m_Nodes[at * stride + byteClass / 64] |= std::uint64_t{1} << (byteClass % 64);
            byBreadth.push_back(child);
        }
    }
    const auto count = static_cast<std::uint32_t>(nodes);
    switch (m_Words) {
        case 1:
            Link<1>(count);
            break;
        case 2:
            Link<2>(count);
            break;
        default:
            Link<4>(count);
            break;
    }
    BuildRows(count, rowBudgetBytes);
    m_HasOutput.assign((nodes + 63) / 64, 0);
    for (std::size_t node = 0; node < nodes; ++node) {
        if (m_Output[node] != kNone) {
            m_HasOutput[node / 64] |= std::uint64_t{1} << (node % 64);
        }
    }
}

std::uint32_t CWordMatcher::FirstChild(std::uint32_t node) const {
    return static_cast<std::uint32_t>(m_Nodes[std::size_t{node} * (m_Words + 1) + m_Words]);
}

std::uint32_t CWordMatcher::Fail(std::uint32_t node) const {
    return static_cast<std::uint32_t>(m_Nodes[std::size_t{node} * (m_Words + 1) + m_Words] >> 32);
}

// Failure links and output chains, parents before children.
template <unsigned Words>
void CWordMatcher::Link(std::uint32_t nodes) {
    for (std::uint32_t parent = 0; parent < nodes; ++parent) {
        std::uint32_t child = FirstChild(parent);
        for (unsigned word = 0; word < Words; ++word) {
            for (std::uint64_t bits = m_Nodes[std::size_t{parent} * (Words + 1) + word]; bits != 0; bits &= bits - 1) {
                const unsigned byteClass = word * 64 + static_cast<unsigned>(std::countr_zero(bits));
                std::uint32_t fail = 0;
                for (std::uint32_t from = parent; from != 0;) {
                    from = Fail(from);
                    fail = ChildOf<Words>(m_Nodes.data(), from, byteClass);
                    if (fail != kNoNode) {
                        break;
                    }
                    fail = 0;
                }
                m_Nodes[std::size_t{child} * (Words + 1) + Words] |= std::uint64_t{fail} << 32;
                const std::uint32_t inherited = m_Output[fail];
                if (m_Output[child] == kNone) {
                    m_Output[child] = inherited;
                } else {
                    m_KeyNext[m_Output[child]] = inherited;
                }
                ++child;
            }
        }
    }
}

// Rows for the first nodes in breadth-first order. A missing edge takes the failure node's
// entry, which is shallower and so already has its row.
void CWordMatcher::BuildRows(std::uint32_t nodes, std::size_t budgetBytes) {
    m_RowShift = static_cast<unsigned>(std::bit_width(m_Classes));  // room for classes 0 to m_Classes
    const std::size_t width = std::size_t{1} << m_RowShift;
    m_RowCount = static_cast<std::uint32_t>(
        std::min<std::size_t>(nodes, std::max<std::size_t>(1, budgetBytes / (width * sizeof(std::uint32_t)))));
    m_Rows.assign(std::size_t{m_RowCount} * width, 0);
    for (std::uint32_t node = 0; node < m_RowCount; ++node) {
        std::uint32_t* row = &m_Rows[node * width];
        if (node != 0) {
            const std::uint32_t* failRow = &m_Rows[Fail(node) * width];
            std::copy(failRow, failRow + width, row);
        }
        std::uint32_t child = FirstChild(node);
        for (unsigned word = 0; word < m_Words; ++word) {
            for (std::uint64_t bits = m_Nodes[std::size_t{node} * (m_Words + 1) + word]; bits != 0; bits &= bits - 1) {
                row[word * 64 + static_cast<unsigned>(std::countr_zero(bits))] = child++;
            }
        }
    }
}

// Every key is reported once. Its output chain is reported with it (a chain is walked until a key
// already reported), so over a whole text each key is visited once. False once all were found.
inline bool CWordMatcher::Report(std::uint32_t node, std::size_t end, std::uint64_t* reported,
                                 std::vector<WordMatch>& matches, std::size_t& missing) const {
    for (std::uint32_t key = m_Output[node]; key != kNone; key = m_KeyNext[key]) {
        std::uint64_t& word = reported[key / 64];
        const std::uint64_t bit = std::uint64_t{1} << (key % 64);
        if ((word & bit) != 0) {
            break;
        }
        word |= bit;
        matches.push_back(WordMatch{m_KeyIndex[key], end + 1 - m_KeyLength[key]});
        if (--missing == 0) {
            return false;
        }
    }
    return true;
}

template <unsigned Words>
void CWordMatcher::Scan(std::string_view text, std::vector<WordMatch>& matches) const {
    const std::size_t keys = m_KeyIndex.size();
    if (keys == 0) {
        return;
    }
    const ScanTables tables{m_Class.data(), m_Nodes.data(), m_Rows.data(), m_HasOutput.data(), m_RowCount, m_RowShift};
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t words = (keys + 63) / 64;
    if (text.size() / kStreams < std::max<std::size_t>(kMinStreamBytes, 8 * std::size_t{m_MaxLength})) {
        std::vector<std::uint64_t> reported(words, 0);
        std::size_t missing = keys;
        std::uint32_t node = 0;
        for (std::size_t at = 0; at < text.size(); ++at) {
            node = Step<Words>(tables, node, tables.m_Class[bytes[at]]);
            if (HasOutput(tables, node) && !Report(node, at, reported.data(), matches, missing)) {
                return;
            }
        }
        return;
    }

    // A step waits for the one before it, mostly for memory. Scanning kStreams stretches of the
    // text side by side keeps that many lookups in flight. A stream starts m_MaxLength - 1 bytes
    // before its stretch, without reporting, so that it enters the stretch in the node a single
    // scan would be in: no pattern reaches further back.
    const std::size_t stretch = text.size() / kStreams;
    std::array<std::uint32_t, kStreams> node{};
    for (std::size_t stream = 1; stream < kStreams; ++stream) {
        const std::size_t begin = stream * stretch;
        for (std::size_t at = begin - std::min<std::size_t>(begin, m_MaxLength - 1); at < begin; ++at) {
            node[stream] = Step<Words>(tables, node[stream], tables.m_Class[bytes[at]]);
        }
    }
    std::array<std::vector<WordMatch>, kStreams> found;
    std::array<std::size_t, kStreams> missing{};
    missing.fill(keys);
    std::vector<std::uint64_t> reported(words * kStreams, 0);
    const auto report = [&](std::size_t stream, std::size_t at) {
        if (missing[stream] != 0) {
            Report(node[stream], at, &reported[stream * words], found[stream], missing[stream]);
        }
    };
    // Until the first stretch holds every key: then no later one can hold a first occurrence.
    for (std::size_t offset = 0; offset < stretch && missing[0] != 0; ++offset) {
        for (std::size_t stream = 0; stream < kStreams; ++stream) {
            node[stream] = Step<Words>(tables, node[stream], tables.m_Class[bytes[stream * stretch + offset]]);
        }
        for (std::size_t stream = 0; stream < kStreams; ++stream) {
            if (HasOutput(tables, node[stream])) {
                report(stream, stream * stretch + offset);
            }
        }
    }
    // The last stream also takes what the division left over.
    constexpr std::size_t kLast = kStreams - 1;
    for (std::size_t at = kStreams * stretch; at < text.size() && missing[0] != 0; ++at) {
        node[kLast] = Step<Words>(tables, node[kLast], tables.m_Class[bytes[at]]);
        if (HasOutput(tables, node[kLast])) {
            report(kLast, at);
        }
    }

    // Stretches in text order: a key's first occurrence is in the first stretch that found it.
    std::vector<std::uint64_t> taken((m_PatternCount + 63) / 64, 0);
    for (std::size_t stream = 0; stream < kStreams; ++stream) {
        for (const WordMatch& match : found[stream]) {
            std::uint64_t& word = taken[match.m_Index / 64];
            const std::uint64_t bit = std::uint64_t{1} << (match.m_Index % 64);
            if ((word & bit) == 0) {
                word |= bit;
                matches.push_back(match);
            }
        }
        if (missing[stream] == 0) {
            break;  // every key has its first occurrence at or before this stretch
        }
    }
}

void CWordMatcher::FindFirst(std::string_view text, std::vector<WordMatch>& matches) const {
    if (m_EmptyIndex != kNoIndex) {
        matches.push_back(WordMatch{m_EmptyIndex, 0});
    }
    switch (m_Words) {
        case 1:
            Scan<1>(text, matches);
            break;
        case 2:
            Scan<2>(text, matches);
            break;
        default:
            Scan<4>(text, matches);
            break;
    }
}

std::size_t CWordMatcher::DistinctCount() const {
    return m_KeyIndex.size() + (m_EmptyIndex != kNoIndex ? 1 : 0);
}

std::size_t CWordMatcher::MemoryBytes() const {
    return sizeof(*this) + m_Nodes.capacity() * sizeof(std::uint64_t) + m_HasOutput.capacity() * sizeof(std::uint64_t) +
           (m_Output.capacity() + m_Rows.capacity() + m_KeyIndex.capacity() + m_KeyLength.capacity() +
            m_KeyNext.capacity()) *
               sizeof(std::uint32_t);
}

CListMatcher::CListMatcher(std::uint64_t generation, std::vector<std::string> entries, std::size_t rowBudgetBytes)
    : m_Generation(generation), m_Entries(std::move(entries)), m_Matcher(m_Entries, rowBudgetBytes) {}

std::shared_ptr<const CListMatcher> CListMatcherCache::Get() const {
    const std::uint64_t generation = m_List.Generation();
    std::lock_guard lock(m_Lock);
    if (m_Current == nullptr || m_Current->m_Generation != generation) {
        std::uint64_t built = 0;
        std::vector<std::string> entries = m_List.Entries(built);
        m_Current = std::make_shared<const CListMatcher>(built, std::move(entries), m_RowBudgetBytes);
    }
    return m_Current;
}

}  // namespace sieveclaw

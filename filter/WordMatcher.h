#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace sieveclaw {

class GuardedStringSet;

// The first occurrence of one pattern in a text.
struct WordMatch {
    // The pattern's position in the list the matcher was built from. Of patterns that are equal
    // once case is folded, the earliest stands for all of them.
    std::size_t m_Index = 0;
    // Offset of the first byte of the occurrence.
    std::size_t m_Start = 0;
};

// Finds, in one pass over a text, where each pattern of a fixed list first occurs, with the case
// of ASCII letters folded (an Aho-Corasick automaton). Bytes of 128 and above compare as they
// are. A text costs one step per byte plus one per pattern found, whatever the list's size.
//
// Only bytes that occur in some pattern get a class; any other byte sends the scan back to the
// root. The shallowest nodes, where a scan spends most of its steps, have a full row of next
// nodes by class (failure links already followed), within a memory budget. Every other node
// keeps a bitmap of the classes it has edges for and its children side by side in class order,
// so an edge is found by counting bits, and a missing one by following failure links until a
// node with a full row: no node carries a 256-wide row. A long text is scanned in eight stretches
// side by side, so that eight lookups wait for memory at once instead of one.
//
// Immutable once built, so any number of threads may scan with one matcher at the same time.
class CWordMatcher {
public:
    // rowBudgetBytes bounds the memory of the full rows: more rows, fewer slow steps.
    explicit CWordMatcher(const std::vector<std::string>& patterns, std::size_t rowBudgetBytes = kRowBudgetBytes);

    // Appends one WordMatch to matches for every distinct pattern that occurs in text, in the
    // order in which the occurrences end. An empty pattern occurs at offset 0 of every text, as a
    // substring search would say. Stops reading the text once every pattern was found.
    void FindFirst(std::string_view text, std::vector<WordMatch>& matches) const;

    // Distinct patterns after case folding, the empty one included.
    std::size_t DistinctCount() const;
    std::size_t NodeCount() const { return m_Output.size(); }
    // Bytes held by the automaton's tables.
    std::size_t MemoryBytes() const;

    // Rows for the first nodes up to this much memory. With a list of 100,000 words this covers
    // the nodes three letters deep, where a scan of prose spends most of its steps; it halves the
    // time of a large scan compared with a quarter of the memory.
    static constexpr std::size_t kRowBudgetBytes = std::size_t{4} << 20;
    // For lists only ever searched in short texts (the From field).
    static constexpr std::size_t kShortTextRowBudgetBytes = std::size_t{64} << 10;
    // Texts of at least kStreams times this many bytes are scanned in kStreams stretches at once.
    static constexpr std::size_t kStreams = 8;
    static constexpr std::size_t kMinStreamBytes = 2048;

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFU;

    bool Report(std::uint32_t node, std::size_t end, std::uint64_t* reported, std::vector<WordMatch>& matches,
                std::size_t& missing) const;
    template <unsigned Words>
    void Scan(std::string_view text, std::vector<WordMatch>& matches) const;
    template <unsigned Words>
    void Link(std::uint32_t nodes);
    void BuildRows(std::uint32_t nodes, std::size_t budgetBytes);

    std::uint32_t FirstChild(std::uint32_t node) const;
    std::uint32_t Fail(std::uint32_t node) const;

    // Folded byte -> class (1 upwards, in byte order); 0 for bytes that occur in no pattern.
    std::array<std::uint8_t, 256> m_Class{};
    unsigned m_Classes = 0;  // classes in use, 0 excluded
    unsigned m_Words = 1;    // 64-bit bitmap words per node
    // Node n at n * (m_Words + 1): the bitmap words (bit c % 64 of word c / 64: an edge on class
    // c), then the first child's node in the low half of a word and the failure node in the high
    // half. Node 0 is the root; the rest follow in breadth-first order, so a node's children are
    // consecutive and shallower nodes come first.
    std::vector<std::uint64_t> m_Nodes;
    std::vector<std::uint32_t> m_Output;  // by node: key of the longest pattern ending there, or kNone
    // By node, one bit: m_Output holds a key. A scan tests it at every byte, and at one bit a node
    // it stays in cache where m_Output would not.
    std::vector<std::uint64_t> m_HasOutput;
    // Full rows of the nodes below m_RowCount, 2^m_RowShift entries each, by class (class 0 leads
    // to the root).
    std::vector<std::uint32_t> m_Rows;
    std::uint32_t m_RowCount = 0;
    unsigned m_RowShift = 0;
    std::vector<std::uint32_t> m_KeyIndex;                    // by key: the list index reported for it
    std::vector<std::uint32_t> m_KeyLength;                   // by key: pattern length in bytes
    std::vector<std::uint32_t> m_KeyNext;                     // by key: the next shorter key that ends where it ends
    std::uint32_t m_MaxLength = 0;                            // of the longest pattern
    std::size_t m_PatternCount = 0;                           // the list's length, duplicates included
    std::size_t m_EmptyIndex = static_cast<std::size_t>(-1);  // list index of the empty pattern
};

// The texts of one list at one generation with the matcher built from them. Never changed after
// it is built: a caller keeps using its copy while another thread puts a newer one in the cache.
struct CListMatcher {
    CListMatcher(std::uint64_t generation, std::vector<std::string> entries, std::size_t rowBudgetBytes);

    std::uint64_t m_Generation = 0;
    std::vector<std::string> m_Entries;  // as stored, in list order
    CWordMatcher m_Matcher;              // built from m_Entries
};

// The matcher of one list, rebuilt on first use after the list changed. Any thread may call Get;
// the list must outlive the cache.
class CListMatcherCache {
public:
    CListMatcherCache(const GuardedStringSet& list, std::size_t rowBudgetBytes)
        : m_List(list), m_RowBudgetBytes(rowBudgetBytes) {}
    CListMatcherCache(const CListMatcherCache&) = delete;
    CListMatcherCache& operator=(const CListMatcherCache&) = delete;

    // A matcher for the list as it is now (or as it was a moment ago, if another thread changes
    // it meanwhile).
    std::shared_ptr<const CListMatcher> Get() const;

private:
    const GuardedStringSet& m_List;
    const std::size_t m_RowBudgetBytes;
    // Protects m_Current. Held during a rebuild, so that a second caller waits for the new
    // matcher instead of building the same one again. Taken before the list's own lock.
    mutable std::mutex m_Lock;
    mutable std::shared_ptr<const CListMatcher> m_Current;
};

}  // namespace sieveclaw

#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The preference files ("prefs.js") of Netscape-family mail programs: lines of the form
//   user_pref("mail.server.server1.hostname", "pop.example.com");

namespace sieveclaw {

using PreferencePair = std::pair<std::string, std::string>;
using PreferencePairs = std::vector<PreferencePair>;

// The text preferences as the old profile reader takes them, line by line (trailing white space
// removed): a line counts when it holds user_pref(" anywhere; the key is taken from position 11
// up to the first `",` after it; the value from the quote after that comma up to the line's
// first `");`. Number and true/false preferences, and lines where key or value come out empty,
// add no pair. Pairs stay in file order; escapes are not undone.
PreferencePairs ParsePreferencePairs(std::string_view text);

// The value of the first pair whose key equals key byte for byte, or empty.
std::string FindPreference(const PreferencePairs& pairs, std::string_view key);

// The preferences as the mail programs themselves read them: every user_pref(...) line, text
// values with their escapes undone, numbers and true/false kept as well. A key defined again
// replaces its earlier value, as in the programs.
class CPreferences {
public:
    enum class EKind { kText, kNumber, kBoolean };
    struct Value {
        EKind m_Kind = EKind::kText;
        std::string m_Text;  // a number or boolean as written ("995", "true")
    };

    void Parse(std::string_view text);
    // The text of a text preference, or nothing.
    std::optional<std::string> Text(std::string_view key) const;
    // The value of a number preference, or nothing.
    std::optional<std::int64_t> Number(std::string_view key) const;
    // The keys in the order of their first definition.
    const std::vector<std::string>& Keys() const { return m_Keys; }

private:
    std::map<std::string, Value, std::less<>> m_Values;
    std::vector<std::string> m_Keys;
};

}  // namespace sieveclaw

// Header-field extraction over arbitrary bytes: no crash, no read outside the input, and the
// results keep the shape the rest of the program relies on.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/AsciiCase.h"
#include "fuzz/FuzzRequire.h"
#include "mail/HeaderFields.h"

namespace {

using sieveclaw::CEmailMsg;

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// A stored field: one line, trimmed.
void CheckField(const std::string& value) {
    Require(value.find('\n') == std::string::npos);
    Require(value.empty() || (!IsWhiteSpace(value.front()) && !IsWhiteSpace(value.back())));
}

void CheckAddressField(const std::string& value) {
    CheckField(value);
    Require(value.empty() || value.find('@') != std::string::npos);
}

bool Contains(std::string_view text, std::string_view what) {
    return text.find(what) != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::string address = sieveclaw::ExtractAddress(text);
    const std::size_t at = text.find('@');
    if (at == std::string_view::npos) {
        Require(address.empty());
    } else {
        // A piece of the input around its first '@', ending before any '>', CR or LF after it.
        Require(Contains(text, address));
        const std::size_t addressAt = address.find('@');
        Require(addressAt != std::string::npos);
        Require(address.find_first_of(">\r\n", addressAt) == std::string::npos);
    }

    // Fields whose names are absent keep what they held.
    CEmailMsg message;
    message.m_To = "kept@to";
    message.m_From = "kept@from";
    message.m_Subject = "kept subject";
    message.m_Date = "kept date";
    sieveclaw::ExtractHeaderFields(text, message);
    CheckAddressField(message.m_To);
    CheckAddressField(message.m_From);
    CheckField(message.m_Subject);
    CheckField(message.m_Date);
    // A field can only come from a line that starts with its name, in any letter case.
    const std::string lowered = sieveclaw::AsciiLowered(text);
    if (!lowered.starts_with("to:") && !Contains(lowered, "\nto:")) {
        Require(message.m_To == "kept@to");
    }
    if (!lowered.starts_with("from:") && !Contains(lowered, "\nfrom:")) {
        Require(message.m_From == "kept@from");
    }
    if (!lowered.starts_with("subject:") && !Contains(lowered, "\nsubject:")) {
        Require(message.m_Subject == "kept subject");
    }
    if (!lowered.starts_with("date:") && !Contains(lowered, "\ndate:")) {
        Require(message.m_Date == "kept date");
    }

    CEmailMsg line;
    const bool set = sieveclaw::ParseHeaderLine(text, line);
    const bool named = lowered.starts_with("to:") || lowered.starts_with("from:") ||
                       lowered.starts_with("subject:") || lowered.starts_with("date:");
    Require(set == named);
    CheckAddressField(line.m_To);
    CheckAddressField(line.m_From);
    CheckField(line.m_Subject);
    CheckField(line.m_Date);
    return 0;
}

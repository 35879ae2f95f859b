// The message ids file of a mailbox over arbitrary bytes: no crash, only ids a server could have
// sent, and what is read is written back and read again unchanged.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzRequire.h"
#include "mail/MessageIds.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const sieveclaw::MailboxIdentity identity{"Home", "pop.example.org", "me"};
    const auto known = sieveclaw::CMessageIds::Parse(text, identity);
    if (!known) {
        return 0;
    }
    sieveclaw::CMessageIds ids(identity);
    for (const auto& [id, entry] : *known) {
        Require(!id.empty() && id.size() <= 70 && id.find_first_of(" \r\n") == std::string::npos);
        Require(entry.m_FileName.find_first_of("\r\n") == std::string::npos);
        Require(entry.m_Deleted || !entry.m_FileName.empty());
        if (entry.m_Deleted) {
            ids.SetDeleted(id, entry.m_FileName, {});
        } else {
            ids.SetKept(id, entry.m_FileName, {});
        }
    }
    const auto again = sieveclaw::CMessageIds::Parse(ids.Format(), identity);
    Require(again.has_value() && again->size() == known->size());
    for (const auto& [id, entry] : *known) {
        const auto found = again->find(id);
        Require(found != again->end() && found->second.m_Deleted == entry.m_Deleted &&
                found->second.m_FileName == entry.m_FileName);
    }
    return 0;
}

// POP3 reply parsing over arbitrary bytes: server replies are outside input of any shape.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz/FuzzRequire.h"
#include "net/Pop3Replies.h"

namespace {}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);

    const sieveclaw::Pop3Stats stats = sieveclaw::ParseStatReply(reply);
    const long long listed = sieveclaw::ParseListReply(reply);
    // Keep the results alive so that the calls are not optimised away.
    volatile long long sink = stats.m_Count;
    sink = stats.m_Size;
    sink = listed;
    static_cast<void>(sink);

    // Replies are judged by their exact first characters, the end marker by the last five.
    Require(sieveclaw::IsOkReply(reply) == reply.starts_with("+OK"));
    Require(sieveclaw::IsErrReply(reply) == reply.starts_with("-ERR"));
    Require(sieveclaw::EndsWithEndMarker(reply) == reply.ends_with("\r\n.\r\n"));
    static_cast<void>(sieveclaw::CapaListsStls(reply));
    return 0;
}

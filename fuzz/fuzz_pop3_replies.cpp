// POP3 reply reading over arbitrary bytes: server replies are outside input of any shape.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzRequire.h"
#include "net/Pop3Replies.h"

namespace {

using sieveclaw::CPop3ReplyReader;

struct Outcome {
    CPop3ReplyReader::EState m_State;
    std::string m_Status;
    std::string m_Body;
    std::size_t m_Taken;
};

Outcome ReadInPieces(std::string_view input, bool multiLine, std::size_t pieceSize) {
    CPop3ReplyReader reader(multiLine, 4096);
    std::size_t taken = 0;
    for (std::size_t at = 0; at < input.size() && reader.State() == CPop3ReplyReader::EState::kNeedMore;
         at += pieceSize) {
        const std::string_view piece = input.substr(at, pieceSize);
        const std::size_t used = reader.Take(piece);
        Require(used <= piece.size());
        taken += used;
        if (used < piece.size()) {
            break;  // the reply ended inside this piece
        }
    }
    return {reader.State(), reader.Status(), reader.Body(), taken};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    for (const bool multiLine : {false, true}) {
        const Outcome whole = ReadInPieces(input, multiLine, input.size() + 1);
        // However the bytes are split, the reply read is the same.
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}}) {
            const Outcome split = ReadInPieces(input, multiLine, piece);
            Require(split.m_State == whole.m_State);
            if (whole.m_State == CPop3ReplyReader::EState::kComplete) {
                Require(split.m_Status == whole.m_Status && split.m_Body == whole.m_Body &&
                        split.m_Taken == whole.m_Taken);
            }
        }
        if (whole.m_State == CPop3ReplyReader::EState::kComplete) {
            // A complete reply is a prefix of the input; its body never holds the end marker line.
            Require(whole.m_Taken <= input.size());
            Require(whole.m_Body.empty() || (multiLine && whole.m_Status.starts_with("+OK")));
            Require(whole.m_Body.empty() || whole.m_Body.ends_with("\r\n"));
            Require(!whole.m_Body.starts_with(".\r\n") || input.find("\n..\r\n") != std::string_view::npos);
        }
    }

    if (const auto stats = sieveclaw::ParseStatReply(input)) {
        Require(input.starts_with("+OK ") && stats->m_Count >= 0 && stats->m_Size >= 0);
    }
    if (const auto listing = sieveclaw::ParseListReply(input)) {
        Require(listing->m_Number >= 0 && listing->m_Size >= 0);
    }
    // The listings name each message at most once, with a valid id no other message shares.
    const std::vector<std::string> ids = sieveclaw::ParseUidlListing(input, 64);
    Require(ids.size() == 64);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        Require(ids[i].empty() || sieveclaw::IsValidUniqueId(ids[i]));
        for (std::size_t j = i + 1; j < ids.size() && !ids[i].empty(); ++j) {
            Require(ids[i] != ids[j]);
        }
    }
    for (const long long octets : sieveclaw::ParseListListing(input, 64)) {
        Require(octets >= -1);
    }
    Require(sieveclaw::IsOkReply(input) == input.starts_with("+OK"));
    Require(sieveclaw::IsErrReply(input) == input.starts_with("-ERR"));
    static_cast<void>(sieveclaw::CapaListsStls(input));
    static_cast<void>(sieveclaw::ReplyText(input));
    return 0;
}

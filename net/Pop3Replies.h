#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// POP3 replies as plain code over buffers, testable without a socket: the reader that cuts one
// whole reply out of the bytes as they arrive, and the judging of the replies whose numbers the
// client acts on. A reply counts as success only when it starts with "+OK".

namespace sieveclaw {

// Reads one reply from the bytes as they arrive, split anywhere: the status line and, when the
// command's success answer goes on over several lines (CAPA, TOP, RETR) and the status is "+OK",
// the lines after it up to the end marker, a line holding only ".". Lines end in CR LF (a bare LF
// inside a line is data); the leading dot of a dot-stuffed line is removed, so the body is the
// text as the server holds it. A status line may end in a bare LF.
class CPop3ReplyReader {
public:
    enum class EState {
        kNeedMore,  // the reply has not ended yet
        kComplete,  // the reply is read whole
        kTooLong,   // the status line or the body grew past its bound; nothing after it can be trusted
    };

    // The longest status line taken; the protocol allows 512 octets, lenient servers say more.
    static constexpr std::size_t kMaxStatusLine = 4096;

    // multiLine: the command's success answer has lines after the status line. maxBody: the most
    // body bytes (after unstuffing) taken before the reply counts as too long.
    CPop3ReplyReader(bool multiLine, std::size_t maxBody);

    // Takes the bytes of input that belong to this reply; returns how many. Bytes after the end
    // of the reply are not taken: they belong to whatever follows. Takes nothing once the reply
    // is complete or too long.
    std::size_t Take(std::string_view input);

    EState State() const { return m_State; }
    bool IsComplete() const { return m_State == EState::kComplete; }
    // The status line as it came, with its line end.
    const std::string& Status() const { return m_Status; }
    bool IsOk() const;   // the status line starts with "+OK"
    bool IsErr() const;  // the status line starts with "-ERR"
    // The lines after the status line, unstuffed, each with its CR LF, without the end marker.
    const std::string& Body() const { return m_Body; }
    std::string TakeBody() { return std::move(m_Body); }

private:
    // One whole line (through its CR LF) of the body.
    void TakeBodyLine(std::string_view line);
    void CheckBound();

    bool m_MultiLine;
    std::size_t m_MaxBody;
    EState m_State = EState::kNeedMore;
    bool m_HaveStatus = false;
    std::string m_Status;
    std::string m_Body;
    std::string m_Partial;  // the start of a body line whose CR LF has not come yet
};

bool IsOkReply(std::string_view reply);   // starts with "+OK"
bool IsErrReply(std::string_view reply);  // starts with "-ERR"

// The server's text after "+OK" or "-ERR" and the blank after it, without the line end.
std::string_view ReplyText(std::string_view status);

struct Pop3Stats {
    long long m_Count = 0;
    long long m_Size = 0;
};

// "+OK 12 20480\r\n" -> 12, 20480: "+OK", a blank, the count, a blank, the size, then the line
// end or a blank and more text. Nothing for any other reply: a refusal, a missing, signed or
// garbled number, or one too long to be a count.
std::optional<Pop3Stats> ParseStatReply(std::string_view status);

struct Pop3Listing {
    long long m_Number = 0;
    long long m_Size = 0;
};

// "+OK 3 2048\r\n" -> message 3 of 2048 octets, read as strictly as STAT.
std::optional<Pop3Listing> ParseListReply(std::string_view status);

// True when a CAPA listing (the lines after "+OK") names the capability: the first word of a
// line, compared without regard to case.
bool CapaLists(std::string_view capabilities, std::string_view name);
inline bool CapaListsStls(std::string_view capabilities) { return CapaLists(capabilities, "STLS"); }

// A unique id as a server may give it: 1 to 70 characters from 0x21 to 0x7E.
bool IsValidUniqueId(std::string_view id);

// The lines of an answer to UIDL without argument ("<n> <id>"), as ids[n - 1] for the messages 1
// to count. A message no valid line names, and every message whose id another message shares (an
// id that cannot tell them apart), has an empty id; lines for other numbers are passed over.
std::vector<std::string> ParseUidlListing(std::string_view body, long long count);

// The lines of an answer to LIST without argument ("<n> <size>", read as strictly as LIST n), as
// sizes[n - 1] for the messages 1 to count; -1 where no valid line names the message or two lines
// disagree.
std::vector<long long> ParseListListing(std::string_view body, long long count);

}  // namespace sieveclaw

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The texts of an SMTP exchange as the client reads and writes them: replies, judged by their
// exact first three characters and split where the protocol splits them, and the message text
// made safe for the DATA phase.

namespace sieveclaw {

// The length of the first complete reply in text: every line up to and including the first one
// whose fourth character is not '-' ("250 OK", "221", but not "250-SIZE"), through its LF; npos
// while that line has not arrived whole. scannedFrom is how much of text an earlier call on the
// same growing text already saw, so that a long reply is not read again from its start.
std::size_t SmtpReplyLength(std::string_view text, std::size_t scannedFrom = 0);

// The reply starts with the three characters of code.
bool ReplyCodeIs(std::string_view reply, std::string_view code);

// True when an EHLO reply lists keyword (compared without regard to case) as the first word of
// one of its lines after the first.
bool EhloOffers(std::string_view reply, std::string_view keyword);

// The HELO/EHLO name for a computer name: its first 15 characters; "localhost" when it is empty
// or those characters hold a blank or a control byte.
std::string HelloNameFor(std::string_view computerName);

// The end of the data: a line holding a single dot, after a line break that ends the last line.
inline constexpr std::string_view kEndOfData = "\r\n.\r\n";

// The message text as it goes between DATA and the closing dot. Every line ends in CR LF (a bare
// CR or LF counts as a line end and becomes CR LF), and a line that starts with "." gets a second
// one, which the server removes again. So no text can end the data early, and whatever follows
// in it can never be read as a command. Pieces may be cut anywhere: the state carries over.
class CDataTransparency {
public:
    // Appends the wire form of piece to out.
    void Append(std::string_view piece, std::string& out);
    // The wire form of piece alone, continuing from the earlier pieces.
    std::string Encode(std::string_view piece) {
        std::string out;
        Append(piece, out);
        return out;
    }
    // What ends the data after the pieces: the "." line, after a line break only when the last
    // piece did not end its line (one more would add an empty line to the message).
    std::string_view EndOfData() const { return m_AtLineStart ? kEndOfData.substr(2) : kEndOfData; }

private:
    bool m_AtLineStart = true;
    bool m_SkipLf = false;  // the last byte was a CR, already written as CR LF
};


}  // namespace sieveclaw

// SMTP reply splitting and the DATA wire form over arbitrary bytes: replies come from outside,
// and so does every message text the client sends on.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzRequire.h"
#include "net/Base64.h"
#include "net/SmtpReplies.h"

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// What the server rebuilds from the wire: the doubled leading dots undone.
std::string Unstuffed(std::string_view wire) {
    std::string text;
    bool atLineStart = true;
    for (std::size_t i = 0; i < wire.size(); ++i) {
        if (atLineStart && wire[i] == '.') {
            ++i;
            if (i == wire.size()) {
                break;
            }
        }
        text += wire[i];
        atLineStart = wire[i] == '\n';
    }
    return text;
}

std::string WithCrLf(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // A complete reply ends with a line feed inside the text; read byte by byte, as the client
    // reads a reply that trickles in, it is found at the same place.
    const std::size_t whole = sieveclaw::SmtpReplyLength(text);
    Require(whole == kNone || (whole > 0 && whole <= size && text[whole - 1] == '\n'));
    std::size_t scanned = 0;
    std::size_t found = kNone;
    for (std::size_t have = 1; have <= size && found == kNone; ++have) {
        found = sieveclaw::SmtpReplyLength(text.substr(0, have), scanned);
        scanned = have;
    }
    Require(found == whole);
    static_cast<void>(sieveclaw::EhloOffers(text, "STARTTLS"));
    static_cast<void>(sieveclaw::ReplyCodeIs(text, "250"));
    const std::string name = sieveclaw::HelloNameFor(text);
    Require(!name.empty() && name.size() <= 15 && name.find_first_of("\r\n ") == std::string::npos);

    // Cut into pieces at the places the first byte chooses: the wire form never holds the end of
    // the data, and the server gets the text back with CR LF line ends.
    sieveclaw::CDataTransparency wire;
    std::string sent;
    const std::size_t step = size > 0 ? 1 + data[0] % 7 : 1;
    for (std::size_t at = 0; at < size; at += step) {
        wire.Append(text.substr(at, step), sent);
    }
    Require(("\r\n" + sent).find(sieveclaw::kEndOfData) == kNone);
    Require(Unstuffed(sent) == WithCrLf(text));

    const std::string encoded = sieveclaw::Base64Encode(text);
    Require(encoded.size() == (size + 2) / 3 * 4 + size / 3 / 19 * 2);
    return 0;
}

#include "core/PrintableText.h"

namespace sieveclaw {

std::string PrintableText(std::string_view text, bool keepLineFeeds) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (keepLineFeeds && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;  // a server's CR LF is one line end
        }
        // The C1 controls in UTF-8 (decoded mail text holds UTF-8): a terminal may act on them too.
        if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            out += '?';
            ++i;
            continue;
        }
        out += (byte < 0x20 && !(keepLineFeeds && c == '\n')) || byte == 0x7F ? '?' : c;
    }
    return out;
}

}  // namespace sieveclaw

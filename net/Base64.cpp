#include "net/Base64.h"

namespace sieveclaw {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineLength = 76;

char Digit(unsigned value) {
    return kAlphabet[value & 0x3F];
}

}  // namespace

std::string Base64Encode(const unsigned char* bytes, std::size_t count) {
    std::string text;
    const std::size_t groups = count / 3;
    text.reserve((groups + 1) * 4 + (groups * 4 / kLineLength) * 2);
    std::size_t lineLength = 0;
    for (std::size_t group = 0; group < groups; ++group) {
        const unsigned value = static_cast<unsigned>(bytes[0]) << 16 | static_cast<unsigned>(bytes[1]) << 8 | bytes[2];
        bytes += 3;
        text += Digit(value >> 18);
        text += Digit(value >> 12);
        text += Digit(value >> 6);
        text += Digit(value);
        lineLength += 4;
        // The break follows a full line at once, even when nothing comes after it.
        if (lineLength == kLineLength) {
            text += "\r\n";
            lineLength = 0;
        }
    }
    const std::size_t rest = count % 3;
    if (rest > 0) {
        const unsigned value =
            static_cast<unsigned>(bytes[0]) << 16 | (rest == 2 ? static_cast<unsigned>(bytes[1]) << 8 : 0u);
        text += Digit(value >> 18);
        text += Digit(value >> 12);
        text += rest == 2 ? Digit(value >> 6) : '=';
        text += '=';
    }
    return text;
}

std::string Base64Encode(std::string_view bytes) {
    return Base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

}  // namespace sieveclaw

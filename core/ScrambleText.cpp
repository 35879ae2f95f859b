#include "core/ScrambleText.h"

namespace sieveclaw {

std::string ScrambleText(std::string_view text) {
    std::string result(text);
    for (char& byte : result) {
        byte = static_cast<char>(static_cast<unsigned char>(byte) ^ kScrambleKey);
    }
    return result;
}

}  // namespace sieveclaw

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sieveclaw {

// The MIME base64 form of the bytes (alphabet A-Z a-z 0-9 + /, "=" padding of the last group),
// in lines of 76 characters separated by CR LF. No CR LF follows the last line, except when the
// whole three-byte groups fill their last line exactly: then a CR LF stands before the padded
// remainder, or ends the text when there is none. Used on the SMTP user id and password.
std::string Base64Encode(const unsigned char* bytes, std::size_t count);
std::string Base64Encode(std::string_view bytes);

}  // namespace sieveclaw

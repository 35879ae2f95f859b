#include "net/Base64.h"

#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sieveclaw {
namespace {

// OpenSSL's MIME decoder, which skips the line breaks.
std::string DecodeWithOpenssl(const std::string& text) {
    std::vector<unsigned char> out(text.size() + 3);
    EVP_ENCODE_CTX* context = EVP_ENCODE_CTX_new();
    EVP_DecodeInit(context);
    int length = 0;
    int tail = 0;
    const int updated =
        EVP_DecodeUpdate(context, out.data(), &length, reinterpret_cast<const unsigned char*>(text.data()),
                         static_cast<int>(text.size()));
    const int finished = EVP_DecodeFinal(context, out.data() + length, &tail);
    EVP_ENCODE_CTX_free(context);
    EXPECT_GE(updated, 0) << text;
    EXPECT_EQ(finished, 1) << text;
    return std::string(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(length + tail));
}

TEST(Base64Test, EncodesTheStandardAlphabetWithPadding) {
    EXPECT_EQ(Base64Encode(""), "");
    // A one-byte user id becomes four characters ending in "==".
    EXPECT_EQ(Base64Encode("a"), "YQ==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Base64Encode("alice"), "YWxpY2U=");
    const unsigned char high[] = {0xFB, 0xFF, 0xBF, 0x00};
    EXPECT_EQ(Base64Encode(high, 4), "+/+/AA==");
}

TEST(Base64Test, BreaksAfterEveryFullLineOfGroups) {
    const std::string line57(57, 'x');  // 19 groups: exactly one line of 76 characters
    const std::string encodedLine = Base64Encode(line57).substr(0, 76);
    ASSERT_EQ(encodedLine.size(), 76u);
    EXPECT_EQ(encodedLine.find('\r'), std::string::npos);

    // Full groups that fill their last line end the text with a CR LF.
    EXPECT_EQ(Base64Encode(line57), encodedLine + "\r\n");
    EXPECT_EQ(Base64Encode(line57 + line57), encodedLine + "\r\n" + encodedLine + "\r\n");
    // A remainder after a full line stands on the next line, after the CR LF.
    EXPECT_EQ(Base64Encode(line57 + "x"), encodedLine + "\r\n" + "eA==");
    EXPECT_EQ(Base64Encode(line57 + "xx"), encodedLine + "\r\n" + "eHg=");
    // A remainder that completes a line of 76 gets no CR LF: only full groups break lines.
    const std::string encoded56 = Base64Encode(std::string(56, 'x'));
    EXPECT_EQ(encoded56.size(), 76u);
    EXPECT_EQ(encoded56.find('\r'), std::string::npos);
    EXPECT_EQ(encoded56.substr(72), "eHg=");
}

TEST(Base64Test, RoundTripsThroughAStandardDecoderForEveryLengthUpTo300) {
    std::mt19937 random(20240611);
    for (std::size_t length = 0; length <= 300; ++length) {
        std::string bytes(length, '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(random() & 0xFF);
        }
        const std::string encoded = Base64Encode(bytes);
        SCOPED_TRACE(length);
        EXPECT_EQ(DecodeWithOpenssl(encoded), bytes);

        // Lines of 76 characters; a CR LF after each full line, none after a shorter one.
        std::size_t start = 0;
        while (start < encoded.size()) {
            const std::size_t end = encoded.find("\r\n", start);
            const std::size_t lineLength = (end == std::string::npos ? encoded.size() : end) - start;
            EXPECT_LE(lineLength, 76u);
            if (end == std::string::npos) {
                break;
            }
            EXPECT_EQ(lineLength, 76u);
            start = end + 2;
        }
        const bool fullGroupsFillLastLine = length / 3 > 0 && (length / 3) % 19 == 0;
        EXPECT_EQ(encoded.ends_with("\r\n"), fullGroupsFillLastLine && length % 3 == 0);
        EXPECT_EQ(encoded.size(), (length + 2) / 3 * 4 + (length / 3 / 19) * 2);
    }
}

}  // namespace
}  // namespace sieveclaw

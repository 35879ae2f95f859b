// CEmailMsg::Process on a 10 MB multipart message with 20 base64 attachments and on a 100 KB
// quoted-printable HTML message, side by side with GMime building its MIME tree from the same
// bytes and walking every part (each part's content object and its stream touched) in the same run.
//
// Then the decoding of messages as people read them (DecodeMessage: header texts, every text part
// in UTF-8 with HTML reduced to its text, the file names) on four messages of about 100 KB and on
// the 10 MB one, side by side with GMime parsing the same bytes and decoding the same: the
// subject and the sender, every text part's text in UTF-8 and every part's file name.
//
// usage: bench_process [ROUNDS]   (default 20; the 100 KB messages run 50 times as many rounds)
// Prints the best round of each as MB/s and the ratio ours / GMime.

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bench/BenchMessages.h"
#include "mail/CEmailMsg.h"
#include "mail/DecodedMessage.h"

#if defined(SIEVECLAW_HAVE_GMIME)
#include <gmime/gmime.h>
#endif

namespace sieveclaw {
namespace {

using Clock = std::chrono::steady_clock;

using bench::Base64Lines;
using bench::CRandom;
using bench::QuotedPrintable;

// bytes random bytes, base64-encoded.
std::string RandomBase64(CRandom& random, std::size_t bytes) {
    std::string data(bytes, '\0');
    for (char& c : data) {
        c = static_cast<char>(random.Next());
    }
    return Base64Lines(data);
}

std::string MultipartMessage() {
    CRandom random(20240401);
    const std::string boundary = "----=_NextPart_000_0042_01DA8F3C.1B2A3C40";
    std::string text =
        "Return-Path: <ann@example.org>\r\n"
        "From: Ann Lee <ann@example.org>\r\n"
        "To: bob@example.com\r\n"
        "Subject: Quarterly figures and scans\r\n"
        "Date: Tue, 2 Apr 2024 09:15:00 +0200\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed;\r\n\tboundary=\"" +
        boundary + "\"\r\n\r\nThis is a multi-part message in MIME format.\r\n\r\n--" + boundary +
        "\r\nContent-Type: text/plain; charset=\"us-ascii\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n";
    for (int line = 0; line < 40; ++line) {
        text += "The scans of the signed contracts and the spreadsheets are attached.\r\n";
    }
    for (int part = 0; part < 20; ++part) {
        const std::string name = "scan" + std::to_string(part) + ".pdf";
        text += "\r\n--" + boundary + "\r\nContent-Type: application/pdf; name=\"" + name +
                "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" + name +
                "\"\r\nContent-Description: " + name + "\r\n\r\n";
        text += RandomBase64(random, 375 * 1024);
    }
    text += "\r\n--" + boundary + "--\r\n";
    return text;
}

std::string HtmlMessage() {
    CRandom random(7);
    static constexpr std::string_view kWords[] = {"garden",   "chair",  "table",   "offer", "week",     "price",
                                                  "delivery", "free",   "caf\xe9", "sun",   "umbrella", "cushion",
                                                  "wooden",   "steel",  "summer",  "sale",  "only",     "today",
                                                  "while",    "stocks", "last",    "and",   "the",      "for"};
    std::string html =
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n"
        "<style>p { color: #3D3D3D; margin: 0 0 8px 0; }</style>\n</head>\n<body bgcolor=\"#FFFFFF\">\n";
    for (int item = 0; html.size() < 90 * 1024; ++item) {
        html += "<table width=\"100%\" cellpadding=\"4\"><tr><td class=\"offer\" valign=\"top\">\n<p>";
        for (int word = 0; word < 40; ++word) {
            html += kWords[random.Next() % std::size(kWords)];
            html += word % 13 == 12 ? " \n" : " ";
        }
        html += "</p>\n<a href=\"https://shop.example/item?id=" + std::to_string(item) +
                "&amp;ref=mail\">Details</a></td></tr></table>\n";
    }
    html += "</body>\n</html>\n";
    return "From: Offers <news@shop.example>\r\n"
           "To: bob@example.com\r\n"
           "Subject: This week only\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: text/html; charset=\"iso-8859-1\"\r\n"
           "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
           QuotedPrintable(html);
}

// One Process run; the copy into the record is made before the clock starts.
double OurRound(const std::string& text, std::size_t& parts) {
    CEmailMsg message;
    message.m_Body = text;
    const auto start = Clock::now();
    message.Process();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    parts = message.m_Attachments.size();
    if (message.m_Body.empty()) {
        std::fprintf(stderr, "Process gave an empty body\n");
        std::exit(1);
    }
    return seconds;
}

// One decoding, the result freed within the round as GMime's tree is.
double OurDecodeRound(const std::string& text, std::size_t& parts) {
    const auto start = Clock::now();
    {
        const CDecodedMessage decoded = DecodeMessage(text);
        parts = decoded.m_Texts.size() + decoded.m_FileNames.size();
        if (decoded.m_Subject.empty() || decoded.m_Texts.empty()) {
            std::fprintf(stderr, "DecodeMessage found no subject or no text\n");
            std::exit(1);
        }
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

#if defined(SIEVECLAW_HAVE_GMIME)

void TouchPart(GMimeObject* /*parent*/, GMimeObject* part, gpointer data) {
    auto* touched = static_cast<std::int64_t*>(data);
    if (GMIME_IS_PART(part)) {
        GMimeDataWrapper* content = g_mime_part_get_content(reinterpret_cast<GMimePart*>(part));
        if (content != nullptr) {
            *touched += g_mime_stream_length(g_mime_data_wrapper_get_stream(content));
        }
    }
    *touched += 1;
}

// Every text part's text in UTF-8 and every part's file name, as people would read them.
void DecodePart(GMimeObject* /*parent*/, GMimeObject* part, gpointer data) {
    auto* touched = static_cast<std::int64_t*>(data);
    if (GMIME_IS_TEXT_PART(part)) {
        char* text = g_mime_text_part_get_text(reinterpret_cast<GMimeTextPart*>(part));
        if (text != nullptr) {
            *touched += static_cast<std::int64_t>(std::strlen(text));
            g_free(text);
        }
    }
    if (GMIME_IS_PART(part)) {
        const char* name = g_mime_part_get_filename(reinterpret_cast<GMimePart*>(part));
        *touched += name != nullptr ? static_cast<std::int64_t>(std::strlen(name)) : 0;
    }
    *touched += 1;
}

// GMime parses from a memory stream over the same bytes, which it neither copies nor owns. With
// decode, the subject and the sender are read decoded and every part goes through DecodePart;
// otherwise every part through TouchPart.
double GMimeRound(GByteArray* bytes, std::int64_t& touched, bool decode) {
    const auto start = Clock::now();
    GMimeStream* stream = g_mime_stream_mem_new_with_byte_array(bytes);
    g_mime_stream_mem_set_owner(reinterpret_cast<GMimeStreamMem*>(stream), FALSE);
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    touched = 0;
    if (message != nullptr) {
        if (decode) {
            const char* subject = g_mime_message_get_subject(message);
            char* from = internet_address_list_to_string(g_mime_message_get_from(message), nullptr, FALSE);
            touched += (subject != nullptr ? 1 : 0) + (from != nullptr ? 1 : 0);
            g_free(from);
        }
        g_mime_message_foreach(message, decode ? DecodePart : TouchPart, &touched);
        g_object_unref(message);
    }
    g_object_unref(parser);
    g_object_unref(stream);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

#endif

// The rounds of the two sides alternate, so that both meet the same load on a shared machine;
// the best round of each counts. With decode, DecodeMessage and GMime's decoding; otherwise
// Process and GMime's parse.
void Measure(const std::string& label, const std::string& text, int rounds, bool decode) {
    const double megabytes = static_cast<double>(text.size()) / (1024.0 * 1024.0);
    std::size_t parts = 0;
    double ours = 1e30;
    const auto ourRound = decode ? OurDecodeRound : OurRound;
#if defined(SIEVECLAW_HAVE_GMIME)
    GByteArray* bytes = g_byte_array_sized_new(static_cast<guint>(text.size()));
    g_byte_array_append(bytes, reinterpret_cast<const guint8*>(text.data()), static_cast<guint>(text.size()));
    std::int64_t touched = 0;
    double theirs = 1e30;
    for (int round = 0; round < rounds; ++round) {
        ours = std::min(ours, ourRound(text, parts));
        theirs = std::min(theirs, GMimeRound(bytes, touched, decode));
    }
    g_byte_array_unref(bytes);
    if (touched == 0) {
        std::fprintf(stderr, "GMime parsed no part\n");
        std::exit(1);
    }
    std::printf("%-32s %8.2f MB %6zu %12.1f %12.1f %8.2f\n", label.c_str(), megabytes, parts, megabytes / ours,
                megabytes / theirs, theirs / ours);
#else
    for (int round = 0; round < rounds; ++round) {
        ours = std::min(ours, ourRound(text, parts));
    }
    std::printf("%-32s %8.2f MB %6zu %12.1f %12s %8s\n", label.c_str(), megabytes, parts, megabytes / ours, "-", "-");
#endif
}

// Prose of words and punctuation, about bytes long.
std::string Prose(std::size_t bytes) {
    CRandom random(11);
    static constexpr std::string_view kWords[] = {"garden", "chair", "table", "offer", "week", "price", "delivery",
                                                  "free", "sun", "umbrella", "cushion", "wooden", "steel", "summer",
                                                  "sale", "only", "today", "while", "stocks", "last", "and", "the"};
    std::string prose;
    while (prose.size() < bytes) {
        prose += kWords[random.Next() % std::size(kWords)];
        prose += random.Next() % 12 == 0 ? ". " : " ";
    }
    return prose;
}

}  // namespace
}  // namespace sieveclaw

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    // Freed memory stays with the process between rounds, as it does in a filter that has been
    // running a while: otherwise the kernel's page clearing for each round's fresh attachment
    // blocks, which depends on what the allocator did before, would swamp what is measured.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#if defined(SIEVECLAW_HAVE_GMIME)
    g_mime_init();
#else
    std::printf("GMime was not found when this program was built: its column stays empty\n");
#endif
    using sieveclaw::Measure;
    const std::string multipart = sieveclaw::MultipartMessage();
    const std::string html = sieveclaw::HtmlMessage();
    std::printf("best of %d rounds (%d for the HTML message), rounds of both sides alternating\n", rounds, rounds * 50);
    std::printf("%-32s %11s %6s %12s %12s %8s\n", "message", "size", "parts", "ours MB/s", "GMime MB/s", "ratio");
    Measure("multipart, 20 base64", multipart, rounds, false);
    Measure("HTML, quoted-printable", html, rounds * 50, false);

    std::printf("\ndecoding as people read them, best of %d rounds (%d for the 100 KB messages)\n", rounds, rounds * 50);
    std::printf("%-32s %11s %6s %12s %12s %8s\n", "message", "size", "texts", "ours MB/s", "GMime MB/s", "ratio");
    for (const sieveclaw::bench::CSampleMessage& sample :
         sieveclaw::bench::SampleMessages(sieveclaw::Prose(100 * 1024), 100 * 1024)) {
        Measure(sample.m_Label, sample.m_Text, rounds * 50, true);
    }
    Measure("HTML, quoted-printable (above)", html, rounds * 50, true);
    Measure("multipart, 20 base64 (above)", multipart, rounds, true);
#if defined(SIEVECLAW_HAVE_GMIME)
    g_mime_shutdown();
#endif
    return 0;
}

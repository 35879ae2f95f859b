#include <unistd.h>

#include <iostream>

#include "app/CliCommands.h"
#include "core/PrintableText.h"
#include "mail/CEmailMsg.h"
#include "mail/DecodedMessage.h"
#include "mail/MessageFiles.h"
#include "mail/RawMessage.h"

namespace sieveclaw {

namespace {

// The message as people read it. Decoded text can hold any character, so everything passes the
// terminal filter.
int PrintDecoded(const CEmailMsg& message) {
    const CDecodedMessage decoded = DecodeMessage(message.m_RawText);
    std::cout << "To: " << PrintableText(decoded.m_To) << "\n"
              << "From: " << PrintableText(decoded.m_From) << "\n"
              << "Subject: " << PrintableText(decoded.m_Subject) << "\n"
              << "Date: " << PrintableText(decoded.m_Date) << "\n";
    for (const CDecodedText& text : decoded.m_Texts) {
        const std::string shown = PrintableText(text.m_Text, true);
        std::cout << "Text: " << text.m_MediaType << "\n" << shown << (shown.ends_with('\n') ? "" : "\n");
    }
    for (const std::string& name : decoded.m_FileNames) {
        std::cout << "Attachment: " << PrintableText(name) << "\n";
    }
    if (decoded.m_Cut) {
        std::cout << "(the message goes beyond the decoding limits; the rest is not shown)\n";
    }
    return std::cout.flush() ? 0 : 1;
}

}  // namespace

int RunParseCommand(const std::vector<std::string>& arguments) {
    std::string path;
    bool stored = false;
    bool body = false;
    bool decoded = false;
    for (const std::string& argument : arguments) {
        if (argument == "--stored") {
            stored = true;
        } else if (argument == "--body") {
            body = true;
        } else if (argument == "--decoded") {
            decoded = true;
        } else if (path.empty() && argument.rfind("--", 0) != 0) {
            path = argument;
        } else {
            std::cerr << "sieveclaw-cli parse: unexpected argument '" << argument << "'\n";
            return 2;
        }
    }
    if (path.empty()) {
        std::cerr << "usage: sieveclaw-cli parse FILE [--stored] [--body | --decoded]\n";
        return 2;
    }

    CEmailMsg message;
    if (stored) {
        LoadMessageText(path, message);
        if (message.m_RawText.empty()) {
            std::cerr << "sieveclaw-cli parse: cannot read '" << path << "' or it is empty\n";
            return 1;
        }
    } else if (!LoadRawMessage(path, message)) {
        std::cerr << "sieveclaw-cli parse: cannot read '" << path << "'\n";
        return 1;
    }
    if (decoded) {
        return PrintDecoded(message);
    }
    message.Process();

    if (body) {
        // Into a file or a pipe the body goes byte for byte; on a terminal its escape sequences
        // would be obeyed.
        std::cout << (::isatty(STDOUT_FILENO) != 0 ? PrintableText(message.m_Body, true) : message.m_Body);
        return std::cout.flush() ? 0 : 1;
    }
    std::cout << "To: " << PrintableText(message.m_To) << "\n"
              << "From: " << PrintableText(message.m_From) << "\n"
              << "Subject: " << PrintableText(message.m_Subject) << "\n"
              << "Date: " << PrintableText(message.m_Date) << "\n";
    // One line per part; the values keep the blank that follows the field's colon.
    for (const EmailAttachment& attachment : message.m_Attachments) {
        std::cout << "Attachment:\t" << PrintableText(attachment.m_ContentType) << "\t"
                  << PrintableText(attachment.m_Disposition) << "\t" << PrintableText(attachment.m_Description)
                  << "\t" << PrintableText(attachment.m_TransferEncoding) << "\t" << attachment.Length() << "\n";
    }
    return std::cout.flush() ? 0 : 1;
}

}  // namespace sieveclaw

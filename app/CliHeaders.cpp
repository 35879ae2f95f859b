#include <cstdlib>
#include <iostream>

#include "app/CliCommands.h"
#include "app/PasswordPrompt.h"
#include "core/PrintableText.h"
#include "mail/DecodedMessage.h"
#include "net/CPOP3Client.h"
#include "net/SocketErrorText.h"

namespace sieveclaw {

namespace {

struct HeadersOptions {
    std::string m_Server;
    int m_Port = 110;
    bool m_ImplicitTls = false;
    std::string m_User;
};

bool ParsePort(const std::string& text, int& port) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 1 || value > 65535) {
        return false;
    }
    port = static_cast<int>(value);
    return true;
}

bool ParseHeadersOptions(const std::vector<std::string>& arguments, HeadersOptions& options, std::string& error) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (name == "--implicit-tls") {
            options.m_ImplicitTls = true;
        } else if (name == "--server" && hasValue) {
            options.m_Server = arguments[++i];
        } else if (name == "--user" && hasValue) {
            options.m_User = arguments[++i];
        } else if (name == "--port" && hasValue) {
            if (!ParsePort(arguments[++i], options.m_Port)) {
                error = "the port must be a number from 1 to 65535, not '" + arguments[i] + "'";
                return false;
            }
        } else {
            error = hasValue || name.rfind("--", 0) != 0 ? "unknown option '" + name + "'"
                                                         : "option '" + name + "' needs a value";
            return false;
        }
    }
    if (options.m_Server.empty() || options.m_User.empty()) {
        error = "--server and --user are required";
        return false;
    }
    return true;
}

}  // namespace

int RunHeadersCommand(const std::vector<std::string>& arguments) {
    HeadersOptions options;
    std::string error;
    if (!ParseHeadersOptions(arguments, options, error)) {
        std::cerr << "sieveclaw-cli headers: " << error << "\n"
                  << "usage: sieveclaw-cli headers --server HOST [--port N] [--implicit-tls] --user NAME\n";
        return 2;
    }
    std::string password;
    if (const char* fromEnvironment = std::getenv("SIEVECLAW_PASSWORD"); fromEnvironment != nullptr) {
        password = fromEnvironment;
    } else if (auto typed = ReadPasswordWithoutEcho("Password for " + options.m_User + ": ")) {
        password = *typed;
    } else {
        std::cerr << "sieveclaw-cli headers: no password (set SIEVECLAW_PASSWORD or type it)\n";
        return 2;
    }

    CTransportOptions transport;
    if (options.m_ImplicitTls) {
        transport.m_ImplicitTlsPorts.push_back(options.m_Port);
    }
    CPOP3Client client(std::move(transport));
    if (!client.Logon(options.m_Server, options.m_User, password, options.m_Port)) {
        // Without a server reply the reason is the connection's own.
        const std::string reason = client.m_LastError.empty() ? SocketErrorText(0) : client.m_LastError;
        std::cerr << "Sieveclaw was unable to logon to your incoming mail server (POP3).  The following error was "
                     "returned: "
                  << PrintableText(reason, true) << "\n";
        return 1;
    }
    long long count = 0;
    long long size = 0;
    client.GetStats(count, size);
    for (long long n = 1; n <= count; ++n) {
        CEmailMsg message;
        client.GetHeader(static_cast<int>(n), message);
        const MessageEntry shown = DisplaySummary(message.Summary());
        std::cout << n << '\t' << PrintableText(shown.m_To) << '\t' << PrintableText(shown.m_From) << '\t'
                  << PrintableText(shown.m_Subject) << '\t' << PrintableText(shown.m_Date) << '\n';
    }
    client.Logoff();
    std::cout.flush();
    return std::cout ? 0 : 1;
}

}  // namespace sieveclaw

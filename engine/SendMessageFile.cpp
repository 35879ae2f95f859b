#include "engine/SendMessageFile.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "core/LeadingNumber.h"
#include "engine/AccountTransport.h"
#include "mail/CEmailMsg.h"
#include "mail/MessageFiles.h"
#include "net/CSMTPClient.h"

namespace sieveclaw {

namespace {

constexpr const char* kHtmlHeaderLines = "MIME-Version: 1.0\r\nContent-Type: text/html; charset=\"iso-8859-1\"\r\n";

// A copy of the account named name, or nothing when no account has that exact name.
std::optional<EmailAccountInfo> AccountNamed(const CAccountList& accounts, const std::string& name) {
    const ListPos pos = FindAccount(accounts, name);
    return pos == kNoPos ? std::nullopt : accounts.GetAt(pos);
}

}  // namespace

bool SendMessageFile(const std::string& filePath, const EmailAccountInfo& account, const std::string& to,
                     const std::string& from, const std::string& subject, const std::string& headline,
                     const SendStatusFn& status, CUserPrompt& prompt, const CTransportOptions& transport) {
    const auto show = [&status](ESendBoxLine line, const std::string& text) {
        if (status) {
            status(line, text);
        }
    };
    CEmailMsg message;
    LoadMessageText(filePath, message);
    message.m_To = to;
    message.m_From = from;
    message.m_Subject = subject;
    show(ESendBoxLine::kHeadline, headline.empty() ? kSalvageHeadline : headline);

    CSMTPClient client(AccountTransport(transport, account, EMailServer::kSmtp));
    // However the server behaves, the window is given back: a Timeout each for the logon and the
    // logoff, and the message's own allowance for its size.
    const auto stage = std::max(transport.TimeoutDuration(), transport.m_TimeoutUnit);
    client.SetDeadline(std::chrono::steady_clock::now() + 2 * stage +
                       SendingAllowance(message.m_RawText.size(), transport));
    client.m_Sock.RunWaitHook();
    const int port = LeadingNumber<int>(account.m_SMTPPort);
    bool loggedOn = false;
    if (account.m_SMTPNeedsLogon != 0) {
        show(ESendBoxLine::kStatus, "Logging into your email server.");
        loggedOn = client.Logon(account.m_SMTPServer, port, account.m_SMTPUserId, account.m_SMTPPassword);
    } else {
        show(ESendBoxLine::kStatus, "Connecting to your email server.");
        loggedOn = client.Logon(account.m_SMTPServer, port);
    }
    if (!loggedOn) {
        show(ESendBoxLine::kStatus, "Done.");
        std::string text =
            "Unable to connect to your SMTP email server.  Most likely your UserId, Password or SMTP server is "
            "incorrect.  Click Preferences to correct this.";
        if (!client.m_LastError.empty()) {
            text += "\n\nThe the following was returned from the server: " + client.m_LastError;
        }
        prompt.ShowError(text);
        return false;
    }

    show(ESendBoxLine::kStatus, "Sending email...");
    message.Process();
    if (message.m_Body.starts_with("<html>") || message.m_Body.starts_with("<HTML>")) {
        client.m_ExtraHeaderLines = kHtmlHeaderLines;
    }
    const bool sent = client.SendMail(message);
    if (!sent) {
        prompt.ShowError("Sieveclaw had a problem sending mail.  This was returned from the server: " +
                         client.m_LastError);
    }
    show(ESendBoxLine::kStatus, "Done.  Now logging off your email server");
    client.m_Sock.RunWaitHook();
    client.Logoff();
    show(ESendBoxLine::kStatus, "Done.");
    return sent;
}

ESendOutcome SalvageSpamFile(const std::string& filePath, const CAccountList& accounts,
                             GuardedList<MessageEntry>& salvaged, const SendStatusFn& status, CUserPrompt& prompt,
                             const CTransportOptions& transport) {
    const std::optional<EmailAccountInfo> account = AccountNamed(accounts, ReadAccountLine(filePath));
    if (!account) {
        return ESendOutcome::kNoAccount;
    }
    MessageEntry stored;
    std::string reason;
    ReadReasonLine(filePath, stored, reason);
    if (!SendMessageFile(filePath, *account, account->m_EmailAddress, stored.m_From, stored.m_Subject, "", status,
                         prompt, transport)) {
        return ESendOutcome::kNotSent;
    }
    stored.m_FilePath.clear();
    salvaged.Append(stored);
    ::unlink(filePath.c_str());
    return ESendOutcome::kSent;
}

ESendOutcome SalvageViewedFile(const std::string& filePath, const std::string& accountName,
                               const MessageEntry& stored, const CAccountList& accounts,
                               GuardedList<MessageEntry>& salvaged, const SendStatusFn& status, CUserPrompt& prompt,
                               const CTransportOptions& transport) {
    const std::optional<EmailAccountInfo> account = AccountNamed(accounts, accountName);
    if (!account) {
        return ESendOutcome::kNoAccount;
    }
    if (!SendMessageFile(filePath, *account, account->m_EmailAddress, stored.m_From, stored.m_Subject, "", status,
                         prompt, transport)) {
        return ESendOutcome::kNotSent;
    }
    salvaged.Append(MessageEntry{account->m_EmailAddress, stored.m_From, stored.m_Subject, {}, {}});
    ::unlink(filePath.c_str());
    return ESendOutcome::kSent;
}

std::string BounceNoticeText(const MessageEntry& stored) {
    return "Your message\n\nTo:\t" + stored.m_To + "\nSubject:\t" + stored.m_Subject + "\nSent:\t" + stored.m_Date +
           "\n\ndid not reach the following recipient(s):\n\n" + stored.m_To + " on " + stored.m_Date +
           "\n\tThe recipient name is not recognized";
}

ESendOutcome BounceSpamFile(const std::string& filePath, const CAccountList& accounts, const SendStatusFn& status,
                            CUserPrompt& prompt, const CTransportOptions& transport) {
    MessageEntry stored;
    std::string reason;
    ReadReasonLine(filePath, stored, reason);
    CEmailMsg notice;
    // A header of its own, so that the body parser takes the notice whole: without one it skips
    // the first two lines of the file and "Your message" with them.
    notice.m_RawText = "Content-Type: text/plain\r\n\r\n" + BounceNoticeText(stored);
    const std::optional<EmailAccountInfo> account = AccountNamed(accounts, ReadAccountLine(filePath));
    if (!account) {
        return ESendOutcome::kNoAccount;
    }
    // Sent from a message file like every other send, under a name of its own, so that two bounces
    // at once never send each other's notice. A notice that cannot be written is not sent.
    const std::optional<std::string> noticePath =
        SaveEmailToTemporaryFile(notice, account->m_AccountName, reason);
    bool sent = false;
    if (!noticePath) {
        prompt.ShowError("Sieveclaw could not write the notice to send: " + std::string(std::strerror(errno)));
    } else {
        sent = SendMessageFile(*noticePath, *account, stored.m_From, stored.m_To, "Undeliverable: " + stored.m_Subject,
                               kBounceHeadline, status, prompt, transport);
        ::unlink(noticePath->c_str());
    }
    ::unlink(filePath.c_str());
    return sent ? ESendOutcome::kSent : ESendOutcome::kNotSent;
}

}  // namespace sieveclaw

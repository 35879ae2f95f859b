#include "net/CSMTPClient.h"

#include <limits.h>
#include <unistd.h>

#include <cstdio>

#include "core/ActivityLog.h"
#include "net/Base64.h"
#include "net/ReadComplete.h"
#include "net/SmtpReplies.h"
#include "net/SocketErrorText.h"

namespace sieveclaw {

namespace {

// A reply this long without its last line is not a mail server talking.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;

bool HoldsLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// AUTH LOGIN wants each answer on one line; the 76-character lines of the MIME form would split
// a long user id or password into two answers.
std::string OneLineBase64(std::string_view text) {
    std::string encoded = Base64Encode(text);
    std::erase(encoded, '\r');
    std::erase(encoded, '\n');
    return encoded;
}

// The body parser cuts a part's data just before the boundary text, so the data ends with the
// start of the delimiter line: one or two '-' after the last line break. Sent as they are (and
// with the "--" line that used to follow), they put a line of dashes into every attachment: a
// defect in base64 data and added text in any other.
std::string_view WithoutDelimiterRemains(std::string_view data) {
    const std::size_t last = data.find_last_not_of('-');
    if (last == std::string_view::npos) {
        return {};
    }
    return data[last] == '\n' ? data.substr(0, last + 1) : data;
}

}  // namespace

std::chrono::milliseconds SendingAllowance(std::size_t bytes, const CTransportOptions& options) {
    const auto slow = std::chrono::milliseconds(bytes * 1000 / kSlowLinkBytesPerSecond);
    return std::max(options.TimeoutDuration(), options.m_TimeoutUnit) + slow;
}

std::string SmtpDateText(const std::tm& local) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", (local.tm_mon + 1) % 100, local.tm_mday % 100,
                  local.tm_year % 100, local.tm_hour % 100, local.tm_min % 100, local.tm_sec % 100);
    return text;
}

std::string SmtpHelloName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        name[0] = '\0';
    }
    return HelloNameFor(name);
}

CSMTPClient::CSMTPClient(CTransportOptions options) : m_Sock(std::move(options)) {
    if (!m_Sock.Create()) {
        WriteActivityLog2("CSMTPClient::CSMTPClient - Create Socket failed - ", SocketErrorText(0));
    }
}

CSMTPClient::~CSMTPClient() {
    m_Sock.Close();
}

std::string CSMTPClient::ReadReply() {
    std::size_t length = 0;
    const EReadComplete outcome = ReadComplete(
        m_Sock, [](std::string_view ready, std::size_t from) { return SmtpReplyLength(ready, from); }, kMaxReplyBytes,
        length);
    std::string reply;
    switch (outcome) {
        case EReadComplete::kComplete:
            reply.assign(m_Sock.Buffered().substr(0, length));
            m_Sock.Consume(length);
            return reply;
        case EReadComplete::kClosed:
            // What came before the close is all the server will say.
            reply.assign(m_Sock.Buffered());
            m_Sock.Consume(reply.size());
            m_NoReplyReason = "The server closed the connection.";
            break;
        case EReadComplete::kTimedOut:
            m_NoReplyReason = "The server did not answer in time.";
            break;
        case EReadComplete::kTooLong:
            m_NoReplyReason = "The server sent an endless reply.";
            break;
        case EReadComplete::kDead:
            m_NoReplyReason = "The connection to the server is closed.";
            break;
    }
    WriteActivityLog2("CSMTPClient - no complete reply: ", m_NoReplyReason);
    return reply;
}

std::string CSMTPClient::Command(std::string_view command) {
    m_Sock.Send(command);
    return ReadReply();
}

void CSMTPClient::KeepRefusal(const std::string& reply) {
    m_LastError = reply.empty() ? m_NoReplyReason : reply;
}

bool CSMTPClient::Logon(const std::string& host, int port, const std::optional<std::string>& userId,
                        const std::optional<std::string>& password) {
    WriteActivityLog("CSMTPClient::Logon - entered");
    if (!m_Sock.IsValid() && !m_Sock.Create()) {
        WriteActivityLog2("CSMTPClient::Logon - ", SocketErrorText(0));
    }
    m_Connected = m_Sock.Connect(host, port) ? 1 : 0;
    if (m_Connected == 0) {
        WriteActivityLog("CSMTPClient::Logon - m_Sock.Connect failed");
        WriteActivityLog("CSMTPClient::Logon - leaving");
        return false;
    }
    const bool implicitTls = m_Sock.Options().TlsFromFirstByte(port);
    if (implicitTls && !StartTls(host)) {
        return false;
    }
    ReadReply();  // the greeting says nothing we act on
    const std::string name = SmtpHelloName();
    std::string ehloReply = Hello(name);
    if (!implicitTls && !StartTlsIfOffered(host, name, ehloReply)) {
        return false;
    }

    if (userId) {
        WriteActivityLog("CSMTPClient::Logon - sending AUTH LOGIN info");
        std::string reply = Command("AUTH LOGIN\r\n");
        // Without the server's prompt the user id and password would be read as commands.
        if (!ReplyCodeIs(reply, "334")) {
            WriteActivityLog2("CSMTPClient::Logon - response from AUTH LOGIN:", reply);
            return FailAuthentication(reply);
        }
        WriteActivityLog2("CSMTPClient::Logon - sending user id:", *userId);
        reply = Command(OneLineBase64(*userId) + "\r\n");
        WriteActivityLog2("CSMTPClient::Logon - response from user id:", reply);
        if (!ReplyCodeIs(reply, "334")) {
            return FailAuthentication(reply);
        }
        reply = Command(OneLineBase64(password.value_or("")) + "\r\n");
        WriteActivityLog2("CSMTPClient::Logon - response from pwd:", reply);
        if (!ReplyCodeIs(reply, "235")) {
            return FailAuthentication(reply);
        }
        m_Authenticated = 1;
        WriteActivityLog("CSMTPClient::Logon - Authenticated.  Now leaving");
        return true;
    }
    WriteActivityLog("CSMTPClient::Logon - leaving");
    return m_Connected != 0;
}

// AUTH belongs to EHLO: a server that answered HELO refuses it. HELO stays for the old servers
// that know no EHLO.
std::string CSMTPClient::Hello(const std::string& name) {
    WriteActivityLog("CSMTPClient::Logon - sending EHLO");
    std::string reply = Command("EHLO " + name + "\r\n");
    WriteActivityLog2("CSMTPClient::Logon - response from EHLO:", reply);
    if (ReplyCodeIs(reply, "250")) {
        return reply;
    }
    WriteActivityLog("CSMTPClient::Logon - sending HELO");
    reply = Command("HELO " + name + "\r\n");
    WriteActivityLog2("CSMTPClient::Logon - response from HELO:", reply);
    return {};
}

// A server that offers STARTTLS gets the password and the mail only over TLS. One that lists it
// and then refuses it ends the logon: going on in plain text would hand both to whoever stripped
// the upgrade.
bool CSMTPClient::StartTlsIfOffered(const std::string& host, const std::string& name, std::string& ehloReply) {
    if (!EhloOffers(ehloReply, "STARTTLS")) {
        if (m_Sock.Options().m_Security == EConnectionSecurity::kStartTls) {
            // The account asks for STARTTLS: neither the user name, the password nor the mail
            // goes out without it.
            return FailLogon("The server " + host +
                                 " does not offer a secure connection (STARTTLS), which this account requires; "
                                 "nothing was sent.",
                             true);
        }
        WriteActivityLog("CSMTPClient::Logon - server does not offer STARTTLS, going on without TLS");
        return true;
    }
    WriteActivityLog("CSMTPClient::Logon - sending STARTTLS");
    const std::string reply = Command("STARTTLS\r\n");
    if (!ReplyCodeIs(reply, "220")) {
        return FailLogon("The server " + host + " offers a secure connection (STARTTLS) but refused to start it: " +
                             (reply.empty() ? m_NoReplyReason : reply),
                         true);
    }
    if (!StartTls(host)) {
        return false;
    }
    // What the server offered before TLS may have been tampered with; ask again.
    ehloReply = Hello(name);
    return true;
}

bool CSMTPClient::StartTls(const std::string& host) {
    WriteActivityLog("CSMTPClient::Logon - Starting TLS");
    std::string error;
    if (!m_Sock.StartTls(host, error)) {
        // The half-made TLS session leaves nothing that could carry a QUIT.
        return FailLogon(error, false);
    }
    WriteActivityLog2("CSMTPClient::Logon - TLS established: ", m_Sock.TlsDescription());
    return true;
}

bool CSMTPClient::FailLogon(const std::string& reason, bool sendQuit) {
    m_LastError = reason;
    WriteActivityLog2("CSMTPClient::Logon - TLS failed: ", reason);
    if (!sendQuit) {
        m_Connected = 0;
    }
    Logoff();
    return false;
}

bool CSMTPClient::FailAuthentication(const std::string& reply) {
    m_Authenticated = 0;
    // The text without the three-digit code and the blank after it.
    m_LastError = reply.empty() ? m_NoReplyReason : reply.substr(std::min<std::size_t>(4, reply.size()));
    Logoff();
    m_Connected = 0;
    return false;
}

// The server still holds the sender of a mail that stopped half-way; without RSET the next
// MAIL FROM on this connection would be refused as nested.
void CSMTPClient::ResetTransaction() {
    WriteActivityLog("CSMTPClient::SendMail - sending RSET");
    const std::string reply = Command("RSET\r\n");
    WriteActivityLog2("CSMTPClient::SendMail - response from RSET:", reply);
}

void CSMTPClient::SetDeadline(std::chrono::steady_clock::time_point deadline) {
    m_Deadline = deadline;
    m_Sock.SetDeadline(deadline);
}

bool CSMTPClient::SendPiece(std::string_view piece, CDataTransparency& wire) {
    WriteActivityLog(piece, false);
    return m_Sock.Send(wire.Encode(piece)) >= 0;
}

bool CSMTPClient::FailSending() {
    m_LastError = "The server stopped taking the message before all of it was sent.";
    WriteActivityLog("CSMTPClient::SendMail - the message could not be sent whole");
    // Half a message stands on the connection: nothing more can be said on it, not even QUIT.
    m_Connected = 0;
    m_Sock.Close();
    m_Sock.SetDeadline(m_Deadline);
    m_ExtraHeaderLines.clear();
    return false;
}

bool CSMTPClient::SendMail(CEmailMsg& message) {
    WriteActivityLog("CSMTPClient::SendMail - entered");
    if (m_Connected == 0) {
        WriteActivityLog("CSMTPClient::SendMail - leaving");
        return false;
    }
    // A line break would end the command or header line and start another of the text's choosing.
    if (HoldsLineBreak(message.m_From) || HoldsLineBreak(message.m_To) || HoldsLineBreak(message.m_Subject)) {
        m_LastError = "The sender, recipient or subject of the message holds a line break.";
        WriteActivityLog("CSMTPClient::SendMail - refused a sender, recipient or subject with a line break");
        return false;
    }
    std::string reply = Command("MAIL FROM:<" + message.m_From + ">\r\n");
    WriteActivityLog2("CSMTPClient::SendMail - response from MAIL FROM:", reply);
    if (!ReplyCodeIs(reply, "250")) {
        KeepRefusal(reply);
        return false;
    }
    reply = Command("RCPT TO:<" + message.m_To + ">\r\n");
    WriteActivityLog2("CSMTPClient::SendMail - response from RCPT TO:", reply);
    if (!ReplyCodeIs(reply, "250") && !ReplyCodeIs(reply, "251")) {
        KeepRefusal(reply);
        ResetTransaction();
        return false;
    }
    reply = Command("DATA\r\n");
    WriteActivityLog2("CSMTPClient::SendMail - response from DATA:", reply);
    if (!ReplyCodeIs(reply, "354")) {
        KeepRefusal(reply);
        ResetTransaction();
        return false;
    }

    std::size_t size = message.m_Body.size();
    for (const EmailAttachment& attachment : message.m_Attachments) {
        size += attachment.m_Data.size();
    }
    m_Sock.SetDeadline(std::min(m_Deadline, std::chrono::steady_clock::now() +
                                                SendingAllowance(size, m_Sock.Options())));
    CDataTransparency wire;
    bool whole = true;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    whole = SendPiece("From: " + message.m_From + "\r\n", wire) &&
            SendPiece("Date: " + SmtpDateText(local) + "\r\n", wire) &&
            SendPiece("X-Mailer: Sieveclaw 1.0\r\n", wire) && SendPiece("To: " + message.m_To + "\r\n", wire) &&
            SendPiece("Subject:" + message.m_Subject + "\r\n", wire);
    const auto& attachments = message.m_Attachments;
    if (attachments.empty() && !m_ExtraHeaderLines.empty()) {
        whole = whole && SendPiece(m_ExtraHeaderLines + "\r\n", wire);
    }
    if (!attachments.empty()) {
        // With attachments the extra lines describe the text part: at the top they would end
        // the header before the multipart lines and turn the whole message into that one type.
        std::string textPartHeader = "Content-Type: text/plain; charset=us-ascii\r\n";
        if (!m_ExtraHeaderLines.empty()) {
            textPartHeader = m_ExtraHeaderLines.ends_with("\r\n") ? m_ExtraHeaderLines : m_ExtraHeaderLines + "\r\n";
        }
        const std::string& boundary = attachments.front().m_Boundary;
        whole = whole && SendPiece("MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"" + boundary +
                                       "\"\r\n\r\n--" + boundary + "\r\n" + textPartHeader +
                                       "Content-Disposition: inline\r\n\r\n",
                                   wire);
    }
    // The body goes as it was stored: a line holding a single dot is the message's own (the wire
    // form doubles it), and so are lines starting with a dot or ending in blanks.
    std::string_view body = message.m_Body;
    if (attachments.empty()) {
        whole = whole && SendPiece("\r\n", wire);
    } else if (body.starts_with('\n')) {
        // The parser's text part begins with the line feed of the blank line that ended the part's
        // header, which the header above has already ended.
        body.remove_prefix(1);
    }
    whole = whole && SendPiece(body, wire);
    // A delimiter line begins with the line break that ends what stands before it; the data of a
    // part already ends with that line break when the parser cut it.
    std::string_view last = body;
    const auto delimiter = [&](const std::string& boundary, std::string_view close) {
        return (last.empty() || last.ends_with('\n') ? "--" : "\r\n--") + boundary + std::string(close) + "\r\n";
    };
    for (const EmailAttachment& attachment : attachments) {
        // The values keep the blank that followed the colon in the parsed message.
        whole = whole && SendPiece(delimiter(attachment.m_Boundary, "") + "Content-Type: " +
                                       attachment.m_ContentType + "\r\nContent-Transfer-Encoding: " +
                                       attachment.m_TransferEncoding + "\r\nContent-Description: " +
                                       attachment.m_Description + "\r\nContent-Disposition: " +
                                       attachment.m_Disposition + "\r\n\r\n",
                                   wire);
        last = WithoutDelimiterRemains(
            std::string_view(reinterpret_cast<const char*>(attachment.m_Data.data()), attachment.m_Data.size()));
        whole = whole && SendPiece(last, wire);
    }
    if (!attachments.empty()) {
        // The close delimiter: without it the last part has no end and the message is not
        // well-formed MIME.
        whole = whole && SendPiece(delimiter(attachments.front().m_Boundary, "--"), wire);
    }
    if (!whole || m_Sock.Send(wire.EndOfData()) < 0) {
        return FailSending();
    }
    reply = ReadReply();
    m_Sock.SetDeadline(m_Deadline);
    WriteActivityLog2("CSMTPClient::SendMail - sent the email.  Response:", reply);
    m_ExtraHeaderLines.clear();
    if (!ReplyCodeIs(reply, "250")) {
        KeepRefusal(reply);
        return false;
    }
    return true;
}

int CSMTPClient::Logoff() {
    WriteActivityLog("CSMTPClient::Logoff - entered");
    if (m_Connected != 0) {
        WriteActivityLog("CSMTPClient::Logoff - sending QUIT");
        const int sent = m_Sock.Send("QUIT\r\n");
        WriteActivityLogF("CSMTPClient::Logoff - Sent the quit command.  Num Chars sent = %d", sent);
        const std::string reply = ReadReply();
        WriteActivityLog2("CSMTPClient::Logoff - response:", reply);
    }
    m_Connected = 0;
    m_Sock.Close();
    WriteActivityLog("CSMTPClient::Logoff - leaving");
    return 0;
}

}  // namespace sieveclaw

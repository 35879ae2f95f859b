#pragma once

#include <chrono>
#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "mail/CEmailMsg.h"
#include "net/CSocket.h"

namespace sieveclaw {

class CDataTransparency;

// Sends messages through an account's outgoing server: EHLO (HELO when EHLO is refused), TLS
// (as the account's connection security asks: from the first byte, STARTTLS required, or
// STARTTLS when the server offers it and TLS from the first byte on an implicit-TLS port),
// optional AUTH LOGIN, then per message MAIL FROM, RCPT TO, DATA, a few header lines, the body
// and the attachments of a processed CEmailMsg; QUIT at Logoff. Replies are judged by their
// first three characters; a refusal is kept in m_LastError. Every step writes a trace line, and
// the activity log gets a copy of each message as sent. Used by one thread only.
class CSMTPClient {
public:
    explicit CSMTPClient(CTransportOptions options = {});
    ~CSMTPClient();  // closes the socket; sends no QUIT
    CSMTPClient(const CSMTPClient&) = delete;
    CSMTPClient& operator=(const CSMTPClient&) = delete;

    // True when connected and, when a user id is given, authenticated. On a refused logon
    // m_LastError holds the server's text without its code and QUIT has been sent; on a TLS
    // failure a sentence naming the reason. A failed connect leaves m_LastError as it was.
    bool Logon(const std::string& host, int port, const std::optional<std::string>& userId = std::nullopt,
               const std::optional<std::string>& password = std::nullopt);
    // True when the server took the message (250 after the final dot). False when not connected
    // or when MAIL FROM (250), RCPT TO (250 or 251), DATA (354) or the message was refused:
    // m_LastError then holds that reply, and the connection stays open for Logoff. The body goes
    // as it is (dots doubled on the wire only); empties m_ExtraHeaderLines once the message went
    // out.
    bool SendMail(CEmailMsg& message);
    // QUIT when connected, then close. Always 0.
    int Logoff();

    // Every wait of this client ends by deadline: a server that stops answering or stops taking
    // the data can hold it no longer. SendMail also keeps a deadline of its own for each message
    // (SendingAllowance of its size). The default is no deadline beyond those.
    void SetDeadline(std::chrono::steady_clock::time_point deadline);

    int m_Connected = 0;
    int m_Authenticated = 0;
    std::string m_LastError;
    // Sent after the Subject line of the next message, as given (each line ended by CR LF); for
    // a message with attachments they head its text part instead.
    std::string m_ExtraHeaderLines;
    CSocket m_Sock;

private:
    // Sends EHLO, and HELO when EHLO is refused. The EHLO reply, or empty after HELO.
    std::string Hello(const std::string& name);
    bool StartTlsIfOffered(const std::string& host, const std::string& name, std::string& ehloReply);
    bool StartTls(const std::string& host);
    // Keeps reason as the error the user sees, logs off (QUIT only when the connection is still
    // usable) and returns false.
    bool FailLogon(const std::string& reason, bool sendQuit);
    bool FailAuthentication(const std::string& reply);
    // Sends the command and reads the whole reply.
    std::string Command(std::string_view command);
    std::string ReadReply();
    void ResetTransaction();
    // m_LastError for a refused step: the reply, or what happened when none came.
    void KeepRefusal(const std::string& reply);
    // One piece of the message: traced unstamped and sent in its DATA wire form. False when the
    // connection failed or the server stopped taking the data.
    bool SendPiece(std::string_view piece, CDataTransparency& wire);
    // Ends a SendMail whose data could not all be sent: the connection is of no further use.
    bool FailSending();

    std::string m_NoReplyReason;  // why the last ReadReply came back empty
    std::chrono::steady_clock::time_point m_Deadline = std::chrono::steady_clock::time_point::max();
};

// A slow but honest link, in bytes a second: a message of n bytes is given the Timeout plus the
// time this rate needs for n, so a large attachment over a poor line still goes out while a
// server that stops taking it is left within a bound (10 MB: about 21 minutes).
inline constexpr std::size_t kSlowLinkBytesPerSecond = 8 * 1024;

// How long sending bytes may take at most: the Timeout of options plus bytes at the slow rate.
std::chrono::milliseconds SendingAllowance(std::size_t bytes, const CTransportOptions& options);

// "MM/DD/YY HH:MM:SS" of a local time, as the Date line carries it.
std::string SmtpDateText(const std::tm& local);

// The name this computer greets with: its host name cut to 15 characters, "localhost" when none
// can be read.
std::string SmtpHelloName();

}  // namespace sieveclaw

#include "net/CPOP3Client.h"

#include <algorithm>
#include <optional>
#include <thread>

#include "core/ActivityLog.h"
#include "mail/HeaderFields.h"
#include "net/Pop3Replies.h"
#include "net/ReadComplete.h"
#include "net/SocketErrorText.h"

namespace sieveclaw {

namespace {

constexpr int kMaxConnectTries = 240;
// A line or header block this long without its end is not a mail server talking.
constexpr std::size_t kMaxReplyBytes = 16u * 1024 * 1024;
constexpr std::size_t kMaxCapabilities = 64u * 1024;
// The longest lines of the listings: "<n> <id of up to 70>" and "<n> <size>" with some words after.
constexpr std::size_t kUidlLineBytes = 84;
constexpr std::size_t kListLineBytes = 64;
// How much of a server's unexpected answer a reason quotes.
constexpr std::size_t kQuotedReply = 120;

bool HoldsLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// The server's words, cut short and without control bytes, for a sentence about them.
std::string Quoted(std::string_view status) {
    std::string shown;
    for (const char c : ReplyText(status).substr(0, kQuotedReply)) {
        shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    }
    return shown;
}

// What people understand of the usual connect failures; the table's text for the rest.
std::string ConnectFailure(int code) {
    switch (code) {
        case kWsaTimedOut:
            return "no answer within the time-out";
        case kWsaConnRefused:
            return "the connection was refused";
        case kWsaNetUnreachable:
        case kWsaHostUnreachable:
            return "the host cannot be reached";
        default:
            return SocketErrorText(code);
    }
}

std::string Numbered(std::string_view command, int n) { return std::string(command) + " " + std::to_string(n); }

}  // namespace

CPOP3Client::CPOP3Client(CTransportOptions options) : m_Sock(std::move(options)) {
    WriteActivityLog("CPOP3Client - Creating socket");
    if (!m_Sock.Create()) {
        WriteActivityLog2("CPOP3Client - ", SocketErrorText(0));
    }
}

CPOP3Client::~CPOP3Client() {
    WriteActivityLog("CPOP3Client - destructor");
    m_Sock.Close();
}

CPOP3Client::Clock::time_point CPOP3Client::ReplyDeadline() const {
    return Clock::now() + m_Sock.Options().TimeoutAtLeastOneUnit();
}

bool CPOP3Client::CanSend() const { return m_Sock.IsConnected() && !m_SessionOver; }

bool CPOP3Client::HoldsUnaskedBytes() {
    m_Sock.FillNow();
    return !m_Sock.Buffered().empty();
}

CPOP3Client::EReadOutcome CPOP3Client::ReadReply(CPop3ReplyReader& reply, Clock::time_point deadline,
                                                  bool postProgress) {
    std::size_t posted = 0;
    for (;;) {
        const std::size_t taken = reply.Take(m_Sock.Buffered());
        m_Sock.Consume(taken);
        if (postProgress && reply.Body().size() > posted) {
            posted = reply.Body().size();
            WriteActivityLog("CPOP3Client::GetMessage - data received.  Adding to the list");
            if (m_NotifyWindow != nullptr) {
                m_NotifyWindow->PostStatus(kStatusBytesDownloaded, static_cast<std::int64_t>(posted));
            }
        }
        if (reply.State() == CPop3ReplyReader::EState::kComplete) {
            return EReadOutcome::kComplete;
        }
        if (reply.State() == CPop3ReplyReader::EState::kTooLong) {
            return EReadOutcome::kTooLong;
        }
        if (m_Sock.Options().StopRequested()) {
            return EReadOutcome::kStopped;
        }
        if (!m_Sock.IsConnected() || m_Sock.HasFailed()) {
            return EReadOutcome::kClosed;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return EReadOutcome::kTimedOut;
        }
        m_Sock.WaitReadable(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) +
                            std::chrono::milliseconds(1));
        m_Sock.FillNow();
    }
}

bool CPOP3Client::Exchange(std::string_view command, std::string_view what, CPop3ReplyReader& reply,
                           Clock::time_point deadline, bool postProgress, bool moreAsked) {
    // POP3 answers one command at a time and sends nothing unasked: bytes waiting before a
    // command, or right behind a whole answer, mean that the server and the client no longer
    // agree on which answer belongs to which command (a lone "." in a message it forgot to
    // stuff, an answer that came after its time-out).
    if (!command.empty()) {
        if (HoldsUnaskedBytes()) {
            EndOutOfStep("The server sent something nobody asked for before " + std::string(what) +
                       "; it is out of step with the commands.");
            return false;
        }
        if (m_Sock.Send(command) < 0) {
            EndSession("The connection was lost while sending " + std::string(what) + ".");
            return false;
        }
    }
    const EReadOutcome outcome = ReadReply(reply, deadline, postProgress);
    switch (outcome) {
        case EReadOutcome::kComplete:
            if (!moreAsked && HoldsUnaskedBytes()) {
                EndOutOfStep("The server sent more than its answer to " + std::string(what) +
                           "; it is out of step with the commands.");
                return false;
            }
            return true;
        case EReadOutcome::kStopped:
            // The connection is kept for the QUIT at shutdown: everything deleted so far has its
            // copy on disk, so letting the server act on it is safe.
            WriteActivityLog("CPOP3Client - stopped while waiting for the server");
            m_Stopped = true;
            m_SessionOver = true;
            m_SessionError = "The check was stopped during " + std::string(what) + ".";
            return false;
        case EReadOutcome::kTimedOut:
            EndSession("The server did not answer " + std::string(what) + " in time.");
            return false;
        case EReadOutcome::kClosed:
            EndSession("The connection was lost during " + std::string(what) + ".");
            return false;
        case EReadOutcome::kTooLong:
            EndSession("The server's answer to " + std::string(what) + " went on past every bound.");
            return false;
    }
    return false;
}

void CPOP3Client::EndSession(const std::string& reason) {
    WriteActivityLog2("CPOP3Client - the session is over: ", reason);
    m_SessionOver = true;
    m_SessionError = reason;
    m_Connected = 0;
    m_Sock.Close();
}

void CPOP3Client::EndOutOfStep(const std::string& reason) {
    m_OutOfStep = true;
    EndSession(reason);
}

void CPOP3Client::EndOnUnexpected(std::string_view what, const CPop3ReplyReader& reply) {
    EndOutOfStep("The server answered " + std::string(what) + " with \"" + Quoted(reply.Status()) +
               "\", which is no answer to it.");
}

bool CPOP3Client::Logon(const std::string& host, const std::string& user, const std::string& password, int port) {
    m_SessionOver = false;
    m_Stopped = false;
    m_QuitAccepted = false;
    m_SessionError.clear();
    m_ListedSizes.clear();
    m_Queued.clear();
    m_InFlight.clear();
    m_CommandBytesInFlight = 0;
    m_AnswerBytesInFlight = 0;
    m_CapaRefused = false;
    m_OutOfStep = false;
    m_SentAhead = false;
    m_StatCount = 0;
    m_AcceptedDeletions = 0;
    m_Pipelining = false;
    m_UniqueIds = false;
    m_EarlyIds.reset();
    // A line break would let the text end the command and start another one of its choosing.
    if (HoldsLineBreak(user) || HoldsLineBreak(password)) {
        m_LastError = "The user name or password holds a line break.";
        m_SessionError = m_LastError;
        WriteActivityLog("CPOP3Client::Logon - refused a user name or password with a line break");
        return false;
    }
    if (!ConnectWithTries(host, port)) {
        WriteActivityLog("CPOP3Client::Logon - leaving");
        return false;
    }
    WriteActivityLog("CPOP3Client::Logon - Connected");
    m_Connected = 0;
    const bool implicitTls = m_Sock.Options().TlsFromFirstByte(port);
    if (implicitTls && !StartTls(host)) {
        return false;
    }
    CPop3ReplyReader greeting(false, 0);
    if (!Exchange({}, "the greeting", greeting, ReplyDeadline())) {
        return FailLogon(m_SessionError);
    }
    if (!greeting.IsOk()) {
        EndOnUnexpected("the connection", greeting);
        return FailLogon(m_SessionError);
    }
    if (!implicitTls && !StartTlsIfOffered(host)) {
        return false;
    }

    CPop3ReplyReader userReply(false, 0);
    if (!Exchange("USER " + user + "\r\n", "USER", userReply, ReplyDeadline())) {
        return FailLogon(m_SessionError);
    }
    if (userReply.IsErr()) {
        return FailLogon("The server refused the user name: " + Quoted(userReply.Status()));
    }
    if (!userReply.IsOk()) {
        EndOnUnexpected("USER", userReply);
        return FailLogon(m_SessionError);
    }
    CPop3ReplyReader passReply(false, 0);
    if (!Exchange("PASS " + password + "\r\n", "PASS", passReply, ReplyDeadline())) {
        return FailLogon(m_SessionError);
    }
    if (passReply.IsOk()) {
        m_Connected = 1;
        WriteActivityLog("CPOP3Client::Logon - leaving");
        return true;
    }
    if (passReply.IsErr()) {
        m_LastError = passReply.Status().substr(4);
        return FailLogon("The server refused the logon: " + Quoted(passReply.Status()));
    }
    // Garbage, an empty line or a cut answer is no logon, whatever follows.
    EndOnUnexpected("PASS", passReply);
    return FailLogon(m_SessionError);
}

bool CPOP3Client::ConnectWithTries(const std::string& host, int port) {
    const CTransportOptions& options = m_Sock.Options();
    for (int tries = 1;; ++tries) {
        WriteActivityLog("CPOP3Client::Logon - Connecting");
        if (!m_Sock.IsValid()) {
            WriteActivityLog("CPOP3Client::Logon - Creating socket");
            if (!m_Sock.Create()) {
                WriteActivityLog2("CPOP3Client::Logon - ", SocketErrorText(0));
            }
        }
        if (m_Sock.Connect(host, port)) {
            return true;
        }
        const int code = GetLastSocketError();
        WriteActivityLog2("CPOP3Client::Logon - ", SocketErrorText(code));
        if (options.StopRequested()) {
            m_SessionError = "The check was stopped while connecting to " + host + ".";
            return false;
        }
        if (!m_Sock.LookupFailed()) {
            m_SessionError = "could not connect to " + host + " port " + std::to_string(port) + ": " + ConnectFailure(code);
            return false;
        }
        if (tries >= kMaxConnectTries) {
            break;
        }
        // A name that does not resolve may be a network still coming up: it gets the tries.
        for (auto waited = std::chrono::milliseconds::zero(); waited < m_RetryPause && !options.StopRequested();
             waited += kPollSlice) {
            std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(m_RetryPause - waited, kPollSlice));
            m_Sock.RunWaitHook();
        }
    }
    WriteActivityLog2("CPOP3Client::Logon - unable to connect: ", SocketErrorText(0));
    m_LastError = "could not resolve " + host;
    m_SessionError = m_LastError;
    return false;
}

// Servers that offer STLS get the password only over TLS, and an account that asks for STARTTLS
// gets nothing sent without it. A server that lists STLS and then refuses it ends the logon:
// going on in plain text would hand the password to whoever stripped the upgrade.
bool CPOP3Client::StartTlsIfOffered(const std::string& host) {
    WriteActivityLog("CPOP3Client::Logon - sending CAPA");
    CPop3ReplyReader capa(true, kMaxCapabilities);
    if (!Exchange("CAPA\r\n", "CAPA", capa, ReplyDeadline())) {
        return FailLogon(m_SessionError);
    }
    if (!capa.IsOk() && !capa.IsErr()) {
        EndOnUnexpected("CAPA", capa);
        return FailLogon(m_SessionError);
    }
    m_CapaRefused = capa.IsErr();
    if (!capa.IsOk() || !CapaListsStls(capa.Body())) {
        if (m_Sock.Options().m_Security == EConnectionSecurity::kStartTls) {
            m_LastError = "The server " + host +
                          " does not offer a secure connection (STLS), which this account requires; the user name "
                          "and password were not sent.";
            return FailLogon(m_LastError);
        }
        WriteActivityLog(capa.IsOk() ? "CPOP3Client::Logon - server does not offer STLS, going on without TLS"
                                     : "CPOP3Client::Logon - no capabilities, going on without TLS");
        return true;
    }
    WriteActivityLog("CPOP3Client::Logon - sending STLS");
    CPop3ReplyReader stls(false, 0);
    if (!Exchange("STLS\r\n", "STLS", stls, ReplyDeadline())) {
        m_LastError = "The server " + host + " offers a secure connection (STLS) but did not start it: " +
                      m_SessionError;
        return FailLogon(m_LastError);
    }
    if (!stls.IsOk()) {
        m_LastError = "The server " + host + " offers a secure connection (STLS) but refused to start it: " +
                      Quoted(stls.Status());
        return FailLogon(m_LastError);
    }
    return StartTls(host);
}

bool CPOP3Client::StartTls(const std::string& host) {
    WriteActivityLog("CPOP3Client::Logon - Starting TLS");
    std::string error;
    if (!m_Sock.StartTls(host, error)) {
        WriteActivityLog2("CPOP3Client::Logon - TLS failed: ", error);
        m_LastError = error;
        return FailLogon(error);
    }
    WriteActivityLog2("CPOP3Client::Logon - TLS established: ", m_Sock.TlsDescription());
    return true;
}

bool CPOP3Client::FailLogon(const std::string& reason) {
    m_SessionError = reason;
    WriteActivityLog2("CPOP3Client::Logon - ", reason);
    WriteActivityLog("CPOP3Client::Logon - Logon failed.  Logging off");
    m_Connected = 0;
    Logoff();
    return false;
}

long long CPOP3Client::GetStats(long long& count, long long& size) {
    WriteActivityLog("CPOP3Client::GetStats - entered");
    CPop3ReplyReader reply(false, 0);
    m_EarlyIds.reset();
    // A server that takes commands ahead of answers gets UIDL with STAT: the ids cost no round
    // trip of their own.
    const bool withIds = m_Pipelining && m_UniqueIds;
    if (m_Connected != 0 && CanSend() &&
        Exchange(withIds ? "STAT\r\nUIDL\r\n" : "STAT\r\n", "STAT", reply, ReplyDeadline(), false, withIds)) {
        const std::optional<Pop3Stats> stats = ParseStatReply(reply.Status());
        if (!stats) {
            EndOnUnexpected("STAT", reply);
        } else if (stats->m_Count > kMostMessages) {
            EndSession("The server claims " + std::to_string(stats->m_Count) +
                       " waiting messages, more than any mailbox holds.");
        } else {
            count = stats->m_Count;
            size = stats->m_Size;
            m_StatCount = stats->m_Count;
            WriteActivityLog("CPOP3Client::GetStats - got stats");
            if (withIds) {
                std::string body;
                m_EarlyIdsRefused = !ReadListing({}, "UIDL", count, kUidlLineBytes, body);
                m_EarlyIds = std::move(body);
            }
        }
    }
    WriteActivityLog("CPOP3Client::GetStats - leaving");
    return count;
}

long long CPOP3Client::GetMessageSize(int n) {
    if (!CanSend()) {
        return 0;
    }
    Queue(ECommand::kList, n);
    CAnswer answer;
    return NextAnswer(answer) && answer.m_Ok ? answer.m_Size : 0;
}

bool CPOP3Client::GetHeader(int n, CEmailMsg& message, std::string* headerBlock) {
    WriteActivityLog("CPOP3Client::GetHeader - entered");
    if (!CanSend()) {
        WriteActivityLog("CPOP3Client::GetHeader - leaving prematurely");
        return false;
    }
    Queue(ECommand::kTop, n);
    CAnswer answer;
    const bool read = NextAnswer(answer);
    WriteActivityLog("CPOP3Client::GetHeader - sent TOP");
    if (!read || !answer.m_Ok) {
        WriteActivityLog("CPOP3Client::GetHeader - leaving prematurely");
        return false;
    }
    ExtractHeaderFields(answer.m_Body, message);
    if (headerBlock != nullptr) {
        *headerBlock = std::move(answer.m_Body);
    }
    WriteActivityLog("CPOP3Client::GetHeader - leaving");
    return true;
}

bool CPOP3Client::GetMessage(int n, CEmailMsg& message) {
    WriteActivityLog("CPOP3Client::GetMessage - entered");
    bool whole = false;
    if (m_Connected != 0 && CanSend()) {
        Queue(ECommand::kRetr, n);
        CAnswer answer;
        const bool read = NextAnswer(answer);
        WriteActivityLog("CPOP3Client::GetMessage - sent RETR and got the response");
        WriteActivityLog2("CPOP3Client::GetMessage - ", answer.m_Status);
        if (read && answer.m_Ok) {
            WriteActivityLog("CPOP3Client::GetMessage - assembling data chunks");
            FillMessage(std::move(answer.m_Body), message);
            WriteActivityLog("CPOP3Client::GetMessage - done assembling");
            whole = true;
        }
    }
    WriteActivityLog("CPOP3Client::GetMessage - leaving");
    return whole;
}

void CPOP3Client::FillMessage(std::string text, CEmailMsg& message) {
    if (message.m_To.empty() || message.m_From.empty() || message.m_Subject.empty() || message.m_Date.empty()) {
        ExtractHeaderFields(text, message);
    }
    message.m_RawText = text;
    message.m_Body = std::move(text);
}

bool CPOP3Client::DeleteMessage(int n) {
    WriteActivityLog("CPOP3Client::DeleteMessage - entered");
    if (m_Connected == 0 || !CanSend()) {
        return false;
    }
    Queue(ECommand::kDele, n);
    CAnswer answer;
    const bool read = NextAnswer(answer);
    WriteActivityLog("CPOP3Client::DeleteMessage - sent DELE and received response");
    WriteActivityLog2("CPOP3Client::DeleteMessage - Response=", answer.m_Status);
    return read && answer.m_Ok;
}

// --- capabilities, listings and the command queue ----------------------------------------------

bool CPOP3Client::ReadCapabilities() {
    m_Pipelining = false;
    m_UniqueIds = false;
    if (!CanSend()) {
        return false;
    }
    // A server that did not know CAPA before the logon does not know it after.
    if (m_Sock.Options().m_OneCommandAtATime || m_CapaRefused) {
        return true;
    }
    // What was listed before the logon (and before TLS) may change with it: asked again.
    CPop3ReplyReader capa(true, kMaxCapabilities);
    if (!Exchange("CAPA\r\n", "CAPA", capa, ReplyDeadline())) {
        return false;
    }
    if (!capa.IsOk() && !capa.IsErr()) {
        EndOnUnexpected("CAPA", capa);
        return false;
    }
    m_Pipelining = capa.IsOk() && CapaLists(capa.Body(), "PIPELINING");
    m_UniqueIds = capa.IsOk() && CapaLists(capa.Body(), "UIDL");
    WriteActivityLogF("CPOP3Client::ReadCapabilities - pipelining %d, unique ids %d", m_Pipelining ? 1 : 0,
                      m_UniqueIds ? 1 : 0);
    return true;
}

bool CPOP3Client::ReadListing(std::string_view command, std::string_view what, long long count,
                              std::size_t lineBytes, std::string& body) {
    if (m_Connected == 0 || !CanSend() || HasOutstanding()) {
        return false;
    }
    const long long expected = std::max(count, 0LL) * static_cast<long long>(lineBytes);
    CPop3ReplyReader reply(true, static_cast<std::size_t>(std::min(expected + kDownloadSlack, kDownloadCeiling)));
    const auto deadline = ReplyDeadline() + std::chrono::milliseconds(expected * 1000 / kSlowestHonestRate);
    if (!Exchange(command, what, reply, deadline)) {
        return false;
    }
    if (reply.IsErr()) {
        m_LastError = ReplyText(reply.Status());
        return false;
    }
    if (!reply.IsOk()) {
        EndOnUnexpected(what, reply);
        return false;
    }
    body = reply.TakeBody();
    return true;
}

bool CPOP3Client::GetUniqueIds(long long count, std::vector<std::string>& ids) {
    std::string body;
    if (m_EarlyIds) {
        body = std::move(*m_EarlyIds);
        m_EarlyIds.reset();
        if (m_EarlyIdsRefused) {
            return false;
        }
    } else if (!ReadListing("UIDL\r\n", "UIDL", count, kUidlLineBytes, body)) {
        return false;
    }
    ids = ParseUidlListing(body, count);
    return true;
}

bool CPOP3Client::GetMessageSizes(long long count, std::vector<long long>& sizes) {
    std::string body;
    if (!ReadListing("LIST\r\n", "LIST", count, kListLineBytes, body)) {
        return false;
    }
    sizes = ParseListListing(body, count);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (sizes[i] >= 0) {
            m_ListedSizes[static_cast<int>(i + 1)] = sizes[i];
        }
    }
    return true;
}

std::string CPOP3Client::CommandText(ECommand command, int n) {
    switch (command) {
        case ECommand::kTop:
            return Numbered("TOP", n) + " 0";
        case ECommand::kTopWhole:
            return Numbered("TOP", n) + " " + std::to_string(kAllLines);
        case ECommand::kRetr:
            return Numbered("RETR", n);
        case ECommand::kList:
            return Numbered("LIST", n);
        case ECommand::kDele:
            return Numbered("DELE", n);
    }
    return {};
}

std::size_t CPOP3Client::DownloadBound(int n) const {
    // Bounded by what LIST announced: a server that sends more is not sending this message.
    const auto listed = m_ListedSizes.find(n);
    if (listed == m_ListedSizes.end()) {
        return static_cast<std::size_t>(kDownloadCeiling);
    }
    return static_cast<std::size_t>(
        std::min(listed->second + listed->second / 8 + kDownloadSlack, kDownloadCeiling));
}

CPOP3Client::Clock::time_point CPOP3Client::DownloadDeadline(int n) const {
    const auto listed = m_ListedSizes.find(n);
    const long long announced = listed != m_ListedSizes.end() ? listed->second : 0;
    return ReplyDeadline() + std::chrono::milliseconds(announced * 1000 / kSlowestHonestRate);
}

void CPOP3Client::Queue(ECommand command, int n) {
    constexpr std::size_t kShortAnswer = 64;
    constexpr std::size_t kHeaderGuess = 4096;
    const auto listed = m_ListedSizes.find(n);
    const std::size_t size = listed != m_ListedSizes.end() ? static_cast<std::size_t>(listed->second) : 0;
    std::size_t answerBytes = kShortAnswer;
    if (command == ECommand::kTop) {
        answerBytes = listed != m_ListedSizes.end() ? std::min(size, kHeaderGuess) : kHeaderGuess;
    } else if (command == ECommand::kRetr || command == ECommand::kTopWhole) {
        answerBytes = size + kShortAnswer;
    }
    m_Queued.push_back({command, n, CommandText(command, n) + "\r\n", answerBytes});
}

bool CPOP3Client::NextInLine(ECommand& command, int& n) const {
    const CRequest* next = !m_InFlight.empty() ? &m_InFlight.front() : !m_Queued.empty() ? &m_Queued.front() : nullptr;
    if (next == nullptr) {
        return false;
    }
    command = next->m_Command;
    n = next->m_Number;
    return true;
}

bool CPOP3Client::SendWindow() {
    std::string batch;
    while (!m_Queued.empty()) {
        const CRequest& next = m_Queued.front();
        // The first command always goes; more only ahead of answers, within both bounds.
        const bool fits = m_InFlight.empty() ||
                          (m_Pipelining && m_CommandBytesInFlight + next.m_Line.size() <= kCommandBytesInFlight &&
                           m_AnswerBytesInFlight + next.m_AnswerBytes <= kAnswerBytesInFlight);
        if (!fits) {
            break;
        }
        // POP3 sends nothing unasked: bytes waiting while nothing is asked mean the server and
        // the client no longer agree on which answer belongs to which command (a lone "." in a
        // message it forgot to stuff, an answer that came after its time-out).
        if (m_InFlight.empty() && batch.empty() && HoldsUnaskedBytes()) {
            EndOutOfStep("The server sent something nobody asked for before " + CommandText(next.m_Command,
                                                                                         next.m_Number) +
                       "; it is out of step with the commands.");
            return false;
        }
        m_SentAhead = m_SentAhead || !m_InFlight.empty();
        batch += next.m_Line;
        m_CommandBytesInFlight += next.m_Line.size();
        m_AnswerBytesInFlight += next.m_AnswerBytes;
        m_InFlight.push_back(std::move(m_Queued.front()));
        m_Queued.pop_front();
    }
    if (!batch.empty() && m_Sock.Send(batch) < 0) {
        EndSession("The connection was lost while sending " +
                   CommandText(m_InFlight.front().m_Command, m_InFlight.front().m_Number) + ".");
        return false;
    }
    return true;
}

bool CPOP3Client::NextAnswer(CAnswer& answer) {
    answer = CAnswer{};
    if (!HasOutstanding() || m_SessionOver || !m_Sock.IsConnected() || !SendWindow()) {
        m_Queued.clear();
        m_InFlight.clear();
        return false;
    }
    const CRequest request = std::move(m_InFlight.front());
    m_InFlight.pop_front();
    m_CommandBytesInFlight -= request.m_Line.size();
    m_AnswerBytesInFlight -= request.m_AnswerBytes;
    answer.m_Command = request.m_Command;
    answer.m_Number = request.m_Number;
    const std::string what = CommandText(request.m_Command, request.m_Number);

    const bool download = request.m_Command == ECommand::kRetr || request.m_Command == ECommand::kTopWhole;
    const bool multiLine = download || request.m_Command == ECommand::kTop;
    CPop3ReplyReader reply(multiLine, download ? DownloadBound(request.m_Number) : kMaxReplyBytes);
    const EReadOutcome outcome =
        ReadReply(reply, download ? DownloadDeadline(request.m_Number) : ReplyDeadline(), download);
    bool whole = false;
    switch (outcome) {
        case EReadOutcome::kComplete:
            // Behind the last answer asked for, nothing may wait.
            whole = !m_InFlight.empty() || !HoldsUnaskedBytes();
            if (!whole) {
                EndOutOfStep("The server sent more than its answer to " + what + "; it is out of step with the commands.");
            }
            break;
        case EReadOutcome::kStopped:
            // The connection is kept for the QUIT at shutdown: everything deleted so far has its
            // copy on disk, so letting the server act on it is safe.
            WriteActivityLog("CPOP3Client - stopped while waiting for the server");
            m_Stopped = true;
            m_SessionOver = true;
            m_SessionError = "The check was stopped during " + what + ".";
            break;
        case EReadOutcome::kTimedOut:
            EndSession("The server did not answer " + what + " in time.");
            break;
        case EReadOutcome::kClosed:
            EndSession("The connection was lost during " + what + ".");
            break;
        case EReadOutcome::kTooLong:
            EndSession("The server's answer to " + what + " went on past every bound.");
            break;
    }
    answer.m_Status = reply.Status();
    WriteActivityLog2("CPOP3Client::NextAnswer - " + what + ": ", answer.m_Status);
    if (!whole) {
        m_Queued.clear();
        m_InFlight.clear();
        return false;
    }
    if (reply.IsErr()) {
        // Each command keeps the refusal as it always has: TOP the whole line, DELE all after
        // "-ERR", the others the server's words.
        if (request.m_Command == ECommand::kTop) {
            m_LastError = reply.Status();
        } else if (request.m_Command == ECommand::kDele) {
            m_LastError = reply.Status().substr(4);
        } else {
            m_LastError = ReplyText(reply.Status());
        }
        return true;
    }
    if (!reply.IsOk()) {
        EndOnUnexpected(what, reply);
        m_Queued.clear();
        m_InFlight.clear();
        return false;
    }
    if (request.m_Command == ECommand::kList) {
        const std::optional<Pop3Listing> listing = ParseListReply(reply.Status());
        // The number in the answer must be the one asked about: anything else is an answer to
        // some other command, and the session is out of step.
        if (!listing || listing->m_Number != request.m_Number) {
            EndOnUnexpected(what, reply);
            m_Queued.clear();
            m_InFlight.clear();
            return false;
        }
        m_ListedSizes[request.m_Number] = listing->m_Size;
        answer.m_Size = listing->m_Size;
    }
    answer.m_Ok = true;
    answer.m_Body = reply.TakeBody();
    m_AcceptedDeletions += request.m_Command == ECommand::kDele ? 1 : 0;
    return true;
}

void CPOP3Client::Abandon(const std::string& reason) {
    m_Queued.clear();
    m_InFlight.clear();
    EndOutOfStep(reason);
}

// Answers read ahead are matched to their commands by their order alone. Before the QUIT makes
// this session's deletions take effect, STAT must give the count those answers imply: a session
// out of step (one answer too many, from a lone dot the server forgot to stuff) reads some other
// answer here, or a count that does not fit.
void CPOP3Client::ConfirmInStep() {
    CPop3ReplyReader reply(false, 0);
    if (!Exchange("STAT\r\n", "STAT", reply, ReplyDeadline())) {
        return;
    }
    const std::optional<Pop3Stats> stats = ParseStatReply(reply.Status());
    if (!stats || stats->m_Count != m_StatCount - m_AcceptedDeletions) {
        EndOutOfStep("The server's count at the end is not what its answers said (\"" + Quoted(reply.Status()) +
                     "\"); it is out of step with the commands.");
    }
}

bool CPOP3Client::DrainAnswers() {
    m_Queued.clear();
    while (!m_InFlight.empty()) {
        CAnswer ignored;
        if (!NextAnswer(ignored)) {
            return false;
        }
    }
    return true;
}

int CPOP3Client::Logoff() {
    WriteActivityLog("CPOP3Client::Logoff - entered");
    m_QuitAccepted = false;
    // After a fault nothing more is said on the connection; after a stop the QUIT still goes, so
    // that the deletions of messages whose copies are on disk take effect.
    // Answers still on their way are read first, so that the answer to QUIT is QUIT's; and what
    // came after the last of them is the sign of a session out of step, whose deletions must not
    // take effect.
    if (m_Connected != 0 && m_Sock.IsConnected() && !m_SessionOver && DrainAnswers()) {
        if (HoldsUnaskedBytes()) {
            EndOutOfStep("The server sent more than its answers; it is out of step with the commands.");
        } else if (m_SentAhead) {
            ConfirmInStep();
        }
    }
    m_Queued.clear();
    m_InFlight.clear();
    if (m_Connected != 0 && m_Sock.IsConnected() && (!m_SessionOver || m_Stopped)) {
        WriteActivityLog("CPOP3Client::Logon - sending QUIT");
        CPop3ReplyReader reply(false, 0);
        if (m_Sock.Send("QUIT\r\n") >= 0 && ReadReply(reply, ReplyDeadline(), false) == EReadOutcome::kComplete) {
            m_QuitAccepted = reply.IsOk() && !m_Stopped;
        }
        WriteActivityLog2("CPOP3Client::Logoff - ", reply.Status());
    }
    m_Connected = 0;
    m_Sock.Close();
    WriteActivityLog("CPOP3Client::Logoff - leaving");
    return 0;
}

int CPOP3Client::SockRecvLine(std::string& line) {
    line.clear();
    WriteActivityLog("CPOP3Client::SockRecvLine - entering");
    const auto findLineEnd = [](std::string_view ready, std::size_t scannedFrom) {
        // One byte back: the CR of a CR LF may have been the last byte looked at.
        const std::size_t end = ready.find("\r\n", scannedFrom > 0 ? scannedFrom - 1 : 0);
        return end == std::string_view::npos ? end : end + 2;
    };
    std::size_t length = 0;
    const EReadComplete outcome = ReadComplete(m_Sock, findLineEnd, kMaxReplyBytes, length);
    if (outcome == EReadComplete::kTimedOut) {
        WriteActivityLog("CPOP3Client::SockRecvLine - timed out");
        return 0;
    }
    if (outcome == EReadComplete::kTooLong) {
        WriteActivityLog("CPOP3Client::SockRecvLine - line too long, giving up on the connection");
    } else if (outcome == EReadComplete::kClosed) {
        // The peer closed in the middle of a line: take what came, the line will not end.
        line.assign(m_Sock.Buffered());
        m_Sock.Consume(line.size());
    }
    if (outcome != EReadComplete::kComplete) {
        WriteActivityLogF("CPOP3Client::SockRecvLine - Socket Died: Error %ld : '%s'",
                          static_cast<long>(GetLastSocketError()), SocketErrorText(0).c_str());
        return -1;
    }
    line.assign(m_Sock.Buffered().substr(0, length));
    m_Sock.Consume(length);
    WriteActivityLogF("CPOP3Client::SockRecvLine - Received data: Offset %d : '%s'", static_cast<int>(line.size()),
                      line.c_str());
    WriteActivityLogF("CPOP3Client::SockRecvLine - leaving: '%s'", line.c_str());
    return static_cast<int>(line.size());
}

}  // namespace sieveclaw

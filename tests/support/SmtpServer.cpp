#include "tests/support/SmtpServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "core/TextFile.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/ServerProcess.h"

extern char** environ;

namespace sieveclaw::test {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The Debian interpreter: another python3 earlier on PATH may not see Debian's aiosmtpd.
constexpr const char* kPython = "/usr/bin/python3";

std::string ScriptPath() {
    if (const char* configured = std::getenv("SIEVECLAW_SMTP_SERVER_SCRIPT"); configured != nullptr) {
        return configured;
    }
    // __FILE__ may be relative to the build folder (a shared compiler cache makes it so), which is
    // not where every test runs.
    return (fs::path(SIEVECLAW_TEST_SUPPORT_DIR) / "smtp_server.py").string();
}

std::string FileText(const std::string& path) {
    std::string text;
    ReadFileBytes(path, text);
    return text;
}

std::string Numbered(std::size_t number, const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "/%04zu%s", number, extension);
    return name;
}

// The value of "name": <digits> in a one-line JSON object, or 0.
int JsonNumber(const std::string& json, const std::string& name) {
    const std::size_t at = json.find("\"" + name + "\":");
    return at == std::string::npos ? 0 : std::atoi(json.c_str() + at + name.size() + 3);
}

// Waits for the child and returns its exit status; -1 when it did not exit normally.
int Reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

CSmtpServer::CSmtpServer(std::string user, std::string password)
    : m_User(std::move(user)), m_Password(std::move(password)) {}

CSmtpServer::~CSmtpServer() {
    Stop();
}

bool CSmtpServer::Start() {
    Stop();
    m_Error.clear();
    std::string folder = "/tmp/scsmtp-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        m_Error = std::string("cannot create the server folder: ") + std::strerror(errno);
        return false;
    }
    m_Folder = folder;
    const CertificateSet* certificates = ThrowawayCertificates(m_Error);
    if (certificates == nullptr ||
        !WriteFileAtomically(m_Folder + "/server.pem",
                             m_SelfSigned ? certificates->m_SelfSignedCert : certificates->m_ServerCertWithIp, 0644) ||
        !WriteFileAtomically(m_Folder + "/server.key", certificates->m_ServerKey, 0600) ||
        !WriteFileAtomically(CaFile(), certificates->m_CaCert, 0644) ||
        !WriteFileAtomically(OtherCaFile(), certificates->m_OtherCaCert, 0644)) {
        if (m_Error.empty()) {
            m_Error = "cannot write the certificates into " + m_Folder;
        }
        Stop();
        return false;
    }
    if (!Launch() || !WaitUntilReady()) {
        const std::string log = LogLines();
        Stop();
        m_Error += log.empty() ? "" : "\n--- server standard error ---\n" + log;
        return false;
    }
    return true;
}

bool CSmtpServer::Launch() {
    std::vector<std::string> words{kPython,      ScriptPath(),
                                   "--folder",   m_Folder,
                                   "--cert",     m_Folder + "/server.pem",
                                   "--key",      m_Folder + "/server.key",
                                   "--user",     m_User,
                                   "--password", m_Password};
    if (!m_OfferStartTls) {
        words.emplace_back("--no-starttls");
    }
    const pid_t pid = SpawnServerProcess(std::move(words), m_Folder + "/server.stderr", m_Error);
    if (pid < 0) {
        return false;
    }
    m_Pid = pid;
    return true;
}

bool CSmtpServer::WaitUntilReady() {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        const std::string ready = FileText(m_Folder + "/ready.json");
        m_PlainPort = JsonNumber(ready, "plain");
        m_TlsPort = JsonNumber(ready, "tls");
        if (m_PlainPort > 0 && m_TlsPort > 0) {
            return true;
        }
        int status = 0;
        if (::waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
            m_Pid = -1;
            m_Error = "the SMTP server exited during start (is python3-aiosmtpd installed?)";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_Error = "the SMTP server did not report its ports within 20 s";
    return false;
}

void CSmtpServer::Stop() {
    if (m_Pid > 0) {
        ::kill(m_Pid, SIGTERM);
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        int status = 0;
        pid_t reaped = 0;
        while ((reaped = ::waitpid(m_Pid, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (reaped == 0) {
            ::kill(m_Pid, SIGKILL);
            Reap(m_Pid);
        }
        m_Pid = -1;
    }
    if (!m_Folder.empty()) {
        std::error_code ignored;
        fs::remove_all(m_Folder, ignored);
        m_Folder.clear();
    }
    m_PlainPort = 0;
    m_TlsPort = 0;
}

std::string CSmtpServer::LogLines() const {
    return m_Folder.empty() ? "" : FileText(m_Folder + "/server.stderr");
}

std::size_t CSmtpServer::MessageCount() const {
    std::size_t count = 0;
    while (fs::exists(MessagePath(count + 1))) {
        ++count;
    }
    return count;
}

std::string CSmtpServer::MessagePath(std::size_t number) const {
    return m_Folder + Numbered(number, ".eml");
}

std::optional<std::string> CSmtpServer::Message(std::size_t number) const {
    std::string text;
    return ReadFileBytes(MessagePath(number), text) ? std::optional<std::string>(text) : std::nullopt;
}

std::optional<std::string> CSmtpServer::Envelope(std::size_t number) const {
    std::string text;
    return ReadFileBytes(m_Folder + Numbered(number, ".json"), text) ? std::optional<std::string>(text) : std::nullopt;
}

std::vector<std::string> CSmtpServer::Commands(int connection) const {
    const std::string prefix = std::to_string(connection) + " ";
    const std::string log = FileText(m_Folder + "/commands.log");
    std::vector<std::string> commands;
    CLineReader lines(log);
    for (std::string_view line; lines.Next(line);) {
        if (line.starts_with(prefix)) {
            commands.emplace_back(line.substr(prefix.size()));
        }
    }
    return commands;
}

int CSmtpServer::ConnectionCount() const {
    const std::string log = FileText(m_Folder + "/commands.log");
    int count = 0;
    CLineReader lines(log);
    for (std::string_view line; lines.Next(line);) {
        if (line.find(" CONNECT ") != std::string_view::npos) {
            ++count;
        }
    }
    return count;
}

std::optional<std::string> CSmtpServer::RunPython(const std::string& code, const std::vector<std::string>& arguments,
                                                  std::string& error) {
    char stderrPath[] = "/tmp/scpy-XXXXXX";
    const int errorFd = ::mkstemp(stderrPath);
    int output[2] = {-1, -1};
    if (errorFd < 0 || ::pipe2(output, O_CLOEXEC) != 0) {
        error = std::string("cannot prepare python3: ") + std::strerror(errno);
        if (errorFd >= 0) {
            ::close(errorFd);
            ::unlink(stderrPath);
        }
        return std::nullopt;
    }
    std::vector<std::string> words{kPython, "-c", code};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, kPython, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    ::close(errorFd);

    std::string text;
    if (spawned == 0) {
        char buffer[4096];
        ssize_t count = 0;
        while ((count = ::read(output[0], buffer, sizeof buffer)) != 0) {
            if (count > 0) {
                text.append(buffer, static_cast<std::size_t>(count));
            } else if (errno != EINTR) {
                break;
            }
        }
    }
    ::close(output[0]);
    const int status = spawned == 0 ? Reap(pid) : -1;
    const std::string errors = FileText(stderrPath);
    ::unlink(stderrPath);
    if (spawned != 0) {
        error = std::string("cannot start python3: ") + std::strerror(spawned);
        return std::nullopt;
    }
    if (status != 0) {
        error = "python3 exited with status " + std::to_string(status) + ":\n" + errors;
        return std::nullopt;
    }
    return text;
}

}  // namespace sieveclaw::test

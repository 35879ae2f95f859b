#include "tests/support/DovecotServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "tests/support/ServerProcess.h"

extern char** environ;

namespace sieveclaw::test {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The uid and gid the mail processes run as (the userdb below); the maildirs must be theirs.
constexpr uid_t kMailUid = 65534;
constexpr gid_t kMailGid = 65534;

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteAll(int fd, std::string_view text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno != EINTR) {
            return false;
        }
        done += wrote > 0 ? static_cast<std::size_t>(wrote) : 0;
    }
    return true;
}

// Creates path with text and then settles its permissions with finish(fd). One place for the
// open-write-close error handling of every file the fixture writes.
template <class Finish>
bool WriteFileThen(const std::string& path, std::string_view text, int flags, Finish&& finish, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0600);
    if (fd < 0) {
        error = ErrnoText("cannot create " + path);
        return false;
    }
    const bool ok = WriteAll(fd, text) && finish(fd);
    if (!ok) {
        error = ErrnoText("cannot write " + path);
    }
    if (::close(fd) != 0 && ok) {
        error = ErrnoText("cannot close " + path);
        return false;
    }
    return ok;
}

// The mode given to open() is narrowed by the umask; the callers mean exactly this one.
bool WriteWholeFile(const std::string& path, std::string_view text, mode_t mode, std::string& error) {
    return WriteFileThen(
        path, text, O_TRUNC, [mode](int fd) { return ::fchmod(fd, mode) == 0; }, error);
}

// A message file, owned by the mail uid, which is all Dovecot needs to read it. As few system
// calls as possible: a benchmark stocks ten thousand of these, and file creation is the slow part.
bool WriteMailFile(const std::string& path, std::string_view text, std::string& error) {
    return WriteFileThen(
        path, text, O_EXCL, [](int fd) { return ::fchown(fd, kMailUid, kMailGid) == 0; }, error);
}

bool MakeDirectory(const std::string& path, mode_t mode, bool mailOwned, std::string& error) {
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
        error = ErrnoText("cannot create folder " + path);
        return false;
    }
    if (::chmod(path.c_str(), mode) != 0) {
        error = ErrnoText("cannot chmod " + path);
        return false;
    }
    if (mailOwned && ::chown(path.c_str(), kMailUid, kMailGid) != 0) {
        error = ErrnoText("cannot chown " + path);
        return false;
    }
    return true;
}

// A fresh folder directly under /tmp: dovecot's Unix sockets live below it, and their paths
// must stay under ~108 characters.
std::string MakeTempFolder(const char* pattern) {
    std::string path = pattern;
    if (::mkdtemp(path.data()) == nullptr) {
        return {};
    }
    return path;
}

void RemoveTree(const std::string& path) {
    if (!path.empty()) {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
}

std::string ToLfLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out += text[i];
    }
    return out;
}

// A port nobody listens on right now. It may be taken again before dovecot binds it; Start
// retries with fresh ports when the log says so.
int FindFreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

int ConnectToLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    // A loopback connect either completes or is refused at once, so no time-out is needed.
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends text (when given) and collects the answer until a line end, the peer's close or the
// deadline. Returns false when the port refused the connection.
bool Exchange(int port, std::string_view text, std::string& answer, bool& closed) {
    answer.clear();
    closed = false;
    const int fd = ConnectToLoopback(port);
    if (fd < 0) {
        return false;
    }
    if (!text.empty() && ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) < 0) {
        closed = true;
    }
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (!closed && answer.find("\r\n") == std::string::npos && Clock::now() < deadline) {
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0) {
            continue;
        }
        char buffer[256];
        const ssize_t count = ::recv(fd, buffer, sizeof(buffer), 0);
        if (count <= 0) {
            closed = true;
        } else {
            answer.append(buffer, static_cast<std::size_t>(count));
        }
    }
    ::close(fd);
    return true;
}

// The listening sockets exist early in the master's start; an answer needs a login process,
// which needs the config, log and auth processes. A SIGTERM that arrives while a login process
// is still starting holds the stop for seconds, so a port counts as ready only when such a
// process has served a probe to its end: a greeting on the plain port, and on the TLS port a
// close after bytes that are no TLS handshake.
bool PlainPortGreets(int port) {
    std::string answer;
    bool closed = false;
    return Exchange(port, {}, answer, closed) && answer.rfind("+OK", 0) == 0;
}

bool TlsPortServes(int port) {
    std::string answer;
    bool closed = false;
    return Exchange(port, "QUIT\r\n", answer, closed) && closed;
}

std::string FindDovecotBinary() {
    std::string search = "/usr/sbin:/usr/local/sbin:/sbin";
    if (const char* path = std::getenv("PATH")) {
        search = std::string(path) + ":" + search;
    }
    std::istringstream parts(search);
    std::string directory;
    while (std::getline(parts, directory, ':')) {
        if (directory.empty()) {
            continue;
        }
        const std::string candidate = directory + "/dovecot";
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

// --- throwaway certificates -------------------------------------------------------------------

constexpr const char* kOpensslConfig = R"([req]
distinguished_name = dn
prompt = no
[dn]
CN = unused
[test_ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[server_with_ip]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = DNS:localhost, IP:127.0.0.1
[server_name_only]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = DNS:localhost
[self_signed]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
subjectAltName = DNS:localhost, IP:127.0.0.1
)";

// Runs the openssl command line in folder without a shell; its output goes to a file that the
// error text quotes.
bool RunOpenssl(const std::string& folder, const std::vector<std::string>& arguments,
                std::string& error) {
    const std::string outputPath = folder + "/openssl.out";
    std::vector<std::string> words{"openssl"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, "openssl", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);

    std::string command = "openssl";
    for (const std::string& argument : arguments) {
        command += " " + argument;
    }
    if (spawned != 0) {
        error = "cannot run " + command + ": " + std::strerror(spawned);
        return false;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            error = ErrnoText("cannot wait for openssl");
            return false;
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = command + " failed: " + ReadWholeFile(outputPath).value_or("");
        return false;
    }
    return true;
}

bool MakeCertificates(CertificateSet& set, std::string& error) {
    const std::string folder = MakeTempFolder("/tmp/sccert-XXXXXX");
    if (folder.empty()) {
        error = ErrnoText("cannot create a folder for certificates");
        return false;
    }
    const std::string config = folder + "/openssl.cnf";
    const auto in = [&folder](const char* name) { return folder + "/" + name; };
    const auto newKey = [&](const char* name) {
        return std::vector<std::string>{"genpkey", "-algorithm", "EC", "-pkeyopt",
                                        "ec_paramgen_curve:P-256", "-out", in(name)};
    };
    const auto newCa = [&](const char* key, const char* cert, const char* subject) {
        return std::vector<std::string>{"req", "-new", "-x509", "-config", config,
                                        "-extensions", "test_ca", "-key", in(key),
                                        "-subj", subject, "-days", "3650", "-out", in(cert)};
    };
    const auto signServer = [&](const char* extensions, const char* serial, const char* cert) {
        return std::vector<std::string>{"x509", "-req", "-in", in("server.csr"),
                                        "-CA", in("ca.pem"), "-CAkey", in("ca.key"),
                                        "-set_serial", serial, "-days", "365",
                                        "-extfile", config, "-extensions", extensions,
                                        "-out", in(cert)};
    };
    const std::vector<std::vector<std::string>> steps{
        newKey("ca.key"),
        newCa("ca.key", "ca.pem", "/CN=Sieveclaw Test CA"),
        newKey("other-ca.key"),
        newCa("other-ca.key", "other-ca.pem", "/CN=Unrelated Test CA"),
        newKey("server.key"),
        {"req", "-new", "-config", config, "-key", in("server.key"), "-subj", "/CN=localhost",
         "-out", in("server.csr")},
        signServer("server_with_ip", "2", "server-ip.pem"),
        signServer("server_name_only", "3", "server-name.pem"),
        {"req", "-new", "-x509", "-config", config, "-extensions", "self_signed", "-key", in("server.key"),
         "-subj", "/CN=localhost", "-days", "365", "-out", in("self-signed.pem")},
    };

    bool ok = WriteWholeFile(config, kOpensslConfig, 0600, error);
    for (const auto& step : steps) {
        ok = ok && RunOpenssl(folder, step, error);
    }
    if (ok) {
        const auto ca = ReadWholeFile(in("ca.pem"));
        const auto otherCa = ReadWholeFile(in("other-ca.pem"));
        const auto key = ReadWholeFile(in("server.key"));
        const auto withIp = ReadWholeFile(in("server-ip.pem"));
        const auto nameOnly = ReadWholeFile(in("server-name.pem"));
        const auto selfSigned = ReadWholeFile(in("self-signed.pem"));
        ok = ca && otherCa && key && withIp && nameOnly && selfSigned;
        if (ok) {
            set = {*ca, *otherCa, *key, *withIp, *nameOnly, *selfSigned};
        } else {
            error = "openssl did not write every certificate file";
        }
    }
    RemoveTree(folder);
    return ok;
}

const std::string& ServerCertificate(const CertificateSet& set, CDovecotServer::ECertificateNames names) {
    switch (names) {
        case CDovecotServer::ECertificateNames::kLocalhostOnly:
            return set.m_ServerCertNameOnly;
        case CDovecotServer::ECertificateNames::kSelfSigned:
            return set.m_SelfSignedCert;
        case CDovecotServer::ECertificateNames::kLocalhostAndIp:
            break;
    }
    return set.m_ServerCertWithIp;
}

}  // namespace

// Key generation costs a few process starts, so one set serves every server of the process.
const CertificateSet* ThrowawayCertificates(std::string& error) {
    static std::mutex mutex;
    static std::optional<CertificateSet> cache;
    const std::lock_guard<std::mutex> lock(mutex);
    if (!cache) {
        CertificateSet set;
        if (!MakeCertificates(set, error)) {
            return nullptr;
        }
        cache = std::move(set);
    }
    return &*cache;
}

// --- CDovecotServer ---------------------------------------------------------------------------

CDovecotServer::CDovecotServer(ECertificateNames names, ETls tls) : m_Names(names), m_Tls(tls) {}

CDovecotServer::~CDovecotServer() { Stop(); }

void CDovecotServer::AddUser(const std::string& name, const std::string& password,
                             std::vector<std::string> messages) {
    m_Users.push_back({name, password, std::move(messages)});
}

std::string CDovecotServer::CaFile() const { return m_Folder + "/tls/ca.pem"; }

std::string CDovecotServer::OtherCaFile() const { return m_Folder + "/tls/other-ca.pem"; }

std::string CDovecotServer::MaildirOf(const std::string& user) const {
    return m_Folder + "/mail/" + user + "/Maildir";
}

bool CDovecotServer::Start() {
    if (IsRunning()) {
        m_Error = "already started";
        return false;
    }
    Stop();  // the folder of a server that ended on its own
    m_Error.clear();
    for (const User& user : m_Users) {
        const auto bad = [](const std::string& text) {
            return text.empty() || text.find_first_of(":\r\n\t/") != std::string::npos;
        };
        if (bad(user.m_Name) || user.m_Password.find_first_of(":\r\n") != std::string::npos) {
            m_Error = "user names and passwords must not hold ':', '/' or line ends: " + user.m_Name;
            return false;
        }
    }
    // Someone else may take a probed port before dovecot binds it; that is worth a new try.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string error;
        if (StartOnce(error)) {
            return true;
        }
        const bool portTaken = m_FinalLog.find("Address already in use") != std::string::npos;
        m_Error = error;
        if (!portTaken) {
            break;
        }
    }
    return false;
}

bool CDovecotServer::StartOnce(std::string& error) {
    m_Folder = MakeTempFolder("/tmp/scdv-XXXXXX");
    if (m_Folder.empty()) {
        error = ErrnoText("cannot create the server folder");
        return false;
    }
    m_PlainPort = FindFreePort();
    m_TlsPort = FindFreePort();
    while (m_TlsPort == m_PlainPort && m_PlainPort != 0) {
        m_TlsPort = FindFreePort();
    }
    if (m_PlainPort == 0 || m_TlsPort == 0) {
        error = ErrnoText("cannot find a free port on 127.0.0.1");
    } else if (WriteFiles(error) && Launch(error) && WaitUntilListening(error)) {
        return true;
    }
    Kill();
    m_FinalLog = LogText();
    if (!m_FinalLog.empty()) {
        error += "\n--- dovecot log (last lines) ---\n" + LogTail();
    }
    RemoveFolder();
    return false;
}

bool CDovecotServer::WriteFiles(std::string& error) {
    const CertificateSet* certificates = ThrowawayCertificates(error);
    if (certificates == nullptr) {
        return false;
    }
    const std::string& folder = m_Folder;
    // The mail processes run as the mail uid and must walk down to the maildirs.
    if (!MakeDirectory(folder, 0755, false, error) ||
        !MakeDirectory(folder + "/tls", 0755, false, error) ||
        !MakeDirectory(folder + "/run", 0755, false, error) ||
        !MakeDirectory(folder + "/state", 0755, false, error) ||
        !MakeDirectory(folder + "/mail", 0755, false, error)) {
        return false;
    }
    const std::string& serverCert = ServerCertificate(*certificates, m_Names);
    if (!WriteWholeFile(CaFile(), certificates->m_CaCert, 0644, error) ||
        !WriteWholeFile(OtherCaFile(), certificates->m_OtherCaCert, 0644, error) ||
        !WriteWholeFile(folder + "/tls/server.pem", serverCert, 0644, error) ||
        !WriteWholeFile(folder + "/tls/server.key", certificates->m_ServerKey, 0600, error)) {
        return false;
    }

    // The auth process reads the password file as dovecot's internal user.
    std::string users;
    for (const User& user : m_Users) {
        users += user.m_Name + ":{PLAIN}" + user.m_Password + "\n";
    }
    const std::string usersPath = folder + "/users";
    const group* dovecotGroup = ::getgrnam("dovecot");
    if (!WriteWholeFile(usersPath, users, dovecotGroup != nullptr ? 0640 : 0644, error)) {
        return false;
    }
    if (dovecotGroup != nullptr && ::chown(usersPath.c_str(), 0, dovecotGroup->gr_gid) != 0) {
        error = ErrnoText("cannot chown " + usersPath);
        return false;
    }

    m_NextTime = static_cast<long long>(std::time(nullptr)) - 1000000;
    for (const User& user : m_Users) {
        if (!StockMailbox(user, error)) {
            return false;
        }
    }

    std::string config;
    config += "# A private instance for one test run; everything it writes stays in this folder.\n";
    config += "base_dir = " + folder + "/run\n";
    config += "state_dir = " + folder + "/state\n";
    config += "log_path = " + folder + "/dovecot.log\n";
    config += "protocols = pop3\n";
    config += "listen = 127.0.0.1\n";
    config += m_Tls == ETls::kOff ? "ssl = no\n" : "ssl = yes\n";
    config += "ssl_cert = <" + folder + "/tls/server.pem\n";
    config += "ssl_key = <" + folder + "/tls/server.key\n";
    if (::access("/usr/share/dovecot/dh.pem", R_OK) == 0) {
        config += "ssl_dh = </usr/share/dovecot/dh.pem\n";
    }
    // Nothing here reads statistics. Without the writer socket no process waits on the stats
    // service, which can otherwise hold a stop that comes soon after the start for seconds.
    config += "stats_writer_socket_path =\n";
    config += "disable_plaintext_auth = no\n";
    config += "auth_mechanisms = plain login\n";
    // The default lower-cases user names.
    config += "auth_username_format = %u\n";
    config += "auth_failure_delay = 0\n";
    config += "auth_verbose = yes\n";
    config += "mail_location = maildir:~/Maildir\n";
    config += "first_valid_uid = 1\n";
    config += "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " +
              usersPath + "\n}\n";
    config += "userdb {\n  driver = static\n  args = uid=" + std::to_string(kMailUid) +
              " gid=" + std::to_string(kMailGid) + " home=" + folder + "/mail/%u\n}\n";
    // A failed login otherwise holds the next login from the same address for about 4 s (the
    // auth penalty kept by anvil), and every test client comes from 127.0.0.1. A listener
    // with mode 0 is not created, so the auth process finds no penalty socket and skips the
    // penalty. (login_trusted_networks, which the documentation names as an exemption, does
    // not lift it in 2.3.19.)
    config += "service anvil {\n  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n";
    config += "service pop3-login {\n";
    config += "  inet_listener pop3 {\n    address = 127.0.0.1\n    port = " +
              std::to_string(m_PlainPort) + "\n  }\n";
    if (m_Tls == ETls::kOffered) {
        config += "  inet_listener pop3s {\n    address = 127.0.0.1\n    port = " +
                  std::to_string(m_TlsPort) + "\n    ssl = yes\n  }\n";
    } else {
        config += "  inet_listener pop3s {\n    port = 0\n  }\n";
    }
    config += "}\n";
    return WriteWholeFile(folder + "/dovecot.conf", config, 0644, error);
}

bool CDovecotServer::StockMailbox(const User& user, std::string& error) {
    const std::string home = m_Folder + "/mail/" + user.m_Name;
    const std::string maildir = home + "/Maildir";
    if (!MakeDirectory(home, 0755, true, error) || !MakeDirectory(maildir, 0755, true, error) ||
        !MakeDirectory(maildir + "/cur", 0755, true, error) ||
        !MakeDirectory(maildir + "/new", 0755, true, error) ||
        !MakeDirectory(maildir + "/tmp", 0755, true, error)) {
        return false;
    }
    for (const std::string& message : user.m_Messages) {
        if (!WriteMessage(maildir + "/cur", {}, message, false, error)) {
            return false;
        }
    }
    return true;
}

// S= is the stored size and W= the size with CR LF line ends; with W= Dovecot answers STAT and
// LIST without reading the files.
bool CDovecotServer::WriteMessage(const std::string& directory, const std::string& tmpDirectory,
                                  std::string_view text, bool isNew, std::string& error) {
    const std::string stored = ToLfLineEnds(text);
    const std::size_t wireSize = WireSize(stored);
    std::string name = std::to_string(m_NextTime++) + ".M" + std::to_string(m_NextSequence++) +
                       "P" + std::to_string(::getpid()) + ".x,S=" +
                       std::to_string(stored.size()) + ",W=" + std::to_string(wireSize);
    if (!isNew) {
        name += ":2,";
    }
    // A message delivered to a running server is written aside and renamed into place, so
    // Dovecot never sees half of it.
    const std::string writePath = (isNew ? tmpDirectory : directory) + "/" + name;
    if (!WriteMailFile(writePath, stored, error)) {
        return false;
    }
    if (isNew && ::rename(writePath.c_str(), (directory + "/" + name).c_str()) != 0) {
        error = ErrnoText("cannot move " + writePath + " into " + directory);
        return false;
    }
    return true;
}

bool CDovecotServer::Launch(std::string& error) {
    const std::string binary = FindDovecotBinary();
    if (binary.empty()) {
        error = "dovecot is not installed (no dovecot in PATH or /usr/sbin)";
        return false;
    }
    const pid_t pid =
        SpawnServerProcess({binary, "-F", "-c", m_Folder + "/dovecot.conf"}, m_Folder + "/dovecot.stderr", error);
    if (pid < 0) {
        return false;
    }
    m_Pid = pid;
    return true;
}

bool CDovecotServer::WaitUntilListening(std::string& error) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    bool plainUp = false;
    bool tlsUp = false;
    while (Clock::now() < deadline) {
        if (!IsRunning()) {
            error = "dovecot exited during start";
            return false;
        }
        plainUp = plainUp || PlainPortGreets(m_PlainPort);
        tlsUp = tlsUp || m_Tls == ETls::kOff || TlsPortServes(m_TlsPort);
        if (plainUp && tlsUp) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    error = std::string("dovecot did not answer within 20 s on ") +
            (plainUp ? "" : "the plain port " + std::to_string(m_PlainPort) + " ") +
            (tlsUp ? "" : "the TLS port " + std::to_string(m_TlsPort));
    return false;
}

bool CDovecotServer::IsRunning() {
    if (m_Pid <= 0) {
        return false;
    }
    int status = 0;
    const pid_t result = ::waitpid(m_Pid, &status, WNOHANG);
    if (result == 0) {
        return true;
    }
    if (result == m_Pid || (result < 0 && errno == ECHILD)) {
        m_Pid = -1;
    }
    return false;
}

void CDovecotServer::Kill() {
    if (m_Pid <= 0) {
        return;
    }
    ::kill(m_Pid, SIGTERM);
    // The master stops its children and exits about a second after SIGTERM.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
        if (!IsRunning()) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(m_Pid, SIGKILL);
    int status = 0;
    while (::waitpid(m_Pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_Pid = -1;
}

void CDovecotServer::RemoveFolder() {
    RemoveTree(m_Folder);
    m_Folder.clear();
}

void CDovecotServer::Stop() {
    if (m_Folder.empty() && m_Pid <= 0) {
        return;
    }
    Kill();
    m_FinalLog = LogText();
    RemoveFolder();
}

long CDovecotServer::MessageCount(const std::string& user) const {
    if (m_Folder.empty()) {
        return -1;
    }
    long count = 0;
    for (const char* sub : {"/cur", "/new"}) {
        std::error_code failure;
        for (fs::directory_iterator it(MaildirOf(user) + sub, failure), end; !failure && it != end;
             it.increment(failure)) {
            if (it->is_regular_file()) {
                ++count;
            }
        }
        if (failure) {
            return -1;
        }
    }
    return count;
}

bool CDovecotServer::AddMessage(const std::string& user, const std::string& text) {
    if (m_Folder.empty()) {
        m_Error = "the server is not started";
        return false;
    }
    const std::string maildir = MaildirOf(user);
    std::string error;
    if (!WriteMessage(maildir + "/new", maildir + "/tmp", text, true, error)) {
        m_Error = error;
        return false;
    }
    return true;
}

std::string CDovecotServer::LogText() const {
    if (m_Folder.empty()) {
        return m_FinalLog;
    }
    // The log file comes first so that offsets into it stay valid as it grows.
    std::string text = ReadWholeFile(m_Folder + "/dovecot.log").value_or("");
    const std::string stderrText = ReadWholeFile(m_Folder + "/dovecot.stderr").value_or("");
    if (!stderrText.empty()) {
        text += "--- dovecot standard error ---\n" + stderrText;
    }
    return text;
}

std::string CDovecotServer::LogTail(std::size_t lines) const {
    const std::string text = LogText();
    if (lines == 0) {
        return {};
    }
    std::size_t start = text.size();
    if (start > 0 && text[start - 1] == '\n') {
        --start;  // a final line end does not begin another line
    }
    std::size_t counted = 0;
    while (start > 0) {
        const std::size_t lineEnd = text.rfind('\n', start - 1);
        if (lineEnd == std::string::npos) {
            start = 0;
            break;
        }
        if (++counted == lines) {
            start = lineEnd + 1;
            break;
        }
        start = lineEnd;
    }
    return text.substr(start);
}

bool CDovecotServer::WaitForLog(std::string_view needle, std::size_t offset,
                                std::chrono::milliseconds limit) const {
    const auto deadline = Clock::now() + limit;
    while (true) {
        const std::string text = LogText();
        if (offset <= text.size() && text.find(needle, offset) != std::string::npos) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::size_t CDovecotServer::WireSize(std::string_view text) {
    const std::string stored = ToLfLineEnds(text);
    std::size_t lineEnds = 0;
    for (const char c : stored) {
        lineEnds += c == '\n' ? 1 : 0;
    }
    return stored.size() + lineEnds;
}

std::string CDovecotServer::HeldForm(std::string_view text) {
    const std::string stored = ToLfLineEnds(text);
    std::string held;
    held.reserve(stored.size() + stored.size() / 16 + 2);
    std::size_t start = 0;
    while (start < stored.size()) {
        std::size_t end = stored.find('\n', start);
        if (end == std::string::npos) {
            end = stored.size();  // the server ends an unterminated last line itself
        }
        held.append(stored, start, end - start);
        held += "\r\n";
        start = end + 1;
    }
    return held;
}

std::string CDovecotServer::RetrWireForm(std::string_view text) {
    const std::string held = HeldForm(text);
    std::string wire;
    wire.reserve(held.size() + held.size() / 16 + 3);
    for (std::size_t start = 0; start < held.size();) {
        const std::size_t end = held.find("\r\n", start) + 2;
        if (held[start] == '.') {
            wire += '.';
        }
        wire.append(held, start, end - start);
        start = end;
    }
    return wire + ".\r\n";
}

}  // namespace sieveclaw::test

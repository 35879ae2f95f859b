// Starts the Dovecot test server for scripts such as the demo: one user whose mailbox holds the
// .eml files of a folder (sorted by name, message 1 first). Writes the ports and the CA file,
// then serves until SIGTERM or SIGINT and stops the server cleanly.
//
//   run_dovecot --user NAME --password PW --messages DIR [--info FILE]
//
// The info text is "plain_port=N\ntls_port=M\nca_file=PATH\n". FILE appears complete or not at
// all (written aside, then renamed), so a script may poll for it. Exit 1 when the server cannot
// start, 2 on a usage error.

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/DovecotServer.h"

namespace {

namespace fs = std::filesystem;

int Usage(const std::string& problem) {
    std::cerr << "run_dovecot: " << problem << "\n"
              << "usage: run_dovecot --user NAME --password PW --messages DIR [--info FILE]\n";
    return 2;
}

bool ReadMessages(const std::string& folder, std::vector<std::string>& messages,
                  std::string& error) {
    std::error_code failure;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, failure), end; !failure && it != end;
         it.increment(failure)) {
        if (it->is_regular_file() && it->path().extension() == ".eml") {
            files.push_back(it->path());
        }
    }
    if (failure) {
        error = "cannot read " + folder + ": " + failure.message();
        return false;
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in) {
            error = "cannot read " + file.string();
            return false;
        }
        messages.push_back(text.str());
    }
    return true;
}

bool WriteInfo(const std::string& path, const std::string& info, std::string& error) {
    if (path.empty()) {
        std::cout << info << std::flush;
        return true;
    }
    const std::string aside = path + ".tmp";
    {
        std::ofstream out(aside, std::ios::binary | std::ios::trunc);
        out << info;
        out.flush();
        if (!out) {
            error = "cannot write " + aside;
            return false;
        }
    }
    std::error_code failure;
    fs::rename(aside, path, failure);
    if (failure) {
        error = "cannot rename " + aside + " to " + path + ": " + failure.message();
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string user;
    std::string password;
    std::string messagesFolder;
    std::string infoPath;
    bool passwordGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            return Usage("missing value after " + option);
        }
        const std::string value = argv[++i];
        if (option == "--user") {
            user = value;
        } else if (option == "--password") {
            password = value;
            passwordGiven = true;
        } else if (option == "--messages") {
            messagesFolder = value;
        } else if (option == "--info") {
            infoPath = value;
        } else {
            return Usage("unknown option " + option);
        }
    }
    if (user.empty() || !passwordGiven || messagesFolder.empty()) {
        return Usage("--user, --password and --messages are required");
    }

    std::vector<std::string> messages;
    std::string error;
    if (!ReadMessages(messagesFolder, messages, error)) {
        std::cerr << "run_dovecot: " << error << "\n";
        return 1;
    }

    // Blocked before the server starts, so a stop request that arrives during the start waits
    // for sigwait instead of killing us with the server still running. dovecot itself gets an
    // empty mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);

    sieveclaw::test::CDovecotServer server;
    server.AddUser(user, password, std::move(messages));
    if (!server.Start()) {
        std::cerr << "run_dovecot: cannot start dovecot: " << server.Error() << "\n";
        return 1;
    }
    const std::string info = "plain_port=" + std::to_string(server.PlainPort()) +
                             "\ntls_port=" + std::to_string(server.TlsPort()) +
                             "\nca_file=" + server.CaFile() + "\n";
    if (!WriteInfo(infoPath, info, error)) {
        std::cerr << "run_dovecot: " << error << "\n";
        server.Stop();
        return 1;
    }

    int status = 0;
    while (true) {
        const timespec second{1, 0};
        const int received = sigtimedwait(&stopSignals, nullptr, &second);
        if (received > 0) {
            break;
        }
        if (received < 0 && errno != EAGAIN && errno != EINTR) {
            std::perror("run_dovecot: sigtimedwait");
            status = 1;
            break;
        }
        if (!server.IsRunning()) {
            std::cerr << "run_dovecot: dovecot exited on its own\n" << server.LogTail() << "\n";
            status = 1;
            break;
        }
    }
    server.Stop();
    if (!infoPath.empty()) {
        std::error_code ignored;
        fs::remove(infoPath, ignored);
    }
    return status;
}

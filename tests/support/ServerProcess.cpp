#include "tests/support/ServerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sieveclaw::test {

pid_t SpawnServerProcess(std::vector<std::string> words, const std::string& stderrPath, std::string& error) {
    // Everything the child needs is prepared here: between fork and exec only async-signal-safe
    // calls are allowed, and the test process may have threads.
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid < 0) {
        error = std::string("cannot fork: ") + std::strerror(errno);
        return -1;
    }
    if (pid == 0) {
        // A test process that dies without Stop takes its server along.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        for (const int number : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD}) {
            ::sigaction(number, &defaults, nullptr);
        }
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0) {
            ::_exit(127);
        }
        ::close_range(3, ~0U, 0);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

}  // namespace sieveclaw::test

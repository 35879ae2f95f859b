// sieveclaw: the desktop program, living in the tray and checking every account on schedule.

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QSocketNotifier>

#include "core/CommandLine.h"
#include "core/DataFolder.h"
#include "ui/CSieveclawApp.h"

namespace {

// The end of a session (SIGTERM) or Ctrl+C (SIGINT) ends the program as its Exit does, so that the
// worker logs off and the settings are saved. The handler only writes a byte; the event loop reads
// it and quits.
std::array<int, 2> g_SignalPipe{-1, -1};
// Set once a signal asked for the end: one that came while a box of the start was open ended only
// that box's event loop, and the main one must then not start.
bool g_EndAsked = false;

void OnSignal(int /*signal*/) {
    const char byte = 1;
    const ssize_t written = ::write(g_SignalPipe[1], &byte, 1);
    static_cast<void>(written);
}

void QuitOnSignals(QObject* parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_SignalPipe.data()) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(g_SignalPipe[0], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent, [] {
        char byte = 0;
        const ssize_t read = ::read(g_SignalPipe[0], &byte, 1);
        static_cast<void>(read);
        g_EndAsked = true;
        // exit(), not quit(): quit() first asks the main window to close, and it only hides.
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    sieveclaw::SetCommandLine(argc, argv);
    const std::vector<std::string> arguments = sieveclaw::CommandLineArguments();
    if (!arguments.empty() && arguments.front() == "/l") {
        // The log is written into the data folder from the first line on.
        sieveclaw::EnsureProgramFolder();
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sieveclaw"));
    QApplication::setDesktopFileName(QStringLiteral("sieveclaw"));
    QuitOnSignals(&application);

    sieveclaw::CSieveclawApp program(arguments);
    if (program.InitInstance() && !g_EndAsked) {
        QApplication::exec();
    }
    const int status = program.ExitInstance();
    if (program.WorkerLeftRunning()) {
        // A worker stuck in a call past its bound still uses what the program owns: leave without
        // destroying it. Everything that had to be saved is saved.
        std::_Exit(status);
    }
    return status;
}

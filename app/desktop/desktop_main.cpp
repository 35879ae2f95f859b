// sieveclaw: the desktop program, living in the tray and checking every account on schedule.

#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>

#include "core/CommandLine.h"
#include "core/DataFolder.h"
#include "ui/CSieveclawApp.h"

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

    sieveclaw::CSieveclawApp program(arguments);
    if (program.InitInstance()) {
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

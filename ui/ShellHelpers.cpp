#include "ui/ShellHelpers.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

#include "core/MailPrograms.h"
#include "ui/BackgroundWork.h"

namespace sieveclaw {

namespace {

std::string NotFoundMessage(const std::string& program) {
    return "The path to your email program is not found.\r\n\r\n" + program;
}

}  // namespace

bool OpenWebAddress(CUserPrompt& prompt, const std::string& host) {
    bool opened = false;
    {
        const CWaitCursor wait;
        opened = QDesktopServices::openUrl(QUrl(QString::fromStdString("http://" + host)));
    }
    if (!opened) {
        prompt.ShowError(kBrowserNotSetUpMessage);
    }
    return opened;
}

MailLaunchResult StartMailProgram(const std::vector<std::string>& arguments) {
    MailLaunchResult result;
    if (arguments.empty()) {
        result.m_Message = NotFoundMessage("(no email program is set up to open mailto: links on this desktop)");
        return result;
    }
    const QString program = QString::fromStdString(arguments.front());
    // A bare name is looked for on the PATH, as the desktop does; a path must be a program.
    if (QStandardPaths::findExecutable(program).isEmpty()) {
        result.m_Message = NotFoundMessage(arguments.front());
        return result;
    }
    QStringList rest;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        rest.push_back(QString::fromStdString(arguments[i]));
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments(rest);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        result.m_Message = "Sieveclaw could not start your email program " + arguments.front() + ": " +
                           process.errorString().toStdString();
        return result;
    }
    result.m_Started = true;
    return result;
}

void LaunchMailProgram(CUserPrompt& prompt, const std::string& chosenProgram) {
    const MailLaunchResult result = StartMailProgram(SplitExecLine(MailProgramCommand(chosenProgram)));
    if (!result.m_Started) {
        prompt.ShowPlain(result.m_Message);
    }
}

}  // namespace sieveclaw

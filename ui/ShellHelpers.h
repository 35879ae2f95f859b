#pragma once

#include <string>
#include <vector>

#include "core/UserPrompt.h"

class QWidget;

// What the main window hands to the desktop: a web address to the browser, and the user's mail
// program.

namespace sieveclaw {

// The vendor's web site, opened from the About box's picture.
inline constexpr const char* kVendorWebHost = "sieveclaw.example.org";

inline constexpr const char* kBrowserNotSetUpMessage = "It seems that your default Web browser is not properly set up.";

// Opens "http://" + host in the desktop's browser, under the wait cursor. When the desktop has no
// browser to open it with, the error box says so. False then.
bool OpenWebAddress(CUserPrompt& prompt, const std::string& host);

// How starting a mail program came out: the program was started, or the box to show.
struct MailLaunchResult {
    bool m_Started = false;
    std::string m_Message;  // shown in a plain box titled "Sieveclaw" when not started
};

// "&Get Your Email": the mail program of the "MailProgram" setting (its desktop entry), else the
// desktop's default mail program, started with no message to write. arguments: the split Exec
// line (SplitExecLine); empty when no mail program is known.
MailLaunchResult StartMailProgram(const std::vector<std::string>& arguments);

// The same for the chosen program's name, with the box shown through prompt.
void LaunchMailProgram(CUserPrompt& prompt, const std::string& chosenProgram);

}  // namespace sieveclaw
